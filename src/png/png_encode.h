// Encoding an rgbx32 Surface as an 8-bit RGB PNG.
#pragma once

#include "common/alloc.h"
#include "common/error.h"
#include "surface/surface.h"

namespace vokri {

// Writes the PNG of `surface` to the open file descriptor `fd`: signature,
// IHDR, the zlib stream (level 6, filter 0 on every row) in IDAT chunks of at
// most 16384 bytes, IEND. Working memory comes from `alloc`.
[[nodiscard]] Error write_png(int fd, const Surface& surface, Allocator& alloc) noexcept;

}  // namespace vokri
