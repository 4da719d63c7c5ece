// 1920x1080 fractal fields through the rgb0 export (vector lanes chosen at
// run time), each against a plain scalar loop of the same formula in the
// same run. Also the library's three lane widths on their own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/test_hooks.h"
#include "common/cpu.h"
#include "support/fractal_reference.h"
#include "bench_pair.h"
#include "items/fields/fractal_field.h"
#include "vokri_core.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr size_t kN = size_t(kW) * kH;

VokriInfiniteGeometryRecord mandelbrot_record() {
    VokriInfiniteGeometryRecord r{};
    r.geometry_kind = VOKRI_GEOMETRY_FRACTAL;
    r.a0 = 256;  // iteration limit
    r.a1 = 2;    // escape radius
    r.variant = VOKRI_FRACTAL_MANDELBROT;
    r.t = 0.1;
    r.p1[0] = 1.0;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.transform[4] = 0.75;  // shows re in about [-2.5, 1]
    r.colour1 = 0x000000FFu;
    r.colour2 = 0x3060C0FFu;
    r.line_width = 1;
    r.opacity = 1;
    return r;
}

VokriInfiniteGeometryRecord julia_record() {
    VokriInfiniteGeometryRecord r = mandelbrot_record();
    r.variant = VOKRI_FRACTAL_JULIA;
    r.a2 = -0.8;
    r.a3 = 0.156;
    r.transform[4] = 0;
    return r;
}

// A view into the seahorse valley (centre -0.7435 + 0.1314i, 0.01 wide),
// where most pixels iterate long and the iteration outweighs the colouring.
VokriInfiniteGeometryRecord zoom_record() {
    VokriInfiniteGeometryRecord r = mandelbrot_record();
    r.transform[0] = r.transform[3] = 192000.0;  // local units to user units
    r.transform[4] = 0.7435 * 192000.0;
    r.transform[5] = -0.1314 * 192000.0;
    return r;
}

double scale_for(const VokriInfiniteGeometryRecord& r) { return r.variant == VOKRI_FRACTAL_JULIA ? 600.0 : 548.0; }

int render(const VokriInfiniteGeometryRecord& rec, double scale, uint32_t* px) {
    VokriDrawItem item{VOKRI_ITEM_INFINITE, 0};
    return vokri_render_scene_rgb0(kW, kH, scale, &item, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, &rec,
                                   1, nullptr, 0, nullptr, 0, px, kN);
}

// The formula written out as the plainest loop: one pixel at a time.
void plain_scalar(const VokriInfiniteGeometryRecord& r, double s, uint32_t* px) {
    vt::fractal_reference_rgb0(r, kW, kH, s, px);
}

void run_vs_scalar(benchmark::State& state, const VokriInfiniteGeometryRecord& rec, double s = 0) {
    std::vector<uint32_t> px(kN), ref(kN);
    if (s == 0) s = scale_for(rec);
    vbench::run_pair(
        state, [&] { benchmark::DoNotOptimize(render(rec, s, px.data())); },
        [&] {
            plain_scalar(rec, s, ref.data());
            benchmark::ClobberMemory();
        });
    state.counters["same_bytes"] = px == ref ? 1 : 0;
}

void BM_MandelbrotVsPlainScalar(benchmark::State& state) { run_vs_scalar(state, mandelbrot_record()); }
BENCHMARK(BM_MandelbrotVsPlainScalar)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MandelbrotZoomVsPlainScalar(benchmark::State& state) { run_vs_scalar(state, zoom_record(), 1.0); }
BENCHMARK(BM_MandelbrotZoomVsPlainScalar)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_JuliaVsPlainScalar(benchmark::State& state) { run_vs_scalar(state, julia_record()); }
BENCHMARK(BM_JuliaVsPlainScalar)->UseManualTime()->Unit(benchmark::kMillisecond);

// The library's own lane widths: 0 scalar, 1 SSE2, 2 AVX2.
void BM_MandelbrotLanes(benchmark::State& state) {
    const vokri::cpu::Isa isas[3] = {vokri::cpu::Isa::scalar, vokri::cpu::Isa::sse2, vokri::cpu::Isa::avx2};
    const vokri::cpu::Isa isa = isas[state.range(0)];
    if (!vokri::cpu::usable(isa)) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    vokri::test_hooks::IsaCap cap(isa);
    VokriInfiniteGeometryRecord rec = mandelbrot_record();
    vokri::InfiniteColours colours;
    if (!vokri::ok(vokri::check_infinite_header(rec, colours))) return;
    vokri::FractalParams params;
    vokri::InverseMap inverse;
    if (!vokri::ok(vokri::prepare_fractal(rec, colours, params, inverse))) return;
    std::vector<uint32_t> px(kN, 0x0018110Eu);
    vokri::Surface surface = vokri::Surface::wrap(px.data(), kW, kH, vokri::rgbx32);
    vokri::FrameView view = vokri::FrameView::for_canvas(scale_for(rec), kW, kH);
    for (auto _ : state) {
        vokri::render_fractal(params, inverse, view, surface);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MandelbrotLanes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
