#include "items/shapes/shape_geometry.h"
#include "items/drawers.h"

namespace vokri {

Error draw_shape_item(DrawContext& ctx, const FrameView& view, const ShapeRecord& rec, Surface&) noexcept {
    ShapeGeometry g;
    VOKRI_TRY(build_shape_geometry(rec, *ctx.allocator, g));
    Error err = draw_shape_geometry(ctx, view, g);
    release_shape_geometry(g, *ctx.allocator);
    return err;
}

}  // namespace vokri
