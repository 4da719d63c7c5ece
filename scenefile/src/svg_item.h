// The "svg" kind of scene files: an SVG drawing's shapes as one vector
// drawing, placed and scaled in user space, revealed in document order by
// progress.
#pragma once

#include "json_values.h"
#include "scene_json.h"
#include "vector_drawing.h"

namespace vokri_scenefile {

// Reads the svg fields of `o` (not "kind" or "id") and the file they name.
VectorDrawing read_svg_item(Obj& o, const ParseOptions& options);

}  // namespace vokri_scenefile
