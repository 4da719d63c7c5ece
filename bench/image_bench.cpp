// Image item: the exact path against memcpy of the same bytes, and the
// resampling path under a rotation.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "items/fields/image_blend.h"
#include "raster/canvas.h"
#include "items/drawers.h"

namespace {

constexpr uint32_t kW = 1920, kH = 1080;

std::vector<uint8_t> raster_bytes(uint32_t w, uint32_t h, bool opaque) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    std::mt19937 rng(7);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(rng());
    if (opaque)
        for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
    return px;
}

VokriImageRecord record(const std::vector<uint8_t>& px, uint32_t w, uint32_t h) {
    VokriImageRecord r{};
    r.pixels = px.data();
    r.width = w;
    r.height = h;
    r.display_width = w;
    r.display_height = h;
    r.transform[0] = r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

void run_item(benchmark::State& state, const VokriImageRecord& rec, uint8_t format) {
    std::vector<uint32_t> pixels(static_cast<size_t>(kW) * kH, 0x0018110Eu);
    vokri::Surface target = vokri::Surface::wrap(pixels.data(), kW, kH, format);
    vokri::Allocator alloc;
    vokri::Canvas ctx(alloc, target);
    vokri::FrameView view = vokri::FrameView::for_canvas(1.0, kW, kH);
    for (auto _ : state) {
        vokri::Error e = vokri::draw_image_item(ctx, view, rec);
        benchmark::DoNotOptimize(e);
        benchmark::ClobberMemory();
    }
    ctx.release();
}

void BM_ImageExactOpaque(benchmark::State& state) {
    auto px = raster_bytes(kW, kH, true);
    run_item(state, record(px, kW, kH), static_cast<uint8_t>(state.range(0)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 4);
}
BENCHMARK(BM_ImageExactOpaque)->Arg(vokri::rgbx32)->Arg(vokri::rgba32)->Unit(benchmark::kMicrosecond);

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<uint32_t> a(static_cast<size_t>(kW) * kH, 1), b(a.size(), 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 4);
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);

void BM_ImageExactTranslucent(benchmark::State& state) {
    auto px = raster_bytes(kW, kH, false);
    run_item(state, record(px, kW, kH), vokri::rgba32);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 4);
}
BENCHMARK(BM_ImageExactTranslucent)->Unit(benchmark::kMicrosecond);

void BM_ImageExactScalarOpaque(benchmark::State& state) {
    auto px = raster_bytes(kW, kH, true);
    std::vector<uint32_t> pixels(static_cast<size_t>(kW) * kH, 0);
    for (auto _ : state) {
        vokri::image::blend_exact_scalar(px.data(), pixels.data(), pixels.size(), 255, true);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 4);
}
BENCHMARK(BM_ImageExactScalarOpaque)->Unit(benchmark::kMicrosecond);

// A 1920 x 1080 raster turned by 30 degrees about the canvas centre; the
// rate counters are per raster pixel (inverted: seconds per pixel).
void BM_ImageResampleRotated(benchmark::State& state) {
    auto px = raster_bytes(kW, kH, state.range(1) != 0);
    VokriImageRecord rec = record(px, kW, kH);
    const double a = 30.0 * M_PI / 180.0;
    rec.transform[0] = std::cos(a);
    rec.transform[1] = -std::sin(a);
    rec.transform[2] = std::sin(a);
    rec.transform[3] = std::cos(a);
    run_item(state, rec, static_cast<uint8_t>(state.range(0)));
    state.counters["raster_px"] = benchmark::Counter(
        static_cast<double>(kW) * kH, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ImageResampleRotated)
    ->Args({vokri::rgba32, 1})
    ->Args({vokri::rgbx32, 1})
    ->Args({vokri::rgba32, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
