#include "items/shapes/shape_geometry.h"

namespace vokri {

// Not built yet: shapes are refused.
Error build_shape_geometry(const ShapeRecord&, Allocator&, ShapeGeometry&) noexcept {
    return Error::InvalidDrawItem;
}
Error draw_shape_geometry(DrawContext&, const FrameView&, const ShapeGeometry&) noexcept {
    return Error::InvalidDrawItem;
}
void release_shape_geometry(ShapeGeometry& g, Allocator& alloc) noexcept {
    if (g.owned) alloc.release(g.owned);
    g.owned = nullptr;
}
Error stroke_segment(DrawContext&, double, double, double, double, uint32_t, double) noexcept {
    return Error::InvalidDrawItem;
}

}  // namespace vokri
