#include "scene/frame.h"

#include "common/alloc.h"
#include "raster/context.h"
#include "scene/drawers.h"

namespace vokri {

Error draw_scene_items(const Scene& scene, double scale, Surface& target) noexcept {
    Allocator alloc;
    DrawContext ctx(alloc, target);
    FrameView view = FrameView::for_canvas(scale, static_cast<uint32_t>(target.width),
                                           static_cast<uint32_t>(target.height));
    Error err = Error::None;
    for (uint32_t i = 0; i < scene.item_count; ++i) {
        err = draw_item(ctx, view, scene.items[i], scene, target);
        if (err != Error::None) break;
    }
    ctx.release();
    return err;
}

Error render_frame(FrameVariant variant, uint32_t width, uint32_t height, double scale,
                   const Scene& scene, uint32_t* pixels, size_t pixel_count) noexcept {
    size_t count;
    if (!checked_mul(width, height, count) || pixel_count < count) return Error::OutputBufferTooSmall;
    if (width > INT32_MAX || height > INT32_MAX) return Error::OutputBufferTooSmall;
    bool rgba = variant == FrameVariant::rgba0;
    fill_pixels(pixels, count, rgba ? 0u : kRgb0Background);
    if (!valid_scale(scale)) return Error::InvalidUnitSize;
    Surface target = Surface::wrap(pixels, static_cast<int32_t>(width), static_cast<int32_t>(height),
                                   rgba ? rgba32 : rgbx32);
    VOKRI_TRY(draw_scene_items(scene, scale, target));
    if (rgba) demultiply_pixels(pixels, count);
    return Error::None;
}

PickResult pick(uint32_t width, uint32_t height, double scale, const Scene& scene, const int32_t* ids,
                uint32_t id_count, uint32_t x, uint32_t y) noexcept {
    if (scene.item_count != id_count) return {0, Error::InvalidPickMetadata};
    if (x >= width || y >= height) return {0, Error::InvalidPickCoordinate};
    size_t count, bytes;
    if (!checked_mul(width, height, count) || !checked_mul(count, 4, bytes) || width > INT32_MAX ||
        height > INT32_MAX)
        return {0, Error::OutOfMemory};
    Allocator alloc;
    auto* scratch = static_cast<uint32_t*>(alloc.allocate(bytes));
    if (!scratch) return {0, Error::OutOfMemory};
    fill_pixels(scratch, count, 0u);
    if (!valid_scale(scale)) {
        alloc.release(scratch);
        return {0, Error::InvalidUnitSize};
    }
    Surface target = Surface::wrap(scratch, static_cast<int32_t>(width), static_cast<int32_t>(height), rgba32);
    FrameView view = FrameView::for_canvas(scale, width, height);
    size_t probe = static_cast<size_t>(y) * width + x;
    PickResult result;
    for (uint32_t i = scene.item_count; i-- > 0;) {
        scratch[probe] = 0;
        DrawContext ctx(alloc, target);
        Error err = draw_item(ctx, view, scene.items[i], scene, target);
        ctx.release();
        if (err != Error::None) {
            result = {0, err};
            break;
        }
        if (scratch[probe] >= 0x01000000u) {
            result = {ids[i], Error::None};
            break;
        }
    }
    alloc.release(scratch);
    return result;
}

}  // namespace vokri
