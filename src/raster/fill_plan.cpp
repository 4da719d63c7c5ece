#include "raster/fill_plan.h"

#include <cmath>

#include "common/fatal.h"
#include "common/numeric.h"

namespace vokri {

bool plan_fill(const Surface& surface, double x_min, double x_max, double y_min, double y_max,
               FillBox& out) noexcept {
    if (surface.width <= 0 || surface.height <= 0)
        fatal("invalid box width or height. this is a bug, please report it");
    if (x_max < 0 || y_max < 0) return false;
    const double W = surface.width, H = surface.height;
    const double fx0 = std::floor(x_min / 4), fy0 = std::floor(y_min / 4);
    const double fx1 = std::ceil(x_max / 4), fy1 = std::ceil(y_max / 4);
    if (fx0 == fx1 || fy0 == fy1 || !(fx0 < W) || !(fy0 < H)) return false;
    const double first_row = clamp(fy0, 0, H - 1);
    double last_row = fy1 < H - 1 ? fy1 : H - 1;
    if (last_row < first_row) last_row = first_row;
    const double box_start = clamp(fx0, 0, W - 1);
    double box_end = fx1 < W ? fx1 : W;
    if (box_end < box_start) box_end = box_start;
    if (last_row < first_row || box_end < box_start)
        fatal("negative polygon width or height. this is a bug, please report it");
    // A box of zero width happens when the shape ends exactly at the left
    // border (x_max = 0 with x_min < 0): nothing of it lies on the Surface.
    if (box_end == box_start) return false;
    out = FillBox{static_cast<int64_t>(box_start), static_cast<int64_t>(box_end - box_start),
                  static_cast<int64_t>(first_row), static_cast<int64_t>(last_row)};
    if (out.box_width <= 0) fatal("invalid mask dimensions. this is a bug, please report it");
    return true;
}

}  // namespace vokri
