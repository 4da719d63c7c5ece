#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_infinite_item(DrawContext&, const FrameView&, const InfiniteGeometryRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
