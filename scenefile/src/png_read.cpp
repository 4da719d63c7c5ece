#include "png_read.h"

#include <png.h>

namespace vokri_scenefile {

bool read_png_rgba(const std::string& path, int64_t max_pixels, Raster& out, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = image.message[0] ? image.message : "cannot read the PNG file";
        png_image_free(&image);
        return false;
    }
    if (image.width == 0 || image.height == 0 ||
        static_cast<int64_t>(image.width) * static_cast<int64_t>(image.height) > max_pixels) {
        error = "the PNG file has " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                " pixels, more than the " + std::to_string(max_pixels) + " an image item may have";
        png_image_free(&image);
        return false;
    }
    // 8-bit RGBA without the linear flag: sRGB bytes, alpha not premultiplied.
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        error = image.message[0] ? image.message : "cannot decode the PNG file";
        png_image_free(&image);
        return false;
    }
    out.width = image.width;
    out.height = image.height;
    out.rgba = std::move(pixels);
    png_image_free(&image);
    return true;
}

std::shared_ptr<const Raster> read_png_shared(const std::string& path, int64_t max_pixels, std::string& error) {
    auto raster = std::make_shared<Raster>();
    if (!read_png_rgba(path, max_pixels, *raster, error)) return nullptr;
    return raster;
}

std::shared_ptr<const Raster> RasterCache::get(const std::string& path, int64_t max_pixels, std::string& error) {
    const std::lock_guard lock(mutex_);
    if (auto it = rasters_.find(path); it != rasters_.end()) return it->second;
    auto raster = read_png_shared(path, max_pixels, error);
    if (raster) rasters_.emplace(path, raster);
    return raster;
}

}  // namespace vokri_scenefile
