#include "svg_draw.h"

#include <algorithm>
#include <cmath>

#include "svg_numbers.h"

namespace vokri_scenefile::svg {
namespace {

// What an element inherits from its parent.
struct Context {
    Affine ctm;  // to the root's user space
    Style style;
    int depth = 0;
};

bool in_range(double v) { return std::isfinite(v) && std::fabs(v) <= kMaxSvgMagnitude; }

bool shape_in_range(const SvgShape& s) {
    const auto coordinates_in_range = [](const VokriCubicSegment& c) {
        const double* v = &c.x0;
        return std::all_of(v, v + 8, in_range);
    };
    return std::all_of(s.segments.begin(), s.segments.end(), coordinates_in_range) && in_range(s.stroke_width) &&
           std::all_of(s.dash.begin(), s.dash.end(), in_range) && in_range(s.dash_offset);
}

class Drawer {
public:
    Drawer(const SvgTree& tree, std::string_view shown, const Viewport& viewport, Warnings& warnings)
        : tree_(tree), shown_(shown), viewport_(viewport), warnings_(warnings) {}

    std::vector<SvgShape> run() {
        visit(0, Context{}, nullptr);
        return std::move(shapes_);
    }

private:
    Where where(const Node& n) const { return {shown_, n.line, n.name, ""}; }

    [[noreturn]] void fail_at(const Node& n, const std::string& message) const {
        fail_at_line(shown_, n.line, message);
    }

    // `via` is the <use> that draws the node, if any.
    void visit(uint32_t index, const Context& parent, const UseLink* via) {
        const Node& n = tree_.nodes[index];
        if (++elements_ > kMaxSvgElements) fail_at(n, more_than(kMaxSvgElements, "elements"));
        if (parent.depth + 1 > kMaxSvgDepth) fail_at(n, too_deep());
        if (n.style.display_none || n.kind == NodeKind::defs || n.kind == NodeKind::inert) return;
        if (n.kind == NodeKind::symbol && !via) return;
        Context c{parent.ctm * n.transform, cascade(parent.style, n.style), parent.depth + 1};
        if (n.kind == NodeKind::symbol && n.view_box) {
            const auto placement = symbol_placement(n, *via);
            if (!placement) return;
            c.ctm = c.ctm * *placement;
        }
        switch (n.kind) {
            case NodeKind::use: draw_use(n, c); break;
            case NodeKind::shape: draw_shape(n, c); break;
            default:
                for (uint32_t child : n.children) visit(child, c, nullptr);
                break;
        }
    }

    // The viewBox of a symbol fitted to the viewport of the <use> that draws
    // it (the whole drawing's by default); nullopt for an empty viewport.
    std::optional<Affine> symbol_placement(const Node& symbol, const UseLink& use) const {
        const ViewBox& box = *symbol.view_box;
        const double w = use.width.value_or(viewport_.known ? viewport_.width : box.width);
        const double h = use.height.value_or(viewport_.known ? viewport_.height : box.height);
        if (!(w > 0 && h > 0)) return std::nullopt;
        return view_box_transform(box, symbol.aspect, w, h);
    }

    void draw_use(const Node& n, const Context& c) {
        const std::string& href = n.use.href;
        if (href.empty()) return;
        if (href[0] != '#') {
            warnings_.add(where(n).element_prefix() + " refers to " + in_quotes(href) +
                          " outside the document (external references are not supported)");
            return;
        }
        if (!n.use.target) {
            warnings_.add(where(n).element_prefix() + " refers to " + in_quotes(href) +
                          ", which is not in the document");
            return;
        }
        const uint32_t target = *n.use.target;
        if (std::find(expanding_.begin(), expanding_.end(), target) != expanding_.end()) {
            fail_at(n, "<use> cycle through " + shortened(href));
        }
        Context inner = c;
        inner.ctm = c.ctm * Affine::translate(n.use.x, n.use.y);
        expanding_.push_back(target);
        visit(target, inner, &n.use);
        expanding_.pop_back();
    }

    void draw_shape(const Node& n, const Context& c) {
        if (!c.style.visible || n.outline.segments.empty()) return;
        segments_ += n.outline.segments.size();
        if (segments_ > kMaxSvgSegments) fail_at(n, more_than(kMaxSvgSegments, "segments"));
        const Style& style = c.style;
        SvgShape s;
        s.segments.reserve(n.outline.segments.size());
        for (const VokriCubicSegment& seg : n.outline.segments) s.segments.push_back(transformed(seg, c.ctm));
        s.subpath_ends = n.outline.subpath_ends;
        s.subpath_closed = n.outline.subpath_closed;
        s.fill = resolve_paint(style.fill, style.color, style.fill_opacity * style.group_opacity);
        s.stroke = resolve_paint(style.stroke, style.color, style.stroke_opacity * style.group_opacity);
        s.fill_is_host_color = style.root_color && style.fill.kind == Paint::Kind::current_colour;
        s.stroke_is_host_color = style.root_color && style.stroke.kind == Paint::Kind::current_colour;
        const double scale = std::sqrt(std::fabs(c.ctm.det()));
        s.stroke_width = style.stroke_width * scale;
        if (style.dash) {
            for (double d : *style.dash) s.dash.push_back(d * scale);
            if (std::all_of(s.dash.begin(), s.dash.end(), [](double d) { return d == 0; })) s.dash.clear();
        }
        s.dash_offset = style.dash_offset * scale;
        if (!shape_in_range(s)) where(n).fail("the coordinates after transforms are out of range");
        shapes_.push_back(std::move(s));
    }

    const SvgTree& tree_;
    std::string_view shown_;
    const Viewport& viewport_;
    Warnings& warnings_;
    std::vector<SvgShape> shapes_;
    std::vector<uint32_t> expanding_;  // the targets of the <use> elements being drawn
    size_t elements_ = 0;
    size_t segments_ = 0;
};

}  // namespace

std::vector<SvgShape> draw_tree(const SvgTree& tree, std::string_view shown, const Viewport& viewport,
                                Warnings& warnings) {
    return Drawer(tree, shown, viewport, warnings).run();
}

}  // namespace vokri_scenefile::svg
