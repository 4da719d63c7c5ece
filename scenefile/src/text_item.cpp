#include "text_item.h"

#include <cmath>
#include <filesystem>

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
std::vector<RunPaint> read_runs(Obj& o, TextSpec& spec) {
    const json& t = o.required("text");
    const std::string path = o.at("text");
    std::vector<RunPaint> paints;
    size_t bytes = 0;
    auto add = [&](const json& s, const std::string& p) {
        if (!s.is_string()) expected(p, "a string", s);
        bytes += s.get_ref<const std::string&>().size();
        if (bytes > kMaxTextBytes) fail(p, "more than " + std::to_string(kMaxTextBytes) + " bytes of text");
        spec.runs.push_back(s.get<std::string>());
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
void read_font(Obj& o, const ParseOptions& options, TextSpec& spec) {
    const json* f = o.get("font");
    if (!f) {
        spec.font = "DejaVu Sans";
        return;
    }
    if (!f->is_string() || f->get_ref<const std::string&>().empty()) expected(o.at("font"), "a font name or file", *f);
    const std::string name = f->get<std::string>();
    const std::string ext = std::filesystem::path(name).extension().string();
    spec.font_is_file = name.find('/') != std::string::npos || ext == ".ttf" || ext == ".otf" || ext == ".ttc" ||
                        ext == ".TTF" || ext == ".OTF" || ext == ".woff";
    std::filesystem::path file = name;
    if (spec.font_is_file && file.is_relative() && !options.base_dir.empty()) file = options.base_dir / file;
    spec.font = spec.font_is_file ? file.string() : name;
}

double positive(Obj& o, const char* key, double fallback) {
    const double v = o.number(key, fallback);
    if (!(std::isfinite(v) && v > 0 && v < 1e9)) fail(o.at(key), "expected a finite number above 0");
    return v;
}

}  // namespace

VectorDrawing read_text_item(Obj& o, const ParseOptions& options) {
    TextSpec spec;
    const std::vector<RunPaint> paints = read_runs(o, spec);
    read_font(o, options, spec);
    spec.size = positive(o, "size", 0.5);
    spec.line_height = positive(o, "line_height", 1.2);
    spec.align = static_cast<TextAlign>(o.enumeration("align", 0, {"left", "center", "right"}) % 3);
    spec.baseline =
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
        layout = lay_out_text(spec);
    } catch (const SceneError& e) {
        fail(o.at("font"), e.message());
    }
    for (const PlacedGlyph& g : layout->glyphs) {
        const RunPaint& p = paints[g.run];
        DrawnShape s;
        s.outline = g.outline;
        s.fill = true;
        s.fill_color = p.fill.value_or(fill);
        s.stroke = (p.stroke || has_stroke) && stroke_width > 0;
        s.stroke_color = p.stroke.value_or(stroke);
        s.stroke_width = stroke_width;
        s.reveal_order = g.order;
        d.shapes.push_back(std::move(s));
    }
    d.stagger_count = static_cast<uint32_t>(d.shapes.size());
    d.warnings = layout->warnings;
    if (dash) dash_strokes(d, *dash, o.path());
    return d;
}

}  // namespace vokri_scenefile
