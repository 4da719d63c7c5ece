// The stroker's pen: the polygon of the transformed circle of the line
// width, shared with its tests.
#pragma once

#include <cstdint>

#include "common/alloc.h"
#include "common/error.h"
#include "raster/path.h"
#include "raster/transform.h"

namespace vokri {

inline constexpr double kTwoPi = 6.283185307179586;
// Line widths below this (1/256 user unit) are raised to it.
inline constexpr double kMinLineWidth = 0.00390625;

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

// The pen's major semi-axis in device units.
double pen_major_axis(const Transform& t, double line_width) noexcept;

}  // namespace vokri
