// Filling the DrawContext's Path.
#pragma once

#include "common/error.h"
#include "raster/context.h"

namespace vokri {

// Paints the source wherever the closed Path covers a pixel (16-sample
// anti-aliasing, the context's fill rule). The Path is not changed.
[[nodiscard]] Error fill(DrawContext& ctx) noexcept;

// When the closed outline through the device points c[0..3] (in that order)
// is an axis-aligned rectangle, paints it as fill() paints that Path, without
// building the Path, and returns true. False, with nothing painted, for any
// other outline, a source that fill() would refuse, or with the shortcuts off.
[[nodiscard]] bool fill_box(DrawContext& ctx, const Point (&c)[4]) noexcept;

}  // namespace vokri
