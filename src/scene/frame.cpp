#include "scene/frame.h"

#include <algorithm>

#include "common/alloc.h"
#include "raster/canvas.h"
#include "scene/dispatch.h"

namespace vokri {

FrameCanvas start_frame(uint32_t* pixels, uint32_t width, uint32_t height, double scale, uint8_t format,
                        uint32_t background) noexcept {
    fill_pixels(pixels, static_cast<size_t>(width) * height, background);
    return FrameCanvas{Surface::wrap(pixels, static_cast<int32_t>(width), static_cast<int32_t>(height), format),
                       FrameView::for_canvas(scale, width, height)};
}

Error draw_scene_items(const Scene& scene, FrameCanvas& frame, uint32_t* failed_item,
                       const RasterOptions& options) noexcept {
    Allocator alloc;
    Canvas canvas(alloc, frame.surface, options);
    Error err = Error::None;
    for (uint32_t i = 0; i < scene.item_count; ++i) {
        err = draw_item(canvas, frame.view, scene.items[i], scene);
        if (err != Error::None) {
            if (failed_item) *failed_item = i;
            break;
        }
    }
    canvas.release();
    return err;
}

Error render_frame(FrameVariant variant, uint32_t width, uint32_t height, double scale,
                   const Scene& scene, uint32_t* pixels, size_t pixel_count, uint32_t* failed_item,
                   const RasterOptions& options) noexcept {
    size_t count;
    if (!checked_mul(width, height, count) || pixel_count < count) return Error::OutputBufferTooSmall;
    if (width > INT32_MAX || height > INT32_MAX) return Error::OutputBufferTooSmall;
    bool rgba = variant == FrameVariant::rgba0;
    FrameCanvas frame = start_frame(pixels, width, height, scale, rgba ? rgba32 : rgbx32, rgba ? 0u : kRgb0Background);
    if (!valid_scale(scale)) return Error::InvalidUnitSize;
    // Straight alpha: only the rows something wrote need converting (the
    // others hold the transparent background).
    Allocator alloc;
    Buffer<uint8_t> marks(alloc);
    if (rgba) {
        VOKRI_TRY(marks.resize(height));
        std::fill(marks.begin(), marks.end(), uint8_t{0});
        frame.surface.row_marks = marks.data();
    }
    VOKRI_TRY(draw_scene_items(scene, frame, failed_item, options));
    if (rgba)
        for (uint32_t y = 0; y < height; ++y)
            if (marks[y]) demultiply_pixels(pixels + static_cast<size_t>(y) * width, width);
    return Error::None;
}

}  // namespace vokri
