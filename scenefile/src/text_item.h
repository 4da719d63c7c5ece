// The "text" kind of scene files: a text set in a font's outlines, its
// glyphs revealed one after another in reading order by progress.
#pragma once

#include <vector>

#include "json_values.h"
#include "scene_json.h"
#include "vector_drawing.h"

namespace vokri_scenefile {

// Reads the text fields of `o` (not "kind" or "id") and lays the text out.
// `per_glyph`: one drawing with a shape per glyph (for hosts that take the
// outlines apart); otherwise what a frame draws: the glyphs revealed whole
// merged into a shape per paint, and the one fading in (if any) as a second
// drawing.
std::vector<VectorDrawing> read_text_item(Obj& o, const ParseOptions& options, bool per_glyph = false);

}  // namespace vokri_scenefile
