// A drawing that becomes one vector record: shapes of cubic outlines with
// their paints, made by the kinds that the renderer has no record of its
// own for (text, SVG drawings) and by dashed strokes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outline.h"

namespace vokri_scenefile {

struct DrawnShape {
    Outline outline;
    bool fill = false;
    uint32_t fill_color = 0;
    bool stroke = false;
    uint32_t stroke_color = 0;
    double stroke_width = 0;
    uint32_t reveal_order = 0;
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
