// The outlines of the drawing elements: path, rect, circle, ellipse, line,
// polyline and polygon, in their own user space.
#pragma once

#include <string_view>

#include "svg_path_data.h"
#include "svg_values.h"

namespace tinyxml2 {
class XMLElement;
}

namespace vokri_scenefile::svg {

bool is_shape_element(std::string_view name);

// The outline of a shape element called `name`; empty when it draws
// nothing (a rect without area, a circle without radius...). Malformed or
// out-of-range values throw SceneError; path data and points that fail keep
// what came before the failure and add a warning.
PathData shape_outline(const tinyxml2::XMLElement& element, std::string_view name, const Where& where,
                       const Viewport& viewport, Warnings& warnings);

}  // namespace vokri_scenefile::svg
