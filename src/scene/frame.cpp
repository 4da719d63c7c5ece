#include "scene/frame.h"

#include <algorithm>

#include "common/alloc.h"
#include "raster/context.h"
#include "scene/drawers.h"

namespace vokri {

Error draw_scene_items(const Scene& scene, double scale, Surface& target, uint32_t* failed_item) noexcept {
    Allocator alloc;
    DrawContext ctx(alloc, target);
    FrameView view = FrameView::for_canvas(scale, static_cast<uint32_t>(target.width),
                                           static_cast<uint32_t>(target.height));
    Error err = Error::None;
    for (uint32_t i = 0; i < scene.item_count; ++i) {
        err = draw_item(ctx, view, scene.items[i], scene, target);
        if (err != Error::None) {
            if (failed_item) *failed_item = i;
            break;
        }
    }
    ctx.release();
    return err;
}

Error render_frame(FrameVariant variant, uint32_t width, uint32_t height, double scale,
                   const Scene& scene, uint32_t* pixels, size_t pixel_count, uint32_t* failed_item) noexcept {
    size_t count;
    if (!checked_mul(width, height, count) || pixel_count < count) return Error::OutputBufferTooSmall;
    if (width > INT32_MAX || height > INT32_MAX) return Error::OutputBufferTooSmall;
    bool rgba = variant == FrameVariant::rgba0;
    fill_pixels(pixels, count, rgba ? 0u : kRgb0Background);
    if (!valid_scale(scale)) return Error::InvalidUnitSize;
    Surface target = Surface::wrap(pixels, static_cast<int32_t>(width), static_cast<int32_t>(height),
                                   rgba ? rgba32 : rgbx32);
    // Straight alpha: only the rows something wrote need converting (the
    // others hold the transparent background).
    Allocator alloc;
    Buffer<uint8_t> marks(alloc);
    if (rgba) {
        VOKRI_TRY(marks.resize(height));
        std::fill(marks.begin(), marks.end(), uint8_t{0});
        target.row_marks = marks.data();
    }
    VOKRI_TRY(draw_scene_items(scene, scale, target, failed_item));
    if (rgba)
        for (uint32_t y = 0; y < height; ++y)
            if (marks[y]) demultiply_pixels(pixels + static_cast<size_t>(y) * width, width);
    return Error::None;
}

}  // namespace vokri
