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

// The first point, the point before the last and the last point of the
// subpath being walked, with the count of distinct points (saturating at 3).
struct ContourTracker {
    Point first, middle, last;
    int count = 0;

    void restart(Point p) noexcept {
        first = last = p;
        count = 1;
    }
    void add(Point p) noexcept {
        if (count == 3) {
            middle = last;
            last = p;
        } else if (count == 2) {
            middle = last;
            last = p;
            count = 3;
        } else {
            last = p;
            count = 2;
        }
    }
};

struct EdgeSink {
    EdgeList& list;
    ContourTracker& tracker;
    Error operator()(Point p) noexcept {
        if (p == tracker.last) return Error::None;
        VOKRI_TRY(add_edge(list, tracker.last, p));
        tracker.add(p);
        return Error::None;
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
                if (tracker.count >= 3 && !(tracker.last == tracker.first))
                    VOKRI_TRY(add_edge(list, tracker.last, tracker.first));
                break;
        }
    }
    return Error::None;
}

}  // namespace vokri
