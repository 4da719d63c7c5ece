// Complex grids: a square grid of the z-plane carried into the w-plane by
// one of four complex mappings, drawn by pulling every pixel back through
// the inverse branches of the mapping.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "items/fields/infinite_geometry.h"

namespace vokri {

struct Complex {
    double re = 0, im = 0;
};

// A pre-image of w: the point z and the derivative f'(z).
struct GridBranch {
    Complex z, dz;
};

struct ComplexGridParams {
    double origin_re = 0, origin_im = 0;    // grid origin (x0, y0)
    double spacing_re = 1, spacing_im = 1;  // grid spacing (gx, gy)
    uint32_t mapping = 1;
    double t = 0;  // clamped to [0, 1]
    // Mapping 1: 1 - t, 2t and 4t.
    double one_minus_t = 1, two_t = 0, four_t = 0;
    // Mapping 2: d = (1 - t) * p1.
    Complex d;
    // Mapping 3: cos T and sin T with T = t*pi/2.
    double cos_t = 1, sin_t = 0;
    // Mapping 4: the prepared parameters.
    Complex P1, P2, P3, P4;
    double m[6] = {1, 0, 0, 1, 0, 0};  // w-plane to user space
    InverseMap inverse;
    double reach = 0;        // 0.75 * pixel + line_width / 2, user units
    double pixel = 1;        // max(1/s, 1e-12)
    uint32_t rgb1 = 0, alpha1 = 0, rgb2 = 0, alpha2 = 0;
};

// Validation after the header check, in order (all InvalidComplexGrid):
// spacings, mapping, mapping 4 parameters, transform.
[[nodiscard]] Error prepare_complex_grid(const InfiniteGeometryRecord& rec, const InfiniteColours& colours,
                                         const FrameView& view, ComplexGridParams& p) noexcept;

// The pre-images of w under the mapping; returns how many (0 to 2).
int grid_branches(const ComplexGridParams& p, Complex w, GridBranch out[2]) noexcept;

// Coverage in [0, 1] of the lines of constant real part (k1) and of
// constant imaginary part (k2) at the user point (x, y).
void grid_coverage(const ComplexGridParams& p, double x, double y, double& k1, double& k2) noexcept;

// Paints the grid into every pixel of `target` (rgba32 or rgbx32).
void render_complex_grid(const ComplexGridParams& p, const FrameView& view, Surface& target) noexcept;

}  // namespace vokri
