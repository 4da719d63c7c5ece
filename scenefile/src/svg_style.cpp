#include "svg_style.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <tinyxml2.h>

#include "colour.h"
#include "svg_numbers.h"

namespace vokri_scenefile::svg {
namespace {

uint32_t byte_of(double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

struct Component {
    double value = 0;
    bool percent = false;
};

// The arguments of a colour function: three or four numbers, each perhaps
// with '%' (or "deg"), separated by commas, spaces or a '/' before the
// alpha.
struct Components {
    Component c[4] = {{0, false}, {0, false}, {0, false}, {1, false}};
    int count = 0;
};

std::optional<Components> read_components(std::string_view inner) {
    Components out;
    size_t pos = skip_spaces(inner, 0);
    while (pos < inner.size()) {
        const auto n = scan_number(inner, pos);
        if (!n || !n->in_range || out.count == 4) return std::nullopt;
        pos = n->end;
        Component& c = out.c[out.count++];
        c.value = n->value;
        c.percent = pos < inner.size() && inner[pos] == '%';
        if (c.percent) ++pos;
        else if (inner.substr(pos, 3) == "deg") pos += 3;
        pos = skip_spaces(inner, pos);
        if (pos < inner.size() && (inner[pos] == ',' || inner[pos] == '/')) {
            pos = skip_spaces(inner, pos + 1);
            if (pos == inner.size()) return std::nullopt;
        }
    }
    if (out.count < 3) return std::nullopt;
    return out;
}

double alpha_of(const Component& c) { return c.percent ? c.value / 100.0 : c.value; }

uint32_t rgba_of(double r, double g, double b, double alpha) {
    return byte_of(r) << 24 | byte_of(g) << 16 | byte_of(b) << 8 | byte_of(alpha * 255.0);
}

uint32_t rgb_colour(const Components& k) {
    auto channel = [](const Component& c) { return c.percent ? c.value * 2.55 : c.value; };
    return rgba_of(channel(k.c[0]), channel(k.c[1]), channel(k.c[2]), alpha_of(k.c[3]));
}

// One channel of an HSL colour, from CSS Color: t1 and t2 bound the
// lightness, h is the hue in turns, shifted for the channel.
double hue_channel(double t1, double t2, double h) {
    h -= std::floor(h);
    if (h * 6.0 < 1.0) return t1 + (t2 - t1) * h * 6.0;
    if (h * 2.0 < 1.0) return t2;
    if (h * 3.0 < 2.0) return t1 + (t2 - t1) * (2.0 / 3.0 - h) * 6.0;
    return t1;
}

uint32_t hsl_colour(const Components& k) {
    const double h = k.c[0].value / 360.0;
    const double s = std::clamp(k.c[1].value / 100.0, 0.0, 1.0), l = std::clamp(k.c[2].value / 100.0, 0.0, 1.0);
    const double t2 = l <= 0.5 ? l * (s + 1.0) : l + s - l * s, t1 = 2.0 * l - t2;
    return rgba_of(255.0 * hue_channel(t1, t2, h + 1.0 / 3.0), 255.0 * hue_channel(t1, t2, h),
                   255.0 * hue_channel(t1, t2, h - 1.0 / 3.0), alpha_of(k.c[3]));
}

// The text inside `name(...)`, or nullopt when `text` is not such a call.
std::optional<std::string_view> call_argument(std::string_view text, std::string_view name) {
    if (text.size() < name.size() + 2 || !equal_ignoring_case(text.substr(0, name.size()), name) ||
        text[name.size()] != '(' || text.back() != ')') {
        return std::nullopt;
    }
    return text.substr(name.size() + 1, text.size() - name.size() - 2);
}

std::optional<Paint> parse_plain_paint(std::string_view t) {
    if (equal_ignoring_case(t, "none")) return Paint{};
    if (equal_ignoring_case(t, "currentColor")) return Paint{Paint::Kind::current_colour, 0};
    if (const auto c = parse_svg_colour(t)) return Paint{Paint::Kind::colour, *c};
    return std::nullopt;
}

// A number or a percentage, clamped to [0, 1].
double parse_alpha(std::string_view text, const Where& where) {
    const std::string_view t = trim_spaces(text);
    const auto n = scan_number(t, 0);
    if (!n) where.not_a(text, "a number");
    if (!n->in_range) where.out_of_range(t.substr(0, n->end));
    const std::string_view rest = t.substr(n->end);
    if (!rest.empty() && rest != "%") where.not_a(text, "a number");
    return std::clamp(rest.empty() ? n->value : n->value / 100.0, 0.0, 1.0);
}

// Lengths separated by commas or spaces, made even by repeating an odd
// list; empty for none, a negative entry or all zeros.
std::vector<double> parse_dash_array(std::string_view text, const Viewport& viewport, const Where& where) {
    if (trim_spaces(text) == "none") return {};
    std::vector<double> dashes;
    size_t pos = skip_spaces(text, 0);
    bool comma = false;  // an entry must follow
    while (pos < text.size() || comma) {
        if (dashes.size() == kMaxSvgDashes) where.fail("more than " + std::to_string(kMaxSvgDashes) + " entries");
        size_t end = pos;
        while (end < text.size() && text[end] != ',' && !is_svg_space(text[end])) ++end;
        dashes.push_back(parse_length(text.substr(pos, end - pos), Axis::diagonal, viewport, where));
        pos = skip_separator(text, end, &comma);
    }
    const bool negative = std::any_of(dashes.begin(), dashes.end(), [](double d) { return d < 0; });
    const bool zero = std::all_of(dashes.begin(), dashes.end(), [](double d) { return d == 0; });
    if (negative || zero) return {};
    if (dashes.size() % 2 == 1) dashes.insert(dashes.end(), dashes.begin(), dashes.end());
    return dashes;
}

struct PropertyReader {
    DeclaredStyle& style;
    const Where& element;
    const Viewport& viewport;
    Warnings& warnings;

    void unsupported(const char* key, std::string_view name, const char* why) const {
        warnings.once(key, element.element_prefix() + " " + std::string(name) + " is not applied (" + why + ")");
    }

    std::optional<Paint> paint(std::string_view name, std::string_view value, const Where& where) const {
        const auto p = parse_paint(value);
        if (!p) where.not_a(value, "a paint");
        if (p->url) {
            warnings.once("url paint", element.element_prefix() + " " + std::string(name) + " " +
                                           in_quotes(trim_spaces(value)) +
                                           " is not drawn (gradients and patterns are not supported)");
        }
        return p->paint;
    }

    double width(std::string_view value, const Where& where) const {
        const double v = parse_length(value, Axis::diagonal, viewport, where);
        if (v < 0) where.fail("a width must not be negative");
        return v;
    }

    // One declaration; "inherit" leaves an inherited property unset, an
    // empty value is skipped.
    void read(std::string_view name, std::string_view value) const {
        const Where where = element.at(name);
        const std::string_view v = trim_spaces(value);
        if (v.empty()) return;
        if (name == "opacity") {
            style.opacity_inherit = v == "inherit";
            if (!style.opacity_inherit) style.opacity = parse_alpha(v, where);
            return;
        }
        if (v == "inherit") {
            forget(name);
            return;
        }
        if (name == "fill") style.fill = paint(name, v, where);
        else if (name == "stroke") style.stroke = paint(name, v, where);
        else if (name == "color") read_color(v, where);
        else if (name == "stroke-width") style.stroke_width = width(v, where);
        else if (name == "fill-opacity") style.fill_opacity = parse_alpha(v, where);
        else if (name == "stroke-opacity") style.stroke_opacity = parse_alpha(v, where);
        else if (name == "stroke-dasharray") style.dash = parse_dash_array(v, viewport, where);
        else if (name == "stroke-dashoffset") style.dash_offset = parse_length(v, Axis::diagonal, viewport, where);
        else if (name == "display") style.display_none = v == "none";
        else if (name == "visibility") style.visible = visibility(v, where);
        else if (name == "fill-rule") fill_rule(v, where);
        else if (name == "clip-path") unsupported_unless_none(v, "clip", name, "clipping is not supported");
        else if (name == "mask") unsupported_unless_none(v, "mask", name, "masks are not supported");
        else if (name == "filter") unsupported_unless_none(v, "filter", name, "filters are not supported");
        else if (name == "marker" || name == "marker-start" || name == "marker-mid" || name == "marker-end") {
            unsupported_unless_none(v, "marker", name, "markers are not supported");
        }
    }

    // "inherit" undoes what a presentation attribute declared.
    void forget(std::string_view name) const {
        if (name == "fill") style.fill.reset();
        else if (name == "stroke") style.stroke.reset();
        else if (name == "color") style.color.reset();
        else if (name == "stroke-width") style.stroke_width.reset();
        else if (name == "fill-opacity") style.fill_opacity.reset();
        else if (name == "stroke-opacity") style.stroke_opacity.reset();
        else if (name == "stroke-dasharray") style.dash.reset();
        else if (name == "stroke-dashoffset") style.dash_offset.reset();
        else if (name == "visibility") style.visible.reset();
        else if (name == "display") style.display_none = false;
    }

    void unsupported_unless_none(std::string_view v, const char* key, std::string_view name, const char* why) const {
        if (v != "none") unsupported(key, name, why);
    }

    // currentColor in `color` itself is the inherited colour.
    void read_color(std::string_view v, const Where& where) const {
        if (equal_ignoring_case(v, "currentColor")) return;
        const auto c = parse_svg_colour(v);
        if (!c) where.not_a(v, "a colour");
        style.color = *c;
    }

    static bool visibility(std::string_view v, const Where& where) {
        if (v != "visible" && v != "hidden" && v != "collapse") where.not_a(v, "a visibility");
        return v == "visible";
    }

    void fill_rule(std::string_view v, const Where& where) const {
        if (v != "nonzero" && v != "evenodd") where.not_a(v, "a fill rule");
        if (v == "evenodd") {
            warnings.once("fill-rule", element.element_prefix() + " fill-rule evenodd is drawn as nonzero" +
                                           " (even-odd filling is not supported)");
        }
    }
};

// The declarations of a style attribute, "name: value; ...", in order;
// a declaration without a colon is skipped, as CSS does.
void read_style_attribute(std::string_view text, const PropertyReader& reader) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(';', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view declaration = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) continue;
        std::string name(trim_spaces(declaration.substr(0, colon)));
        std::transform(name.begin(), name.end(), name.begin(), ascii_lower);
        std::string_view value = trim_spaces(declaration.substr(colon + 1));
        const size_t bang = value.rfind('!');
        if (bang != std::string_view::npos && equal_ignoring_case(trim_spaces(value.substr(bang + 1)), "important")) {
            value = trim_spaces(value.substr(0, bang));
        }
        reader.read(name, value);
    }
}

}  // namespace

std::optional<uint32_t> parse_svg_colour(std::string_view text) {
    const std::string_view t = trim_spaces(text);
    for (std::string_view name : {"rgb", "rgba", "hsl", "hsla"}) {
        const auto inner = call_argument(t, name);
        if (!inner) continue;
        const auto components = read_components(*inner);
        if (!components) return std::nullopt;
        return name[0] == 'r' ? rgb_colour(*components) : hsl_colour(*components);
    }
    return parse_colour_text(t);
}

std::optional<PaintValue> parse_paint(std::string_view text) {
    const std::string_view t = trim_spaces(text);
    if (t.size() >= 4 && equal_ignoring_case(t.substr(0, 4), "url(")) {
        const size_t close = t.find(')');
        if (close == std::string_view::npos) return std::nullopt;
        const std::string_view fallback = trim_spaces(t.substr(close + 1));
        if (fallback.empty()) return PaintValue{Paint{}, true};
        const auto paint = parse_plain_paint(fallback);
        if (!paint) return std::nullopt;
        return PaintValue{*paint, true};
    }
    const auto paint = parse_plain_paint(t);
    if (!paint) return std::nullopt;
    return PaintValue{*paint, false};
}

std::optional<uint32_t> resolve_paint(const Paint& paint, uint32_t color, double opacity) {
    if (paint.kind == Paint::Kind::none) return std::nullopt;
    const uint32_t rgba = paint.kind == Paint::Kind::colour ? paint.rgba : color;
    return (rgba & 0xFFFFFF00u) | byte_of(static_cast<double>(rgba & 0xFFu) * opacity);
}

DeclaredStyle read_declared_style(const tinyxml2::XMLElement& element, const Where& where, const Viewport& viewport,
                                  Warnings& warnings) {
    DeclaredStyle style;
    const PropertyReader reader{style, where, viewport, warnings};
    for (const tinyxml2::XMLAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
        if (std::string_view(a->Name()) != "style") reader.read(a->Name(), a->Value());
    }
    if (const char* text = element.Attribute("style")) read_style_attribute(text, reader);
    return style;
}

Style cascade(const Style& parent, const DeclaredStyle& declared) {
    Style s = parent;
    if (declared.fill) s.fill = *declared.fill;
    if (declared.stroke) s.stroke = *declared.stroke;
    if (declared.color) {
        s.color = *declared.color;
        s.root_color = false;
    }
    if (declared.stroke_width) s.stroke_width = *declared.stroke_width;
    if (declared.fill_opacity) s.fill_opacity = *declared.fill_opacity;
    if (declared.stroke_opacity) s.stroke_opacity = *declared.stroke_opacity;
    if (declared.dash_offset) s.dash_offset = *declared.dash_offset;
    if (declared.dash) s.dash = declared.dash->empty() ? nullptr : &*declared.dash;
    if (declared.visible) s.visible = *declared.visible;
    s.opacity = declared.opacity_inherit ? parent.opacity : declared.opacity.value_or(1.0);
    s.group_opacity = parent.group_opacity * s.opacity;
    return s;
}

}  // namespace vokri_scenefile::svg
