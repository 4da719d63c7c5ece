// Edge lists: the straight, non-horizontal edges in scaled device units that
// the coverage rasterizer consumes, built from a Path (fills) or from outline
// polygons (strokes), and the cubic flattener both use.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

#include "common/alloc.h"
#include "common/cpu.h"
#include "common/error.h"
#include "raster/path.h"

#if VOKRI_X86_64
#include <emmintrin.h>
#endif

namespace vokri {

struct Edge {
    double y_first = 0;  // scaled y of the segment's first point
    double y_last = 0;   // scaled y of the segment's last point
    double x_top = 0;    // scaled x at the smaller y
    double dxdy = 0;     // x change per unit y, from the top end downwards
};

struct EdgeList {
    Buffer<Edge> edges;
    double scale = 4.0;  // 4.0 for fills; 1.0 for outlines whose points arrive scaled
    double y_min = 0, y_max = 0;
    double x_min = 0, x_max = 0;
    // Set when an edge end point is not finite after scaling. The rasterizer
    // paints nothing for such a list: an edge at infinity has no place on a
    // Surface, and its arithmetic would leave the finite range.
    bool non_finite = false;
    // Set when a closed subpath has only two distinct points: it gets no
    // closing edge, so its one edge carries winding to everything right of
    // it on the rows it crosses. The fill's shortcuts assume closed outlines
    // and stand aside for such a list.
    bool open_contour = false;

    EdgeList() = default;
    explicit EdgeList(Allocator& a, double s = 4.0) noexcept : edges(a), scale(s) {}
    void bind(Allocator& a) noexcept { edges.bind(a); }
    // Empties the list (storage kept) and sets its scale.
    void clear(double s) noexcept {
        edges.clear();
        scale = s;
        y_min = y_max = x_min = x_max = 0;
        non_finite = open_contour = false;
    }
    // Frees the storage.
    void release() noexcept { edges.reset(); }
    bool empty() const noexcept { return edges.empty(); }
};

// Appends the edge from p0 to p1 (device units, multiplied by the list's
// scale). Horizontal segments add nothing; a point that is not finite after
// scaling marks the list as non_finite.
[[nodiscard]] Error add_edge(EdgeList& list, Point p0, Point p1) noexcept;

// Halvings after which a piece counts as flat. A piece reaches this depth
// only when the curve's device extent exceeds about 0.1 * 4^40 pixels; the
// bound keeps the work finite for any finite input.
inline constexpr int kMaxFlattenDepth = 40;

// A device-space rectangle outside of which the flattener may take a curve
// piece as flat: a piece whose four control points all lie on the far side of
// one of the rectangle's borders is replaced by its chord. For a fill of a
// Surface of w x h pixels the window {0, 0, w, h} leaves every painted pixel
// as exact flattening would make it (the chord crosses every sample line left
// of the Surface with the same net winding, and pieces above, below or right
// of it are never sampled inside the fill box), while the work stays bounded
// by the part of the curve near the Surface. Outlines must widen the window by
// at least their half width.
struct FlattenWindow {
    double x0 = -HUGE_VAL, y0 = -HUGE_VAL, x1 = HUGE_VAL, y1 = HUGE_VAL;
    int max_depth = kMaxFlattenDepth;

    bool outside(const Point& a, const Point& b, const Point& c, const Point& d) const noexcept {
        return (a.x <= x0 && b.x <= x0 && c.x <= x0 && d.x <= x0) ||
               (a.x >= x1 && b.x >= x1 && c.x >= x1 && d.x >= x1) ||
               (a.y <= y0 && b.y <= y0 && c.y <= y0 && d.y <= y0) ||
               (a.y >= y1 && b.y >= y1 && c.y >= y1 && d.y >= y1);
    }
};

namespace detail {

inline bool finite_point(const Point& p) noexcept { return std::isfinite(p.x) && std::isfinite(p.y); }

// Squared distance measure of control point q against the chord a..d.
inline double control_error(const Point& a, const Point& q, const Point& d) noexcept {
    double ex, ey;
    if (d == a) {
        ex = q.x - a.x;
        ey = q.y - a.y;
    } else {
        double dx = d.x - a.x, dy = d.y - a.y;
        double qx = q.x - a.x, qy = q.y - a.y;
        double u = qx * dx + qy * dy;
        double v = dx * dx + dy * dy;
        if (u >= v) {
            ex = q.x - d.x;
            ey = q.y - d.y;
        } else {
            double f = u / v;
            ex = qx - f * dx;
            ey = qy - f * dy;
        }
    }
    return ex * ex + ey * ey;
}

// How far the piece a, b, c, d is from flat: the larger of control_error
// for b and for c (c's when it compares greater). The SSE2 form puts the
// two through two lanes with the operations of control_error in its order,
// the branch on u >= v taken per lane by a comparison that is false for NaN
// like the scalar one.
template <bool kSse2>
inline double flat_error_as(const Point& a, const Point& b, const Point& c, const Point& d) noexcept {
#if VOKRI_X86_64
    if constexpr (!kSse2) {
        const double eb = control_error(a, b, d), ec = control_error(a, c, d);
        return ec > eb ? ec : eb;
    }
    const __m128d qx_abs = _mm_set_pd(c.x, b.x), qy_abs = _mm_set_pd(c.y, b.y);
    const __m128d ax = _mm_set1_pd(a.x), ay = _mm_set1_pd(a.y);
    __m128d ex, ey;
    if (d == a) {
        ex = _mm_sub_pd(qx_abs, ax);
        ey = _mm_sub_pd(qy_abs, ay);
    } else {
        const double dx = d.x - a.x, dy = d.y - a.y;
        const __m128d vdx = _mm_set1_pd(dx), vdy = _mm_set1_pd(dy);
        const __m128d qx = _mm_sub_pd(qx_abs, ax), qy = _mm_sub_pd(qy_abs, ay);
        const __m128d u = _mm_add_pd(_mm_mul_pd(qx, vdx), _mm_mul_pd(qy, vdy));
        const __m128d v = _mm_set1_pd(dx * dx + dy * dy);
        const __m128d f = _mm_div_pd(u, v);
        const __m128d beyond = _mm_cmpge_pd(u, v);
        const __m128d ex_beyond = _mm_sub_pd(qx_abs, _mm_set1_pd(d.x)), ey_beyond = _mm_sub_pd(qy_abs, _mm_set1_pd(d.y));
        const __m128d ex_along = _mm_sub_pd(qx, _mm_mul_pd(f, vdx)), ey_along = _mm_sub_pd(qy, _mm_mul_pd(f, vdy));
        ex = _mm_or_pd(_mm_and_pd(beyond, ex_beyond), _mm_andnot_pd(beyond, ex_along));
        ey = _mm_or_pd(_mm_and_pd(beyond, ey_beyond), _mm_andnot_pd(beyond, ey_along));
    }
    const __m128d e = _mm_add_pd(_mm_mul_pd(ex, ex), _mm_mul_pd(ey, ey));
    const double eb = _mm_cvtsd_f64(e), ec = _mm_cvtsd_f64(_mm_unpackhi_pd(e, e));
#else
    const double eb = control_error(a, b, d), ec = control_error(a, c, d);
#endif
    return ec > eb ? ec : eb;
}

// The widest form there is, whatever the caps (for the tests that compare
// it with control_error).
inline double flat_error(const Point& a, const Point& b, const Point& c, const Point& d) noexcept {
    return flat_error_as<VOKRI_X86_64 != 0>(a, b, c, d);
}

// Whether flattening takes flat_error's SSE2 form (chosen per curve).
inline bool flat_error_lanes() noexcept { return VOKRI_X86_64 && cpu::usable(cpu::Isa::sse2); }

inline Point mid(const Point& a, const Point& b) noexcept { return Point{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// One piece of a curve and its depth in the subdivision.
struct CurvePiece {
    Point a, b, c, d;
    int depth;
};

// The subdivision of a, b, c, d depth first, left half before right half:
// a piece within tolerance (or at the depth limit) emits its start point
// unless that is p0, a piece wholly beside the window is taken as its chord.
// The right halves wait on a stack, one piece per depth below the limit
// (max_depth, at most kMaxFlattenDepth), instead of in recursive calls.
template <bool kSse2, class Emit>
Error flatten_step(const Point& a, const Point& b, const Point& c, const Point& d, double t,
                   const Point& p0, const FlattenWindow& w, int depth, Emit& emit) noexcept {
    // Left uninitialized: a piece is read only after it is pushed.
    alignas(CurvePiece) unsigned char storage[sizeof(CurvePiece) * kMaxFlattenDepth];
    CurvePiece* waiting = reinterpret_cast<CurvePiece*>(storage);
    const int max_depth = w.max_depth < kMaxFlattenDepth ? w.max_depth : kMaxFlattenDepth;
    int count = 0;
    CurvePiece p{a, b, c, d, depth};
    for (;;) {
        const double err = flat_error_as<kSse2>(p.a, p.b, p.c, p.d);
        const bool flat = t > err || p.depth >= max_depth;
        if (flat || w.outside(p.a, p.b, p.c, p.d)) {
            if (!(p.a == p0)) VOKRI_TRY(emit(p.a));
            // An emitter that must know what plain flattening would have
            // emitted inside the piece (the fill counts distinct points to
            // decide whether a subpath gets its closing edge) is told about
            // the replaced piece.
            if constexpr (requires { emit.replaced(p.a, p.b, p.c, p.d, t, p0, p.depth, w.max_depth); })
                if (!flat) emit.replaced(p.a, p.b, p.c, p.d, t, p0, p.depth, w.max_depth);
            if (count == 0) return Error::None;
            p = waiting[--count];
            continue;
        }
        const Point ab = mid(p.a, p.b), bc = mid(p.b, p.c), cd = mid(p.c, p.d);
        const Point abc = mid(ab, bc), bcd = mid(bc, cd);
        const Point abcd = mid(abc, bcd);
        new (&waiting[count++]) CurvePiece{abcd, bcd, cd, p.d, p.depth + 1};
        p = CurvePiece{p.a, ab, abc, abcd, p.depth + 1};
    }
}

// flatten_step in the form of flat_error that the processor and the caps
// allow.
template <class Emit>
Error flatten_piece(const Point& a, const Point& b, const Point& c, const Point& d, double t, const Point& p0,
                    const FlattenWindow& w, int depth, Emit& emit) noexcept {
    if (flat_error_lanes()) return flatten_step<true>(a, b, c, d, t, p0, w, depth, emit);
    return flatten_step<false>(a, b, c, d, t, p0, w, depth, emit);
}

}  // namespace detail

// Flattens the cubic p0, c1, c2, p3 (device units) within `tolerance` device
// pixels: calls emit(Point) -> Error for every polyline point after p0, ending
// with p3. An emit error stops the flattening and is returned. A curve with a
// non-finite control point is emitted as its end point alone (the recursion
// could not shrink it).
template <class Emit>
[[nodiscard]] Error flatten_curve(Point p0, Point c1, Point c2, Point p3, double tolerance, Emit&& emit,
                                  const FlattenWindow& window = FlattenWindow{}) noexcept {
    if ((p0 == c1 && c2 == p3) || !detail::finite_point(p0) || !detail::finite_point(c1) ||
        !detail::finite_point(c2) || !detail::finite_point(p3))
        return emit(p3);
    VOKRI_TRY(detail::flatten_piece(p0, c1, c2, p3, tolerance * tolerance, p0, window, 0, emit));
    return emit(p3);
}

// PathNotClosed unless every subpath of `path` is closed (an empty Path passes).
[[nodiscard]] Error check_closed(const Path& path) noexcept;

// Walks `path` into `list` (cleared first, given `scale`), flattening curves
// with max(tolerance, 0.001). InvalidState for a segment before any move_to;
// OutOfMemory when the edge array cannot grow.
[[nodiscard]] Error build_edge_list(const Path& path, double tolerance, double scale, EdgeList& list,
                                    const FlattenWindow& window = FlattenWindow{}) noexcept;

}  // namespace vokri
