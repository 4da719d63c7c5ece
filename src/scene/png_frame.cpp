#include "scene/png_frame.h"

#include "png/output_file.h"
#include "png/png_encode.h"
#include "scene/frame.h"

namespace vokri {

Error render_frame_png(const char* path, size_t path_len, uint32_t width, uint32_t height, double scale,
                       const Scene& scene, uint32_t* failed_item) noexcept {
    if (width == 0) return Error::InvalidWidth;
    if (height == 0) return Error::InvalidHeight;
    size_t count;
    if (width > INT32_MAX || height > INT32_MAX || !checked_mul(width, height, count)) return Error::OutOfMemory;
    Allocator alloc;
    Buffer<uint32_t> pixels(alloc);
    if (pixels.resize(count) != Error::None) return Error::OutOfMemory;
    FrameCanvas frame = start_frame(pixels.data(), width, height, scale, rgbx32, kRgb0Background);
    if (!valid_scale(scale)) return Error::InvalidUnitSize;
    VOKRI_TRY(draw_scene_items(scene, frame, failed_item));
    // The file is created only after every item drew.
    OutputFile file;
    VOKRI_TRY(file.open(path, path_len));
    VOKRI_TRY(write_png(file.fd(), frame.surface, alloc));
    return file.close();
}

}  // namespace vokri
