#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_batch_item(DrawContext&, const FrameView&, const BatchRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
