// Reading PNG files into straight-alpha RGBA rasters for image items.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vokri_scenefile {

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

// The same, as a shared raster; null on failure.
std::shared_ptr<const Raster> read_png_shared(const std::string& path, int64_t max_pixels, std::string& error);

// Decoded files by path, shared by every frame of an animation and by every
// thread: each file is read once.
class RasterCache {
public:
    std::shared_ptr<const Raster> get(const std::string& path, int64_t max_pixels, std::string& error);

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Raster>> rasters_;
};

}  // namespace vokri_scenefile
