// The frame driver, picking, and the item loop they share with the PNG export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "api/error.h"
#include "scene/scene.h"
#include "surface/surface.h"

namespace vokri {

enum class FrameVariant { rgba0, rgb0 };

// Background, item loop and (rgba0) straight-alpha conversion into the
// caller's buffer of `pixel_count` pixels.
[[nodiscard]] Error render_frame(FrameVariant variant, uint32_t width, uint32_t height, double scale,
                                 const Scene& scene, uint32_t* pixels, size_t pixel_count) noexcept;

// Draws every item of `scene` in order into `target` with a fresh
// DrawContext; stops at the first error. `scale` must be valid.
[[nodiscard]] Error draw_scene_items(const Scene& scene, double scale, Surface& target) noexcept;

struct PickResult {
    int32_t id = 0;
    Error error = Error::None;
};

[[nodiscard]] PickResult pick(uint32_t width, uint32_t height, double scale, const Scene& scene,
                              const int32_t* ids, uint32_t id_count, uint32_t x, uint32_t y) noexcept;

inline bool valid_scale(double s) noexcept { return s > 0 && s <= 1.7976931348623157e308; }

}  // namespace vokri
