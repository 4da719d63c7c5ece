// What fills and strokes paint with: one premultiplied colour.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "surface/surface.h"

namespace vokri {

// Premultiplies a straight colour whose bytes are R, G, B, A (red in bits
// 0-7): channel * alpha / 255 with truncation.
inline uint32_t premultiply_rgba(uint32_t c) noexcept {
    uint32_t a = c >> 24;
    uint32_t r = (c & 0xFF) * a / 255;
    uint32_t g = ((c >> 8) & 0xFF) * a / 255;
    uint32_t b = ((c >> 16) & 0xFF) * a / 255;
    return r | g << 8 | b << 16 | a << 24;
}

// 0xRRGGBBAA scene colour to the byte order R, G, B, A (red in bits 0-7).
inline uint32_t scene_to_rgba(uint32_t c) noexcept { return __builtin_bswap32(c); }

struct Paint {
    Pixel source{0xFF000000u, rgba32};  // premultiplied rgba32, opaque black

    // From an already premultiplied rgba32 pixel.
    static Paint pixel(uint32_t premultiplied) noexcept { return Paint{Pixel{premultiplied, rgba32}}; }
    // From a colour in the byte order R, G, B, A (red in bits 0-7), straight
    // alpha: alpha times `opacity` (in [0, 1]) is rounded half away from
    // zero, then the channels are premultiplied with truncation.
    static Paint colour(uint32_t rgba_straight, double opacity = 1.0) noexcept;
};

// The source check of fill and stroke: PixelSourceNotPreMultiplied when a
// colour channel exceeds what its alpha allows.
Error check_source(const Pixel& source) noexcept;

}  // namespace vokri
