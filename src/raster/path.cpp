#include "raster/path.h"

#include <cmath>

namespace vokri {

namespace {
inline double clamp_coord(double v) noexcept {
    if (std::isnan(v)) return kCoordMax;
    return v < kCoordMin ? kCoordMin : (v > kCoordMax ? kCoordMax : v);
}
}  // namespace

Point Path::to_device(double x, double y) const noexcept {
    Point p;
    transform.apply(clamp_coord(x), clamp_coord(y), p.x, p.y);
    return p;
}

void Path::reset() noexcept {
    nodes.clear();
    has_initial_point = false;
    has_current_point = false;
}

Error Path::move_to(double x, double y) noexcept {
    VOKRI_TRY(nodes.grow_for(1));
    Point p = to_device(x, y);
    if (!nodes.empty() && nodes.back().kind == node_move_to && nodes.back().p1 == p) return Error::None;
    nodes.push_unchecked(PathNode{p, {}, {}, node_move_to});
    initial_point = current_point = p;
    has_initial_point = has_current_point = true;
    return Error::None;
}

Error Path::line_to(double x, double y) noexcept {
    if (!has_current_point) return move_to(x, y);
    VOKRI_TRY(nodes.grow_for(1));
    Point p = to_device(x, y);
    nodes.push_unchecked(PathNode{p, {}, {}, node_line_to});
    current_point = p;
    return Error::None;
}

Error Path::curve_to(double x1, double y1, double x2, double y2, double x3, double y3) noexcept {
    if (!has_current_point) return Error::NoCurrentPoint;
    VOKRI_TRY(nodes.grow_for(1));
    PathNode n{to_device(x1, y1), to_device(x2, y2), to_device(x3, y3), node_curve_to};
    nodes.push_unchecked(n);
    current_point = n.p3;
    return Error::None;
}

Error Path::close_path() noexcept {
    if (!has_current_point) return Error::None;
    VOKRI_TRY(nodes.grow_for(2));
    nodes.push_unchecked(PathNode{{}, {}, {}, node_close_path});
    nodes.push_unchecked(PathNode{initial_point, {}, {}, node_move_to});
    return Error::None;
}

}  // namespace vokri
