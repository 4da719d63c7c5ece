// The start of every frame (background, Surface, view), the item loop, and
// the frame driver of the pixel exports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "items/frame_view.h"
#include "raster/canvas.h"
#include "scene/scene.h"
#include "surface/surface.h"

namespace vokri {

enum class FrameVariant { rgba0, rgb0 };

// The index of no item: an error that is not any one item's.
inline constexpr uint32_t kNoItem = UINT32_MAX;

// What a frame is drawn on: the Surface over its pixels and the view the
// item drawers see.
struct FrameCanvas {
    Surface surface;
    FrameView view;
};

// Fills width * height `pixels` (each at most INT32_MAX) with `background`
// and wraps them as a Surface of `format`, at `scale` pixels per user unit.
FrameCanvas start_frame(uint32_t* pixels, uint32_t width, uint32_t height, double scale, uint8_t format,
                        uint32_t background) noexcept;

// Background, item loop and (rgba0) straight-alpha conversion into the
// caller's buffer of `pixel_count` pixels. On an item's error, its index
// goes to `failed_item` (when not null).
// `options` are the rasterizer's (tests compare its forms through them).
[[nodiscard]] Error render_frame(FrameVariant variant, uint32_t width, uint32_t height, double scale,
                                 const Scene& scene, uint32_t* pixels, size_t pixel_count,
                                 uint32_t* failed_item = nullptr, const RasterOptions& options = {}) noexcept;

// Draws every item of `scene` in order onto `frame`; stops at the first
// error, whose item's index goes to `failed_item` (when not null). The
// frame's scale must be valid.
[[nodiscard]] Error draw_scene_items(const Scene& scene, FrameCanvas& frame, uint32_t* failed_item = nullptr,
                                     const RasterOptions& options = {}) noexcept;

inline bool valid_scale(double s) noexcept { return s > 0 && s <= 1.7976931348623157e308; }

}  // namespace vokri
