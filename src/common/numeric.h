// Rounding and clamping as the renderer defines them.
#pragma once

#include <cmath>
#include <cstdint>

namespace vokri {

// Round to nearest, halves away from zero: add the largest double below 0.5
// with the value's sign, then truncate.
inline double round_half_away(double v) noexcept {
    return std::trunc(v + std::copysign(0.49999999999999994, v));
}

// The f32 form used by the mesh pipeline.
inline float round_half_away_f(float v) noexcept {
    return std::trunc(v + std::copysign(0.49999997f, v));
}

// Clamp to [lo, hi]; NaN stays NaN.
inline double clamp(double v, double lo, double hi) noexcept {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Opacity clamp to [0, 1] with NaN counting as 1.
inline double clamp_unit_nan_one(double v) noexcept {
    if (std::isnan(v)) return 1.0;
    return clamp(v, 0.0, 1.0);
}

// ⌊x / 255⌋ for 0 <= x <= 65535·255.
inline uint32_t div255(uint32_t x) noexcept { return x / 255u; }

}  // namespace vokri
