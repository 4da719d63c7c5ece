#include "svg_values.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "scene_json.h"
#include "svg_numbers.h"

namespace vokri_scenefile::svg {
namespace {

// User units per unit; 0 for an unknown unit. The font-relative units are
// those of the initial font size, 16 px (an ex half an em, as where the font
// gives none).
double unit_scale(std::string_view unit) {
    struct Unit {
        std::string_view name;
        double scale;
    };
    static constexpr Unit kUnits[] = {{"", 1.0},          {"px", 1.0},          {"in", 96.0}, {"cm", 96.0 / 2.54},
                                      {"mm", 96.0 / 25.4}, {"pt", 96.0 / 72.0}, {"pc", 16.0},
                                      {"em", 16.0},        {"ex", 8.0}};
    for (const Unit& u : kUnits) {
        if (equal_ignoring_case(unit, u.name)) return u.scale;
    }
    return 0;
}

// The align keyword's factors, or false for an unknown keyword.
bool read_align(std::string_view word, AspectRatio& out) {
    if (word == "none") {
        out.none = true;
        out.align_x = out.align_y = 0;
        return true;
    }
    if (word.size() != 8 || word[0] != 'x' || word[4] != 'Y') return false;
    auto factor = [](std::string_view part, double& f) {
        if (part == "Min") f = 0;
        else if (part == "Mid") f = 0.5;
        else if (part == "Max") f = 1;
        else return false;
        return true;
    };
    return factor(word.substr(1, 3), out.align_x) && factor(word.substr(5, 3), out.align_y);
}

// The words of `text` between spaces.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    size_t pos = skip_spaces(text, 0);
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && !is_svg_space(text[end])) ++end;
        out.push_back(text.substr(pos, end - pos));
        pos = skip_spaces(text, end);
    }
    return out;
}

}  // namespace

std::string line_prefix(std::string_view shown, int line) {
    std::string out(shown);
    out += ": line ";
    out += std::to_string(line);
    out += ": ";
    return out;
}

void fail_at_line(std::string_view shown, int line, const std::string& message) {
    throw SceneError("", line_prefix(shown, line) + message);
}

std::string shortened(std::string_view text) {
    constexpr size_t kLongest = 40;
    if (text.size() <= kLongest) return std::string(text);
    return std::string(text.substr(0, kLongest)) + "...";
}

std::string in_quotes(std::string_view text) {
    // Appended in steps: g++ 12 warns falsely (-Wrestrict) about "'" + s.
    std::string out = "'";
    out += shortened(text);
    out += "'";
    return out;
}

std::string Where::element_prefix() const { return line_prefix(shown, line) + "<" + std::string(element) + ">"; }

void Where::fail(const std::string& message) const {
    std::string text = element_prefix();
    if (!attribute.empty()) {
        text += ' ';
        text += attribute;
    }
    throw SceneError("", text + ": " + message);
}

void Where::out_of_range(std::string_view number) const {
    fail("the number " + shortened(number) + " is out of range");
}

void Where::not_a(std::string_view text, std::string_view what) const {
    fail(in_quotes(text) + " is not " + std::string(what));
}

void Warnings::once(const std::string& key, std::string text) {
    if (keys_.insert(key).second) texts_.push_back(std::move(text));
}

double Viewport::along(Axis axis) const {
    switch (axis) {
        case Axis::x: return width;
        case Axis::y: return height;
        default: return std::sqrt((width * width + height * height) / 2.0);
    }
}

double parse_length(std::string_view text, Axis axis, const Viewport& viewport, const Where& where) {
    const std::string_view t = trim_spaces(text);
    const auto n = scan_number(t, 0);
    if (!n) where.not_a(text, "a length");
    const std::string_view number = t.substr(0, n->end);
    if (!n->in_range) where.out_of_range(number);
    const std::string_view unit = t.substr(n->end);
    double value = 0;
    if (unit == "%") {
        if (!viewport.known) {
            where.fail("a percentage needs the drawing's size (a viewBox, or width and height on <svg>)");
        }
        value = n->value / 100.0 * viewport.along(axis);
    } else {
        const double scale = unit_scale(unit);
        if (scale == 0) where.not_a(text, "a length");
        value = n->value * scale;
    }
    if (std::fabs(value) > kMaxSvgMagnitude) where.out_of_range(number);
    return value;
}

bool is_percentage(std::string_view text) {
    const std::string_view t = trim_spaces(text);
    return !t.empty() && t.back() == '%';
}

std::vector<double> parse_number_list(std::string_view text, const Where& where) {
    std::vector<double> out;
    size_t pos = skip_spaces(text, 0);
    bool comma = false;  // a number must follow
    while (pos < text.size() || comma) {
        const auto n = scan_number(text, pos);
        if (!n) where.not_a(text, "a list of numbers");
        if (!n->in_range) where.out_of_range(text.substr(pos, n->end - pos));
        out.push_back(n->value);
        pos = skip_separator(text, n->end, &comma);
    }
    return out;
}

ViewBox parse_view_box(std::string_view text, const Where& where) {
    const std::vector<double> v = parse_number_list(text, where);
    if (v.size() != 4) where.not_a(text, "four numbers");
    if (v[2] <= 0 || v[3] <= 0) where.fail("the width and height must be positive");
    return {v[0], v[1], v[2], v[3]};
}

AspectRatio parse_aspect_ratio(std::string_view text, const Where& where) {
    std::vector<std::string_view> w = words(text);
    if (!w.empty() && w.front() == "defer") w.erase(w.begin());
    AspectRatio out;
    if (w.empty() || w.size() > 2 || !read_align(w[0], out)) where.not_a(text, "a preserveAspectRatio value");
    if (w.size() == 2) {
        if (w[1] != "meet" && w[1] != "slice") where.not_a(text, "a preserveAspectRatio value");
        out.slice = w[1] == "slice";
    }
    return out;
}

Affine view_box_transform(const ViewBox& box, const AspectRatio& ratio, double width, double height) {
    double sx = width / box.width, sy = height / box.height;
    if (!ratio.none) sx = sy = ratio.slice ? std::max(sx, sy) : std::min(sx, sy);
    const double tx = (width - box.width * sx) * ratio.align_x - box.x * sx;
    const double ty = (height - box.height * sy) * ratio.align_y - box.y * sy;
    return {sx, 0, 0, sy, tx, ty};
}

}  // namespace vokri_scenefile::svg
