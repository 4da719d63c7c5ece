// Stroking a Path, and the stroker's pen, shared with its tests.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "common/alloc.h"
#include "raster/canvas.h"
#include "raster/paint.h"
#include "raster/path.h"

namespace vokri {

enum LineJoin : uint8_t { join_miter = 0, join_round = 1, join_bevel = 2 };

// How a stroke is drawn: widths in user units (the Path's transform maps
// them to the device; its linear part shapes the pen).
struct StrokeStyle {
    double line_width = 2.0;
    double miter_limit = 10.0;
    uint8_t line_join = join_round;
};

// One vertex of the pen polygon, in device units: its position relative to
// the pen centre, the vector from the previous vertex and the vector to the
// next one.
struct PenVertex {
    Point p;
    Point from_prev;
    Point to_next;
};

// More vertices than this are never built: a pen that would need them (a
// device half-width beyond about 2^24 pixels at tolerance 0.1) is built with
// this many. Curves stroked with such a pen are flattened with at most
// kCappedPenFlattenDepth halvings (4096 pieces a curve): with the pen already
// coarser than the tolerance, finer pieces would not bring the outline closer
// to its definition, and the work of one stroke stays bounded by the size of
// its Path however far the pen and the curves reach.
inline constexpr uint32_t kMaxPenVertices = 1u << 16;
inline constexpr int kCappedPenFlattenDepth = 12;

// Number of pen vertices for a stroke of `line_width` user units under the
// linear part of `t` at `tolerance` device pixels.
uint32_t pen_vertex_count(const Transform& t, double line_width, double tolerance) noexcept;

// True when that pen would need more than kMaxPenVertices vertices.
bool pen_is_capped(const Transform& t, double line_width, double tolerance) noexcept;

// Builds the pen into `out` (cleared first).
[[nodiscard]] Error build_pen(const Transform& t, double line_width, double tolerance,
                              Buffer<PenVertex>& out) noexcept;

// Paints `paint` over the outline of `path` drawn with `style`.
[[nodiscard]] Error stroke(Canvas& canvas, const Path& path, const Paint& paint, const StrokeStyle& style) noexcept;

}  // namespace vokri
