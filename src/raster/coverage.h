// The 16-sample coverage rasterizer: EdgeList in, runs of equal coverage out
// to the compositor (paint_run / paint_run_alpha).
#pragma once

#include <cstdint>

#include "common/error.h"
#include "raster/context.h"
#include "raster/edge_list.h"

namespace vokri {

// Rasterizes `list` under `fill_rule` (fill_non_zero or fill_even_odd) with
// the context's source, operator and precision, painting into ctx.surface.
// The caller has checked the source. Scratch memory comes from the context's
// reusable raster scratch; OutOfMemory leaves rows already emitted painted.
// A list with non-finite end points paints nothing and succeeds.
[[nodiscard]] Error rasterize_edges(DrawContext& ctx, EdgeList& list, uint8_t fill_rule) noexcept;

// Fills the axis-aligned box whose vertical edges lie at x_left and x_right
// and run between y_top and y_bottom (scaled device units as in an EdgeList,
// finite, x_left != x_right, y_top != y_bottom) with the context's source,
// painting what rasterize_edges paints for the list of those two edges under
// either fill rule, without building it.
void rasterize_box(DrawContext& ctx, double x_left, double x_right, double y_top, double y_bottom) noexcept;

// The EdgeList kept in the context's scratch, cleared and set to `scale`;
// reused by every fill and stroke of the call. OutOfMemory when the scratch
// itself cannot be allocated.
[[nodiscard]] Error scratch_edge_list(DrawContext& ctx, double scale, EdgeList*& out) noexcept;

// The window for flattening fills into ctx.surface (see FlattenWindow).
FlattenWindow surface_window(const DrawContext& ctx, double margin = 0.0) noexcept;

}  // namespace vokri
