#include "raster/paint.h"

#include "common/numeric.h"

namespace vokri {

Paint Paint::colour(uint32_t rgba_straight, double opacity) noexcept {
    double a = round_half_away(static_cast<double>(rgba_straight >> 24) * opacity);
    uint32_t alpha = a <= 0 ? 0u : (a >= 255 ? 255u : static_cast<uint32_t>(a));
    return pixel(premultiply_rgba((rgba_straight & 0x00FFFFFFu) | alpha << 24));
}

Error check_source(const Pixel& source) noexcept {
    uint32_t c = pixel_to_rgba(source);
    uint32_t a = c >> 24;
    if (a == 0) return Error::None;
    for (int shift = 0; shift < 24; shift += 8) {
        uint16_t ch = static_cast<uint16_t>((c >> shift) & 0xFF);
        uint16_t q = static_cast<uint16_t>(static_cast<uint16_t>(ch * 255u) / static_cast<uint16_t>(a));
        if (q > 255) return Error::PixelSourceNotPreMultiplied;
    }
    return Error::None;
}

}  // namespace vokri
