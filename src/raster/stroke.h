// Stroking a Path.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "common/alloc.h"
#include "raster/canvas.h"
#include "raster/paint.h"
#include "raster/path.h"
#include "raster/pen.h"

namespace vokri {

enum LineJoin : uint8_t { join_miter = 0, join_round = 1, join_bevel = 2 };

// How a stroke is drawn: widths in user units (the Path's transform maps
// them to the device; its linear part shapes the pen).
struct StrokeStyle {
    double line_width = 2.0;
    double miter_limit = 10.0;
    uint8_t line_join = join_round;
};

// Paints `paint` over the outline of `path` drawn with `style`.
[[nodiscard]] Error stroke(Canvas& canvas, const Path& path, const Paint& paint, const StrokeStyle& style) noexcept;

}  // namespace vokri
