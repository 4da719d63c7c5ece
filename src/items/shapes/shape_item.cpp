#include "items/shapes/shape_geometry.h"
#include "items/drawers.h"

namespace vokri {

Error draw_shape_item(Canvas& canvas, const FrameView& view, const ShapeRecord& rec) noexcept {
    ShapeGeometry g;
    VOKRI_TRY(build_shape_geometry(rec, canvas.allocator, g));
    Error err = draw_shape_geometry(canvas, view, g);
    release_shape_geometry(g, canvas.allocator);
    return err;
}

}  // namespace vokri
