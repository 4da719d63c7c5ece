#include "png_write.h"

#include <png.h>

namespace vokri_scenefile {

bool write_png_rgba(const std::string& path, uint32_t width, uint32_t height, const void* pixels, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels, 0, nullptr)) {
        error = "cannot write " + path + ": " + (image.message[0] ? image.message : "PNG encoding failed");
        png_image_free(&image);
        return false;
    }
    png_image_free(&image);
    return true;
}

}  // namespace vokri_scenefile
