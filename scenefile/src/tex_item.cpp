#include "tex_item.h"

#include <cmath>

#include "svg_item.h"
#include "tex_cache.h"

namespace vokri_scenefile {

namespace {

constexpr size_t kMaxTexBytes = 1 << 16;
// MathJax's SVG is in thousandths of an em, its baseline at y = 0.
constexpr double kUnitsPerEm = 1000;

TexRequest read_request(Obj& o) {
    const json& t = o.required("tex");
    if (!t.is_string()) expected(o.at("tex"), "a TeX formula (a string)", t);
    TexRequest r{t.get<std::string>(), o.flag("display", 1) != 0};
    if (r.tex.size() > kMaxTexBytes) fail(o.at("tex"), "more than " + std::to_string(kMaxTexBytes) + " bytes of TeX");
    return r;
}

// The anchor, the user origin, at the formula's left, centre or right and
// at its baseline, middle, top or bottom.
SvgPlacement place(Obj& o, const SvgDocument& svg) {
    SvgPlacement p;
    const double size = o.number("size", 0.5);
    if (!(std::isfinite(size) && size > 0 && size < 1e9)) fail(o.at("size"), "expected a finite number above 0");
    p.k = size / kUnitsPerEm;
    const uint32_t align = o.enumeration("align", 0, {"left", "center", "right"}) % 3;
    p.x0 = svg.min_x + svg.width * (align == 0 ? 0.0 : align == 1 ? 0.5 : 1.0);
    switch (o.enumeration("baseline", 0, {"alphabetic", "middle", "top", "bottom"}) % 4) {
        case 0: p.y0 = 0; break;
        case 1: p.y0 = svg.min_y + svg.height / 2; break;
        case 2: p.y0 = svg.min_y; break;
        default: p.y0 = svg.min_y + svg.height; break;
    }
    return p;
}

}  // namespace

VectorDrawing read_tex_item(Obj& o) {
    const TexRequest request = read_request(o);
    const auto doc = tex_document(request);
    if (!doc) fail(o.at("tex"), doc.error());
    const SvgPlacement p = place(o, **doc);
    const uint32_t fill = o.colour("fill_color", 0xFFFFFFFFu);
    return placed_svg_drawing(o, **doc, p, fill);
}

}  // namespace vokri_scenefile
