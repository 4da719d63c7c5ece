// Pieces of the batch item: the per-element blends towards the target lists
// and the two direct writers for rgbx32 Surfaces (exact-area boxes and
// anti-aliased hairlines).
#pragma once

#include <cstdint>

#include "raster/canvas.h"
#include "raster/paint.h"
#include "surface/surface.h"

namespace vokri {

// Blend of a fill colour (0xRRGGBBAA) towards an optional target colour by
// t in [0, 1]; the result is in bytes R, G, B, A with the alpha multiplied
// by `opacity` (in [0, 1]), straight alpha.
uint32_t batch_fill_colour(uint32_t first, const uint32_t* target, double t, double opacity) noexcept;

// Stroke colour from the optional first and target colours (at least one
// present): both blend per channel, a lone first colour fades out by 1 - t,
// a lone target colour fades in by t. Bytes R, G, B, A, straight alpha.
uint32_t batch_stroke_colour(const uint32_t* first, const uint32_t* target, double t, double opacity) noexcept;

// Blends `colour` (bytes R, G, B, A; straight) at the given pixel alpha
// a (1 to 255) into an rgbx32 pixel: each byte becomes
// ⌊c·a/255⌋ + ⌊d·(255 − a)/255⌋, the pad byte 0.
inline uint32_t blend_rgbx(uint32_t dst, uint32_t colour, uint32_t a) noexcept {
    uint32_t na = 255 - a;
    uint32_t r = (colour & 0xFF) * a / 255 + (dst & 0xFF) * na / 255;
    uint32_t g = ((colour >> 8) & 0xFF) * a / 255 + ((dst >> 8) & 0xFF) * na / 255;
    uint32_t b = ((colour >> 16) & 0xFF) * a / 255 + ((dst >> 16) & 0xFF) * na / 255;
    return r | g << 8 | b << 16;
}

// Paints one axis-parallel box with exact-area coverage into an rgbx32
// Surface. (cx, cy) is the device centre, hx and hy the half extents;
// `colour` is bytes R, G, B, A, straight.
void paint_box_rgbx(Surface& s, double cx, double cy, double hx, double hy, uint32_t colour) noexcept;

// Paints a device-space hairline from (x0, y0) to (x1, y1) with every weight
// multiplied by `wd` (the device width, at most 1) into an rgbx32 Surface.
void paint_hairline_rgbx(Surface& s, double x0, double y0, double x1, double y1, double wd,
                         uint32_t colour) noexcept;

}  // namespace vokri
