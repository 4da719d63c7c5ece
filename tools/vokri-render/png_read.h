// Reading PNG files into straight-alpha RGBA rasters for image items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vokri_tool {

struct Raster {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;  // width * height pixels, bytes R, G, B, A, rows top down
};

// Decodes any PNG (every colour type and bit depth, interlaced or not) into
// 8-bit straight-alpha RGBA. Returns false with a message in `error` when the
// file cannot be read or decoded, or when it has more than `max_pixels`
// pixels.
bool read_png_rgba(const std::string& path, int64_t max_pixels, Raster& out, std::string& error);

}  // namespace vokri_tool
