#include "raster/coverage.h"

#include <cmath>

#include "common/fatal.h"
#include "raster/fill_plan.h"
#include "raster/raster_scratch.h"
#include "raster/row_rasterizer.h"

namespace vokri {

namespace {

// The row rasterizer with run lengths as wide as the box needs.
template <class Painter>
Error rasterize_rows(FillJob& job, const EdgeList& list) noexcept {
    if (job.box_width <= 255) return RowRasterizer<uint8_t, Painter>(job, list).run();
    if (job.box_width <= 65535) return RowRasterizer<uint16_t, Painter>(job, list).run();
    return RowRasterizer<uint32_t, Painter>(job, list).run();
}

}  // namespace

Error scratch_edge_list(Canvas& canvas, double scale, EdgeList*& out) noexcept {
    VOKRI_TRY(ensure_scratch(canvas));
    canvas.raster_scratch->edges.clear(scale);
    out = &canvas.raster_scratch->edges;
    return Error::None;
}

FlattenWindow surface_window(const Canvas& canvas, double margin) noexcept {
    if (!canvas.options.shortcuts) return FlattenWindow{};
    return FlattenWindow{-margin, -margin, canvas.surface.width + margin, canvas.surface.height + margin};
}

Error rasterize_edges(Canvas& canvas, EdgeList& list, const Paint& paint, uint8_t fill_rule) noexcept {
    if (list.edges.empty()) return Error::None;
    // Edges at infinity (a transform whose scale overflows the f64 range):
    // nothing can be placed on the Surface, so nothing is painted.
    if (list.non_finite) return Error::None;
    if (!std::isfinite(list.x_min) || !std::isfinite(list.x_max) || !std::isfinite(list.y_min) ||
        !std::isfinite(list.y_max))
        fatal("invalid polygon dimensions. this is a bug, please report it");
    if (!std::isfinite(list.scale) || list.scale < 1)
        fatal("invalid value for scale. this is a bug, please report it");
    FillBox box;
    if (!plan_fill(canvas.surface, list.x_min, list.x_max, list.y_min, list.y_max, box)) return Error::None;
    VOKRI_TRY(ensure_scratch(canvas));
    FillJob job{canvas,        paint,         canvas.surface,    fill_rule,   box.box_start,
                box.box_width, 4 * box.box_width, box.first_row, box.last_row};
    if (canvas.options.painting == Painting::plain) return rasterize_rows<PlainPainter>(job, list);
    return rasterize_rows<FastPainter>(job, list);
}

}  // namespace vokri
