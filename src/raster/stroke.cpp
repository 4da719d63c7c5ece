// Stroking: every subpath of the Path is turned into closed outline polygons
// (the segments widened by the pen, joined and capped) that go into one edge
// list and are rasterized under the non-zero rule.
#include "raster/stroke.h"

#include <cmath>
#include <new>

#include "common/numeric.h"
#include "raster/coverage.h"
#include "raster/edge_list.h"
#include "raster/pen.h"

namespace vokri {

struct StrokeScratch {
    Buffer<PenVertex> pen;
    Buffer<Point> cw, ccw;
    // The settings the pen was built for; a stroke with the same ones reuses it.
    bool pen_valid = false;
    double pen_key[6] = {};

    explicit StrokeScratch(Allocator& a) noexcept : pen(a), cw(a), ccw(a) {}
};

void release_stroke_scratch(StrokeScratch*& scratch, Allocator& a) noexcept {
    if (!scratch) return;
    scratch->~StrokeScratch();
    a.release(scratch);
    scratch = nullptr;
}

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;  // 2^-52
constexpr double kScale = 4.0;

inline Point add(Point a, Point b) noexcept { return Point{a.x + b.x, a.y + b.y}; }
inline Point sub(Point a, Point b) noexcept { return Point{a.x - b.x, a.y - b.y}; }
inline Point neg(Point a) noexcept { return Point{-a.x, -a.y}; }
inline double cross(Point a, Point b) noexcept { return a.x * b.y - a.y * b.x; }
inline double dot(Point a, Point b) noexcept { return a.x * b.x + a.y * b.y; }

// The tangent direction of the pen at a vertex (parallel to the chord from
// the previous vertex to the next one).
inline Point tangent(const PenVertex& v) noexcept { return add(v.from_prev, v.to_next); }

struct Settings {
    double xx, xy, yx, yy, det;
    bool identity;  // linear part is the identity
    bool diagonal;  // xy and yx are 0
    double miter_limit;
    double line_width;
    double half_width;
    double tolerance;
    uint8_t line_join;
    // Beyond these bounds (outline units, the Surface widened by two pixels)
    // an outline point is outside the Surface; cull off: infinite bounds.
    double cull_x0, cull_y0, cull_x1, cull_y1;
};

// One segment widened: device end points, directions and the offset to the
// clockwise side (p + o) and the counter-clockwise side (p - o).
struct Face {
    Point p0, p1;
    Point d;  // device unit direction
    Point u;  // user unit direction
    Point o;  // offset vector
};

// Unit direction of a - b; exact for axis-aligned segments.
inline Point unit(double dx, double dy) noexcept {
    if (dy == 0) return Point{dx > 0 ? 1.0 : -1.0, 0.0};
    if (dx == 0) return Point{0.0, dy > 0 ? 1.0 : -1.0};
    double h = std::hypot(dx, dy);
    return Point{dx / h, dy / h};
}

Face make_face(const Settings& s, Point p0, Point p1) noexcept {
    Face f;
    f.p0 = p0;
    f.p1 = p1;
    f.d = unit(p1.x - p0.x, p1.y - p0.y);
    if (s.identity) {
        f.u = f.d;
        f.o = Point{-f.d.y * s.half_width, f.d.x * s.half_width};
        return f;
    }
    double ux, uy;
    if (s.diagonal) {
        ux = f.d.x / s.xx;
        uy = f.d.y / s.yy;
    } else {
        ux = (s.yy * f.d.x - s.xy * f.d.y) / s.det;
        uy = (s.xx * f.d.y - s.yx * f.d.x) / s.det;
    }
    f.u = unit(ux, uy);
    Point n{-f.u.y, f.u.x};
    if (s.det < 0) n = neg(n);
    n.x *= s.half_width;
    n.y *= s.half_width;
    f.o = Point{s.xx * n.x + s.xy * n.y, s.yx * n.x + s.yy * n.y};
    return f;
}

// Angular order of directions measured counter-clockwise from `ref`.
struct AngleOrder {
    Point ref;
    int half(Point v) const noexcept {
        double c = cross(ref, v);
        return (c > 0 || (c == 0 && dot(ref, v) > 0)) ? 0 : 1;
    }
    // a comes strictly before b.
    bool less(Point a, Point b) const noexcept {
        int ha = half(a), hb = half(b);
        if (ha != hb) return ha < hb;
        return cross(a, b) > 0;
    }
};

class Stroker {
public:
    Stroker(const Settings& s, const FlattenWindow& window, EdgeList& edges, StrokeScratch& scratch) noexcept
        : s_(s), window_(window), edges_(edges), scratch_(scratch), pen_(scratch.pen), cw_(scratch.cw),
          ccw_(scratch.ccw) {}

    Error ensure_pen() noexcept {
        if (pen_built_) return Error::None;
        const double key[6] = {s_.xx, s_.xy, s_.yx, s_.yy, s_.line_width, s_.tolerance};
        bool same = scratch_.pen_valid;
        for (int i = 0; i < 6 && same; ++i) same = key[i] == scratch_.pen_key[i];
        if (!same) {
            scratch_.pen_valid = false;
            Transform t{s_.xx, s_.xy, s_.yx, s_.yy, 0, 0};
            VOKRI_TRY(build_pen(t, s_.line_width, s_.tolerance, pen_));
            for (int i = 0; i < 6; ++i) scratch_.pen_key[i] = key[i];
            scratch_.pen_valid = true;
        }
        pen_built_ = true;
        return Error::None;
    }

    Error run(const Path& path) noexcept {
        for (const PathNode& node : path.nodes) {
            switch (node.kind & 3) {
                case node_move_to:
                    if (in_subpath_) VOKRI_TRY(finish_open());
                    start(node.p1);
                    break;
                case node_line_to:
                    if (!in_subpath_) return Error::InvalidState;
                    VOKRI_TRY(add_point(node.p1));
                    break;
                case node_curve_to: {
                    if (!in_subpath_) return Error::InvalidState;
                    VOKRI_TRY(ensure_pen());
                    last_round_ = true;
                    if (count_ == 1) first_round_ = true;
                    Point start_point = last_;
                    VOKRI_TRY(flatten_curve(
                        start_point, node.p1, node.p2, node.p3, s_.tolerance,
                        [this](Point q) noexcept -> Error {
                            Error e = add_point(q);
                            last_round_ = true;
                            return e;
                        },
                        window_));
                    last_round_ = false;
                    break;
                }
                case node_close_path:
                    if (in_subpath_) VOKRI_TRY(close());
                    in_subpath_ = false;
                    break;
            }
        }
        if (in_subpath_) VOKRI_TRY(finish_open());
        return Error::None;
    }

private:
    void start(Point p) noexcept {
        in_subpath_ = true;
        count_ = 1;
        first_ = last_ = p;
        first_round_ = last_round_ = false;
        cw_.clear();
        ccw_.clear();
    }

    [[gnu::always_inline]] Error push(Buffer<Point>& list, Point p) noexcept {
        const Point q{p.x * kScale, p.y * kScale};
        if (thin_out(list, q)) return Error::None;
        return list.push_back(q);
    }

    // The borders of the Surface that `p` lies beyond, one bit each; none for
    // a point that is not finite (it must reach the edge list as it is).
    // Left and right, the margin grows with |x| so that the rounding of an
    // edge's crossing (a few units in the last place of its x coordinates)
    // never carries it onto the Surface; above and below, whether an edge
    // crosses a sample line is an exact comparison.
    unsigned outside_code(Point p) const noexcept {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return 0;
        const double slack = std::fabs(p.x) * 0x1p-40;
        return (p.x < s_.cull_x0 - slack ? 1u : 0u) | (p.x > s_.cull_x1 + slack ? 2u : 0u) |
               (p.y < s_.cull_y0 ? 4u : 0u) | (p.y > s_.cull_y1 ? 8u : 0u);
    }

    // When the last two points of `list` and q all lie beyond the same
    // border of the Surface, the last point is replaced by q. A chain of
    // points beyond one border crosses every sample line of the Surface with
    // the same net winding as its chord, on the same side of every sample,
    // so the painted pixels stay the same while a huge outline (a pen far
    // larger than the Surface) keeps only its points near the Surface. The
    // first point of a list is never the middle of a chain: a closed
    // subpath's polygon starts after it.
    bool thin_out(Buffer<Point>& list, Point q) const noexcept {
        const size_t n = list.size();
        if (n < 3) return false;
        const unsigned beyond = outside_code(q);  // most points lie near the Surface: one test decides
        if (beyond == 0 || (outside_code(list[n - 2]) & outside_code(list[n - 1]) & beyond) == 0) return false;
        list[n - 1] = q;
        return true;
    }

    // A further point of the subpath; equal consecutive points are ignored.
    Error add_point(Point p) noexcept {
        if (p == last_) return Error::None;
        Face f = make_face(s_, last_, p);
        if (count_ == 1) {
            first_face_ = f;
            VOKRI_TRY(push(cw_, add(f.p0, f.o)));
            VOKRI_TRY(push(ccw_, sub(f.p0, f.o)));
        } else {
            VOKRI_TRY(join(last_face_, f, style(last_round_)));
        }
        last_face_ = f;
        last_ = p;
        last_round_ = false;
        if (count_ < 3) ++count_;
        return Error::None;
    }

    uint8_t style(bool round) const noexcept { return round ? uint8_t{join_round} : s_.line_join; }

    // The join at in.p1 == out.p0.
    Error join(const Face& in, const Face& out, uint8_t style) noexcept {
        Point w = in.p1;
        if (w == in.p0 || w == out.p1) return Error::None;
        Point t = in.d, m = out.d;
        double a = t.x * m.y, b = t.y * m.x;
        bool straight = std::fabs(a - b) <= kEpsilon;
        if (straight && dot(t, m) > 0) {
            VOKRI_TRY(push(cw_, add(w, in.o)));
            return push(ccw_, sub(w, in.o));
        }
        // A left turn (in device axes, y down: toward the +o side) has the
        // clockwise side inside; an exact reversal is treated as a right turn.
        bool cw_outer = straight || a - b < 0;
        Buffer<Point>& inner = cw_outer ? ccw_ : cw_;
        Buffer<Point>& outer = cw_outer ? cw_ : ccw_;
        Point oi = cw_outer ? neg(in.o) : in.o;    // inner offsets
        Point oo = cw_outer ? neg(out.o) : out.o;
        VOKRI_TRY(push(inner, add(w, oi)));
        VOKRI_TRY(push(inner, w));
        VOKRI_TRY(push(inner, add(w, oo)));

        Point in_outer = sub(w, oi), out_outer = sub(w, oo);
        switch (style) {
            case join_miter:
                if (s_.miter_limit * s_.miter_limit * (1 + dot(t, m)) >= 2 && !straight) {
                    // Intersection of the two outer offset lines.
                    double den = a - b;
                    double k = cross(sub(out_outer, in_outer), m) / den;
                    return push(outer, Point{in_outer.x + k * t.x, in_outer.y + k * t.y});
                }
                break;
            case join_round: {
                VOKRI_TRY(ensure_pen());
                VOKRI_TRY(push(outer, in_outer));
                if (cw_outer)
                    VOKRI_TRY(pen_arc(outer, w, neg(m), neg(t), true));
                else
                    VOKRI_TRY(pen_arc(outer, w, t, m, false));
                return push(outer, out_outer);
            }
            default:
                break;
        }
        VOKRI_TRY(push(outer, in_outer));
        return push(outer, out_outer);
    }

    // Appends w + vertex for the pen vertices whose tangents lie strictly
    // between `from` and `to` counter-clockwise (an angle in (0, pi]); in
    // decreasing order when `reverse`.
    Error pen_arc(Buffer<Point>& list, Point w, Point from, Point to, bool reverse) noexcept {
        size_t n = pen_.size();
        if (n < 3) return Error::None;
        // Bisection for the first vertex whose tangent comes after `from`.
        AngleOrder order{tangent(pen_[0])};
        size_t lo = 0, hi = n;
        while (lo < hi) {
            size_t mid = lo + (hi - lo) / 2;
            if (order.less(from, tangent(pen_[mid])))
                hi = mid;
            else
                lo = mid + 1;
        }
        size_t first = lo == n ? 0 : lo;
        size_t count = 0;
        for (size_t i = first; count < n; i = i + 1 == n ? 0 : i + 1) {
            Point tv = tangent(pen_[i]);
            if (!(cross(from, tv) > 0 && cross(tv, to) > 0)) break;
            ++count;
        }
        VOKRI_TRY(list.grow_for(count));
        for (size_t j = 0; j < count; ++j) {
            size_t step = reverse ? count - 1 - j : j;
            size_t i = (first + step) % n;
            Point v = add(w, pen_[i].p);
            const Point q{v.x * kScale, v.y * kScale};
            if (!thin_out(list, q)) list.push_unchecked(q);
        }
        return Error::None;
    }

    // Puts the closed polygon of `list` (from index `from`; backward when
    // `reverse`) into the edge list.
    Error emit(const Buffer<Point>& list, size_t from, bool reverse) noexcept {
        size_t n = list.size();
        if (n <= from) return Error::None;
        const Point* p = list.data() + from;
        size_t count = n - from;
        if (!reverse) {
            for (size_t i = 1; i < count; ++i) VOKRI_TRY(add_edge(edges_, p[i - 1], p[i]));
            if (count > 1) VOKRI_TRY(add_edge(edges_, p[count - 1], p[0]));
        } else {
            for (size_t i = count - 1; i > 0; --i) VOKRI_TRY(add_edge(edges_, p[i], p[i - 1]));
            if (count > 1) VOKRI_TRY(add_edge(edges_, p[0], p[count - 1]));
        }
        return Error::None;
    }

    // Open end: clockwise side forward, the end cap, the counter-clockwise
    // side backward, the start cap.
    Error finish_open() noexcept {
        in_subpath_ = false;
        if (count_ < 2) return Error::None;
        VOKRI_TRY(push(cw_, add(last_face_.p1, last_face_.o)));
        VOKRI_TRY(push(cw_, sub(last_face_.p1, last_face_.o)));
        size_t n = ccw_.size();
        VOKRI_TRY(cw_.grow_for(n));
        for (size_t i = n; i-- > 0;) cw_.push_unchecked(ccw_[i]);
        return emit(cw_, 0, false);
    }

    Error close() noexcept {
        if (count_ < 2) {
            in_subpath_ = false;
            return Error::None;
        }
        if (count_ == 2) return finish_open();
        in_subpath_ = false;
        if (!(last_ == first_)) {
            Face closing = make_face(s_, last_, first_);
            VOKRI_TRY(join(last_face_, closing, style(last_round_)));
            VOKRI_TRY(join(closing, first_face_, style(first_round_)));
        } else {
            VOKRI_TRY(join(last_face_, first_face_, style(first_round_)));
        }
        VOKRI_TRY(emit(cw_, 1, false));
        return emit(ccw_, 1, true);
    }

    const Settings& s_;
    const FlattenWindow& window_;
    EdgeList& edges_;
    StrokeScratch& scratch_;
    Buffer<PenVertex>& pen_;
    Buffer<Point>& cw_;
    Buffer<Point>& ccw_;
    bool pen_built_ = false;

    bool in_subpath_ = false;
    int count_ = 0;  // distinct points, saturating at 3
    Point first_, last_;
    bool first_round_ = false;  // the join at the first point is round (a curve starts there)
    bool last_round_ = false;   // the join at the last point is round (inside a curve)
    Face first_face_, last_face_;
};

}  // namespace


namespace {

// InvalidMatrix unless the linear part of `t` is finite and invertible.
Error check_matrix(const Transform& t, double& det) noexcept {
    if (!std::isfinite(t.xx) || !std::isfinite(t.xy) || !std::isfinite(t.yx) || !std::isfinite(t.yy))
        return Error::InvalidMatrix;
    det = t.determinant();
    if (t.xy == 0 && t.yx == 0) {
        if (t.xx == 0 || t.yy == 0) return Error::InvalidMatrix;
    } else if (det == 0 || !std::isfinite(det)) {
        return Error::InvalidMatrix;
    }
    return Error::None;
}

// A path at infinity (a scale that overflows device space) has no place on
// the Surface.
bool path_is_finite(const Path& path) noexcept {
    for (const PathNode& n : path.nodes) {
        if (!std::isfinite(n.p1.x) || !std::isfinite(n.p1.y) || !std::isfinite(n.p2.x) ||
            !std::isfinite(n.p2.y) || !std::isfinite(n.p3.x) || !std::isfinite(n.p3.y))
            return false;
    }
    return true;
}

// The stroker's settings from the context: thin lines take miter joins with
// limit 10, the width is at least kMinLineWidth, and outline points are
// culled beyond the Surface widened by two pixels.
Settings stroke_settings(const Canvas& canvas, const Transform& t, const StrokeStyle& style, double det) noexcept {
    Settings s;
    s.xx = t.xx;
    s.xy = t.xy;
    s.yx = t.yx;
    s.yy = t.yy;
    s.det = det;
    s.identity = t.xx == 1 && t.xy == 0 && t.yx == 0 && t.yy == 1;
    s.diagonal = t.xy == 0 && t.yx == 0;
    s.miter_limit = style.miter_limit;
    s.line_join = style.line_join;
    const double width = style.line_width;
    if (width < 2.0) {
        s.line_join = join_miter;
        s.miter_limit = 10.0;
    }
    s.line_width = std::fmax(width, kMinLineWidth);
    s.half_width = s.line_width / 2;
    s.tolerance = std::fmax(canvas.options.tolerance, 0.001);
    if (canvas.options.cull_outlines && canvas.options.shortcuts) {
        s.cull_x0 = -2 * kScale;
        s.cull_y0 = -2 * kScale;
        s.cull_x1 = (static_cast<double>(canvas.surface.width) + 2) * kScale;
        s.cull_y1 = (static_cast<double>(canvas.surface.height) + 2) * kScale;
    } else {
        s.cull_x0 = s.cull_y0 = -HUGE_VAL;
        s.cull_x1 = s.cull_y1 = HUGE_VAL;
    }
    return s;
}

// Curve pieces farther outside the Surface than any outline point can reach
// from its centre line (a miter reaches miter_limit half widths) may be
// flattened as chords.
FlattenWindow stroke_window(const Canvas& canvas, const Transform& t, const Settings& s) noexcept {
    const double reach = pen_major_axis(t, s.line_width) * std::fmax(s.miter_limit, 1.0) + 1.0;
    FlattenWindow window = surface_window(canvas, reach);
    if (pen_is_capped(t, s.line_width, s.tolerance)) window.max_depth = kCappedPenFlattenDepth;
    return window;
}

}  // namespace

Error stroke(Canvas& canvas, const Path& path, const Paint& paint, const StrokeStyle& style) noexcept {
    VOKRI_TRY(check_source(paint.source));
    double det = 0;
    const Transform& t = path.transform;
    VOKRI_TRY(check_matrix(t, det));
    if (path.nodes.empty() || !path_is_finite(path)) return Error::None;
    const Settings s = stroke_settings(canvas, t, style, det);
    const FlattenWindow window = stroke_window(canvas, t, s);

    Allocator& alloc = canvas.allocator;
    if (!canvas.stroke_scratch) {
        void* mem = alloc.allocate(sizeof(StrokeScratch));
        if (!mem) return Error::OutOfMemory;
        canvas.stroke_scratch = new (mem) StrokeScratch(alloc);
    }
    EdgeList* edges = nullptr;
    VOKRI_TRY(scratch_edge_list(canvas, 1.0, edges));
    Stroker stroker(s, window, *edges, *canvas.stroke_scratch);
    if (s.line_join == join_round) VOKRI_TRY(stroker.ensure_pen());
    VOKRI_TRY(stroker.run(path));
    return rasterize_edges(canvas, *edges, paint, fill_non_zero);
}

}  // namespace vokri
