#include "svg_shapes.h"

#include <algorithm>
#include <numbers>
#include <optional>
#include <string>

#include <tinyxml2.h>

#include "svg_numbers.h"

namespace vokri_scenefile::svg {
namespace {

// The control distance of a quarter ellipse, as a fraction of its radii.
constexpr double kKappa = 4.0 / 3.0 * (std::numbers::sqrt2 - 1.0);

// The lengths of one element.
struct Lengths {
    const tinyxml2::XMLElement& element;
    const Where& where;
    const Viewport& viewport;

    // Empty when the attribute is absent or "auto".
    std::optional<double> optional(const char* name, Axis axis) const {
        const char* text = element.Attribute(name);
        if (!text || trim_spaces(text) == "auto") return std::nullopt;
        return parse_length(text, axis, viewport, where.at(name));
    }

    double get(const char* name, Axis axis) const { return optional(name, axis).value_or(0.0); }
};

// A quarter ellipse from the current point to `to`, whose tangents at both
// ends meet at `corner`.
void quarter_to(PathBuilder& b, Point corner, Point to) {
    const Point from = b.current();
    b.cubic_to({from.x + kKappa * (corner.x - from.x), from.y + kKappa * (corner.y - from.y)},
               {to.x + kKappa * (corner.x - to.x), to.y + kKappa * (corner.y - to.y)}, to);
}

void line_unless_there(PathBuilder& b, Point to) {
    if (b.current().x != to.x || b.current().y != to.y) b.line_to(to);
}

PathData ellipse_outline(double cx, double cy, double rx, double ry) {
    if (!(rx > 0 && ry > 0)) return {};
    PathBuilder b;
    b.move_to({cx + rx, cy});
    quarter_to(b, {cx + rx, cy + ry}, {cx, cy + ry});
    quarter_to(b, {cx - rx, cy + ry}, {cx - rx, cy});
    quarter_to(b, {cx - rx, cy - ry}, {cx, cy - ry});
    quarter_to(b, {cx + rx, cy - ry}, {cx + rx, cy});
    b.close();
    return b.finish();
}

// Negative radii count as unset; one radius set gives the other.
PathData rect_outline(const Lengths& l) {
    const double x = l.get("x", Axis::x), y = l.get("y", Axis::y);
    const double w = l.get("width", Axis::x), h = l.get("height", Axis::y);
    if (!(w > 0 && h > 0)) return {};
    auto radius = [&](const char* name, Axis axis) {
        const auto r = l.optional(name, axis);
        return r && *r >= 0 ? r : std::nullopt;
    };
    const auto rx_set = radius("rx", Axis::x), ry_set = radius("ry", Axis::y);
    const double rx = std::min(rx_set.value_or(ry_set.value_or(0.0)), w / 2.0);
    const double ry = std::min(ry_set.value_or(rx_set.value_or(0.0)), h / 2.0);
    PathBuilder b;
    if (rx == 0 || ry == 0) {
        b.move_to({x, y});
        b.line_to({x + w, y});
        b.line_to({x + w, y + h});
        b.line_to({x, y + h});
        b.close();
        return b.finish();
    }
    b.move_to({x + rx, y});
    line_unless_there(b, {x + w - rx, y});
    quarter_to(b, {x + w, y}, {x + w, y + ry});
    line_unless_there(b, {x + w, y + h - ry});
    quarter_to(b, {x + w, y + h}, {x + w - rx, y + h});
    line_unless_there(b, {x + rx, y + h});
    quarter_to(b, {x, y + h}, {x, y + h - ry});
    line_unless_there(b, {x, y + ry});
    quarter_to(b, {x, y}, {x + rx, y});
    b.close();
    return b.finish();
}

PathData ellipse_element_outline(const Lengths& l) {
    const auto rx = l.optional("rx", Axis::x), ry = l.optional("ry", Axis::y);
    return ellipse_outline(l.get("cx", Axis::x), l.get("cy", Axis::y), rx.value_or(ry.value_or(0.0)),
                           ry.value_or(rx.value_or(0.0)));
}

PathData line_outline(const Lengths& l) {
    PathBuilder b;
    b.move_to({l.get("x1", Axis::x), l.get("y1", Axis::y)});
    b.line_to({l.get("x2", Axis::x), l.get("y2", Axis::y)});
    return b.finish();
}

void warn_data_error(const Where& where, const char* what, size_t at, Warnings& warnings) {
    warnings.add(line_prefix(where.shown, where.line) + what + " error at character " + std::to_string(at + 1));
}

// Coordinate pairs separated by spaces or commas; an odd coordinate is an
// error, and so is anything else that is not a number.
PathData points_outline(std::string_view text, bool closed, const Where& where, Warnings& warnings) {
    PathBuilder b;
    size_t pos = skip_spaces(text, 0);
    size_t error_at = std::string_view::npos;
    bool comma = false, first = true, half = false;
    double x = 0;
    while ((pos < text.size() || comma) && b.size() <= kMaxSvgSegments) {
        const auto n = scan_number(text, pos);
        if (!n) {
            error_at = pos;
            break;
        }
        if (!n->in_range) where.out_of_range(text.substr(pos, n->end - pos));
        pos = skip_separator(text, n->end, &comma);
        half = !half;
        if (half) {
            x = n->value;
        } else if (first) {
            b.move_to({x, n->value});
            first = false;
        } else {
            b.line_to({x, n->value});
        }
    }
    if (half && error_at == std::string_view::npos) error_at = pos;
    if (error_at != std::string_view::npos) warn_data_error(where, "points data", error_at, warnings);
    if (closed) b.close();
    return b.finish();
}

PathData path_outline(std::string_view d, const Where& where, Warnings& warnings) {
    PathData p = parse_path_data(d);
    if (p.out_of_range) where.at("d").out_of_range(d.substr(p.error_at, scan_number(d, p.error_at)->end - p.error_at));
    if (p.error_at != std::string_view::npos) warn_data_error(where, "path data", p.error_at, warnings);
    return p;
}

}  // namespace

bool is_shape_element(std::string_view name) {
    static constexpr std::string_view kNames[] = {"path", "rect", "circle", "ellipse", "line", "polyline", "polygon"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

PathData shape_outline(const tinyxml2::XMLElement& element, std::string_view name, const Where& where,
                       const Viewport& viewport, Warnings& warnings) {
    const Lengths l{element, where, viewport};
    if (name == "path") {
        const char* d = element.Attribute("d");
        return path_outline(d ? d : "", where, warnings);
    }
    if (name == "rect") return rect_outline(l);
    if (name == "circle") {
        const double r = l.get("r", Axis::diagonal);
        return ellipse_outline(l.get("cx", Axis::x), l.get("cy", Axis::y), r, r);
    }
    if (name == "ellipse") return ellipse_element_outline(l);
    if (name == "line") return line_outline(l);
    const char* points = element.Attribute("points");
    return points_outline(points ? points : "", name == "polygon", where.at("points"), warnings);
}

}  // namespace vokri_scenefile::svg
