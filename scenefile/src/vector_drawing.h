// A drawing that becomes one vector record: shapes of cubic outlines with
// their paints, made by the kinds that the renderer has no record of its
// own for (text, SVG drawings) and by dashed strokes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "outline.h"

namespace vokri_scenefile {

struct DrawnShape {
    Outline outline;
    // In place of `outline`: an outline shared with a cache and with other
    // frames, which the frame keeps alive instead of copying.
    std::shared_ptr<const Outline> shared;
    bool fill = false;
    uint32_t fill_color = 0;
    bool stroke = false;
    uint32_t stroke_color = 0;
    double stroke_width = 0;
    uint32_t reveal_order = 0;

    const Outline& drawn() const { return shared ? *shared : outline; }
};

struct VectorDrawing {
    std::vector<DrawnShape> shapes;
    uint32_t stagger_count = 0;
    double progress = 1.0;
    double transform[6] = {1, 0, 0, 1, 0, 0};
    double opacity = 1.0;
    std::vector<std::string> warnings;
};

}  // namespace vokri_scenefile
