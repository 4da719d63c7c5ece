// The outline of a shape record in user space, as cubic segments: what its
// stroke follows, for dashing.
#pragma once

#include <optional>

#include "outline.h"
#include "vector_drawing.h"
#include "vokri_core.h"

namespace vokri_scenefile {

// False when the renderer would refuse the shape (too few points, a bad
// size, ...): the record is then drawn as it is, and fails as it always
// does. Curved shapes follow the renderer's own outlines of them; point
// lists are followed exactly.
bool shape_outline(const VokriShapeRecord& r, Outline& out);

// A vector record's shape as a drawing's, or nullopt when its lists do not
// make a valid outline (the record then goes to the renderer unchanged).
std::optional<DrawnShape> drawn_shape(const VokriVectorShape& s);

}  // namespace vokri_scenefile
