#include "svg_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vokri_scenefile::svg {
namespace {

// The parameters where a cubic coordinate p0..p3 turns: up to two, the
// rest NaN.
struct Turns {
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    double t[2] = {kNone, kNone};
};

Turns turning_points(double p0, double p1, double p2, double p3) {
    // The derivative divided by 3: a t^2 + b t + c.
    const double a = -p0 + 3.0 * p1 - 3.0 * p2 + p3, b = 2.0 * (p0 - 2.0 * p1 + p2), c = p1 - p0;
    Turns turns;
    if (a == 0) {
        if (b != 0) turns.t[0] = -c / b;
    } else if (const double disc = b * b - 4.0 * a * c; disc >= 0) {
        const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
        turns.t[0] = q / a;
        if (q != 0) turns.t[1] = c / q;
    }
    return turns;
}

Point point_at(const VokriCubicSegment& s, double t) {
    const double u = 1.0 - t;
    const double k0 = u * u * u, k1 = 3.0 * u * u * t, k2 = 3.0 * u * t * t, k3 = t * t * t;
    return {k0 * s.x0 + k1 * s.x1 + k2 * s.x2 + k3 * s.x3, k0 * s.y0 + k1 * s.y1 + k2 * s.y2 + k3 * s.y3};
}

}  // namespace

CosSin cos_sin_degrees(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    const double quarter = r / 90.0;
    if (quarter == std::floor(quarter)) {
        static constexpr CosSin kQuarters[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        return kQuarters[(static_cast<int>(quarter) % 4 + 4) % 4];
    }
    const double radians = r * std::numbers::pi / 180.0;
    return {std::cos(radians), std::sin(radians)};
}

Affine Affine::rotate(double degrees) {
    const CosSin t = cos_sin_degrees(degrees);
    return {t.cos, t.sin, -t.sin, t.cos, 0, 0};
}

Affine Affine::skew_x(double degrees) {
    const CosSin t = cos_sin_degrees(degrees);
    return {1, 0, t.sin / t.cos, 1, 0, 0};
}

Affine Affine::skew_y(double degrees) {
    const CosSin t = cos_sin_degrees(degrees);
    return {1, t.sin / t.cos, 0, 1, 0, 0};
}

Affine operator*(const Affine& outer, const Affine& inner) {
    const Affine& m = outer;
    const Affine& n = inner;
    return {m.a * n.a + m.c * n.b, m.b * n.a + m.d * n.b,
            m.a * n.c + m.c * n.d, m.b * n.c + m.d * n.d,
            m.a * n.e + m.c * n.f + m.e, m.b * n.e + m.d * n.f + m.f};
}

VokriCubicSegment transformed(const VokriCubicSegment& s, const Affine& m) {
    const Point p0 = m.apply({s.x0, s.y0}), p1 = m.apply({s.x1, s.y1});
    const Point p2 = m.apply({s.x2, s.y2}), p3 = m.apply({s.x3, s.y3});
    return {p0.x, p0.y, p1.x, p1.y, p2.x, p2.y, p3.x, p3.y};
}

void Bounds::add(const VokriCubicSegment& s) {
    add_point({s.x0, s.y0});
    add_point({s.x3, s.y3});
    for (const Turns& turns : {turning_points(s.x0, s.x1, s.x2, s.x3), turning_points(s.y0, s.y1, s.y2, s.y3)}) {
        for (double t : turns.t) {
            if (t > 0 && t < 1) add_point(point_at(s, t));
        }
    }
}

void Bounds::add_point(Point p) {
    min_x_ = std::min(min_x_, p.x);
    max_x_ = std::max(max_x_, p.x);
    min_y_ = std::min(min_y_, p.y);
    max_y_ = std::max(max_y_, p.y);
}

}  // namespace vokri_scenefile::svg
