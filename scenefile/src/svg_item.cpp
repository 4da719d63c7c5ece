#include "svg_item.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "dash.h"
#include "dash_fields.h"
#include "svg.h"

namespace vokri_scenefile {

namespace {

// Drawings read once per file (and again when the file changes), shared by
// every frame and thread.
std::shared_ptr<const SvgDocument> cached_svg(const std::string& path, const std::string& shown) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const SvgDocument>> cache;
    struct stat st {};
    const std::string key = path + "\n" + (::stat(path.c_str(), &st) == 0
                                               ? std::to_string(st.st_mtim.tv_sec) + "." +
                                                     std::to_string(st.st_mtim.tv_nsec) + "." + std::to_string(st.st_size)
                                               : std::string("?"));
    {
        const std::lock_guard lock(mutex);
        if (auto it = cache.find(key); it != cache.end()) return it->second;
    }
    auto doc = std::make_shared<const SvgDocument>(read_svg_file(path, shown));
    const std::lock_guard lock(mutex);
    if (cache.size() >= 64) cache.clear();
    cache.emplace(key, doc);
    return doc;
}

SvgPlacement place(Obj& o, const SvgDocument& svg) {
    SvgPlacement p;
    const bool has_w = o.has("width"), has_h = o.has("height");
    if (has_w && has_h) fail(o.at("height"), "give \"width\" or \"height\" (the other follows the drawing)");
    const char* key = has_w ? "width" : "height";
    const double want = o.number(key, 0), have = has_w ? svg.width : svg.height;
    if (has_w || has_h) {
        if (!(std::isfinite(want) && want > 0 && want < 1e9)) fail(o.at(key), "expected a finite size above 0");
        if (!(have > 0)) fail(o.at(key), "the drawing has no size to scale");
        p.k = want / have;
    }
    const uint32_t align = o.enumeration("align", 0, {"center", "top_left"});
    if (align > 1) fail(o.at("align"), "expected \"center\" or \"top_left\"");
    p.x0 = svg.min_x + (align == 0 ? svg.width / 2 : 0);
    p.y0 = svg.min_y + (align == 0 ? svg.height / 2 : 0);
    return p;
}

// `paint` with the host's colour in place of the drawing's own, keeping the
// alpha the drawing gives it.
uint32_t host_painted(uint32_t paint, bool is_host, std::optional<uint32_t> host) {
    if (!is_host || !host) return paint;
    const uint32_t alpha = (paint & 0xFFu) * (*host & 0xFFu);
    return (*host & 0xFFFFFF00u) | ((alpha + 127) / 255);
}

// One element of the drawing as a shape, with its own dashes (those of the
// item, when it has some, win).
void add_shape(VectorDrawing& d, const SvgShape& e, const SvgPlacement& p, uint32_t order,
               const std::optional<DashPattern>& item_dash, std::optional<uint32_t> host,
               const std::string& path) {
    DrawnShape s;
    s.outline.subpath_ends = e.subpath_ends;
    s.outline.subpath_closed = e.subpath_closed;
    s.outline.segments.reserve(e.segments.size());
    for (const auto& c : e.segments) s.outline.segments.push_back(p.map(c));
    s.fill = e.fill.has_value();
    s.fill_color = host_painted(e.fill.value_or(0), e.fill_is_host_color, host);
    s.stroke = e.stroke.has_value() && e.stroke_width > 0;
    s.stroke_color = host_painted(e.stroke.value_or(0), e.stroke_is_host_color, host);
    s.stroke_width = e.stroke_width * p.k;
    s.reveal_order = order;
    const bool open = std::find(s.outline.subpath_closed.begin(), s.outline.subpath_closed.end(), 0) !=
                      s.outline.subpath_closed.end();
    if (s.fill && open) {
        // SVG fills an open subpath as if it were closed; the renderer fills
        // closed ones only, so the fill gets a closed copy of the outline.
        DrawnShape fill = s;
        fill.stroke = false;
        std::fill(fill.outline.subpath_closed.begin(), fill.outline.subpath_closed.end(), 1);
        d.shapes.push_back(std::move(fill));
        s.fill = false;
    }
    std::optional<DashPattern> dash = item_dash;
    if (!dash && dashes(e.dash)) {
        dash = DashPattern{e.dash, e.dash_offset * p.k};
        for (double& v : dash->pattern) v *= p.k;
    }
    if (!dash) {
        d.shapes.push_back(std::move(s));
        return;
    }
    VectorDrawing one;
    one.shapes.push_back(std::move(s));
    dash_strokes(one, *dash, path);
    for (auto& piece : one.shapes) d.shapes.push_back(std::move(piece));
}

}  // namespace

VectorDrawing read_svg_item(Obj& o, const ParseOptions& options) {
    const json& f = o.required("file");
    if (!f.is_string() || f.get_ref<const std::string&>().empty()) expected(o.at("file"), "an SVG file path", f);
    std::filesystem::path file = f.get<std::string>();
    if (file.is_relative() && !options.base_dir.empty()) file = options.base_dir / file;
    std::shared_ptr<const SvgDocument> svg;
    try {
        svg = cached_svg(file.string(), file.string());
    } catch (const SceneError& e) {
        fail(o.at("file"), e.message());
    }
    return placed_svg_drawing(o, *svg, place(o, *svg), std::nullopt);
}

VectorDrawing placed_svg_drawing(Obj& o, const SvgDocument& svg, const SvgPlacement& p,
                                 std::optional<uint32_t> host_color) {
    VectorDrawing d;
    d.progress = o.number("progress", 1.0);
    o.transform(d.transform);
    d.opacity = o.number("opacity", 1.0);
    const auto dash = read_dash(o);
    for (size_t i = 0; i < svg.shapes.size(); ++i)
        add_shape(d, svg.shapes[i], p, static_cast<uint32_t>(i), dash, host_color, o.path());
    d.stagger_count = static_cast<uint32_t>(svg.shapes.size());
    d.warnings = svg.warnings;
    return d;
}

}  // namespace vokri_scenefile
