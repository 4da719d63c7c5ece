#include "raster/fill.h"

namespace vokri {

// Not built yet.
Error fill(DrawContext&) noexcept { return Error::InvalidState; }

}  // namespace vokri
