// Where a fill can paint: the part of the Surface under an outline's
// bounds.
#pragma once

#include <cstdint>

#include "surface/surface.h"

namespace vokri {


// The part of the Surface a fill can paint: the columns from box_start and
// the rows first_row..last_row.
struct FillBox {
    int64_t box_start = 0, box_width = 0;
    int64_t first_row = 0, last_row = 0;
};

// The FillBox of a list with these bounds (scaled device units, finite);
// false when nothing of it lies on the Surface.
bool plan_fill(const Surface& surface, double x_min, double x_max, double y_min, double y_max,
               FillBox& out) noexcept;

}  // namespace vokri
