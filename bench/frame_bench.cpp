// Empty 1920x1080 frames through the three exports, each against its floor:
// the background against std::fill of the same bytes, the straight-alpha
// conversion of an opaque frame against a copy, and the PNG export against
// zlib's compress2 at level 6 on the same filtered bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "bench_pair.h"
#include "surface/surface.h"
#include "vokri_core.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr size_t kN = size_t(kW) * kH;

int rgb0(uint32_t* px) {
    return vokri_render_scene_rgb0(kW, kH, 100, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                   0, nullptr, 0, nullptr, 0, px, kN);
}
int rgba0(uint32_t* px) {
    return vokri_render_scene_rgba0(kW, kH, 100, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                    0, nullptr, 0, nullptr, 0, px, kN);
}

void BM_Rgb0BackgroundVsFill(benchmark::State& state) {
    std::vector<uint32_t> px(kN), floor_px(kN);
    vbench::run_pair(
        state, [&] { benchmark::DoNotOptimize(rgb0(px.data())); },
        [&] {
            std::fill(floor_px.begin(), floor_px.end(), 0x0018110Eu);
            benchmark::ClobberMemory();
        });
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kN * 4));
}
BENCHMARK(BM_Rgb0BackgroundVsFill)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The rgba0 export of an empty frame: clear plus conversion pass.
void BM_Rgba0EmptyVsMemset(benchmark::State& state) {
    std::vector<uint32_t> px(kN), floor_px(kN);
    vbench::run_pair(
        state, [&] { benchmark::DoNotOptimize(rgba0(px.data())); },
        [&] {
            std::memset(floor_px.data(), 0, kN * 4);
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_Rgba0EmptyVsMemset)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_StraightAlphaOpaqueVsCopy(benchmark::State& state) {
    std::vector<uint32_t> src(kN), px(kN), copy(kN);
    for (size_t i = 0; i < kN; ++i) src[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    px = src;
    vbench::run_pair(
        state, [&] { vokri::demultiply_pixels(px.data(), kN); benchmark::ClobberMemory(); },
        [&] {
            std::memcpy(copy.data(), src.data(), kN * 4);
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_StraightAlphaOpaqueVsCopy)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_PngExportVsCompress2(benchmark::State& state) {
    std::string path = "/tmp/vokri-bench-" + std::to_string(getpid()) + ".png";
    // The filtered bytes of the same frame, compressed by zlib alone.
    std::vector<uint8_t> filtered;
    filtered.reserve((size_t(kW) * 3 + 1) * kH);
    for (int y = 0; y < kH; ++y) {
        filtered.push_back(0);
        for (int x = 0; x < kW; ++x) {
            filtered.push_back(0x0E);
            filtered.push_back(0x11);
            filtered.push_back(0x18);
        }
    }
    std::vector<uint8_t> out(compressBound(filtered.size()));
    vbench::run_pair(
        state,
        [&] {
            benchmark::DoNotOptimize(vokri_render_scene_frame(path.c_str(), kW, kH, 100, nullptr, 0, nullptr, 0,
                                                              nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                                              0, nullptr, 0));
        },
        [&] {
            uLongf len = out.size();
            benchmark::DoNotOptimize(compress2(out.data(), &len, filtered.data(), filtered.size(), 6));
        });
    unlink(path.c_str());
}
BENCHMARK(BM_PngExportVsCompress2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace


