// Straight-alpha RGBA PNG files (--alpha), for compositing in an editor.
#pragma once

#include <cstdint>
#include <string>

namespace vokri_scenefile {

// `pixels`: width * height pixels of bytes R, G, B, A, rows top down.
bool write_png_rgba(const std::string& path, uint32_t width, uint32_t height, const void* pixels, std::string& error);

}  // namespace vokri_scenefile
