// Rasters and ImageRecords for the image and pick tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/scene.h"

namespace vt {

// Raster bytes from pixels written with rgba(): bytes R, G, B, A in memory.
inline std::vector<uint8_t> raster(const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> bytes(pixels.size() * 4);
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    return bytes;
}

// An image record over `bytes` (kept alive by the caller), identity
// transform, opacity 1.
inline VokriImageRecord image(const std::vector<uint8_t>& bytes, uint32_t w, uint32_t h, double dw, double dh) {
    VokriImageRecord r{};
    r.pixels = bytes.data();
    r.width = w;
    r.height = h;
    r.display_width = dw;
    r.display_height = dh;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

inline VokriImageRecord placed(VokriImageRecord r, double xx, double xy, double yx, double yy, double x0, double y0) {
    r.transform[0] = xx;
    r.transform[1] = xy;
    r.transform[2] = yx;
    r.transform[3] = yy;
    r.transform[4] = x0;
    r.transform[5] = y0;
    return r;
}

inline uint32_t rgb0_background() { return rgba(14, 17, 24, 0); }

}  // namespace vt
