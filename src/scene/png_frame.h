// The PNG frame export: a Scene rendered into an owned rgbx32 Surface and
// stored as a PNG file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "scene/scene.h"

namespace vokri {

// On an item's error, its index goes to `failed_item` (when not null).
[[nodiscard]] Error render_frame_png(const char* path, size_t path_len, uint32_t width, uint32_t height,
                                     double scale, const Scene& scene, uint32_t* failed_item = nullptr) noexcept;

}  // namespace vokri
