// The drawer of each item kind: its record, drawn on the frame.
#pragma once

#include "common/error.h"
#include "items/frame_view.h"
#include "items/records.h"
#include "raster/context.h"

namespace vokri {

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
