#include "raster/edge_list.h"

namespace vokri {

Error add_edge(EdgeList& list, Point p0, Point p1) noexcept {
    const double s = list.scale;
    const double X0 = p0.x * s, Y0 = p0.y * s, X1 = p1.x * s, Y1 = p1.y * s;
    // A point that is not finite has no place on the Surface; the list is
    // marked so that nothing of it is painted (dropping only this edge would
    // leave its polygon open).
    if (!std::isfinite(X0) || !std::isfinite(X1) || !std::isfinite(Y0) || !std::isfinite(Y1))
        list.non_finite = true;
    double top, bottom, x_top, dxdy;
    if (Y1 > Y0) {
        top = Y0;
        bottom = Y1;
        x_top = X0;
        dxdy = (X1 - X0) / (Y1 - Y0);
    } else if (Y1 < Y0) {
        top = Y1;
        bottom = Y0;
        x_top = X1;
        dxdy = (X0 - X1) / (Y0 - Y1);
    } else {
        return Error::None;  // horizontal, or NaN
    }
    VOKRI_TRY(list.edges.grow_for(1));
    const double lo = X0 < X1 ? X0 : X1;
    const double hi = X0 < X1 ? X1 : X0;
    if (list.edges.empty()) {
        list.y_min = top;
        list.y_max = bottom;
        list.x_min = lo;
        list.x_max = hi;
    } else {
        if (top < list.y_min) list.y_min = top;
        if (bottom > list.y_max) list.y_max = bottom;
        if (lo < list.x_min) list.x_min = lo;
        if (hi > list.x_max) list.x_max = hi;
    }
    list.edges.push_unchecked(Edge{Y0, Y1, x_top, dxdy});
    return Error::None;
}

Error check_closed(const Path& path) noexcept {
    const size_t n = path.nodes.size();
    if (n == 0) return Error::None;
    bool closed = path.nodes[0].kind == node_close_path;
    for (size_t i = 1; i < n; ++i) {
        const uint8_t k = path.nodes[i].kind & 3;
        if (k == node_move_to) {
            if (!closed) return Error::PathNotClosed;
        } else {
            closed = k == node_close_path;
        }
    }
    return closed ? Error::None : Error::PathNotClosed;
}

namespace {

// The first and the last point of the subpath being walked, with the count
// of distinct points (saturating at 3).
// The count follows the points that plain flattening emits: where the
// flattening window replaced a curve piece by its chord, the points plain
// flattening would have emitted inside the piece are counted too, so that a
// subpath gets its closing edge exactly when it would without the window.
struct ContourTracker {
    Point first, last;
    Point counted_last;  // the last point plain flattening would have emitted
    int count = 0;

    void restart(Point p) noexcept {
        first = last = counted_last = p;
        count = 1;
    }
    // A point as plain flattening emits it.
    void count_point(Point p) noexcept {
        if (count < 3 && !(p == counted_last)) ++count;
        counted_last = p;
    }
};

struct EdgeSink {
    EdgeList& list;
    ContourTracker& tracker;
    Error operator()(Point p) noexcept {
        tracker.count_point(p);
        if (p == tracker.last) return Error::None;
        VOKRI_TRY(add_edge(list, tracker.last, p));
        tracker.last = p;
        return Error::None;
    }

    // The flattening window replaced the piece a..d by its chord. Plain
    // flattening of the piece is replayed for the count alone, and only until
    // the count saturates: a few leaves of a recursion at most max_depth deep.
    void replaced(const Point& a, const Point& b, const Point& c, const Point& d, double t, const Point& p0,
                  int depth, int max_depth) noexcept {
        if (tracker.count >= 3) return;
        FlattenWindow plain;
        plain.max_depth = max_depth;
        auto count = [this](Point p) noexcept {
            tracker.count_point(p);
            // Any error value ends the replay; none is reported.
            return tracker.count >= 3 ? Error::InvalidState : Error::None;
        };
        (void)detail::flatten_piece(a, b, c, d, t, p0, plain, depth, count);
    }
};

}  // namespace

Error build_edge_list(const Path& path, double tolerance, double scale, EdgeList& list,
                      const FlattenWindow& window) noexcept {
    list.clear(scale);
    const double tol = tolerance > 0.001 ? tolerance : 0.001;
    ContourTracker tracker;
    EdgeSink sink{list, tracker};
    const size_t n = path.nodes.size();
    for (size_t i = 0; i < n; ++i) {
        const PathNode& node = path.nodes[i];
        switch (node.kind & 3) {
            case node_move_to:
                if (i + 1 < n) tracker.restart(node.p1);
                break;
            case node_line_to:
                if (tracker.count == 0) return Error::InvalidState;
                VOKRI_TRY(sink(node.p1));
                break;
            case node_curve_to:
                if (tracker.count == 0) return Error::InvalidState;
                VOKRI_TRY(flatten_curve(tracker.last, node.p1, node.p2, node.p3, tol, sink, window));
                break;
            default:  // close_path
                if (tracker.count == 2) list.open_contour = true;
                if (tracker.count >= 3 && !(tracker.last == tracker.first))
                    VOKRI_TRY(add_edge(list, tracker.last, tracker.first));
                break;
        }
    }
    return Error::None;
}

}  // namespace vokri
