#include "raster/fill.h"

#include <cmath>

#include "raster/coverage.h"
#include "raster/edge_list.h"
#include "raster/shortcuts.h"

namespace vokri {

namespace {

// Whether the path is one axis-aligned rectangle (four corners, closed), and
// if so its two vertical edges in the scaled units of a fill's EdgeList.
bool path_box(const Path& path, double& x_left, double& x_right, double& y_top, double& y_bottom) noexcept {
    const auto& n = path.nodes;
    if (n.size() != 6 || (n[0].kind & 3) != node_move_to || (n[4].kind & 3) != node_close_path) return false;
    Point c[4];
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0 && (n[i].kind & 3) != node_line_to) return false;
        c[i] = Point{n[i].p1.x * 4.0, n[i].p1.y * 4.0};
        if (!std::isfinite(c[i].x) || !std::isfinite(c[i].y)) return false;
    }
    // Horizontal edges first (c0-c1 and c2-c3), or vertical edges first.
    const int v = c[0].y == c[1].y ? 1 : 0;
    const Point &a = c[v], &b = c[v + 1], &d = c[(v + 3) % 4];
    if (!(c[0].y == c[1].y ? c[1].x == c[2].x && c[2].y == c[3].y && c[3].x == c[0].x
                           : c[0].x == c[1].x && c[1].y == c[2].y && c[2].x == c[3].x && c[3].y == c[0].y))
        return false;
    if (a.x == d.x || a.y == b.y) return false;  // fewer than four distinct corners
    x_left = a.x;
    x_right = d.x;
    y_top = a.y;
    y_bottom = b.y;
    return true;
}

}  // namespace

Error fill(DrawContext& ctx) noexcept {
    VOKRI_TRY(check_source(ctx.source));
    if (ctx.path.nodes.empty()) return Error::None;
    VOKRI_TRY(check_closed(ctx.path));
    double x_left, x_right, y_top, y_bottom;
    if (raster_shortcuts::enabled() && path_box(ctx.path, x_left, x_right, y_top, y_bottom)) {
        rasterize_box(ctx, x_left, x_right, y_top, y_bottom);
        return Error::None;
    }
    EdgeList* list = nullptr;
    VOKRI_TRY(scratch_edge_list(ctx, 4.0, list));
    Error e = build_edge_list(ctx.path, ctx.tolerance, 4.0, *list, surface_window(ctx));
    // Curve pieces beside the Surface taken as chords change nothing only
    // where every outline is closed.
    if (e == Error::None && list->open_contour) e = build_edge_list(ctx.path, ctx.tolerance, 4.0, *list);
    if (e == Error::None) e = rasterize_edges(ctx, *list, ctx.fill_rule);
    list->clear(4.0);  // storage stays for the next fill or stroke of the call
    return e;
}

}  // namespace vokri
