// The fractal's smooth colouring, shared by its renderers: the escape
// phase, the cosine palette (the definition, and the checks that let the
// four-lane form stand in for it) and the AVX2 kernels of the block
// renderer.
#pragma once

#include <cstdint>

#include "common/cpu.h"
#include "common/numeric.h"
#include "items/fields/fractal_field.h"

namespace vokri::fractal_detail {

constexpr double kLn2 = 0.6931471805599453;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kChannelOffset[3] = {0.0, 0.12, 0.24};

inline uint32_t colour_byte(double value) noexcept {
    // A NaN value (from a non-finite colour phase) gives 0.
    if (!(value > 0.0)) return 0;
    if (value >= 255.0) return 255;
    return static_cast<uint32_t>(round_half_away(value));
}

// The palette phase of a point that escaped at `iteration` with |z|^2 = mag2.
double escape_phase(const FractalParams& p, double iteration, double mag2) noexcept;

// The three channel bytes (red in bits 0-7) of the palette at the cosine
// arguments `argument`: the definition.
uint32_t palette_plain(const double amplitude[3], const double argument[3]) noexcept;

#if VOKRI_X86_64
// Lanes per block: the vector kernels run two registers side by side so that
// the multiplications of one overlap the additions of the other.
constexpr uint32_t kBlock = 8;

struct Block {
    alignas(32) double z_re[kBlock];
    alignas(32) double z_im[kBlock];
    alignas(32) double c_re[kBlock];
    alignas(32) double c_im[kBlock];
    alignas(32) int64_t active[kBlock];  // all ones: iterate this lane
    alignas(32) double iteration[kBlock];  // escape iteration, 0 when none
};

// How far the palette values of the four-lane path may lie from those of
// the definition, for one fractal (see fractal_palette.cpp).
double palette_band(const FractalParams& p) noexcept;

// The AVX2 kernels (fractal_avx2.cpp): the palette at three arguments, the
// colours of a block's escaped lanes (iteration > 0; the others left alone),
// each checked against `band`, and the complex points of pixels
// x0 .. x0 + 7 of the row at user y.
uint32_t palette_avx2(const double amplitude[3], const double argument[3]) noexcept;
void escaped_colours_avx2(const FractalParams& p, const double* iteration, const double* mag2, uint32_t lanes,
                          double band, uint32_t* colour) noexcept;
void block_points_avx2(const FrameView& view, const InverseMap& inv, double y, uint32_t x0, double* re,
                       double* im) noexcept;
#endif  // VOKRI_X86_64

}  // namespace vokri::fractal_detail
