// Attribute values of the SVG reader: lengths, number lists, viewBox and
// preserveAspectRatio, and the errors and warnings that name where they
// were read. Faulty values throw SceneError through `Where`.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "svg_geometry.h"

namespace vokri_scenefile::svg {

// ---- messages -----------------------------------------------------------------

// "drawing.svg: line 3: "
std::string line_prefix(std::string_view shown, int line);
// Throws SceneError for line_prefix() followed by `message`.
[[noreturn]] void fail_at_line(std::string_view shown, int line, const std::string& message);

// Text for a message, shortened when long.
std::string shortened(std::string_view text);
// The same in single quotes.
std::string in_quotes(std::string_view text);

// Where a value was read: "drawing.svg: line 3: <rect> width: ".
struct Where {
    std::string_view shown;
    int line = 0;
    std::string_view element;    // the element's name, without brackets
    std::string_view attribute;  // the attribute or property; empty for the element itself

    // "drawing.svg: line 3: <rect>"
    std::string element_prefix() const;
    Where at(std::string_view attr) const { return {shown, line, element, attr}; }

    // Throw SceneError with the prefix, the attribute and `message`.
    [[noreturn]] void fail(const std::string& message) const;
    [[noreturn]] void out_of_range(std::string_view number) const;
    [[noreturn]] void not_a(std::string_view text, std::string_view what) const;
};

// The warnings of one document, in the order found, without repeats.
class Warnings {
public:
    // Adds `text` unless a warning with the same key was added.
    void once(const std::string& key, std::string text);
    // Adds `text` unless the same text was added.
    void add(const std::string& text) { once(text, text); }
    std::vector<std::string> take() { return std::move(texts_); }

private:
    std::set<std::string> keys_;
    std::vector<std::string> texts_;
};

// ---- values -------------------------------------------------------------------

enum class Axis { x, y, diagonal };

// What percentages refer to: the size of the root's viewBox, else its width
// and height.
struct Viewport {
    double width = 0, height = 0;
    bool known = false;
    // The width, the height, or the diagonal divided by sqrt(2).
    double along(Axis axis) const;
};

// A number with an optional unit: px, in, cm, mm, pt, pc (at 96 per inch)
// or % of the viewport along `axis`.
double parse_length(std::string_view text, Axis axis, const Viewport& viewport, const Where& where);

// Whether the text ends with '%', as a length relative to a viewport.
bool is_percentage(std::string_view text);

// Numbers separated by spaces or a comma.
std::vector<double> parse_number_list(std::string_view text, const Where& where);

struct ViewBox {
    double x = 0, y = 0, width = 0, height = 0;
};

// Four numbers, the width and height positive.
ViewBox parse_view_box(std::string_view text, const Where& where);

struct AspectRatio {
    bool none = false;  // stretch to the viewport
    double align_x = 0.5, align_y = 0.5;  // 0 for min, 0.5 for mid, 1 for max
    bool slice = false;
};

AspectRatio parse_aspect_ratio(std::string_view text, const Where& where);

// The transform that places `box` in a viewport of width by height at the
// origin; both are positive.
Affine view_box_transform(const ViewBox& box, const AspectRatio& ratio, double width, double height);

}  // namespace vokri_scenefile::svg
