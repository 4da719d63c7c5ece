// TeX formulas: 20 formulas on a 1920 x 1080 frame (bench/data/formulas.json),
// each frame built by the scene library from its cached conversions and
// rendered, against the same outlines given as vector items (the frame's
// own records written back as "vector" items), built and rendered the same
// way. The first conversion (Node started, 20 formulas typeset) is timed
// by bench/tex-first-conversion.sh, once per run.
#ifdef VOKRI_HAVE_SCENEFILE

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench_pair.h"
#include "vokri_scenefile.h"

namespace {

struct Document {
    VokriSceneDocument* doc = nullptr;
    std::vector<uint32_t> pixels;

    explicit Document(const std::string& text) {
        VokriSceneFileError* e = nullptr;
        doc = vokri_scenefile_parse(text.data(), text.size(), nullptr, "formulas.json", nullptr, &e);
        if (!doc) {
            std::fprintf(stderr, "tex_bench: %s\n", e->text);
            std::exit(1);
        }
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() { vokri_scenefile_close(doc); }

    void frame() {
        VokriSceneFrame* f = vokri_scenefile_frame(doc, 0, nullptr);
        const VokriSceneRecords* r = vokri_scenefile_frame_records(f);
        pixels.resize(size_t(r->width) * size_t(r->height));
        vokri_scenefile_render(r, VOKRI_SCENEFILE_RGB0, 0, pixels.data(), pixels.size(), nullptr);
        vokri_scenefile_frame_free(f);
    }
};

nlohmann::json vector_item(const VokriVectorRecord& v) {
    nlohmann::json shapes = nlohmann::json::array();
    for (uint32_t i = 0; i < v.shape_count; ++i) {
        const VokriVectorShape& s = v.shapes[i];
        nlohmann::json segments = nlohmann::json::array(), ends = nlohmann::json::array(),
                       closed = nlohmann::json::array();
        for (uint32_t k = 0; k < s.segment_count; ++k) {
            const double* p = &s.segments[k].x0;
            segments.push_back(std::vector<double>(p, p + 8));
        }
        for (uint32_t k = 0; k < s.subpath_count; ++k) {
            ends.push_back(s.subpath_ends[k]);
            closed.push_back(s.subpath_closed[k] != 0);
        }
        shapes.push_back({{"segments", segments}, {"subpath_ends", ends}, {"subpath_closed", closed},
                          {"fill_enabled", s.fill_enabled}, {"fill_color", s.fill_color},
                          {"stroke_enabled", s.stroke_enabled}, {"stroke_color", s.stroke_color},
                          {"stroke_width", s.stroke_width}, {"reveal_order", s.reveal_order}});
    }
    return {{"kind", "vector"}, {"shapes", shapes}, {"stagger_count", v.stagger_count}, {"progress", v.progress},
            {"transform", std::vector<double>(v.transform, v.transform + 6)}, {"opacity", v.opacity}};
}

// The formulas' scene, and the same frame as vector items.
std::pair<std::string, std::string> scenes() {
    std::ifstream in(VOKRI_SOURCE_DIR "/bench/data/formulas.json");
    std::stringstream s;
    s << in.rdbuf();
    const std::string tex = s.str();
    Document d(tex);
    VokriSceneFrame* f = vokri_scenefile_frame(d.doc, 0, nullptr);
    const VokriSceneRecords* r = vokri_scenefile_frame_records(f);
    nlohmann::json doc = nlohmann::json::parse(tex);
    doc["items"] = nlohmann::json::array();
    for (uint32_t i = 0; i < r->vector_count; ++i) doc["items"].push_back(vector_item(r->vectors[i]));
    vokri_scenefile_frame_free(f);
    return {tex, doc.dump()};
}

void BM_tex_cached_vs_vector(benchmark::State& state) {
    const auto [tex, vectors] = scenes();
    Document a(tex), b(vectors);
    vbench::run_pair(state, [&] { a.frame(); }, [&] { b.frame(); });
    if (a.pixels != b.pixels) state.SkipWithError("the formulas and their vector items differ");
}

}  // namespace

BENCHMARK(BM_tex_cached_vs_vector)->UseManualTime()->Unit(benchmark::kMillisecond);

#endif
