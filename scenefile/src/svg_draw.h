// Drawing an SVG tree: the shapes reached from the root, through <use> as
// often as it refers to them, in document order.
#pragma once

#include <string_view>
#include <vector>

#include "svg.h"
#include "svg_tree.h"
#include "svg_values.h"

namespace vokri_scenefile::svg {

// Throws SceneError for <use> cycles, for drawings beyond the limits and
// for coordinates that transforms take out of range.
std::vector<SvgShape> draw_tree(const SvgTree& tree, std::string_view shown, const Viewport& viewport,
                                Warnings& warnings);

}  // namespace vokri_scenefile::svg
