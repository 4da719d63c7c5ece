// Rendering a Scene into an owned rgbx32 Surface and storing it as a PNG.
#pragma once

#include <cstddef>
#include <cstdint>

#include "api/error.h"
#include "common/alloc.h"
#include "scene/scene.h"
#include "surface/surface.h"

namespace vokri {

[[nodiscard]] Error render_frame_png(const char* path, size_t path_len, uint32_t width, uint32_t height,
                                     double scale, const Scene& scene) noexcept;

// Encodes an rgbx32 Surface as a PNG into the open file descriptor `fd`.
[[nodiscard]] Error write_png(int fd, const Surface& surface, Allocator& alloc) noexcept;

// Opens `path` for writing (create, truncate) and maps the failure to the
// error set. Returns the descriptor or -1 with `err` set.
int open_output_file(const char* path, size_t path_len, Error& err) noexcept;

bool valid_utf8(const char* s, size_t len) noexcept;

}  // namespace vokri
