#include "text_item.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>

#include "dash_fields.h"
#include "text_layout.h"

namespace vokri_scenefile {

namespace {

constexpr size_t kMaxTextBytes = 1 << 20;

struct RunPaint {
    std::optional<uint32_t> fill, stroke;
};

// "text": a string, or a list of runs {"text": ..., "fill_color": ...,
// "stroke_color": ...}.
std::vector<RunPaint> read_runs(Obj& o, TextRequest& request) {
    const json& t = o.required("text");
    const std::string path = o.at("text");
    std::vector<RunPaint> paints;
    size_t bytes = 0;
    auto add = [&](const json& s, const std::string& p) {
        if (!s.is_string()) expected(p, "a string", s);
        bytes += s.get_ref<const std::string&>().size();
        if (bytes > kMaxTextBytes) fail(p, "more than " + std::to_string(kMaxTextBytes) + " bytes of text");
        request.runs.push_back(s.get<std::string>());
    };
    if (t.is_string()) {
        add(t, path);
        paints.emplace_back();
        return paints;
    }
    read_array(t, path, "a string or a list of runs");
    for (size_t i = 0; i < t.size(); ++i) {
        Obj run(t[i], index_path(path, i));
        add(run.required("text"), run.at("text"));
        RunPaint paint;
        if (const json* c = run.get("fill_color")) paint.fill = read_colour(*c, run.at("fill_color"));
        if (const json* c = run.get("stroke_color")) paint.stroke = read_colour(*c, run.at("stroke_color"));
        run.finish();
        paints.push_back(paint);
    }
    return paints;
}

// A family name, or a font file (a name with a '/' or a font extension),
// relative to the scene file.
void read_font(Obj& o, const ParseOptions& options, TextRequest& request) {
    const json* f = o.get("font");
    if (!f) {
        request.font = "DejaVu Sans";
        return;
    }
    if (!f->is_string() || f->get_ref<const std::string&>().empty()) expected(o.at("font"), "a font name or file", *f);
    const std::string name = f->get<std::string>();
    const std::string ext = std::filesystem::path(name).extension().string();
    request.font_is_file = name.find('/') != std::string::npos || ext == ".ttf" || ext == ".otf" || ext == ".ttc" ||
                        ext == ".TTF" || ext == ".OTF" || ext == ".woff";
    std::filesystem::path file = name;
    if (request.font_is_file && file.is_relative() && !options.base_dir.empty()) file = options.base_dir / file;
    request.font = request.font_is_file ? file.string() : name;
}

double positive(Obj& o, const char* key, double fallback) {
    const double v = o.number(key, fallback);
    if (!(std::isfinite(v) && v > 0 && v < 1e9)) fail(o.at(key), "expected a finite number above 0");
    return v;
}

}  // namespace

namespace {

// The place of shape `order` in the staggered reveal at progress p, as the
// renderer works it out: 1 drawn whole, 0 not drawn, between them faded in.
double revealed(double progress, uint32_t count, uint32_t order) {
    const double p = std::isnan(progress) ? 1.0 : std::clamp(progress, 0.0, 1.0);
    return std::clamp(p * static_cast<double>(count) - static_cast<double>(order), 0.0, 1.0);
}

bool same_paint(const DrawnShape& a, const DrawnShape& b) {
    return a.fill == b.fill && a.fill_color == b.fill_color && a.stroke == b.stroke &&
           a.stroke_color == b.stroke_color && a.stroke_width == b.stroke_width;
}

void append(Outline& to, const Outline& from) {
    const auto base = static_cast<uint32_t>(to.segments.size());
    to.segments.insert(to.segments.end(), from.segments.begin(), from.segments.end());
    for (uint32_t end : from.subpath_ends) to.subpath_ends.push_back(base + end);
    to.subpath_closed.insert(to.subpath_closed.end(), from.subpath_closed.begin(), from.subpath_closed.end());
}

// A glyph of the layout with its paint and its place in the reveal.
struct PaintedGlyph {
    const Outline* outline;
    const void* font;
    DrawnShape paint;  // without the outline
};

VectorDrawing drawing_like(const VectorDrawing& d) {
    VectorDrawing out;
    std::copy(d.transform, d.transform + 6, out.transform);
    out.opacity = d.opacity;
    return out;
}

// A shape per glyph, for hosts that take the outlines apart.
VectorDrawing per_glyph_drawing(const VectorDrawing& d, const std::vector<PaintedGlyph>& glyphs) {
    VectorDrawing out = drawing_like(d);
    out.stagger_count = static_cast<uint32_t>(glyphs.size());
    out.progress = d.progress;
    for (const PaintedGlyph& g : glyphs) {
        out.shapes.push_back(g.paint);
        out.shapes.back().outline = *g.outline;
    }
    return out;
}

// What a frame draws: the glyphs drawn whole merged into one shape per paint
// (one fill of the whole text rather than one per glyph: faster, and
// without seams where glyphs touch), and those fading in kept apart with
// their place in the reveal. Glyphs not yet revealed are left out.
std::vector<VectorDrawing> frame_drawings(const VectorDrawing& d, const std::vector<PaintedGlyph>& glyphs) {
    VectorDrawing whole = drawing_like(d), fading = drawing_like(d);
    std::vector<const void*> fonts;  // of each merged shape: fonts are merged apart, as their windings may differ
    fading.stagger_count = static_cast<uint32_t>(glyphs.size());
    fading.progress = d.progress;
    for (const PaintedGlyph& g : glyphs) {
        const double v = revealed(d.progress, fading.stagger_count, g.paint.reveal_order);
        if (!(v > 0)) continue;
        if (v < 1) {
            fading.shapes.push_back(g.paint);
            fading.shapes.back().outline = *g.outline;
            continue;
        }
        size_t k = 0;
        while (k < whole.shapes.size() && !(fonts[k] == g.font && same_paint(whole.shapes[k], g.paint))) ++k;
        if (k == whole.shapes.size()) {
            whole.shapes.push_back(g.paint);
            whole.shapes.back().reveal_order = 0;
            fonts.push_back(g.font);
        }
        append(whole.shapes[k].outline, *g.outline);
    }
    std::vector<VectorDrawing> out;
    out.push_back(std::move(whole));
    if (!fading.shapes.empty()) out.push_back(std::move(fading));
    return out;
}

bool drawn_whole(const VectorDrawing& d, const std::vector<PaintedGlyph>& glyphs) {
    const auto count = static_cast<uint32_t>(glyphs.size());
    for (const PaintedGlyph& g : glyphs)
        if (!(revealed(d.progress, count, g.paint.reveal_order) >= 1)) return false;
    return true;
}

// Frames of a text drawn whole share its merged outlines: they are merged
// once per layout and paints and kept (the last few), and a frame keeps
// them alive instead of copying them.
class MergedTexts {
public:
    std::vector<DrawnShape> shapes(const std::shared_ptr<const TextLayout>& layout,
                                   const std::vector<PaintedGlyph>& glyphs, const VectorDrawing& d) {
        std::vector<DrawnShape> paints;
        paints.reserve(glyphs.size());
        for (const PaintedGlyph& g : glyphs) paints.push_back(g.paint);
        {
            const std::lock_guard lock(mutex_);
            for (const Entry& e : entries_)
                if (e.raw == layout.get() && !e.layout.expired() && same_paints(e.paints, paints)) return e.shapes;
        }
        Entry e{layout, layout.get(), std::move(paints), {}};
        std::vector<VectorDrawing> drawings = frame_drawings(d, glyphs);
        for (DrawnShape& merged : drawings.front().shapes) {
            DrawnShape shape = merged;
            shape.outline = Outline{};
            shape.shared = std::make_shared<const Outline>(std::move(merged.outline));
            e.shapes.push_back(std::move(shape));
        }
        std::vector<DrawnShape> out = e.shapes;
        const std::lock_guard lock(mutex_);
        entries_.insert(entries_.begin(), std::move(e));
        if (entries_.size() > kKept) entries_.pop_back();
        return out;
    }

private:
    static constexpr size_t kKept = 16;
    struct Entry {
        std::weak_ptr<const TextLayout> layout;
        const TextLayout* raw;
        std::vector<DrawnShape> paints;  // per glyph
        std::vector<DrawnShape> shapes;  // merged, each outline shared
    };
    static bool same_paints(const std::vector<DrawnShape>& a, const std::vector<DrawnShape>& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (!same_paint(a[i], b[i])) return false;
        return true;
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

// The shapes of a text drawn whole, from the merged outlines shared by
// every frame that draws it.
VectorDrawing shared_whole_drawing(const VectorDrawing& d, const std::shared_ptr<const TextLayout>& layout,
                                   const std::vector<PaintedGlyph>& glyphs) {
    static MergedTexts merged;
    VectorDrawing out = drawing_like(d);
    out.shapes = merged.shapes(layout, glyphs, d);
    return out;
}

}  // namespace

std::vector<VectorDrawing> read_text_item(Obj& o, const ParseOptions& options, bool per_glyph) {
    TextRequest request;
    const std::vector<RunPaint> paints = read_runs(o, request);
    read_font(o, options, request);
    request.size = positive(o, "size", 0.5);
    request.line_height = positive(o, "line_height", 1.2);
    request.align = static_cast<TextAlign>(o.enumeration("align", 0, {"left", "center", "right"}) % 3);
    request.baseline =
        static_cast<TextBaseline>(o.enumeration("baseline", 0, {"alphabetic", "middle", "top", "bottom"}) % 4);
    const uint32_t fill = o.colour("fill_color", 0xFFFFFFFFu);
    const bool has_stroke = o.has("stroke_color");
    const uint32_t stroke = o.colour("stroke_color", 0);
    const double stroke_width = o.number("stroke_width", has_stroke ? 0.02 : 0.0);
    VectorDrawing d;
    d.progress = o.number("progress", 1.0);
    o.transform(d.transform);
    d.opacity = o.number("opacity", 1.0);
    const auto dash = read_dash(o);

    std::shared_ptr<const TextLayout> layout;
    try {
        layout = lay_out_text(request);
    } catch (const SceneError& e) {
        fail(o.at("font"), e.message());
    }
    std::vector<PaintedGlyph> glyphs;
    glyphs.reserve(layout->glyphs.size());
    for (const PlacedGlyph& g : layout->glyphs) {
        const RunPaint& p = paints[g.run];
        DrawnShape s;
        s.fill = true;
        s.fill_color = p.fill.value_or(fill);
        s.stroke = (p.stroke || has_stroke) && stroke_width > 0;
        s.stroke_color = p.stroke.value_or(stroke);
        s.stroke_width = stroke_width;
        s.reveal_order = g.order;
        glyphs.push_back(PaintedGlyph{&g.outline, g.font, s});
    }
    // Dashes restart at every subpath, so dashing the merged outlines is
    // dashing each glyph.
    std::vector<VectorDrawing> out;
    if (per_glyph)
        out.push_back(per_glyph_drawing(d, glyphs));
    else if (!dash && drawn_whole(d, glyphs))
        out.push_back(shared_whole_drawing(d, layout, glyphs));
    else
        out = frame_drawings(d, glyphs);
    for (VectorDrawing& part : out)
        if (dash) dash_strokes(part, *dash, o.path());
    out.front().warnings = layout->warnings;
    return out;
}

}  // namespace vokri_scenefile
