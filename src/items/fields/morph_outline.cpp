#include "items/fields/morph_outline.h"

#include <cmath>

#include "common/numeric.h"

namespace vokri {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kArcK = 0.265216489839544;  // 4/3 * tan(pi/16)

inline Point lerp_point(Point a, Point b, double r) noexcept {
    return Point{a.x + (b.x - a.x) * r, a.y + (b.y - a.y) * r};
}

void closed_polygon_pieces(const Point* pts, CubicSegment* out) noexcept {
    for (uint32_t i = 0; i < kMorphSegments; ++i) out[i] = straight_piece(pts[i], pts[(i + 1) % kMorphSegments]);
}

void line_outline(const ShapeGeometry& g, CubicSegment* out) noexcept {
    Point p{g.params[0], g.params[1]}, q{g.params[2], g.params[3]};
    Point prev = p;
    for (uint32_t k = 1; k <= kMorphSegments; ++k) {
        double f = static_cast<double>(k) / 8.0;
        Point next{p.x + f * (q.x - p.x), p.y + f * (q.y - p.y)};
        out[k - 1] = straight_piece(prev, next);
        prev = next;
    }
}

void rectangle_outline(double w, double h, CubicSegment* out) noexcept {
    double hw = w / 2, hh = h / 2;
    Point pts[8] = {{hw, 0}, {hw, hh}, {0, hh}, {-hw, hh}, {-hw, 0}, {-hw, -hh}, {0, -hh}, {hw, -hh}};
    closed_polygon_pieces(pts, out);
}

void ellipse_outline(double rx, double ry, CubicSegment* out) noexcept {
    for (uint32_t i = 0; i < kMorphSegments; ++i) {
        double a = static_cast<double>(i) * kQuarterPi;
        double b = static_cast<double>(i + 1) * kQuarterPi;
        double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        CubicSegment& c = out[i];
        c.x0 = rx * ca;
        c.y0 = ry * sa;
        c.x3 = rx * cb;
        c.y3 = ry * sb;
        c.x1 = c.x0 - kArcK * rx * sa;
        c.y1 = c.y0 + kArcK * ry * ca;
        c.x2 = c.x3 + kArcK * rx * sb;
        c.y2 = c.y3 - kArcK * ry * cb;
    }
}

void arc_outline(double r, double start, double sweep, CubicSegment* out) noexcept {
    double e = std::fabs(sweep / 8) < 1e-14 ? 0.0 : r * (4.0 / 3.0) * std::tan(sweep / 32);
    for (uint32_t i = 0; i < kMorphSegments; ++i) {
        double a = start + static_cast<double>(i) * sweep / 8;
        double b = start + static_cast<double>(i + 1) * sweep / 8;
        double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        CubicSegment& c = out[i];
        c.x0 = r * ca;
        c.y0 = r * sa;
        c.x3 = r * cb;
        c.y3 = r * sb;
        c.x1 = c.x0 - e * sa;
        c.y1 = c.y0 + e * ca;
        c.x2 = c.x3 + e * sb;
        c.y2 = c.y3 - e * cb;
    }
}

Point polygon_vertex(uint32_t n, double radius, double rotation, uint32_t k) noexcept {
    double a = rotation + 2 * kPi * static_cast<double>(k) / static_cast<double>(n);
    return Point{radius * std::cos(a), radius * std::sin(a)};
}

void regular_polygon_outline(const ShapeGeometry& g, CubicSegment* out) noexcept {
    uint32_t n = g.sides;
    double nd = static_cast<double>(n);
    double radius = g.params[0], rotation = g.params[1];
    Point pts[kMorphSegments + 1];
    for (uint32_t i = 0; i <= kMorphSegments; ++i) {
        double z = static_cast<double>(i) * nd / 8;
        double e = std::floor(std::fmin(z, nd - 1e-12));
        double f = clamp(z - e, 0.0, 1.0);
        uint32_t ei = static_cast<uint32_t>(e);
        uint32_t next = ei + 1 == n ? 0 : ei + 1;
        pts[i] = lerp_point(polygon_vertex(n, radius, rotation, ei), polygon_vertex(n, radius, rotation, next), f);
    }
    for (uint32_t i = 0; i < kMorphSegments; ++i) out[i] = straight_piece(pts[i], pts[i + 1]);
}

Point bezier_point(const Point* p, double u) noexcept {
    double v = 1 - u;
    double b0 = v * v * v, b1 = 3 * v * v * u, b2 = 3 * v * u * u, b3 = u * u * u;
    return Point{b0 * p[0].x + b1 * p[1].x + b2 * p[2].x + b3 * p[3].x,
                 b0 * p[0].y + b1 * p[1].y + b2 * p[2].y + b3 * p[3].y};
}

Point bezier_derivative(const Point* p, double u) noexcept {
    double v = 1 - u;
    double d0 = 3 * v * v, d1 = 6 * v * u, d2 = 3 * u * u;
    return Point{d0 * (p[1].x - p[0].x) + d1 * (p[2].x - p[1].x) + d2 * (p[3].x - p[2].x),
                 d0 * (p[1].y - p[0].y) + d1 * (p[2].y - p[1].y) + d2 * (p[3].y - p[2].y)};
}

void bezier_outline(const ShapeGeometry& g, CubicSegment* out) noexcept {
    const double* q = g.params;
    Point p[4] = {{q[0], q[1]}, {q[2], q[3]}, {q[4], q[5]}, {q[6], q[7]}};
    for (uint32_t j = 0; j < kMorphSegments; ++j) {
        double u0 = static_cast<double>(j) / 8, u1 = static_cast<double>(j + 1) / 8;
        Point a = bezier_point(p, u0), b = bezier_point(p, u1);
        Point da = bezier_derivative(p, u0), db = bezier_derivative(p, u1);
        out[j] = CubicSegment{a.x, a.y, a.x + da.x / 24, a.y + da.y / 24, b.x - db.x / 24, b.y - db.y / 24, b.x, b.y};
    }
}

inline double edge_length(Point a, Point b) noexcept {
    double dx = b.x - a.x, dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

// Resamples the point list (closing edge included when `closed`) by arc
// length into n straight pieces. The edge walk moves forward only, so the
// whole resampling is linear in the points plus the pieces.
void resample(const Point* pts, uint32_t count, bool closed, uint32_t n, CubicSegment* out) noexcept {
    size_t edges = closed ? count : count - 1;
    auto edge_start = [&](size_t e) { return pts[e]; };
    auto edge_end = [&](size_t e) { return pts[e + 1 == count ? 0 : e + 1]; };
    double total = 0;
    for (size_t e = 0; e < edges; ++e) total += edge_length(edge_start(e), edge_end(e));
    if (total <= 1e-14) {
        Point p = pts[0];
        for (uint32_t i = 0; i < n; ++i) out[i] = CubicSegment{p.x, p.y, p.x, p.y, p.x, p.y, p.x, p.y};
        return;
    }
    Point prev = pts[0];
    size_t e = 0;
    double g = 0;  // accumulated length at the start of edge e
    double l = edge_length(edge_start(0), edge_end(0));
    double nd = static_cast<double>(n);
    for (uint32_t i = 0; i < n; ++i) {
        double target = static_cast<double>(i + 1) * total / nd;
        while (e + 1 < edges && g + l < target - 1e-14) {
            g += l;
            ++e;
            l = edge_length(edge_start(e), edge_end(e));
        }
        double r = l <= 1e-14 ? 0.0 : clamp((target - g) / l, 0.0, 1.0);
        Point next = lerp_point(edge_start(e), edge_end(e), r);
        out[i] = straight_piece(prev, next);
        prev = next;
    }
}

inline uint32_t byte_of(double v) noexcept {
    v = round_half_away(v);
    return v <= 0 ? 0u : (v >= 255 ? 255u : static_cast<uint32_t>(v));
}

inline uint32_t lerp_byte(uint32_t a, uint32_t b, double s) noexcept {
    return byte_of(static_cast<double>(a) + s * (static_cast<double>(b) - static_cast<double>(a)));
}

// The colour rule shared by fill and stroke; returns whether the result has
// the colour at all.
bool morph_colour(bool has_a, uint32_t a, bool has_b, uint32_t b, double s, uint32_t& out) noexcept {
    if (has_a && has_b) {
        out = 0;
        for (int k = 0; k < 32; k += 8) out |= lerp_byte((a >> k) & 0xFF, (b >> k) & 0xFF, s) << k;
        return true;
    }
    if (has_a) {
        out = (a & 0x00FFFFFFu) | byte_of((1 - s) * static_cast<double>(a >> 24)) << 24;
        return true;
    }
    if (has_b) {
        out = (b & 0x00FFFFFFu) | byte_of(s * static_cast<double>(b >> 24)) << 24;
        return true;
    }
    out = 0;
    return false;
}

inline double lerp(double a, double b, double s) noexcept { return a + s * (b - a); }

}  // namespace

CubicSegment straight_piece(Point a, Point b) noexcept {
    return CubicSegment{a.x,
                        a.y,
                        a.x + (b.x - a.x) / 3,
                        a.y + (b.y - a.y) / 3,
                        a.x + 2 * (b.x - a.x) / 3,
                        a.y + 2 * (b.y - a.y) / 3,
                        b.x,
                        b.y};
}

bool morph_outline(const ShapeGeometry& g, uint32_t n, CubicSegment* out) noexcept {
    switch (g.tag) {
        case VOKRI_SHAPE_LINE:
            line_outline(g, out);
            return false;
        case VOKRI_SHAPE_POLYLINE:
            resample(g.points, g.point_count, false, n, out);
            return false;
        case VOKRI_SHAPE_POLYGON:
            resample(g.points, g.point_count, true, kMorphSegments, out);
            return true;
        case VOKRI_SHAPE_RECTANGLE:
            rectangle_outline(g.params[0], g.params[1], out);
            return true;
        case VOKRI_SHAPE_SQUARE:
            rectangle_outline(g.params[0], g.params[0], out);
            return true;
        case VOKRI_SHAPE_CIRCLE:
            ellipse_outline(g.params[0], g.params[0], out);
            return true;
        case VOKRI_SHAPE_ELLIPSE:
            ellipse_outline(g.params[0], g.params[1], out);
            return true;
        case VOKRI_SHAPE_ARC:
            arc_outline(g.params[0], g.params[1], g.params[2], out);
            return false;
        case VOKRI_SHAPE_REGULAR_POLYGON:
            regular_polygon_outline(g, out);
            return true;
        default:
            bezier_outline(g, out);
            return false;
    }
}

uint32_t morph_segment_count(const ShapeGeometry& a, const ShapeGeometry& b) noexcept {
    if (a.tag == VOKRI_SHAPE_POLYLINE && b.tag == VOKRI_SHAPE_POLYLINE) {
        uint32_t n = a.point_count > b.point_count ? a.point_count : b.point_count;
        return n - 1;
    }
    return kMorphSegments;
}

ShapeGeometry morph_between(const ShapeGeometry& a, const ShapeGeometry& b, const CubicSegment* sa,
                            const CubicSegment* sb, uint32_t n, bool closed, double s,
                            CubicSegment* out_segments) noexcept {
    for (uint32_t i = 0; i < n; ++i) {
        const double* pa = &sa[i].x0;
        const double* pb = &sb[i].x0;
        double* po = &out_segments[i].x0;
        for (int k = 0; k < 8; ++k) po[k] = lerp(pa[k], pb[k], s);
    }
    ShapeGeometry g;
    g.tag = kTagSegmentList;
    g.segments = out_segments;
    g.segment_count = n;
    g.closed = closed;
    g.has_fill = morph_colour(a.has_fill, a.fill_color, b.has_fill, b.fill_color, s, g.fill_color);
    g.has_stroke = morph_colour(a.has_stroke, a.stroke_color, b.has_stroke, b.stroke_color, s, g.stroke_color);
    if (a.has_stroke && b.has_stroke)
        g.stroke_width = lerp(a.stroke_width, b.stroke_width, s);
    else if (a.has_stroke)
        g.stroke_width = a.stroke_width;
    else if (b.has_stroke)
        g.stroke_width = b.stroke_width;
    const Transform &ta = a.transform, &tb = b.transform;
    g.transform = Transform{lerp(ta.xx, tb.xx, s), lerp(ta.xy, tb.xy, s), lerp(ta.yx, tb.yx, s),
                            lerp(ta.yy, tb.yy, s), lerp(ta.x0, tb.x0, s), lerp(ta.y0, tb.y0, s)};
    return g;
}

}  // namespace vokri
