// Dashed strokes: an outline split along its length at a dash pattern into
// open subpaths, which are then stroked like any other.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "outline.h"

namespace vokri_scenefile {

// The longest a dashed outline may become.
inline constexpr size_t kMaxDashSegments = 1000000;

// `pattern`: on, off, on, ... lengths in the outline's units, at least one
// above 0, none negative; an odd count repeats once to make it even.
// `offset`: how far into the pattern the start of each subpath lies (any
// value, negative included). A closed subpath is walked around with its
// closing piece. Lengths are measured along the curves by quadrature
// (within about 1e-6 of a segment's length for curves without cusps).
// nullopt when the result would pass kMaxDashSegments pieces.
std::optional<Outline> dash_outline(const Outline& outline, const std::vector<double>& pattern, double offset);

// Whether `pattern` dashes anything: non-empty, no entry negative or
// non-finite, and one above 0.
bool dashes(const std::vector<double>& pattern);

}  // namespace vokri_scenefile
