// Escape-time fractals (Mandelbrot and Julia) with smooth cosine colouring.
//
// The iteration runs across pixels in f64 vector lanes (AVX2 with four lanes
// when the processor has it, SSE2 with two otherwise). It uses only
// additions, multiplications and comparisons in the order of the scalar
// formula, so every lane yields the bytes of `evaluate_fractal`.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "items/fields/infinite_geometry.h"

namespace vokri {

inline constexpr uint32_t kFractalMandelbrot = 1;
inline constexpr uint32_t kFractalJulia = 2;
inline constexpr uint32_t kFractalMaxIterations = 100000;

struct FractalParams {
    double escape2 = 4;          // escape radius squared
    double c_re = 0, c_im = 0;   // Julia constant
    double phase = 0;            // colour phase t
    double speed = 1;            // colour speed
    uint32_t kind = kFractalMandelbrot;
    uint32_t limit = 1;          // iteration limit N
    uint32_t interior = 0;       // bytes R1, G1, B1, a1' (red in bits 0-7)
    uint32_t base = 0;           // bytes R2, G2, B2, a2'
    double amplitude[3] = {};    // ((b/255)*0.65 + 0.35)*255 per channel
};

// Validation of a fractal record after the header check, in order:
// InvalidInfiniteGeometry, InvalidFractalKind, InvalidFractal,
// InvalidFractalTransform. Fills the parameters and the inverse transform.
[[nodiscard]] Error prepare_fractal(const InfiniteGeometryRecord& rec, const InfiniteColours& colours,
                                    FractalParams& params, InverseMap& inverse) noexcept;

// The definition: the four bytes (R, G, B, A; red in bits 0-7) of the
// fractal at the complex point (re, im).
uint32_t evaluate_fractal(const FractalParams& p, double re, double im) noexcept;

// The colour of a point that escaped at iteration `iteration` with squared
// modulus `mag2`.
uint32_t escaped_colour(const FractalParams& p, double iteration, double mag2) noexcept;

namespace fractal_testing {
// The palette bytes (red in bits 0-7) at three cosine arguments, in the form
// cpu::usable selects: the four-lane cosine where it cannot change a byte.
uint32_t palette(const double amplitude[3], const double argument[3]) noexcept;
// escaped_colour in the form the block renderer uses (logarithms and
// cosines in four lanes where they cannot change a byte).
uint32_t escaped_colour(const FractalParams& p, double iteration, double mag2) noexcept;
}  // namespace fractal_testing

// Paints every pixel of `target` (rgba32 or rgbx32), with the widest lanes
// that cpu::usable allows. All forms give the same bytes.
void render_fractal(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target) noexcept;

}  // namespace vokri
