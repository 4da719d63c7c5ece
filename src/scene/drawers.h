// Draw one DrawItem, and the per-kind drawers it dispatches to.
#pragma once

#include "common/error.h"
#include "raster/context.h"
#include "scene/scene.h"

namespace vokri {

// The device transform of a FrameView: user units to pixels, y up, the
// origin at the canvas centre.
inline Transform device_transform(const FrameView& view) noexcept {
    return Transform{view.scale, 0, 0, -view.scale, view.origin_x, view.origin_y};
}

// Selects the record of `item` and calls its kind's drawer; InvalidDrawItem
// for an unknown kind or an index beyond the kind's array.
[[nodiscard]] Error draw_item(DrawContext& ctx, const FrameView& view, const DrawItem& item,
                              const Scene& scene, Surface& target) noexcept;

// Each drawer receives a copy of its record's fixed part and never writes to
// caller memory.
[[nodiscard]] Error draw_shape_item(DrawContext& ctx, const FrameView& view, const ShapeRecord& rec,
                                    Surface& target) noexcept;
[[nodiscard]] Error draw_batch_item(DrawContext& ctx, const FrameView& view, const BatchRecord& rec,
                                    Surface& target) noexcept;
[[nodiscard]] Error draw_vector_item(DrawContext& ctx, const FrameView& view, const VectorRecord& rec,
                                     Surface& target) noexcept;
[[nodiscard]] Error draw_morph_item(DrawContext& ctx, const FrameView& view, const MorphRecord& rec,
                                    Surface& target) noexcept;
[[nodiscard]] Error draw_image_item(DrawContext& ctx, const FrameView& view, const ImageRecord& rec,
                                    Surface& target) noexcept;
[[nodiscard]] Error draw_mesh_item(DrawContext& ctx, const FrameView& view, const MeshRecord& rec,
                                   Surface& target) noexcept;
[[nodiscard]] Error draw_infinite_item(DrawContext& ctx, const FrameView& view,
                                       const InfiniteGeometryRecord& rec, Surface& target) noexcept;

}  // namespace vokri
