// The affine transforms of user space: user point to device point.
#pragma once

#include <cmath>

namespace vokri {

struct Transform {
    double xx = 1, xy = 0, yx = 0, yy = 1, x0 = 0, y0 = 0;

    void apply(double x, double y, double& ox, double& oy) const noexcept {
        ox = xx * x + xy * y + x0;
        oy = yx * x + yy * y + y0;
    }
    double determinant() const noexcept { return xx * yy - xy * yx; }
    // From a record's six numbers: xx, xy, yx, yy, x0, y0.
    static Transform from_array(const double m[6]) noexcept {
        return Transform{m[0], m[1], m[2], m[3], m[4], m[5]};
    }
    bool finite() const noexcept {
        return std::isfinite(xx) && std::isfinite(xy) && std::isfinite(yx) && std::isfinite(yy) &&
               std::isfinite(x0) && std::isfinite(y0);
    }
};

// F composed with B: the transform that applies B, then F.
inline Transform compose(const Transform& f, const Transform& b) noexcept {
    Transform d;
    d.xx = f.xx * b.xx + f.xy * b.yx;
    d.xy = f.xx * b.xy + f.xy * b.yy;
    d.yx = f.yx * b.xx + f.yy * b.yx;
    d.yy = f.yx * b.xy + f.yy * b.yy;
    d.x0 = f.xx * b.x0 + f.xy * b.y0 + f.x0;
    d.y0 = f.yx * b.x0 + f.yy * b.y0 + f.y0;
    return d;
}

// The determinant of a record's transform (xx, xy, yx, yy, x0, y0).
inline double determinant(const double m[6]) noexcept { return Transform::from_array(m).determinant(); }

// Whether a record's transform can be inverted for sampling: every entry
// finite and |determinant| at least 1e-15 (which is then `det`).
inline bool invertible_transform(const double m[6], double& det) noexcept {
    det = determinant(m);
    return Transform::from_array(m).finite() && std::fabs(det) >= 1e-15;
}

}  // namespace vokri
