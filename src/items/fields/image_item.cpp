#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_image_item(DrawContext&, const FrameView&, const ImageRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
