// The 16-sample coverage rasterizer: EdgeList in, rows of coverage painted
// onto the canvas's Surface.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "raster/canvas.h"
#include "raster/edge_list.h"
#include "raster/paint.h"

namespace vokri {

enum FillRule : uint8_t { fill_non_zero = 0, fill_even_odd = 1 };

// Rasterizes `list` under `fill_rule` (fill_non_zero or fill_even_odd),
// painting `paint` (already checked) onto the canvas. Scratch memory comes
// from the canvas's reusable raster scratch; OutOfMemory leaves rows already
// emitted painted. A list with non-finite end points paints nothing and
// succeeds.
[[nodiscard]] Error rasterize_edges(Canvas& canvas, EdgeList& list, const Paint& paint, uint8_t fill_rule) noexcept;

// Fills the axis-aligned box whose vertical edges lie at x_left and x_right
// and run between y_top and y_bottom (scaled device units as in an EdgeList,
// finite, x_left != x_right, y_top != y_bottom) with `paint`, painting what
// rasterize_edges paints for the list of those two edges under either fill
// rule, without building it.
void rasterize_box(Canvas& canvas, const Paint& paint, double x_left, double x_right, double y_top,
                   double y_bottom) noexcept;

// The EdgeList kept in the canvas's scratch, cleared and set to `scale`;
// reused by every fill and stroke of the call. OutOfMemory when the scratch
// itself cannot be allocated.
[[nodiscard]] Error scratch_edge_list(Canvas& canvas, double scale, EdgeList*& out) noexcept;

// The window for flattening fills onto the canvas (see FlattenWindow); none
// without the shortcuts.
FlattenWindow surface_window(const Canvas& canvas, double margin = 0.0) noexcept;

}  // namespace vokri
