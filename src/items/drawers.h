// The drawer of each item kind: its record, drawn on the frame.
#pragma once

#include "common/error.h"
#include "items/frame_view.h"
#include "items/records.h"
#include "raster/canvas.h"

namespace vokri {

// Each drawer receives a copy of its record's fixed part, draws it onto the
// canvas and never writes to caller memory.
[[nodiscard]] Error draw_shape_item(Canvas& canvas, const FrameView& view, const ShapeRecord& rec) noexcept;
[[nodiscard]] Error draw_batch_item(Canvas& canvas, const FrameView& view, const BatchRecord& rec) noexcept;
[[nodiscard]] Error draw_vector_item(Canvas& canvas, const FrameView& view, const VectorRecord& rec) noexcept;
[[nodiscard]] Error draw_morph_item(Canvas& canvas, const FrameView& view, const MorphRecord& rec) noexcept;
[[nodiscard]] Error draw_image_item(Canvas& canvas, const FrameView& view, const ImageRecord& rec) noexcept;
[[nodiscard]] Error draw_mesh_item(Canvas& canvas, const FrameView& view, const MeshRecord& rec) noexcept;
[[nodiscard]] Error draw_infinite_item(Canvas& canvas, const FrameView& view, const InfiniteGeometryRecord& rec) noexcept;

}  // namespace vokri
