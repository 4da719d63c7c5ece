// The elements of an SVG document that the reader draws or refers to,
// with their attributes read once, however often <use> draws them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "svg_geometry.h"
#include "svg_path_data.h"
#include "svg_style.h"
#include "svg_values.h"

namespace tinyxml2 {
class XMLElement;
}

namespace vokri_scenefile::svg {

inline constexpr size_t kMaxSvgElements = 1000000;
inline constexpr int kMaxSvgDepth = 64;

// "more than 1000000 elements", for the limits.
std::string more_than(size_t limit, const char* what);
// "nested deeper than 64 levels"
std::string too_deep();

enum class NodeKind {
    group,   // the root <svg>, <g>, <a>: drawn with its children
    defs,    // its children are drawn only through <use>
    symbol,  // drawn only through <use>, as a group
    use,
    shape,
    inert,  // not drawn; kept so that <use> can reach its children
};

struct UseLink {
    std::string href;                // as written
    std::optional<uint32_t> target;  // the node that href="#id" names
    double x = 0, y = 0;
    std::optional<double> width, height;  // the viewport of a <symbol>
};

struct Node {
    NodeKind kind = NodeKind::inert;
    std::string name;
    int line = 0;
    Affine transform;
    DeclaredStyle style;
    PathData outline;                 // of a shape
    UseLink use;                      // of a <use>
    std::optional<ViewBox> view_box;  // of a <symbol>
    AspectRatio aspect;               // of a <symbol>
    std::vector<uint32_t> children;
};

struct SvgTree {
    std::vector<Node> nodes;  // in document order; nodes[0] is the root
};

// Throws SceneError unless the root is an <svg> of the SVG namespace.
void check_root(const tinyxml2::XMLElement& root, std::string_view shown);

// The tree under the root <svg>, unsupported features warned about once
// each. Throws SceneError for malformed values and for documents beyond
// the limits.
SvgTree build_tree(const tinyxml2::XMLElement& root, std::string_view shown, const Viewport& viewport,
                   Warnings& warnings);

}  // namespace vokri_scenefile::svg
