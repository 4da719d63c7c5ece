// Conversion of rgbx32 pixels into the RGB samples of a PNG row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vokri {

// Writes bytes 0, 1, 2 of each of `n` pixels to `dst` (3 * n bytes).
void rgbx_to_rgb(const uint32_t* src, size_t n, uint8_t* dst) noexcept;

// The plain definition; rgbx_to_rgb takes the SSSE3 form where usable.
void rgbx_to_rgb_scalar(const uint32_t* src, size_t n, uint8_t* dst) noexcept;

}  // namespace vokri
