// f64 to f32 as scene files convert: magnitudes beyond the f32 range become
// infinite (a plain cast would be undefined behaviour).
#pragma once

#include <cmath>
#include <limits>

namespace vokri_scenefile {

inline float to_f32(double d) {
    if (std::isnan(d)) return std::numeric_limits<float>::quiet_NaN();
    if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

}  // namespace vokri_scenefile
