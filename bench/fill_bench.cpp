// Fill benchmarks at 1920 x 1080: 2000 filled circles of radius 4 to 40,
// opaque and at alpha 128, drawn straight through the raster layer (a Path filled on a Canvas), each
// against Cairo drawing the same circles in the same iteration.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench_pair.h"
#include "support/draw_state.h"
#include "raster/fill.h"

#ifdef VOKRI_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

struct Circle {
    double x, y, r;
};

std::vector<Circle> circles() {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> px(0, 1920), py(0, 1080), pr(4, 40);
    std::vector<Circle> c(2000);
    for (auto& e : c) e = Circle{px(rng), py(rng), pr(rng)};
    return c;
}

void vokri_circles(std::vector<uint32_t>& px, const std::vector<Circle>& cs, uint32_t alpha) {
    std::fill(px.begin(), px.end(), 0u);
    vokri::Allocator a;
    vokri::Surface s = vokri::Surface::wrap(px.data(), 1920, 1080, vokri::rgba32);
    vt::DrawState ctx(a, s);
    ctx.set_source_colour(0x00C08040u | alpha << 24);
    for (const Circle& c : cs) {
        const double k = 0.5522847498307936 * c.r;
        ctx.path.reset();
        (void)ctx.path.move_to(c.x + c.r, c.y);
        (void)ctx.path.curve_to(c.x + c.r, c.y + k, c.x + k, c.y + c.r, c.x, c.y + c.r);
        (void)ctx.path.curve_to(c.x - k, c.y + c.r, c.x - c.r, c.y + k, c.x - c.r, c.y);
        (void)ctx.path.curve_to(c.x - c.r, c.y - k, c.x - k, c.y - c.r, c.x, c.y - c.r);
        (void)ctx.path.curve_to(c.x + k, c.y - c.r, c.x + c.r, c.y - k, c.x + c.r, c.y);
        (void)ctx.path.close_path();
        (void)vt::fill(ctx);
    }
    ctx.release();
}

#ifdef VOKRI_HAVE_CAIRO
void cairo_circles(std::vector<uint32_t>& px, const std::vector<Circle>& cs, uint32_t alpha, cairo_antialias_t aa) {
    std::fill(px.begin(), px.end(), 0u);
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(px.data()),
                                                             CAIRO_FORMAT_ARGB32, 1920, 1080, 1920 * 4);
    cairo_t* cr = cairo_create(s);
    cairo_set_antialias(cr, aa);
    cairo_set_source_rgba(cr, 0x40 / 255.0, 0x80 / 255.0, 0xC0 / 255.0, alpha / 255.0);
    for (const Circle& c : cs) {
        cairo_new_path(cr);
        cairo_arc(cr, c.x, c.y, c.r, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}
#endif

void BM_FillCircles(benchmark::State& state) {
    const uint32_t alpha = static_cast<uint32_t>(state.range(0));
    static const std::vector<Circle> cs = circles();
    std::vector<uint32_t> a(1920 * 1080), b(1920 * 1080);
#ifdef VOKRI_HAVE_CAIRO
    vbench::run_vs_cairo(
        state, [&] { vokri_circles(a, cs, alpha); }, [&] { cairo_circles(b, cs, alpha, CAIRO_ANTIALIAS_DEFAULT); },
        [&] { cairo_circles(b, cs, alpha, CAIRO_ANTIALIAS_FAST); });
#else
    for (auto _ : state) vokri_circles(a, cs, alpha);
#endif
    benchmark::DoNotOptimize(a.data());
    benchmark::DoNotOptimize(b.data());
}

}  // namespace

BENCHMARK(BM_FillCircles)->Arg(255)->Arg(128)->ArgName("alpha")->UseManualTime()->Unit(benchmark::kMillisecond);
