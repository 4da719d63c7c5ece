#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_vector_item(DrawContext&, const FrameView&, const VectorRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
