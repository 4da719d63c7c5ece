#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_shape_item(DrawContext&, const FrameView&, const ShapeRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
