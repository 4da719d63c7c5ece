// Filling the DrawContext's Path.
#pragma once

#include "common/error.h"
#include "raster/context.h"

namespace vokri {

// Paints the source wherever the closed Path covers a pixel (16-sample
// anti-aliasing, the context's fill rule). The Path is not changed.
[[nodiscard]] Error fill(DrawContext& ctx) noexcept;

}  // namespace vokri
