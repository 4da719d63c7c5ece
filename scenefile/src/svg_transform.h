// SVG transform lists: matrix, translate, scale, rotate, skewX and skewY,
// any number of them, separated by spaces or commas.
#pragma once

#include <string_view>

#include "svg_geometry.h"
#include "svg_values.h"

namespace vokri_scenefile::svg {

// The list's product, the first transform outermost. Throws SceneError
// through `where` for a malformed list or a number out of range.
Affine parse_transform_list(std::string_view text, const Where& where);

}  // namespace vokri_scenefile::svg
