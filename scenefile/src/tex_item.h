// The "tex" kind of scene files: a TeX formula typeset by MathJax, drawn as
// the SVG it makes, at the em size of text items so that a formula and a
// text of the same size share a baseline; revealed glyph by glyph (and bar
// by bar) in document order by progress.
#pragma once

#include "json_values.h"
#include "scene_json.h"
#include "vector_drawing.h"

namespace vokri_scenefile {

// Reads the tex fields of `o` (not "kind" or "id") and converts the formula
// (or finds it cached).
VectorDrawing read_tex_item(Obj& o);

}  // namespace vokri_scenefile
