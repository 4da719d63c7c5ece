#include "dash_fields.h"

#include <cmath>

#include "dash.h"

namespace vokri_scenefile {

std::optional<DashPattern> read_dash(Obj& o) {
    const json* j = o.get("dash");
    const json* off = o.get("dash_offset");
    DashPattern request;
    if (off) request.offset = read_number(*off, o.at("dash_offset"));
    if (!std::isfinite(request.offset)) fail(o.at("dash_offset"), "expected a finite number");
    if (!j) return std::nullopt;
    const std::string path = o.at("dash");
    read_array(*j, path, "an array of on and off lengths");
    if (j->size() > 1000) fail(path, "more than 1000 dash lengths");
    for (size_t i = 0; i < j->size(); ++i) {
        const double d = read_number((*j)[i], index_path(path, i));
        if (!std::isfinite(d) || d < 0) fail(index_path(path, i), "expected a length of 0 or more");
        request.pattern.push_back(d);
    }
    if (request.pattern.empty()) return std::nullopt;
    if (!dashes(request.pattern)) return std::nullopt;  // all zeros: a solid stroke, as SVG has it
    return request;
}

void dash_strokes(VectorDrawing& d, const DashPattern& dash, const std::string& path) {
    std::vector<DrawnShape> out;
    size_t pieces = 0;
    for (DrawnShape& s : d.shapes) {
        if (!s.stroke || !(s.stroke_width > 0)) {
            out.push_back(std::move(s));
            continue;
        }
        auto dashed = dash_outline(s.outline, dash.pattern, dash.offset);
        if (!dashed || (pieces += dashed->segments.size()) > kMaxDashSegments)
            fail(path, "the dashes make more than " + std::to_string(kMaxDashSegments) + " pieces");
        if (s.fill) {
            DrawnShape fill = s;
            fill.stroke = false;
            out.push_back(std::move(fill));
        }
        s.fill = false;
        s.outline = std::move(*dashed);
        out.push_back(std::move(s));
    }
    d.shapes = std::move(out);
}

}  // namespace vokri_scenefile
