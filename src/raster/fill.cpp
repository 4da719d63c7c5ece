#include "raster/fill.h"

#include <cmath>

#include "raster/coverage.h"
#include "raster/edge_list.h"

namespace vokri {

namespace {

// Whether the corners c (scaled device units, in outline order) make an
// axis-aligned rectangle, and if so its two vertical edges.
bool box_edges(const Point (&c)[4], double& x_left, double& x_right, double& y_top, double& y_bottom) noexcept {
    for (const Point& p : c)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    // Horizontal edges first (c0-c1 and c2-c3), or vertical edges first.
    const bool horizontal_first = c[0].y == c[1].y;
    if (!(horizontal_first ? c[1].x == c[2].x && c[2].y == c[3].y && c[3].x == c[0].x
                           : c[0].x == c[1].x && c[1].y == c[2].y && c[2].x == c[3].x && c[3].y == c[0].y))
        return false;
    const int v = horizontal_first ? 1 : 0;  // the first corner of a vertical edge
    const Point &a = c[v], &b = c[v + 1], &d = c[(v + 3) % 4];
    if (a.x == d.x || a.y == b.y) return false;  // fewer than four distinct corners
    x_left = a.x;
    x_right = d.x;
    y_top = a.y;
    y_bottom = b.y;
    return true;
}

// The corners of a Path of one closed four-point outline; false for any
// other Path.
bool path_corners(const Path& path, Point (&c)[4]) noexcept {
    const auto& n = path.nodes;
    if (n.size() != 6 || (n[4].kind & 3) != node_close_path) return false;
    for (size_t i = 0; i < 4; ++i) {
        if ((n[i].kind & 3) != (i == 0 ? node_move_to : node_line_to)) return false;
        c[i] = n[i].p1;
    }
    return true;
}

}  // namespace

Error fill(Canvas& canvas, const Path& path, const Paint& paint, FillRule rule) noexcept {
    VOKRI_TRY(check_source(paint.source));
    if (path.nodes.empty()) return Error::None;
    VOKRI_TRY(check_closed(path));
    if (Point c[4]; path_corners(path, c) && fill_box(canvas, c, paint)) return Error::None;
    EdgeList* list = nullptr;
    VOKRI_TRY(scratch_edge_list(canvas, 4.0, list));
    const double tolerance = canvas.options.tolerance;
    Error e = build_edge_list(path, tolerance, 4.0, *list, surface_window(canvas));
    // Curve pieces beside the Surface taken as chords change nothing only
    // where every outline is closed.
    if (e == Error::None && list->open_contour) e = build_edge_list(path, tolerance, 4.0, *list);
    if (e == Error::None) e = rasterize_edges(canvas, *list, paint, rule);
    list->clear(4.0);  // storage stays for the next fill or stroke of the call
    return e;
}

bool fill_box(Canvas& canvas, const Point (&c)[4], const Paint& paint) noexcept {
    if (!canvas.options.shortcuts || check_source(paint.source) != Error::None) return false;
    // The units of a fill's EdgeList.
    const Point scaled[4] = {{c[0].x * 4.0, c[0].y * 4.0}, {c[1].x * 4.0, c[1].y * 4.0},
                             {c[2].x * 4.0, c[2].y * 4.0}, {c[3].x * 4.0, c[3].y * 4.0}};
    double x_left, x_right, y_top, y_bottom;
    if (!box_edges(scaled, x_left, x_right, y_top, y_bottom)) return false;
    rasterize_box(canvas, paint, x_left, x_right, y_top, y_bottom);
    return true;
}

}  // namespace vokri
