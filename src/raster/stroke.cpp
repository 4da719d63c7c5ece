#include "raster/fill.h"

namespace vokri {

// Not built yet.
Error stroke(DrawContext&) noexcept { return Error::InvalidState; }

}  // namespace vokri
