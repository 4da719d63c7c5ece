// The frame driver and the item loop it shares with the PNG export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "scene/scene.h"
#include "surface/surface.h"

namespace vokri {

enum class FrameVariant { rgba0, rgb0 };

// The index of no item: an error that is not any one item's.
inline constexpr uint32_t kNoItem = UINT32_MAX;

// Background, item loop and (rgba0) straight-alpha conversion into the
// caller's buffer of `pixel_count` pixels. On an item's error, its index
// goes to `failed_item` (when not null).
[[nodiscard]] Error render_frame(FrameVariant variant, uint32_t width, uint32_t height, double scale,
                                 const Scene& scene, uint32_t* pixels, size_t pixel_count,
                                 uint32_t* failed_item = nullptr) noexcept;

// Draws every item of `scene` in order into `target` with a fresh
// DrawContext; stops at the first error, whose item's index goes to
// `failed_item` (when not null). `scale` must be valid.
[[nodiscard]] Error draw_scene_items(const Scene& scene, double scale, Surface& target,
                                     uint32_t* failed_item = nullptr) noexcept;

inline bool valid_scale(double s) noexcept { return s > 0 && s <= 1.7976931348623157e308; }

}  // namespace vokri
