#include "items/fields/fractal_palette.h"

#include <algorithm>
#include <cmath>

namespace vokri {

namespace fractal_detail {

double escape_phase(const FractalParams& p, double iteration, double mag2) noexcept {
    double l = 0.5 * std::log(std::max(mag2, 1.0000000001));
    double nu = iteration;
    if (l > 0.0 && std::isfinite(l)) {
        nu = iteration + 1.0 - std::log(l / kLn2) / kLn2;
        if (!std::isfinite(nu)) nu = iteration;
    }
    return p.phase + p.speed * (nu * 0.021);
}

namespace {

inline uint32_t channel_byte(double amplitude, double argument) noexcept {
    return colour_byte(amplitude * (0.5 + 0.5 * std::cos(argument)));
}

}  // namespace

uint32_t palette_plain(const double amplitude[3], const double argument[3]) noexcept {
    uint32_t out = 0;
    for (int k = 0; k < 3; ++k) out |= channel_byte(amplitude[k], argument[k]) << (8 * k);
    return out;
}

#if VOKRI_X86_64
// How far the palette values of the four-lane path may lie from those of
// the definition, for one fractal. Its logarithms are within three units in
// the last place of std::log, so (with mag2 > 4, l = log(mag2) / 2 >= 0.69
// and l / ln 2 >= 1) log(l / ln 2) moves by less than 1e-14 and nu by less
// than 2e-14 plus a unit of nu, |nu| <= limit + 12 (log(mag2) <= 710). Each
// later step (nu * 0.021, times the speed, plus the phase, plus the channel
// offset, times 2 pi) carries that on and adds at most one unit of its own
// result; a unit of x is at most |x| 2^-52. The cosine then moves by at most
// the argument's change plus 2e-15 (cos_close_avx2 and std::cos), and the
// value, 127.5 times that plus three roundings below 2^-45.
double palette_band(const FractalParams& p) noexcept {
    const double u = 0x1p-52;
    const double nu_max = static_cast<double>(p.limit) + 12.0;
    const double d_nu = 2e-14 + nu_max * u;
    const double t1_max = nu_max * 0.021, d_t1 = 0.021 * d_nu + t1_max * u;
    const double t2_max = p.speed * t1_max, d_t2 = p.speed * d_t1 + t2_max * u;
    const double phase_max = std::fabs(p.phase) + t2_max, d_phase = d_t2 + phase_max * u;
    const double sum_max = phase_max + 0.24, d_sum = d_phase + sum_max * u;
    const double d_argument = kTwoPi * d_sum + kTwoPi * sum_max * u;
    const double band = 2.0 * (127.5 * (d_argument + 2e-15) + 1e-12);  // twice, for margin
    return std::isfinite(band) ? band : 1.0;  // 1: every value falls back
}
#endif  // VOKRI_X86_64

}  // namespace fractal_detail

using namespace fractal_detail;

uint32_t escaped_colour(const FractalParams& p, double iteration, double mag2) noexcept {
    const double phase = escape_phase(p, iteration, mag2);
    double argument[3];
    for (int k = 0; k < 3; ++k) argument[k] = kTwoPi * (phase + kChannelOffset[k]);
    return (p.base & 0xFF000000u) | palette_plain(p.amplitude, argument);
}

}  // namespace vokri
