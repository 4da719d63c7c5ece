// ShapeGeometry: the validated, owned form of one shape, and the shape
// drawer shared by shape, batch, morph and infinite-geometry items.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "common/alloc.h"
#include "raster/canvas.h"
#include "raster/paint.h"
#include "items/frame_view.h"
#include "items/records.h"

namespace vokri {

inline constexpr uint8_t kTagSegmentList = 10;

// Most sides of a regular polygon and most cubic pieces of an arc. Above it
// the shape is refused (TooFewSides, InvalidSize): at 2^20 sides a regular
// polygon is within 1/256 pixel of its circle for every radius the
// rasterizer can represent, and the Path stays below 64 MiB.
inline constexpr uint32_t kMaxGeneratedSegments = 1u << 20;

struct ShapeGeometry {
    // Tags 0 and 9: p0..p7. 3: width, height. 4: side. 5: radius.
    // 6: radii. 7: radius, start angle, sweep. 8: radius, rotation (the side
    // count is `sides`).
    double params[8] = {};
    uint32_t sides = 0;
    uint8_t tag = 0;  // ShapeType 0..9, or kTagSegmentList
    Transform transform;

    bool has_stroke = false;
    double stroke_width = 0;    // user units
    uint32_t stroke_color = 0;  // bytes R, G, B, A, straight, opacity applied
    bool has_fill = false;
    uint32_t fill_color = 0;    // bytes R, G, B, A, straight, opacity applied

    // Tags 1 and 2: the point list.
    const Point* points = nullptr;
    uint32_t point_count = 0;
    // Tag 10: the segment list and whether it is closed.
    const CubicSegment* segments = nullptr;
    uint32_t segment_count = 0;
    bool closed = false;

    // Storage owned by the geometry (the copied point list), or null when the
    // lists belong to whoever built it.
    void* owned = nullptr;
};

// Validates `rec` and builds its geometry; on error nothing is left allocated.
[[nodiscard]] Error build_shape_geometry(const ShapeRecord& rec, Allocator& alloc, ShapeGeometry& out) noexcept;

// Builds the Path under the FrameView's transform and paints fill and
// stroke.
[[nodiscard]] Error draw_shape_geometry(Canvas& canvas, const FrameView& view, const ShapeGeometry& g) noexcept;

// Frees the geometry's owned storage.
void release_shape_geometry(ShapeGeometry& g, Allocator& alloc) noexcept;

// One straight stroked segment in user units under `t`. `rgba_straight`
// has bytes R, G, B, A (red in bits 0-7). Nothing is drawn when the alpha
// is 0 or the width is 0 or negative.
[[nodiscard]] Error stroke_segment(Canvas& canvas, const Transform& t, double x0, double y0, double x1, double y1,
                                   uint32_t rgba_straight, double width) noexcept;

}  // namespace vokri
