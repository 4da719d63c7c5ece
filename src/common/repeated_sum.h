// The value a running sum reaches after many rounded additions of one step.
#pragma once

#include <cstdint>

namespace vokri {

// The y that `for (k = 0; k < n; ++k) y += g;` ends with, every addition
// rounded as IEEE f64 arithmetic rounds it, in time bounded by the binades
// the sum passes through (a few thousand at most) rather than by n.
double repeated_sum(double y, double g, uint64_t n) noexcept;

}  // namespace vokri
