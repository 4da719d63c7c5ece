// Filling a Path.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "raster/canvas.h"
#include "raster/coverage.h"
#include "raster/paint.h"
#include "raster/path.h"

namespace vokri {

// Paints `paint` wherever the closed `path` covers a pixel of the canvas
// (16-sample anti-aliasing under `rule`).
[[nodiscard]] Error fill(Canvas& canvas, const Path& path, const Paint& paint,
                         FillRule rule = fill_non_zero) noexcept;

// When the closed outline through the device points c[0..3] (in that order)
// is an axis-aligned rectangle, paints it as fill() paints that Path, without
// building the Path, and returns true. False, with nothing painted, for any
// other outline, a paint that fill() would refuse, or with the shortcuts off.
[[nodiscard]] bool fill_box(Canvas& canvas, const Point (&c)[4], const Paint& paint) noexcept;

}  // namespace vokri
