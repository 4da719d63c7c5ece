// The SVG properties the reader draws with: colours and paints, what an
// element declares in presentation attributes and its style attribute, and
// what it inherits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "svg_values.h"

namespace tinyxml2 {
class XMLElement;
}

namespace vokri_scenefile::svg {

// ---- paint --------------------------------------------------------------------

struct Paint {
    enum class Kind { none, colour, current_colour };
    Kind kind = Kind::none;
    uint32_t rgba = 0;  // 0xRRGGBBAA for Kind::colour
};

// A CSS colour: a name, "transparent", #rgb, #rgba, #rrggbb, #rrggbbaa,
// rgb() / rgba() with numbers or percentages, or hsl() / hsla(), the
// arguments separated by commas or spaces (the alpha also after '/').
// Returns 0xRRGGBBAA, or nullopt.
std::optional<uint32_t> parse_svg_colour(std::string_view text);

struct PaintValue {
    Paint paint;
    bool url = false;  // a url(#id) reference, which is not drawn: `paint` is its fallback
};

// none, currentColor, a colour, or url(...) with an optional fallback of
// those; nullopt for anything else.
std::optional<PaintValue> parse_paint(std::string_view text);

// The paint as a colour with `color` for currentColor and its alpha
// multiplied by `opacity`; nullopt for none.
std::optional<uint32_t> resolve_paint(const Paint& paint, uint32_t color, double opacity);

// ---- properties ---------------------------------------------------------------

// Longer stroke-dasharray lists are refused.
inline constexpr size_t kMaxSvgDashes = 1000;

// The properties one element sets; an unset or "inherit" inherited property
// is empty.
struct DeclaredStyle {
    std::optional<Paint> fill, stroke;
    std::optional<uint32_t> color;
    std::optional<double> stroke_width, fill_opacity, stroke_opacity, dash_offset;
    std::optional<std::vector<double>> dash;  // even-sized; empty for none
    std::optional<bool> visible;
    std::optional<double> opacity;  // not inherited: unset is 1
    bool opacity_inherit = false;
    bool display_none = false;
};

// Reads the presentation attributes, then the style attribute's
// declarations, which win. Unsupported properties are warned about once;
// malformed values throw SceneError.
DeclaredStyle read_declared_style(const tinyxml2::XMLElement& element, const Where& where, const Viewport& viewport,
                                  Warnings& warnings);

// The properties in effect at an element.
struct Style {
    Paint fill{Paint::Kind::colour, 0x000000FFu};
    Paint stroke;
    uint32_t color = 0x000000FFu;
    bool root_color = true;  // `color` never set: the colour the host gives the drawing
    double stroke_width = 1, fill_opacity = 1, stroke_opacity = 1, dash_offset = 0;
    const std::vector<double>* dash = nullptr;  // null for none
    bool visible = true;
    double opacity = 1;        // the element's own
    double group_opacity = 1;  // the product of its own and every ancestor's
};

// The style of an element that declares `declared`, inside `parent`.
// `declared` must outlive the result.
Style cascade(const Style& parent, const DeclaredStyle& declared);

}  // namespace vokri_scenefile::svg
