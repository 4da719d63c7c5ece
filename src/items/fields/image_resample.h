// The resampling writer of the image item: every Surface pixel of a box is
// mapped back into the raster, sampled bilinearly and blended with the
// opacity in f64.
#pragma once

#include <cstdint>

#include "items/fields/image_blend.h"
#include "surface/surface.h"

namespace vokri::image {

// The raster-space to pixel-space map: pixel = A * (u, v) + t.
struct Placement {
    double xx, xy, yx, yy, tx, ty;
};

// Pixel columns [x0, x1) of rows [y0, y1) of an rgba32 or rgbx32 Surface,
// inverse-mapped through `p` (non-singular) and sampled from `raster`.
//
// The plain definition, one pixel at a time.
void resample_scalar(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
                     int64_t y0, int64_t y1) noexcept;
// The same bytes four pixels at a time in f64 lanes; only when
// cpu::usable(avx2) (the plain form elsewhere).
void resample_avx2(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
                   int64_t y0, int64_t y1) noexcept;
// Picks the widest form the processor runs.
void resample(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
              int64_t y0, int64_t y1) noexcept;

}  // namespace vokri::image
