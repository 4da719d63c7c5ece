// Outlines of shapes as a fixed number of cubic segments, the common form in
// which two shapes are interpolated by the morph item.
#pragma once

#include <cstdint>

#include "items/shapes/shape_geometry.h"

namespace vokri {

inline constexpr uint32_t kMorphSegments = 8;

// The straight piece from a to b as a cubic: (a, a + (b - a)/3, a + 2(b - a)/3, b).
CubicSegment straight_piece(Point a, Point b) noexcept;

// Writes the outline of `g` (tags 0 to 9) in shape-local coordinates into
// `out` and returns whether it is closed. A polyline is resampled into `n`
// pieces (n >= 1); every other tag gives exactly kMorphSegments pieces.
bool morph_outline(const ShapeGeometry& g, uint32_t n, CubicSegment* out) noexcept;

// The number of pieces both outlines of a morph use.
uint32_t morph_segment_count(const ShapeGeometry& a, const ShapeGeometry& b) noexcept;

// The interpolated geometry (tag 10) between `a` and `b` at s in [0, 1],
// with `out_segments` (n entries) as its segment list, filled from the two
// outlines `sa` and `sb`.
ShapeGeometry morph_between(const ShapeGeometry& a, const ShapeGeometry& b, const CubicSegment* sa,
                            const CubicSegment* sb, uint32_t n, bool closed, double s,
                            CubicSegment* out_segments) noexcept;

}  // namespace vokri
