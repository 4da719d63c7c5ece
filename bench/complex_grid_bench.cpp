// A 1920x1080 complex grid of each of the four mappings through the rgb0
// export.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "vokri_core.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr size_t kN = size_t(kW) * kH;

VokriInfiniteGeometryRecord grid_record(uint32_t mapping) {
    VokriInfiniteGeometryRecord r{};
    r.geometry_kind = VOKRI_GEOMETRY_COMPLEX_GRID;
    r.a2 = 0.25;
    r.a3 = 0.25;
    r.variant = mapping;
    r.t = 0.6;
    r.p1[0] = 0.5;
    r.p1[1] = 0.2;
    r.p2[0] = 0.3;
    r.p3[1] = 0.4;
    r.p4[0] = 1.0;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.colour1 = 0x4080FFFFu;
    r.colour2 = 0xFF8040FFu;
    r.line_width = 0.02;
    r.opacity = 1;
    return r;
}

void BM_ComplexGrid(benchmark::State& state) {
    VokriInfiniteGeometryRecord rec = grid_record(static_cast<uint32_t>(state.range(0)));
    VokriDrawItem item{VOKRI_ITEM_INFINITE, 0};
    std::vector<uint32_t> px(kN);
    for (auto _ : state) {
        int rc = vokri_render_scene_rgb0(kW, kH, 300.0, &item, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                         &rec, 1, nullptr, 0, nullptr, 0, px.data(), kN);
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kN));
}
BENCHMARK(BM_ComplexGrid)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

}  // namespace
