#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_morph_item(DrawContext&, const FrameView&, const MorphRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
