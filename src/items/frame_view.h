// The canvas as item drawers see it: its size, scale and origin, and the
// device transform from user units to pixels.
#pragma once

#include <cstdint>

#include "raster/transform.h"

namespace vokri {

struct FrameView {
    double scale = 1.0;     // pixels per user unit
    double origin_x = 0.0;  // width * 0.5
    double origin_y = 0.0;  // height * 0.5
    uint32_t width = 0;
    uint32_t height = 0;

    static FrameView for_canvas(double scale, uint32_t width, uint32_t height) noexcept {
        return FrameView{scale, static_cast<double>(width) * 0.5, static_cast<double>(height) * 0.5,
                         width, height};
    }
};

// The device transform of a FrameView: user units to pixels, y up, the
// origin at the canvas centre.
inline Transform device_transform(const FrameView& view) noexcept {
    return Transform{view.scale, 0, 0, -view.scale, view.origin_x, view.origin_y};
}

}  // namespace vokri
