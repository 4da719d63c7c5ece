// Stroked shape scenes at 1920 x 1080, drawn by vokri and, when available,
// by Cairo from the same geometry (same seed, same device coordinates).
//
//   circles_fill_stroke: 2000 circles of radius 4 to 40 px, filled and
//                        stroked 3 px wide
//   polylines_stroke:    500 open polylines of 50 points stroked 2.5 px wide
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_pair.h"
#include "vokri_core.h"

#ifdef VOKRI_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kKappa = 0.5522847498307936;

// A fixed 64-bit LCG, so the scenes are the same on every platform.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed) {}
    uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(s >> 32);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * (next() / 4294967296.0); }
};

struct Circle {
    double cx, cy, r;  // device pixels
    uint32_t fill, stroke;
};

struct Polyline {
    std::vector<double> user;    // x, y pairs in user units (scale 1, y up)
    std::vector<double> device;  // the same points in device pixels
    uint32_t color;
};

const std::vector<Circle>& circles() {
    static const std::vector<Circle> list = [] {
        Rng rng(0xC1C1E5ull);
        std::vector<Circle> v(2000);
        for (Circle& c : v) {
            c.cx = rng.uniform(0, kWidth);
            c.cy = rng.uniform(0, kHeight);
            c.r = rng.uniform(4, 40);
            c.fill = rng.next() | 0xFFu;
            c.stroke = rng.next() | 0xFFu;
        }
        return v;
    }();
    return list;
}

const std::vector<Polyline>& polylines() {
    static const std::vector<Polyline> list = [] {
        Rng rng(0x9017ull);
        std::vector<Polyline> v(500);
        for (Polyline& p : v) {
            double x = rng.uniform(0, kWidth), y = rng.uniform(0, kHeight);
            for (int i = 0; i < 50; ++i) {
                p.device.push_back(x);
                p.device.push_back(y);
                p.user.push_back(x - kWidth * 0.5);
                p.user.push_back(kHeight * 0.5 - y);
                x += rng.uniform(-40, 40);
                y += rng.uniform(-40, 40);
            }
            p.color = rng.next() | 0xFFu;
        }
        return v;
    }();
    return list;
}

VokriShapeRecord base_record(uint32_t type) {
    VokriShapeRecord r{};
    r.shape_type = type;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

struct VokriScene {
    std::vector<VokriShapeRecord> shapes;
    std::vector<VokriDrawItem> items;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(static_cast<size_t>(kWidth) * kHeight);

    void add(const VokriShapeRecord& r) {
        items.push_back(VokriDrawItem{VOKRI_ITEM_SHAPE, static_cast<uint32_t>(shapes.size())});
        shapes.push_back(r);
    }
    int32_t render() {
        return vokri_render_scene_rgba0(kWidth, kHeight, 1.0, items.data(), static_cast<uint32_t>(items.size()),
                                        shapes.data(), static_cast<uint32_t>(shapes.size()), nullptr, 0, nullptr,
                                        0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, pixels.data(),
                                        pixels.size());
    }
};

VokriScene circle_scene() {
    VokriScene scene;
    for (const Circle& c : circles()) {
        VokriShapeRecord r = base_record(VOKRI_SHAPE_CIRCLE);
        r.p0 = c.r;
        r.transform[4] = c.cx - kWidth * 0.5;
        r.transform[5] = kHeight * 0.5 - c.cy;
        r.fill_enabled = 1;
        r.fill_color = c.fill;
        r.stroke_enabled = 1;
        r.stroke_color = c.stroke;
        r.stroke_width = 3;
        scene.add(r);
    }
    return scene;
}

VokriScene polyline_scene() {
    VokriScene scene;
    for (const Polyline& p : polylines()) {
        VokriShapeRecord r = base_record(VOKRI_SHAPE_POLYLINE);
        r.points = p.user.data();
        r.point_count = 50;
        r.stroke_enabled = 1;
        r.stroke_color = p.color;
        r.stroke_width = 2.5;
        scene.add(r);
    }
    return scene;
}

void render_or_fail(benchmark::State& state, VokriScene& scene) {
    if (scene.render() != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(scene.pixels.data());
    benchmark::ClobberMemory();
}

#ifdef VOKRI_HAVE_CAIRO

void set_colour(cairo_t* cr, uint32_t c) {
    cairo_set_source_rgba(cr, (c >> 24) / 255.0, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                          (c & 0xFF) / 255.0);
}

// The circle as vokri builds it: four cubic quarter arcs (device y down).
void circle_path(cairo_t* cr, const Circle& c) {
    double a = c.r, k = kKappa * c.r;
    cairo_move_to(cr, c.cx + a, c.cy);
    cairo_curve_to(cr, c.cx + a, c.cy - k, c.cx + k, c.cy - a, c.cx, c.cy - a);
    cairo_curve_to(cr, c.cx - k, c.cy - a, c.cx - a, c.cy - k, c.cx - a, c.cy);
    cairo_curve_to(cr, c.cx - a, c.cy + k, c.cx - k, c.cy + a, c.cx, c.cy + a);
    cairo_curve_to(cr, c.cx + k, c.cy + a, c.cx + a, c.cy + k, c.cx + a, c.cy);
    cairo_close_path(cr);
}

void draw_circles(cairo_t* cr) {
    cairo_set_line_width(cr, 3);
    for (const Circle& c : circles()) {
        circle_path(cr, c);
        set_colour(cr, c.fill);
        cairo_fill_preserve(cr);
        set_colour(cr, c.stroke);
        cairo_stroke(cr);
    }
}

void draw_polylines(cairo_t* cr) {
    cairo_set_line_width(cr, 2.5);
    for (const Polyline& p : polylines()) {
        cairo_move_to(cr, p.device[0], p.device[1]);
        for (size_t i = 2; i < p.device.size(); i += 2) cairo_line_to(cr, p.device[i], p.device[i + 1]);
        set_colour(cr, p.color);
        cairo_stroke(cr);
    }
}

// One Cairo frame: clear, then draw with butt caps and round joins (vokri's
// defaults for strokes of width 2 and more) at tolerance 0.1.
struct CairoFrame {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_antialias_t aa;
    explicit CairoFrame(cairo_antialias_t a) : aa(a) {}
    ~CairoFrame() { cairo_surface_destroy(surface); }
    template <class Draw>
    void draw(Draw d) {
        cairo_t* cr = cairo_create(surface);
        cairo_set_antialias(cr, aa);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_set_tolerance(cr, 0.1);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        d(cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
};

// Peers: Cairo's default anti-aliasing and its fast mode (4 x 4 samples, the
// same sample count as vokri), both in every iteration.
template <class Draw>
void paired(benchmark::State& state, VokriScene scene, Draw draw) {
    CairoFrame cairo(CAIRO_ANTIALIAS_DEFAULT), fast(CAIRO_ANTIALIAS_FAST);
    vbench::run_vs_cairo(
        state, [&] { render_or_fail(state, scene); }, [&] { cairo.draw(draw); }, [&] { fast.draw(draw); });
}

void BM_shapes_circles_fill_stroke_vs_cairo(benchmark::State& state) { paired(state, circle_scene(), draw_circles); }
void BM_shapes_polylines_stroke_vs_cairo(benchmark::State& state) { paired(state, polyline_scene(), draw_polylines); }
BENCHMARK(BM_shapes_circles_fill_stroke_vs_cairo)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_shapes_polylines_stroke_vs_cairo)->UseManualTime()->Unit(benchmark::kMillisecond);

#else

void BM_shapes_circles_fill_stroke(benchmark::State& state) {
    VokriScene scene = circle_scene();
    for (auto _ : state) render_or_fail(state, scene);
}
void BM_shapes_polylines_stroke(benchmark::State& state) {
    VokriScene scene = polyline_scene();
    for (auto _ : state) render_or_fail(state, scene);
}
BENCHMARK(BM_shapes_circles_fill_stroke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_shapes_polylines_stroke)->Unit(benchmark::kMillisecond);

#endif

}  // namespace
