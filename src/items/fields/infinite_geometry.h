// Shared pieces of the infinite-geometry item (kind 6): the header check,
// the effective colours, clipping a line to the view, and the sub-kind
// drawers that write pixels directly (fractals and complex grids).
#pragma once

#include <cstdint>

#include "common/error.h"
#include "raster/canvas.h"
#include "raster/paint.h"
#include "items/frame_view.h"
#include "items/records.h"
#include "surface/surface.h"

namespace vokri {

inline constexpr uint32_t kGeometryLine = 0;
inline constexpr uint32_t kGeometryLineGrid = 1;
inline constexpr uint32_t kGeometryComplexGrid = 2;
inline constexpr uint32_t kGeometryFractal = 3;

// The record's colours with the opacity applied to their alpha: bytes
// R, G, B in bits 0-23 (straight), and the effective alpha separately.
struct InfiniteColours {
    uint32_t rgb1 = 0;  // colour1's R, G, B (red in bits 0-7)
    uint32_t alpha1 = 0;
    uint32_t rgb2 = 0;
    uint32_t alpha2 = 0;

    // colour1 as bytes R, G, B, A' (red in bits 0-7), straight alpha.
    uint32_t rgba1() const noexcept { return rgb1 | alpha1 << 24; }
};

// The checks every sub-kind starts with: InvalidInfiniteGeometry for a kind
// above 3 or a line width that is not finite and positive. On success
// `colours` holds the effective colours.
[[nodiscard]] Error check_infinite_header(const InfiniteGeometryRecord& rec, InfiniteColours& colours) noexcept;

// round(clamp(opacity, 0, 1) * alpha), halves away from zero. A NaN opacity
// counts as 1.
uint32_t effective_alpha(uint32_t alpha, double opacity) noexcept;

// Clips the line through (px, py) with direction (dx, dy), in user units, to
// the visible rectangle |x| <= W/(2s), |y| <= H/(2s). Returns false when no
// part of it is visible (or it is degenerate); otherwise the end points.
bool clip_line_to_view(const FrameView& view, double px, double py, double dx, double dy, Point& a,
                       Point& b) noexcept;

// The inverse of an affine transform applied to a user point, in the order
// the pixel writers use: ((m3*(x - m4) - m1*(y - m5))/det,
// (m0*(y - m5) - m2*(x - m4))/det).
struct InverseMap {
    double m[6] = {1, 0, 0, 1, 0, 0};
    double det = 1;

    void apply(double x, double y, double& re, double& im) const noexcept {
        double dx = x - m[4];
        double dy = y - m[5];
        re = (m[3] * dx - m[1] * dy) / det;
        im = (m[0] * dy - m[2] * dx) / det;
    }
};

// The user point at the centre of pixel (px, py).
inline double pixel_user_x(const FrameView& v, uint32_t px) noexcept {
    return (static_cast<double>(px) + 0.5 - v.origin_x) / v.scale;
}
inline double pixel_user_y(const FrameView& v, uint32_t py) noexcept {
    return -(static_cast<double>(py) + 0.5 - v.origin_y) / v.scale;
}

// Blends straight colour bytes (R, G, B in bits 0-23) with integer alpha
// a > 0 into a Surface pixel of format rgba32 or rgbx32:
// c = (src*a)/255 + (d*(255 - a))/255; rgba32 alpha a + d3 - (d3*a)/255;
// rgbx32 writes 0 into byte 3.
inline uint32_t blend_pixel(uint32_t dst, uint32_t rgb, uint32_t a, bool has_alpha) noexcept {
    uint32_t inv = 255u - a;
    uint32_t r = ((rgb & 0xFF) * a) / 255u + ((dst & 0xFF) * inv) / 255u;
    uint32_t g = (((rgb >> 8) & 0xFF) * a) / 255u + (((dst >> 8) & 0xFF) * inv) / 255u;
    uint32_t b = (((rgb >> 16) & 0xFF) * a) / 255u + (((dst >> 16) & 0xFF) * inv) / 255u;
    uint32_t out = r | g << 8 | b << 16;
    if (has_alpha) {
        uint32_t d3 = dst >> 24;
        out |= (a + d3 - (d3 * a) / 255u) << 24;
    }
    return out;
}

// Sub-kind 3 and sub-kind 2, after the header check.
[[nodiscard]] Error draw_fractal(const InfiniteGeometryRecord& rec, const InfiniteColours& colours,
                                 const FrameView& view, Surface& target) noexcept;
[[nodiscard]] Error draw_complex_grid(const InfiniteGeometryRecord& rec, const InfiniteColours& colours,
                                      const FrameView& view, Surface& target) noexcept;

}  // namespace vokri
