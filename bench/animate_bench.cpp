// Batch, vector and morph items on 1920x1080 frames against Cairo drawing
// the same primitives in the same run (rgb0 frames; Cairo on an RGB24
// surface cleared to the same background).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "scene_arrays.h"
#include "bench_pair.h"
#include "items/fields/morph_outline.h"
#include "vokri_core.h"

#ifdef VOKRI_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr size_t kN = size_t(kW) * kH;
constexpr double kScale = 1.0;  // user units are pixels, y up, origin at the centre

struct Frame : vokri_scenefile::SceneArrays {
    int render(uint32_t* px) const { return rgb0(kW, kH, kScale, px, kN); }
};

VokriBatchRecord batch(uint32_t mode, uint32_t count, const double* el) {
    VokriBatchRecord r{};
    r.mode = mode;
    r.count = count;
    r.elements = el;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

#ifdef VOKRI_HAVE_CAIRO
struct CairoFrame {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kW, kH);
    cairo_t* cr = cairo_create(s);
    explicit CairoFrame(cairo_antialias_t aa) {
        cairo_set_antialias(cr, aa);
        // The same user space: origin at the centre, y up.
        cairo_translate(cr, kW * 0.5, kH * 0.5);
        cairo_scale(cr, kScale, -kScale);
    }
    ~CairoFrame() {
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    void clear() {
        cairo_set_source_rgb(cr, 14 / 255.0, 17 / 255.0, 24 / 255.0);
        cairo_paint(cr);
    }
    void colour(uint32_t c) {
        cairo_set_source_rgba(cr, (c >> 24) / 255.0, ((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0,
                              (c & 255) / 255.0);
    }
    void done() {
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
};
#endif

// The frame against `peer(CairoFrame&)` drawn by Cairo in its default and
// its fast mode.
template <class Peer>
void pair(benchmark::State& state, const Frame& f, Peer&& peer) {
    std::vector<uint32_t> px(kN);
    if (f.render(px.data()) != 0) {
        state.SkipWithError("render failed");
        return;
    }
    auto ours = [&] { benchmark::DoNotOptimize(f.render(px.data())); };
#ifdef VOKRI_HAVE_CAIRO
    CairoFrame cairo(CAIRO_ANTIALIAS_DEFAULT), fast(CAIRO_ANTIALIAS_FAST);
    vbench::run_vs_cairo(state, ours, [&] { peer(cairo); }, [&] { peer(fast); });
#else
    (void)peer;
    for (auto _ : state) ours();
#endif
}

uint32_t random_colour(std::mt19937& rng, uint32_t alpha_lo) {
    uint32_t c = rng() & 0xFFFFFF00u;
    return c | (alpha_lo + rng() % (256 - alpha_lo));
}

// 100 000 hairlines: random starts over the frame, random offsets of up to
// 100 pixels in each direction, width 1, random colours and alphas.
void BM_BatchHairlinesVsCairo(benchmark::State& state) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> X(-kW / 2.0, kW / 2.0), Y(-kH / 2.0, kH / 2.0), D(-100, 100);
    const uint32_t n = 100000;
    std::vector<double> el(4 * n), w(n, 1.0);
    std::vector<uint32_t> c(n);
    for (uint32_t i = 0; i < n; ++i) {
        el[4 * i] = X(rng);
        el[4 * i + 1] = Y(rng);
        el[4 * i + 2] = el[4 * i] + D(rng);
        el[4 * i + 3] = el[4 * i + 1] + D(rng);
        c[i] = random_colour(rng, 64);
    }
    Frame f;
    VokriBatchRecord b = batch(VOKRI_BATCH_SEGMENTS, n, el.data());
    b.stroke_colors = c.data();
    b.stroke_widths = w.data();
    f.batches.push_back(b);
    f.items.push_back({VOKRI_ITEM_BATCH, 0});
#ifdef VOKRI_HAVE_CAIRO
    pair(state, f, [&](CairoFrame& cf) {
        cf.clear();
        cairo_set_line_width(cf.cr, 1.0);
        for (uint32_t i = 0; i < n; ++i) {
            cf.colour(c[i]);
            cairo_move_to(cf.cr, el[4 * i], el[4 * i + 1]);
            cairo_line_to(cf.cr, el[4 * i + 2], el[4 * i + 3]);
            cairo_stroke(cf.cr);
        }
        cf.done();
    });
#else
    pair(state, f, [](auto&) {});
#endif
}
BENCHMARK(BM_BatchHairlinesVsCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

// 100 000 boxes of 1 to 8 pixels a side, random colours and alphas.
void BM_BatchBoxesVsCairo(benchmark::State& state) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> X(-kW / 2.0, kW / 2.0), Y(-kH / 2.0, kH / 2.0), S(1, 8);
    const uint32_t n = 100000;
    std::vector<double> el(4 * n);
    std::vector<uint32_t> c(n);
    for (uint32_t i = 0; i < n; ++i) {
        el[4 * i] = X(rng);
        el[4 * i + 1] = Y(rng);
        el[4 * i + 2] = S(rng);
        el[4 * i + 3] = S(rng);
        c[i] = random_colour(rng, 64);
    }
    Frame f;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, n, el.data());
    b.fill_colors = c.data();
    f.batches.push_back(b);
    f.items.push_back({VOKRI_ITEM_BATCH, 0});
#ifdef VOKRI_HAVE_CAIRO
    pair(state, f, [&](CairoFrame& cf) {
        cf.clear();
        for (uint32_t i = 0; i < n; ++i) {
            cf.colour(c[i]);
            cairo_rectangle(cf.cr, el[4 * i] - el[4 * i + 2] / 2, el[4 * i + 1] - el[4 * i + 3] / 2, el[4 * i + 2],
                            el[4 * i + 3]);
            cairo_fill(cf.cr);
        }
        cf.done();
    });
#else
    pair(state, f, [](auto&) {});
#endif
}
BENCHMARK(BM_BatchBoxesVsCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

// 10 000 filled circles of radius 2 to 12 in one batch.
void BM_BatchCirclesVsCairo(benchmark::State& state) {
    std::mt19937 rng(13);
    std::uniform_real_distribution<double> X(-kW / 2.0, kW / 2.0), Y(-kH / 2.0, kH / 2.0), R(2, 12);
    const uint32_t n = 10000;
    std::vector<double> el(3 * n);
    std::vector<uint32_t> c(n);
    for (uint32_t i = 0; i < n; ++i) {
        el[3 * i] = X(rng);
        el[3 * i + 1] = Y(rng);
        el[3 * i + 2] = R(rng);
        c[i] = random_colour(rng, 64);
    }
    Frame f;
    VokriBatchRecord b = batch(VOKRI_BATCH_CIRCLES, n, el.data());
    b.fill_colors = c.data();
    f.batches.push_back(b);
    f.items.push_back({VOKRI_ITEM_BATCH, 0});
#ifdef VOKRI_HAVE_CAIRO
    pair(state, f, [&](CairoFrame& cf) {
        cf.clear();
        for (uint32_t i = 0; i < n; ++i) {
            cf.colour(c[i]);
            cairo_new_path(cf.cr);
            cairo_arc(cf.cr, el[3 * i], el[3 * i + 1], el[3 * i + 2], 0, 2 * M_PI);
            cairo_fill(cf.cr);
        }
        cf.done();
    });
#else
    pair(state, f, [](auto&) {});
#endif
}
BENCHMARK(BM_BatchCirclesVsCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

// 300 closed outlines of 8 cubic segments (wobbly rings of radius 20 to 60),
// each filled.
void BM_VectorOutlinesVsCairo(benchmark::State& state) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> X(-kW / 2.0, kW / 2.0), Y(-kH / 2.0, kH / 2.0), R(20, 60), J(0.8, 1.2);
    const uint32_t n = 300;
    std::vector<VokriCubicSegment> segs(8 * n);
    std::vector<uint32_t> ends(n, 8);
    std::vector<uint8_t> closed(n, 1);
    std::vector<VokriVectorShape> shapes(n);
    const double k = 0.265216489839544;
    for (uint32_t i = 0; i < n; ++i) {
        double cx = X(rng), cy = Y(rng), r = R(rng);
        double rad[9];
        for (int j = 0; j < 8; ++j) rad[j] = r * J(rng);
        rad[8] = rad[0];
        for (int j = 0; j < 8; ++j) {
            double a = j * M_PI / 4, b = (j + 1) * M_PI / 4;
            double ra = rad[j], rb = rad[j + 1];
            segs[8 * i + j] = {cx + ra * cos(a), cy + ra * sin(a), cx + ra * cos(a) - k * ra * sin(a),
                               cy + ra * sin(a) + k * ra * cos(a), cx + rb * cos(b) + k * rb * sin(b),
                               cy + rb * sin(b) - k * rb * cos(b), cx + rb * cos(b), cy + rb * sin(b)};
        }
        VokriVectorShape& s = shapes[i];
        s = {};
        s.segment_count = 8;
        s.segments = &segs[8 * i];
        s.subpath_count = 1;
        s.subpath_ends = &ends[i];
        s.subpath_closed = &closed[i];
        s.fill_enabled = 1;
        s.fill_color = random_colour(rng, 64);
    }
    Frame f;
    VokriVectorRecord v{};
    v.shape_count = n;
    v.shapes = shapes.data();
    v.transform[0] = 1;
    v.transform[3] = 1;
    v.opacity = 1;
    v.progress = 1;
    f.vectors.push_back(v);
    f.items.push_back({VOKRI_ITEM_VECTOR, 0});
#ifdef VOKRI_HAVE_CAIRO
    pair(state, f, [&](CairoFrame& cf) {
        cf.clear();
        for (uint32_t i = 0; i < n; ++i) {
            cf.colour(shapes[i].fill_color);
            const VokriCubicSegment* s = shapes[i].segments;
            cairo_new_path(cf.cr);
            cairo_move_to(cf.cr, s[0].x0, s[0].y0);
            for (int j = 0; j < 8; ++j) cairo_curve_to(cf.cr, s[j].x1, s[j].y1, s[j].x2, s[j].y2, s[j].x3, s[j].y3);
            cairo_close_path(cf.cr);
            cairo_fill(cf.cr);
        }
        cf.done();
    });
#else
    pair(state, f, [](auto&) {});
#endif
}
BENCHMARK(BM_VectorOutlinesVsCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

// A circle of radius 300 morphing into a square of side 500 (filled and
// stroked 4 units wide) at 60 values of t: 60 frames per iteration. Cairo
// fills and strokes the same interpolated 8-piece outlines.
void BM_MorphCircleToSquareVsCairo(benchmark::State& state) {
    VokriShapeRecord from{}, to{};
    from.shape_type = VOKRI_SHAPE_CIRCLE;
    from.p0 = 300;
    to.shape_type = VOKRI_SHAPE_SQUARE;
    to.p0 = 500;
    for (VokriShapeRecord* r : {&from, &to}) {
        r->transform[0] = r->transform[3] = 1;
        r->opacity = 1;
        r->fill_enabled = 1;
        r->stroke_enabled = 1;
        r->stroke_width = 4;
    }
    from.fill_color = 0x3080E0FFu;
    to.fill_color = 0xE0803080u;
    from.stroke_color = to.stroke_color = 0xFFFFFFFFu;
    std::vector<Frame> frames(60);
    for (int i = 0; i < 60; ++i) {
        frames[i].morphs.push_back({from, to, i / 59.0});
        frames[i].items.push_back({VOKRI_ITEM_MORPH, 0});
    }
    std::vector<uint32_t> px(kN);
    if (frames[0].render(px.data()) != 0) {
        state.SkipWithError("render failed");
        return;
    }
    auto ours = [&] {
        for (auto& f : frames) benchmark::DoNotOptimize(f.render(px.data()));
    };
#ifdef VOKRI_HAVE_CAIRO
    vokri::ShapeGeometry ga, gb;
    ga.tag = VOKRI_SHAPE_CIRCLE;
    ga.params[0] = 300;
    gb.tag = VOKRI_SHAPE_SQUARE;
    gb.params[0] = 500;
    VokriCubicSegment sa[8], sb[8];
    vokri::morph_outline(ga, 8, sa);
    vokri::morph_outline(gb, 8, sb);
    auto peer = [&](CairoFrame& cf) {
        for (int i = 0; i < 60; ++i) {
            double s = i / 59.0;
            auto L = [s](double a, double b) { return a + s * (b - a); };
            cf.clear();
            cairo_new_path(cf.cr);
            cairo_move_to(cf.cr, L(sa[0].x0, sb[0].x0), L(sa[0].y0, sb[0].y0));
            for (int j = 0; j < 8; ++j)
                cairo_curve_to(cf.cr, L(sa[j].x1, sb[j].x1), L(sa[j].y1, sb[j].y1), L(sa[j].x2, sb[j].x2),
                               L(sa[j].y2, sb[j].y2), L(sa[j].x3, sb[j].x3), L(sa[j].y3, sb[j].y3));
            cairo_close_path(cf.cr);
            cairo_set_source_rgba(cf.cr, L(0x30, 0xE0) / 255.0, 0x80 / 255.0, L(0xE0, 0x30) / 255.0,
                                  L(255, 128) / 255.0);
            cairo_fill_preserve(cf.cr);
            cairo_set_source_rgb(cf.cr, 1, 1, 1);
            cairo_set_line_width(cf.cr, 4);
            cairo_stroke(cf.cr);
            cf.done();
        }
    };
    CairoFrame cairo(CAIRO_ANTIALIAS_DEFAULT), fast(CAIRO_ANTIALIAS_FAST);
    vbench::run_vs_cairo(state, ours, [&] { peer(cairo); }, [&] { peer(fast); });
#else
    for (auto _ : state) ours();
#endif
}
BENCHMARK(BM_MorphCircleToSquareVsCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
