#include "raster/pen.h"

#include <cmath>

namespace vokri {

double pen_major_axis(const Transform& t, double line_width) noexcept {
    double r = line_width / 2;
    double det = t.determinant();
    double a;
    bool near_axes = (std::fabs(t.xy) < kMinLineWidth && std::fabs(t.yx) < kMinLineWidth) ||
                     (std::fabs(t.xx) < kMinLineWidth && std::fabs(t.yy) < kMinLineWidth);
    if (std::fabs(det * det - 1) < kMinLineWidth && near_axes) {
        a = r;
    } else {
        double i = t.xx * t.xx + t.xy * t.xy, j = t.yx * t.yx + t.yy * t.yy;
        a = r * std::sqrt((i + j) / 2 + std::hypot((i - j) / 2, t.xx * t.yx + t.xy * t.yy));
    }
    return a;
}

namespace {
// The vertex count before the cap; NaN for a pen of NaN size.
double uncapped_vertex_count(double a, double tolerance) noexcept {
    if (tolerance >= 4 * a) return 1;
    if (tolerance >= a) return 4;
    return std::ceil(kTwoPi / std::acos(1 - tolerance / a));
}
}  // namespace

bool pen_is_capped(const Transform& t, double line_width, double tolerance) noexcept {
    return !(uncapped_vertex_count(pen_major_axis(t, line_width), tolerance) <=
             static_cast<double>(kMaxPenVertices));
}

uint32_t pen_vertex_count(const Transform& t, double line_width, double tolerance) noexcept {
    double a = pen_major_axis(t, line_width);
    double n = uncapped_vertex_count(a, tolerance);
    if (n == 1) return 1;
    if (!(n <= static_cast<double>(kMaxPenVertices))) return kMaxPenVertices;  // also NaN
    uint32_t k = static_cast<uint32_t>(n);
    if (k < 4) k = 4;
    if (k & 1) ++k;
    return k;
}

Error build_pen(const Transform& t, double line_width, double tolerance, Buffer<PenVertex>& out) noexcept {
    out.clear();
    uint32_t n = pen_vertex_count(t, line_width, tolerance);
    VOKRI_TRY(out.resize(n));
    double r = line_width / 2;
    double det = t.determinant();
    for (uint32_t k = 0; k < n; ++k) {
        double theta = kTwoPi * static_cast<double>(k) / static_cast<double>(n);
        if (det < 0) theta = -theta;
        double x = r * std::cos(theta), y = r * std::sin(theta);
        out[k].p = Point{t.xx * x + t.xy * y, t.yx * x + t.yy * y};
    }
    for (uint32_t k = 0; k < n; ++k) {
        const Point& prev = out[k == 0 ? n - 1 : k - 1].p;
        const Point& next = out[k + 1 == n ? 0 : k + 1].p;
        out[k].from_prev = Point{out[k].p.x - prev.x, out[k].p.y - prev.y};
        out[k].to_next = Point{next.x - out[k].p.x, next.y - out[k].p.y};
    }
    return Error::None;
}

}  // namespace vokri
