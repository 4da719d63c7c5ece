#include "raster/fill.h"

#include "raster/coverage.h"
#include "raster/edge_list.h"

namespace vokri {

Error fill(DrawContext& ctx) noexcept {
    VOKRI_TRY(check_source(ctx.source));
    if (ctx.path.nodes.empty()) return Error::None;
    VOKRI_TRY(check_closed(ctx.path));
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
