#include "scene/drawers.h"

namespace vokri {

// Not drawn yet: the item kind is refused.
Error draw_mesh_item(DrawContext&, const FrameView&, const MeshRecord&, Surface&) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
