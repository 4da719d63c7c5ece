// Text: 2 000 glyphs of DejaVu Sans at 24 px on a 1920 x 1080 frame, drawn
// by vokri (the scene library's text item, through the renderer) and by
// Cairo's own text drawing (cairo_show_glyphs with a FreeType face of the
// same font file, the same glyphs at the same positions), in the same run:
//   static: the same text every frame (both keep what they can cached);
//   scaled: the text a little larger every frame, which defeats Cairo's
//           glyph cache (vokri scales its cached outlines by the transform);
//   layout: building the frame's records of a text laid out before, the
//           share of a render that the text itself costs.
#if defined(VOKRI_HAVE_CAIRO) && defined(VOKRI_HAVE_SCENEFILE)

#include <benchmark/benchmark.h>
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench_pair.h"
#include "text_layout.h"
#include "vokri_scenefile.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kScale = 48;  // pixels per user unit: an em of 0.5 is 24 px
const char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// 40 lines of text, about 2 000 glyphs with outlines.
std::string bench_text() {
    const std::string words = "Sphinx of black quartz, judge my vow. The quick brown fox jumps over lazy dogs! ";
    std::string text;
    for (int line = 0; line < 40; ++line) {
        std::string l;
        for (size_t i = static_cast<size_t>(line) * 7; l.size() < 61; ++i) l += words[i % words.size()];
        text += l + (line < 39 ? "\n" : "");
    }
    return text;
}

std::string item_json(double k) {
    nlohmann::json item = {{"kind", "text"}, {"text", bench_text()}, {"font", kFont}, {"size", 0.5},
                           {"baseline", "top"}, {"transform", {k, 0, 0, k, -19.5, 11}}, {"fill_color", "#f0f0f0"}};
    return item.dump();
}

struct VokriText {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t{kWidth} * kHeight);

    // Builds the records (the layout is cached after the first) and renders.
    void frame(double k) {
        VokriSceneFrame* f = build(k);
        VokriSceneRecords r = *vokri_scenefile_frame_records(f);
        // The item was built on a canvas of its own; it draws on this one.
        r.width = kWidth;
        r.height = kHeight;
        r.scale = kScale;
        vokri_scenefile_render(&r, VOKRI_SCENEFILE_RGB0, -1, pixels.data(), pixels.size(), nullptr);
        vokri_scenefile_frame_free(f);
    }
    VokriSceneFrame* build(double k) {
        const std::string json = item_json(k);
        return vokri_scenefile_build_item(json.data(), json.size(), nullptr, kScale, nullptr);
    }
};

// The same glyphs and positions for Cairo, from the same layout.
struct CairoText {
    FT_Library ft = nullptr;
    FT_Face face = nullptr;
    cairo_font_face_t* font = nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    std::vector<cairo_glyph_t> glyphs;

    CairoText() {
        FT_Init_FreeType(&ft);
        FT_New_Face(ft, kFont, 0, &face);
        font = cairo_ft_font_face_create_for_ft_face(face, 0);
        vokri_scenefile::TextRequest request;
        request.runs = {bench_text()};
        request.font = kFont;
        request.font_is_file = true;
        request.size = 0.5;
        request.baseline = vokri_scenefile::TextBaseline::top;
        for (const auto& g : vokri_scenefile::lay_out_text(request)->glyphs) glyphs.push_back({g.glyph, g.x, g.y});
    }
    ~CairoText() {
        cairo_surface_destroy(surface);
        cairo_font_face_destroy(font);
        FT_Done_Face(face);
        FT_Done_FreeType(ft);
    }

    // User (x, y) to device, as vokri's frame maps them, under scale k.
    void frame(double k) {
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 14 / 255.0, 17 / 255.0, 24 / 255.0);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 240 / 255.0, 240 / 255.0, 240 / 255.0);
        cairo_set_font_face(cr, font);
        cairo_set_font_size(cr, 0.5 * kScale * k);
        std::vector<cairo_glyph_t> placed = glyphs;
        for (auto& g : placed) {
            g.x = kWidth / 2.0 + kScale * (k * g.x - 19.5);
            g.y = kHeight / 2.0 - kScale * (k * g.y + 11);
        }
        cairo_show_glyphs(cr, placed.data(), static_cast<int>(placed.size()));
        cairo_destroy(cr);
        cairo_surface_flush(surface);
    }
};

void BM_text_static_vs_cairo(benchmark::State& state) {
    VokriText v;
    CairoText c;
    state.counters["glyphs"] = static_cast<double>(c.glyphs.size());
    vbench::run_pair(state, [&] { v.frame(1.0); }, [&] { c.frame(1.0); });
}

void BM_text_scaled_vs_cairo(benchmark::State& state) {
    VokriText v;
    CairoText c;
    double k = 1.0, kc = 1.0;
    vbench::run_pair(state, [&] { v.frame(k += 1e-3); }, [&] { c.frame(kc += 1e-3); });
}

// Building the records of a text laid out before, against rendering them.
void BM_text_layout_vs_render(benchmark::State& state) {
    VokriText v;
    v.frame(1.0);
    vbench::run_pair(state, [&] { vokri_scenefile_frame_free(v.build(1.0)); }, [&] { v.frame(1.0); });
}

BENCHMARK(BM_text_static_vs_cairo)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_text_scaled_vs_cairo)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_text_layout_vs_render)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // VOKRI_HAVE_CAIRO && VOKRI_HAVE_SCENEFILE
