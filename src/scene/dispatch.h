// One DrawItem drawn by its kind's drawer.
#pragma once

#include "common/error.h"
#include "items/drawers.h"
#include "scene/scene.h"

namespace vokri {

// Selects the record of `item` and calls its kind's drawer; InvalidDrawItem
// for an unknown kind or an index beyond the kind's array.
[[nodiscard]] Error draw_item(Canvas& canvas, const FrameView& view, const DrawItem& item,
                              const Scene& scene) noexcept;

}  // namespace vokri
