// Points, affine transforms and bounding boxes of the SVG reader.
#pragma once

#include <limits>

#include "vokri_core.h"

namespace vokri_scenefile::svg {

struct Point {
    double x = 0, y = 0;
};

struct CosSin {
    double cos = 1, sin = 0;
};

// Exact for multiples of 90 degrees.
CosSin cos_sin_degrees(double degrees);

// Maps (x, y) to (a x + c y + e, b x + d y + f), as SVG's matrix(a b c d e f).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    static Affine translate(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
    static Affine scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Affine rotate(double degrees);
    // The skews take no odd multiple of 90 degrees.
    static Affine skew_x(double degrees);
    static Affine skew_y(double degrees);

    Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    double det() const { return a * d - b * c; }
};

// The transform that applies `inner` first, then `outer`.
Affine operator*(const Affine& outer, const Affine& inner);

VokriCubicSegment transformed(const VokriCubicSegment& s, const Affine& m);

// The exact bounding box of cubic segments: their ends and turning points.
class Bounds {
public:
    void add(const VokriCubicSegment& s);
    // 0 while empty.
    double width() const { return max_x_ < min_x_ ? 0.0 : max_x_ - min_x_; }
    double height() const { return max_y_ < min_y_ ? 0.0 : max_y_ - min_y_; }
    // The corner with the least coordinates; (0, 0) while empty.
    double min_x() const { return max_x_ < min_x_ ? 0.0 : min_x_; }
    double min_y() const { return max_y_ < min_y_ ? 0.0 : min_y_; }

private:
    void add_point(Point p);

    double min_x_ = std::numeric_limits<double>::infinity(), min_y_ = min_x_;
    double max_x_ = -min_x_, max_y_ = -min_x_;
};

}  // namespace vokri_scenefile::svg
