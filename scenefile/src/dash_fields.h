// The dash fields of stroked kinds: "dash" (on/off lengths in user units,
// each a number or a track) and "dash_offset", and what they do to a
// drawing's strokes.
#pragma once

#include <optional>
#include <vector>

#include "json_values.h"
#include "vector_drawing.h"

namespace vokri_scenefile {

struct DashPattern {
    std::vector<double> pattern;
    double offset = 0;
};

// nullopt without a "dash" field, or when the pattern dashes nothing (all
// zeros); faults are SceneErrors at the field's path.
std::optional<DashPattern> read_dash(Obj& o);

// Every stroked shape of `d` becomes its fill (if any) and its stroke split
// at the dashes, with the same place in the reveal. `path` names the item
// in errors (too many dash pieces).
void dash_strokes(VectorDrawing& d, const DashPattern& dash, const std::string& path);

}  // namespace vokri_scenefile
