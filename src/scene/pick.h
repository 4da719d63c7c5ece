// Picking: the id of the topmost item that paints one pixel.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "scene/scene.h"

namespace vokri {

struct PickResult {
    int32_t id = 0;
    Error error = Error::None;
    uint32_t failed_item = UINT32_MAX;  // the item whose error `error` is, if any
};

// Draws the items from the top down, each alone onto a transparent rgba32
// canvas, until one leaves a visible alpha at (x, y); its id (from `ids`,
// parallel to the items) is the result, 0 when none does.
[[nodiscard]] PickResult pick(uint32_t width, uint32_t height, double scale, const Scene& scene,
                              const int32_t* ids, uint32_t id_count, uint32_t x, uint32_t y) noexcept;

}  // namespace vokri
