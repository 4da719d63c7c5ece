// SVG drawings read into cubic outlines with their paint: the shapes of
// path, rect, circle, ellipse, line, polyline and polygon, through g, defs,
// symbol and use, with transforms and the fill and stroke properties.
// Unsupported features are left out with a warning each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vokri_core.h"

namespace vokri_scenefile {

// One drawn element, in document order.
struct SvgShape {
    // In the root's user space after every transform, y pointing down as in
    // SVG.
    std::vector<VokriCubicSegment> segments;
    std::vector<uint32_t> subpath_ends;    // one past the last segment of each subpath
    std::vector<uint8_t> subpath_closed;   // 1 for subpaths closed with Z (or closed shapes), else 0
    // 0xRRGGBBAA, straight alpha, the alpha multiplied by fill-opacity and by
    // the element's and every ancestor's opacity; nullopt for fill="none".
    std::optional<uint32_t> fill;
    std::optional<uint32_t> stroke;  // likewise, with stroke-opacity
    // The paint is currentColor where no element sets `color`: the drawing's
    // own colour (black here), which a host may replace keeping the alpha.
    bool fill_is_host_color = false, stroke_is_host_color = false;
    // In root user units: the element's stroke-width times sqrt(|det|) of
    // its total transform.
    double stroke_width = 1;
    // stroke-dasharray in root user units (scaled as the width), an odd
    // count repeated to make it even; empty for none, for any negative
    // value and for all zeros.
    std::vector<double> dash;
    double dash_offset = 0;  // stroke-dashoffset, scaled likewise
};

struct SvgDocument {
    // The drawing's size in root user units: the viewBox's size when there
    // is one, else the width and height attributes (px or unitless, in, cm,
    // mm, pt and pc at 96 per inch, em and ex at 16 and 8), else the size of
    // the bounding box of all segments.
    double width = 0, height = 0;
    double min_x = 0, min_y = 0;  // the viewBox's origin, (0, 0) without one
    std::vector<SvgShape> shapes;
    // One per unsupported feature, naming the first element that uses it,
    // e.g. "drawing.svg: line 7: <linearGradient> is not drawn (gradients
    // are not supported)"; also <use> references that lead nowhere and path
    // data errors.
    std::vector<std::string> warnings;
};

// Reads the file at `path`; `shown` is the name messages use. Throws
// SceneError.
SvgDocument read_svg_file(const std::string& path, const std::string& shown);

// The same from text.
SvgDocument parse_svg_text(const std::string& text, const std::string& shown);

}  // namespace vokri_scenefile
