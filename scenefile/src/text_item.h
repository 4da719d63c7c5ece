// The "text" kind of scene files: a text set in a font's outlines as one
// vector drawing, each glyph a shape revealed in reading order by progress.
#pragma once

#include "json_values.h"
#include "scene_json.h"
#include "vector_drawing.h"

namespace vokri_scenefile {

// Reads the text fields of `o` (not "kind" or "id") and lays the text out.
VectorDrawing read_text_item(Obj& o, const ParseOptions& options);

}  // namespace vokri_scenefile
