#include "svg_tree.h"

#include <unordered_map>

#include <tinyxml2.h>

#include "svg_numbers.h"
#include "svg_shapes.h"
#include "svg_transform.h"

namespace vokri_scenefile::svg {
namespace {

constexpr std::string_view kSvgNamespace = "http://www.w3.org/2000/svg";

// The namespace declarations in scope: a chain of the elements that
// declare some.
struct Namespaces {
    const Namespaces* outer = nullptr;
    const tinyxml2::XMLElement* element = nullptr;

    // The namespace of `prefix` ("" for the default one); nullopt when none
    // is declared.
    std::optional<std::string_view> lookup(std::string_view prefix) const {
        const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
        for (const Namespaces* s = this; s; s = s->outer) {
            if (const char* uri = s->element ? s->element->Attribute(attribute.c_str()) : nullptr) return uri;
        }
        return std::nullopt;
    }
};

bool declares_namespaces(const tinyxml2::XMLElement& e) {
    for (const tinyxml2::XMLAttribute* a = e.FirstAttribute(); a; a = a->Next()) {
        const std::string_view name = a->Name();
        if (name == "xmlns" || name.starts_with("xmlns:")) return true;
    }
    return false;
}

// The local name of an element of the SVG namespace, which is also the
// default when none is declared; nullopt for other namespaces.
std::optional<std::string_view> svg_local_name(std::string_view qualified, const Namespaces& ns) {
    const size_t colon = qualified.find(':');
    const bool prefixed = colon != std::string_view::npos;
    const auto uri = ns.lookup(prefixed ? qualified.substr(0, colon) : "");
    const bool svg = prefixed ? uri == kSvgNamespace : !uri || *uri == kSvgNamespace;
    if (!svg) return std::nullopt;
    return prefixed ? qualified.substr(colon + 1) : qualified;
}

struct Unsupported {
    std::string_view name;
    const char* key;     // elements of one feature share a warning
    const char* effect;  // what the warning says
    bool descend;        // whether <use> may reach into it
};

constexpr Unsupported kUnsupported[] = {
    {"linearGradient", "linearGradient", "is not drawn (gradients are not supported)", false},
    {"radialGradient", "radialGradient", "is not drawn (gradients are not supported)", false},
    {"pattern", "pattern", "is not drawn (patterns are not supported)", true},
    {"clipPath", "clip", "is not applied (clipping is not supported)", true},
    {"mask", "mask", "is not applied (masks are not supported)", true},
    {"filter", "filter", "is not applied (filters are not supported)", false},
    {"marker", "marker", "is not drawn (markers are not supported)", true},
    {"text", "text", "is not drawn (text is not supported)", false},
    {"tspan", "text", "is not drawn (text is not supported)", false},
    {"textPath", "text", "is not drawn (text is not supported)", false},
    {"image", "image", "is not drawn (images are not supported)", false},
    {"foreignObject", "foreignObject", "is not drawn (foreign content is not supported)", false},
    {"svg", "svg", "is not drawn (nested svg elements are not supported)", true},
    {"switch", "switch", "is not drawn (conditional processing is not supported)", true},
    {"style", "style", "is not applied (style sheets are not supported)", false},
    {"script", "script", "is not run (scripts are not supported)", false},
    {"animate", "animation", "is not played (animation is not supported)", false},
    {"animateMotion", "animation", "is not played (animation is not supported)", false},
    {"animateTransform", "animation", "is not played (animation is not supported)", false},
    {"animateColor", "animation", "is not played (animation is not supported)", false},
    {"set", "animation", "is not played (animation is not supported)", false},
};

bool is_silent(std::string_view name) { return name == "title" || name == "desc" || name == "metadata"; }

const Unsupported* find_unsupported(std::string_view name) {
    for (const Unsupported& u : kUnsupported) {
        if (u.name == name) return &u;
    }
    return nullptr;
}

std::optional<NodeKind> supported_kind(std::string_view name) {
    if (name == "g" || name == "a") return NodeKind::group;
    if (name == "defs") return NodeKind::defs;
    if (name == "symbol") return NodeKind::symbol;
    if (name == "use") return NodeKind::use;
    if (is_shape_element(name)) return NodeKind::shape;
    return std::nullopt;
}

class TreeBuilder {
public:
    TreeBuilder(std::string_view shown, const Viewport& viewport, Warnings& warnings)
        : shown_(shown), viewport_(viewport), warnings_(warnings) {}

    SvgTree run(const tinyxml2::XMLElement& root) {
        add_element(root, 1, Namespaces{});
        link_uses();
        return std::move(tree_);
    }

private:
    [[noreturn]] void fail_at(const tinyxml2::XMLElement& e, const std::string& message) const {
        fail_at_line(shown_, e.GetLineNum(), message);
    }

    void add_element(const tinyxml2::XMLElement& e, int depth, const Namespaces& outer) {
        const Namespaces scope{&outer, &e};
        const Namespaces& ns = declares_namespaces(e) ? scope : outer;
        const auto name = svg_local_name(e.Name(), ns);
        if (!name || is_silent(*name)) return;
        if (depth > kMaxSvgDepth) fail_at(e, too_deep());
        if (tree_.nodes.size() == kMaxSvgElements) fail_at(e, more_than(kMaxSvgElements, "elements"));

        const Where where{shown_, e.GetLineNum(), *name, ""};
        NodeKind kind = NodeKind::group;
        bool descend = true;
        if (depth > 1) {
            const auto supported = supported_kind(*name);
            kind = supported.value_or(NodeKind::inert);
            if (!supported) descend = warn_unsupported(where);
        }
        const auto index = static_cast<uint32_t>(tree_.nodes.size());
        tree_.nodes.push_back(read_node(e, kind, where));
        if (const char* id = e.Attribute("id")) ids_.emplace(id, index);
        if (!descend) return;
        for (const tinyxml2::XMLElement* c = e.FirstChildElement(); c; c = c->NextSiblingElement()) {
            const auto child = static_cast<uint32_t>(tree_.nodes.size());
            add_element(*c, depth + 1, ns);
            if (tree_.nodes.size() > child) tree_.nodes[index].children.push_back(child);
        }
    }

    // Warns about an element the reader does not draw; tells whether <use>
    // may reach into it.
    bool warn_unsupported(const Where& where) {
        const Unsupported* u = find_unsupported(where.element);
        const std::string key = u ? u->key : "<" + std::string(where.element) + ">";
        const char* effect = u ? u->effect : "is not drawn (the element is not supported)";
        warnings_.once(key, where.element_prefix() + " " + effect);
        return u && u->descend;
    }

    Node read_node(const tinyxml2::XMLElement& e, NodeKind kind, const Where& where) {
        Node n;
        n.kind = kind;
        n.name = std::string(where.element);
        n.line = where.line;
        if (kind == NodeKind::defs || kind == NodeKind::inert) return n;
        if (const char* t = e.Attribute("transform")) n.transform = parse_transform_list(t, where.at("transform"));
        n.style = read_declared_style(e, where, viewport_, warnings_);
        if (kind == NodeKind::shape) read_outline(e, where, n);
        if (kind == NodeKind::use) n.use = read_use(e, where);
        if (kind == NodeKind::symbol) read_view_box(e, where, n);
        return n;
    }

    void read_outline(const tinyxml2::XMLElement& e, const Where& where, Node& n) {
        n.outline = shape_outline(e, where.element, where, viewport_, warnings_);
        segments_ += n.outline.segments.size();
        if (segments_ > kMaxSvgSegments) fail_at(e, more_than(kMaxSvgSegments, "segments"));
    }

    UseLink read_use(const tinyxml2::XMLElement& e, const Where& where) const {
        UseLink u;
        const char* href = e.Attribute("href");
        if (!href) href = e.Attribute("xlink:href");
        u.href = href ? std::string(trim_spaces(href)) : "";
        auto length = [&](const char* name, Axis axis) -> std::optional<double> {
            const char* text = e.Attribute(name);
            if (!text || trim_spaces(text) == "auto") return std::nullopt;
            return parse_length(text, axis, viewport_, where.at(name));
        };
        u.x = length("x", Axis::x).value_or(0.0);
        u.y = length("y", Axis::y).value_or(0.0);
        u.width = length("width", Axis::x);
        u.height = length("height", Axis::y);
        return u;
    }

    // Resolves every href="#id" once, however often the <use> is drawn.
    void link_uses() {
        for (Node& n : tree_.nodes) {
            const std::string& href = n.use.href;
            if (n.kind != NodeKind::use || href.empty() || href[0] != '#') continue;
            const auto it = ids_.find(href.substr(1));
            if (it != ids_.end()) n.use.target = it->second;
        }
    }

    static void read_view_box(const tinyxml2::XMLElement& e, const Where& where, Node& n) {
        if (const char* box = e.Attribute("viewBox")) n.view_box = parse_view_box(box, where.at("viewBox"));
        if (const char* ratio = e.Attribute("preserveAspectRatio")) {
            n.aspect = parse_aspect_ratio(ratio, where.at("preserveAspectRatio"));
        }
    }

    std::string_view shown_;
    const Viewport& viewport_;
    Warnings& warnings_;
    SvgTree tree_;
    std::unordered_map<std::string, uint32_t> ids_;  // the first element with each id
    size_t segments_ = 0;
};

}  // namespace

std::string more_than(size_t limit, const char* what) { return "more than " + std::to_string(limit) + " " + what; }

std::string too_deep() { return "nested deeper than " + std::to_string(kMaxSvgDepth) + " levels"; }

void check_root(const tinyxml2::XMLElement& root, std::string_view shown) {
    const Namespaces scope{nullptr, &root};
    const auto name = svg_local_name(root.Name(), scope);
    if (name == "svg") return;
    const std::string_view qualified = root.Name();
    const bool named_svg = qualified == "svg" || qualified.ends_with(":svg");
    fail_at_line(shown, root.GetLineNum(),
                 named_svg ? "the root <svg> is not in the SVG namespace"
                           : "the root element is <" + shortened(qualified) + ">, not <svg>");
}

SvgTree build_tree(const tinyxml2::XMLElement& root, std::string_view shown, const Viewport& viewport,
                   Warnings& warnings) {
    return TreeBuilder(shown, viewport, warnings).run(root);
}

}  // namespace vokri_scenefile::svg
