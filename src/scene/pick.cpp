#include "scene/pick.h"

#include "common/alloc.h"
#include "raster/canvas.h"
#include "scene/dispatch.h"
#include "scene/frame.h"

namespace vokri {

PickResult pick(uint32_t width, uint32_t height, double scale, const Scene& scene, const int32_t* ids,
                uint32_t id_count, uint32_t x, uint32_t y) noexcept {
    if (scene.item_count != id_count) return {0, Error::InvalidPickMetadata};
    if (x >= width || y >= height) return {0, Error::InvalidPickCoordinate};
    size_t count;
    if (!checked_mul(width, height, count) || width > INT32_MAX || height > INT32_MAX) return {0, Error::OutOfMemory};
    Allocator alloc;
    Buffer<uint32_t> scratch(alloc);
    if (scratch.resize(count) != Error::None) return {0, Error::OutOfMemory};
    FrameCanvas frame = start_frame(scratch.data(), width, height, scale, rgba32, 0u);
    if (!valid_scale(scale)) return {0, Error::InvalidUnitSize};
    uint32_t& probe = scratch[static_cast<size_t>(y) * width + x];
    for (uint32_t i = scene.item_count; i-- > 0;) {
        probe = 0;
        Canvas canvas(alloc, frame.surface);
        if (Error err = draw_item(canvas, frame.view, scene.items[i], scene); err != Error::None) return {0, err, i};
        if (probe >= 0x01000000u) return {ids[i], Error::None};
    }
    return {};
}

}  // namespace vokri
