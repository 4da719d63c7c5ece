// Conversion of rgbx32 pixels into the RGB samples of a PNG row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vokri {

// Writes bytes 0, 1, 2 of each of `n` pixels to `dst` (3 * n bytes).
void rgbx_to_rgb(const uint32_t* src, size_t n, uint8_t* dst) noexcept;

// The plain definition and the SSSE3 form; rgbx_to_rgb picks one at run time.
void rgbx_to_rgb_scalar(const uint32_t* src, size_t n, uint8_t* dst) noexcept;
void rgbx_to_rgb_ssse3(const uint32_t* src, size_t n, uint8_t* dst) noexcept;
bool have_ssse3() noexcept;

}  // namespace vokri
