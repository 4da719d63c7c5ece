#include "items/shapes/shape_geometry.h"

#include <cmath>
#include <cstring>

#include "common/numeric.h"
#include "raster/fill.h"
#include "items/drawers.h"
#include "raster/stroke.h"

namespace vokri {

namespace {

constexpr double kCircleKappa = 0.5522847498307936;
constexpr double kQuarterTurn = 1.5707963267948966;
constexpr double kFullTurn = 6.283185307179586;

// A parameter is positive when it is greater than 0; NaN is not.
inline bool positive(double v) noexcept { return v > 0; }

// Geometry colour: alpha (opacity applied) in bits 24-31, then blue, green,
// red, from a 0xRRGGBBAA scene colour.
uint32_t geometry_colour(uint32_t c, double opacity) noexcept {
    double o = clamp_unit_nan_one(opacity);
    double a = round_half_away(o * static_cast<double>(c & 0xFFu));
    uint32_t alpha = a <= 0 ? 0u : (a >= 255 ? 255u : static_cast<uint32_t>(a));
    return alpha << 24 | ((c >> 8) & 0xFFu) << 16 | ((c >> 16) & 0xFFu) << 8 | (c >> 24);
}

// Side count of a regular polygon from p0 truncated toward zero; 0 when it is
// NaN, below 3 or above kMaxGeneratedSegments.
uint32_t side_count(double p0) noexcept {
    if (!(p0 >= 3.0)) return 0;  // NaN, negative and below 3
    double t = std::trunc(p0);
    if (t > static_cast<double>(kMaxGeneratedSegments)) return 0;
    return static_cast<uint32_t>(t);
}

// Number of cubic pieces of an arc of sweep `phi` (|phi| >= 1e-15), or 0 when
// the sweep is not finite or needs more than kMaxGeneratedSegments pieces.
uint32_t arc_pieces(double phi) noexcept {
    double n = std::ceil(std::fabs(phi) / kQuarterTurn);
    if (!(n <= static_cast<double>(kMaxGeneratedSegments))) return 0;  // NaN, infinite, too many
    return n < 1 ? 1u : static_cast<uint32_t>(n);
}

// Builds the Path of a geometry; every shape-local point is mapped by the
// geometry's transform before it reaches the Path (which clamps and maps it
// to device space).
class PathBuilder {
public:
    PathBuilder(Path& p, const Transform& t) noexcept : path_(p), t_(t) {}

    Error move_to(double x, double y) noexcept {
        double ux, uy;
        t_.apply(x, y, ux, uy);
        return path_.move_to(ux, uy);
    }
    Error line_to(double x, double y) noexcept {
        double ux, uy;
        t_.apply(x, y, ux, uy);
        return path_.line_to(ux, uy);
    }
    Error curve_to(double x1, double y1, double x2, double y2, double x3, double y3) noexcept {
        double a, b, c, d, e, f;
        t_.apply(x1, y1, a, b);
        t_.apply(x2, y2, c, d);
        t_.apply(x3, y3, e, f);
        return path_.curve_to(a, b, c, d, e, f);
    }
    Error close_path() noexcept { return path_.close_path(); }

private:
    Path& path_;
    const Transform& t_;
};

// The corners of a rectangle or square in its own space, in outline order.
struct RectangleCorners {
    double w, h;
    double x(int i) const noexcept { return i == 0 || i == 3 ? -w / 2 : w / 2; }
    double y(int i) const noexcept { return i < 2 ? -h / 2 : h / 2; }
};

RectangleCorners rectangle_corners(const ShapeGeometry& g) noexcept {
    return RectangleCorners{g.params[0], g.tag == VOKRI_SHAPE_SQUARE ? g.params[0] : g.params[1]};
}

// An arc of radius r from angle theta through phi, as cubic pieces.
Error build_arc(PathBuilder& b, double r, double theta, double phi) noexcept {
    if (std::fabs(phi) < 1e-15) return Error::None;
    uint32_t n = arc_pieces(phi);
    if (n == 0) return Error::InvalidSize;
    double delta = phi / static_cast<double>(n);
    double k = 4.0 / 3.0 * std::tan(delta / 4);
    VOKRI_TRY(b.move_to(r * std::cos(theta), r * std::sin(theta)));
    double c = std::cos(theta), s = std::sin(theta);
    for (uint32_t i = 0; i < n; ++i) {
        double next = theta + delta;
        double c2 = std::cos(next), s2 = std::sin(next);
        VOKRI_TRY(b.curve_to(r * c - k * r * s, r * s + k * r * c, r * c2 + k * r * s2, r * s2 - k * r * c2,
                             r * c2, r * s2));
        theta = next;
        c = c2;
        s = s2;
    }
    return Error::None;
}

// A regular polygon of n sides, radius r, its first vertex at angle rho.
Error build_regular_polygon(PathBuilder& b, uint32_t n, double r, double rho) noexcept {
    if (n < 3 || n > kMaxGeneratedSegments) return Error::TooFewSides;
    double step = kFullTurn / static_cast<double>(n);
    VOKRI_TRY(b.move_to(r * std::cos(rho), r * std::sin(rho)));
    for (uint32_t i = 1; i < n; ++i) {
        double a = rho + static_cast<double>(i) * step;
        VOKRI_TRY(b.line_to(r * std::cos(a), r * std::sin(a)));
    }
    return b.close_path();
}

Error build_path(const ShapeGeometry& g, Path& path) noexcept {
    PathBuilder b(path, g.transform);
    const double* p = g.params;
    switch (g.tag) {
        case VOKRI_SHAPE_LINE:
            VOKRI_TRY(b.move_to(p[0], p[1]));
            return b.line_to(p[2], p[3]);
        case VOKRI_SHAPE_POLYLINE:
        case VOKRI_SHAPE_POLYGON: {
            if (g.point_count == 0 || !g.points) return Error::None;
            VOKRI_TRY(b.move_to(g.points[0].x, g.points[0].y));
            for (uint32_t i = 1; i < g.point_count; ++i) VOKRI_TRY(b.line_to(g.points[i].x, g.points[i].y));
            if (g.tag == VOKRI_SHAPE_POLYGON) return b.close_path();
            return Error::None;
        }
        case VOKRI_SHAPE_RECTANGLE:
        case VOKRI_SHAPE_SQUARE: {
            const RectangleCorners r = rectangle_corners(g);
            VOKRI_TRY(b.move_to(r.x(0), r.y(0)));
            for (int i = 1; i < 4; ++i) VOKRI_TRY(b.line_to(r.x(i), r.y(i)));
            return b.close_path();
        }
        case VOKRI_SHAPE_CIRCLE:
        case VOKRI_SHAPE_ELLIPSE: {
            double a = p[0], r = g.tag == VOKRI_SHAPE_CIRCLE ? p[0] : p[1];
            double ka = kCircleKappa * a, kb = kCircleKappa * r;
            VOKRI_TRY(b.move_to(a, 0));
            VOKRI_TRY(b.curve_to(a, kb, ka, r, 0, r));
            VOKRI_TRY(b.curve_to(-ka, r, -a, kb, -a, 0));
            VOKRI_TRY(b.curve_to(-a, -kb, -ka, -r, 0, -r));
            VOKRI_TRY(b.curve_to(ka, -r, a, -kb, a, 0));
            return b.close_path();
        }
        case VOKRI_SHAPE_ARC:
            return build_arc(b, p[0], p[1], p[2]);
        case VOKRI_SHAPE_REGULAR_POLYGON:
            return build_regular_polygon(b, g.sides, p[0], p[1]);
        case VOKRI_SHAPE_CUBIC_BEZIER:
            VOKRI_TRY(b.move_to(p[0], p[1]));
            return b.curve_to(p[2], p[3], p[4], p[5], p[6], p[7]);
        case kTagSegmentList: {
            if (g.segment_count == 0 || !g.segments) {
                return Error::None;
            }
            const CubicSegment* s = g.segments;
            VOKRI_TRY(b.move_to(s[0].x0, s[0].y0));
            for (uint32_t i = 0; i < g.segment_count; ++i)
                VOKRI_TRY(b.curve_to(s[i].x1, s[i].y1, s[i].x2, s[i].y2, s[i].x3, s[i].y3));
            if (g.closed) return b.close_path();
            return Error::None;
        }
        default:
            return Error::InvalidWireGeometry;
    }
}

bool is_closed_shape(const ShapeGeometry& g) noexcept {
    switch (g.tag) {
        case VOKRI_SHAPE_POLYGON:
        case VOKRI_SHAPE_RECTANGLE:
        case VOKRI_SHAPE_SQUARE:
        case VOKRI_SHAPE_CIRCLE:
        case VOKRI_SHAPE_ELLIPSE:
        case VOKRI_SHAPE_REGULAR_POLYGON:
            return true;
        case kTagSegmentList:
            return g.closed;
        default:
            return false;
    }
}

}  // namespace

Error build_shape_geometry(const ShapeRecord& rec, Allocator& alloc, ShapeGeometry& out) noexcept {
    if (rec.shape_type > 9) return Error::InvalidWireGeometry;
    ShapeGeometry g;
    g.tag = static_cast<uint8_t>(rec.shape_type);
    const double params[8] = {rec.p0, rec.p1, rec.p2, rec.p3, rec.p4, rec.p5, rec.p6, rec.p7};
    std::memcpy(g.params, params, sizeof params);
    switch (rec.shape_type) {
        case VOKRI_SHAPE_POLYLINE:
        case VOKRI_SHAPE_POLYGON: {
            if (rec.point_count == 0 || !rec.points) return Error::InvalidWireGeometry;
            Point* copy = alloc.allocate_array<Point>(rec.point_count);
            if (!copy) return Error::OutOfMemory;
            std::memcpy(static_cast<void*>(copy), rec.points, static_cast<size_t>(rec.point_count) * sizeof(Point));
            uint32_t least = rec.shape_type == VOKRI_SHAPE_POLYLINE ? 2u : 3u;
            if (rec.point_count < least) {
                alloc.release(copy);
                return Error::TooFewPoints;
            }
            g.points = copy;
            g.point_count = rec.point_count;
            g.owned = copy;
            break;
        }
        case VOKRI_SHAPE_RECTANGLE:
            if (!positive(rec.p0) || !positive(rec.p1)) return Error::InvalidSize;
            break;
        case VOKRI_SHAPE_SQUARE:
            if (!positive(rec.p0)) return Error::InvalidSize;
            break;
        case VOKRI_SHAPE_CIRCLE:
            if (!positive(rec.p0)) return Error::InvalidRadius;
            break;
        case VOKRI_SHAPE_ELLIPSE:
            if (!positive(rec.p0) || !positive(rec.p1)) return Error::InvalidRadius;
            break;
        case VOKRI_SHAPE_ARC:
            if (!positive(rec.p0)) return Error::InvalidRadius;
            // A sweep that is not finite or needs more pieces than the limit
            // cannot be drawn.
            if (!(std::fabs(rec.p2) < 1e-15) && arc_pieces(rec.p2) == 0) return Error::InvalidSize;
            break;
        case VOKRI_SHAPE_REGULAR_POLYGON:
            g.sides = side_count(rec.p0);
            if (g.sides == 0) return Error::TooFewSides;
            if (!positive(rec.p1)) return Error::InvalidRadius;
            g.params[0] = rec.p1;
            g.params[1] = rec.p2;
            g.params[2] = 0;
            break;
        default:
            break;
    }
    g.transform = Transform::from_array(rec.transform);
    if (rec.fill_enabled) {
        g.has_fill = true;
        g.fill_color = geometry_colour(rec.fill_color, rec.opacity);
    }
    if (rec.stroke_enabled) {
        g.has_stroke = true;
        g.stroke_color = geometry_colour(rec.stroke_color, rec.opacity);
        g.stroke_width = rec.stroke_width;
    }
    out = g;
    return Error::None;
}

namespace {

// An unstroked rectangle or square whose device outline is axis-aligned,
// filled without building its Path: the corners go through the transforms
// that PathBuilder and the Path apply. False, with nothing painted, for
// anything else.
bool fill_rectangle(Canvas& canvas, const Path& path, const ShapeGeometry& g) noexcept {
    if ((g.tag != VOKRI_SHAPE_RECTANGLE && g.tag != VOKRI_SHAPE_SQUARE) || g.has_stroke || !g.has_fill) return false;
    const RectangleCorners r = rectangle_corners(g);
    Point c[4];
    for (int i = 0; i < 4; ++i) {
        double ux, uy;
        g.transform.apply(r.x(i), r.y(i), ux, uy);
        c[i] = path.to_device(ux, uy);
    }
    return fill_box(canvas, c, Paint::pixel(premultiply_rgba(g.fill_color)));
}

}  // namespace

Error draw_shape_geometry(Canvas& canvas, const FrameView& view, const ShapeGeometry& g) noexcept {
    Path& path = canvas.path;
    path.transform = device_transform(view);
    if (fill_rectangle(canvas, path, g)) return Error::None;
    path.reset();
    VOKRI_TRY(build_path(g, path));
    bool closed = is_closed_shape(g);
    bool paints = g.has_stroke || (closed && g.has_fill);
    if (!paints || path.nodes.empty()) return Error::None;
    if (closed && g.has_fill) VOKRI_TRY(fill(canvas, path, Paint::pixel(premultiply_rgba(g.fill_color))));
    if (g.has_stroke) {
        const StrokeStyle style{.line_width = g.stroke_width};
        VOKRI_TRY(stroke(canvas, path, Paint::pixel(premultiply_rgba(g.stroke_color)), style));
    }
    return Error::None;
}

void release_shape_geometry(ShapeGeometry& g, Allocator& alloc) noexcept {
    if (g.owned) alloc.release(g.owned);
    g.owned = nullptr;
    g.points = nullptr;
    g.point_count = 0;
}

Error stroke_segment(Canvas& canvas, const Transform& t, double x0, double y0, double x1, double y1,
                     uint32_t rgba_straight, double width) noexcept {
    if ((rgba_straight >> 24) == 0 || width <= 0) return Error::None;
    Path& path = canvas.path;
    path.transform = t;
    path.reset();
    VOKRI_TRY(path.move_to(x0, y0));
    VOKRI_TRY(path.line_to(x1, y1));
    return stroke(canvas, path, Paint::pixel(premultiply_rgba(rgba_straight)), StrokeStyle{.line_width = width});
}

}  // namespace vokri
