#include "svg.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <tinyxml2.h>

#include "scene_json.h"
#include "svg_draw.h"
#include "svg_geometry.h"
#include "svg_numbers.h"
#include "svg_tree.h"
#include "svg_values.h"

namespace vokri_scenefile {
namespace {

constexpr size_t kMaxSvgFileBytes = size_t{64} << 20;

[[noreturn]] void fail(const std::string& shown, const std::string& message) {
    throw SceneError("", shown + ": " + message);
}

std::string read_file_text(const std::string& path, const std::string& shown) {
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) fail(shown, std::string("cannot open: ") + (errno ? std::strerror(errno) : "unknown error"));
    std::string text;
    char buffer[1 << 16];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, file.get())) {
        if (text.size() + n > kMaxSvgFileBytes) fail(shown, "the file is larger than 64 MiB");
        text.append(buffer, n);
    }
    if (std::ferror(file.get())) {
        fail(shown, std::string("cannot read: ") + (errno ? std::strerror(errno) : "read error"));
    }
    return text;
}

// The line of the character at `offset`, 1 for the first.
int line_of(const std::string& text, size_t offset) {
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(offset);
    return 1 + static_cast<int>(std::count(text.begin(), end, '\n'));
}

void check_text(const std::string& text, const std::string& shown) {
    if (const size_t at = text.find("<!ENTITY"); at != std::string::npos) {
        svg::fail_at_line(shown, line_of(text, at), "entity declarations are refused");
    }
    if (const size_t at = text.find('\0'); at != std::string::npos) {
        svg::fail_at_line(shown, line_of(text, at), "the text has a NUL character");
    }
}

// "line 3: malformed XML (XML_ERROR_MISMATCHED_ELEMENT: XMLElement name=g)",
// from tinyxml2's "Error=... ErrorID=... Line number=3: detail".
std::string xml_error(const tinyxml2::XMLDocument& xml) {
    const std::string where = xml.ErrorLineNum() > 0 ? "line " + std::to_string(xml.ErrorLineNum()) + ": " : "";
    const std::string_view full = xml.ErrorStr();
    const size_t line_note = full.find("Line number=");
    const size_t detail = line_note == std::string_view::npos ? line_note : full.find(": ", line_note);
    std::string what = xml.ErrorName();
    if (detail != std::string_view::npos) what += ": " + std::string(full.substr(detail + 2));
    return where + "malformed XML (" + what + ")";
}

// The size and origin of the drawing as the root <svg> gives them, and
// what percentages refer to.
struct RootFrame {
    std::optional<svg::ViewBox> view_box;
    std::optional<double> width, height;
    svg::Viewport viewport;
};

RootFrame read_root_frame(const tinyxml2::XMLElement& root, const std::string& shown) {
    const svg::Where where{shown, root.GetLineNum(), "svg", ""};
    RootFrame f;
    if (const char* box = root.Attribute("viewBox")) f.view_box = svg::parse_view_box(box, where.at("viewBox"));
    if (const char* ratio = root.Attribute("preserveAspectRatio")) {
        svg::parse_aspect_ratio(ratio, where.at("preserveAspectRatio"));
    }
    auto size = [&](const char* name, svg::Axis axis) -> std::optional<double> {
        const char* text = root.Attribute(name);
        if (!text || svg::is_percentage(text) || svg::trim_spaces(text) == "auto") return std::nullopt;
        const double v = svg::parse_length(text, axis, {}, where.at(name));
        if (v < 0) where.at(name).fail("a size must not be negative");
        return v;
    };
    f.width = size("width", svg::Axis::x);
    f.height = size("height", svg::Axis::y);
    if (f.view_box) f.viewport = {f.view_box->width, f.view_box->height, true};
    else if (f.width && f.height) f.viewport = {*f.width, *f.height, true};
    return f;
}

svg::Bounds bounds_of(const std::vector<SvgShape>& shapes) {
    svg::Bounds b;
    for (const SvgShape& shape : shapes) {
        for (const VokriCubicSegment& s : shape.segments) b.add(s);
    }
    return b;
}

void set_size(SvgDocument& doc, const RootFrame& frame) {
    if (frame.view_box) {
        doc.min_x = frame.view_box->x;
        doc.min_y = frame.view_box->y;
        doc.width = frame.view_box->width;
        doc.height = frame.view_box->height;
        return;
    }
    // Without a view box or a size, the drawing is what its shapes cover.
    const svg::Bounds b = frame.width && frame.height ? svg::Bounds{} : bounds_of(doc.shapes);
    if (!frame.width) doc.min_x = b.min_x();
    if (!frame.height) doc.min_y = b.min_y();
    doc.width = frame.width.value_or(b.width());
    doc.height = frame.height.value_or(b.height());
}

}  // namespace

SvgDocument read_svg_file(const std::string& path, const std::string& shown) {
    return parse_svg_text(read_file_text(path, shown), shown);
}

SvgDocument parse_svg_text(const std::string& text, const std::string& shown) {
    check_text(text, shown);
    tinyxml2::XMLDocument xml(true, tinyxml2::PRESERVE_WHITESPACE);
    if (xml.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) fail(shown, xml_error(xml));
    const tinyxml2::XMLElement* root = xml.RootElement();
    if (!root) fail(shown, "no root element");
    if (const auto* other = root->NextSiblingElement()) {
        svg::fail_at_line(shown, other->GetLineNum(), "a second root element");
    }
    svg::check_root(*root, shown);
    const RootFrame frame = read_root_frame(*root, shown);
    svg::Warnings warnings;
    const svg::SvgTree tree = svg::build_tree(*root, shown, frame.viewport, warnings);
    SvgDocument doc;
    doc.shapes = svg::draw_tree(tree, shown, frame.viewport, warnings);
    set_size(doc, frame);
    doc.warnings = warnings.take();
    return doc;
}

}  // namespace vokri_scenefile
