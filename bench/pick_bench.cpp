// Picking through 1000 items whose only hit is the bottom one, against one
// full render of the same scene.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "vokri_core.h"

namespace {

constexpr int32_t kW = 1920, kH = 1080;
constexpr uint32_t kItems = 1000;
constexpr uint32_t kProbeX = 5, kProbeY = 5;

struct PickScene {
    std::vector<uint8_t> raster;
    std::vector<VokriImageRecord> images;
    std::vector<VokriDrawItem> items;
    std::vector<int32_t> ids;

    PickScene() {
        const uint32_t rw = 48, rh = 48;
        raster.resize(rw * rh * 4);
        std::mt19937 rng(11);
        for (size_t i = 0; i < raster.size(); ++i) raster[i] = static_cast<uint8_t>(rng());
        for (size_t i = 3; i < raster.size(); i += 4) raster[i] = static_cast<uint8_t>(128 + (rng() & 127));
        std::uniform_real_distribution<double> ux(-800, 900), uy(-500, 500), turn(-1, 1);
        for (uint32_t i = 0; i < kItems; ++i) {
            VokriImageRecord r{};
            r.pixels = raster.data();
            r.width = rw;
            r.height = rh;
            r.display_width = rw;
            r.display_height = rh;
            double c = 1, s = 0;
            if (i % 2) {
                double t = turn(rng);
                c = std::cos(t);
                s = std::sin(t);
            }
            r.transform[0] = c;
            r.transform[1] = -s;
            r.transform[2] = s;
            r.transform[3] = c;
            // The bottom item covers the probe pixel; every other one lies
            // at least 100 pixels away from it.
            r.transform[4] = i == 0 ? -kW / 2.0 + kProbeX : ux(rng);
            r.transform[5] = i == 0 ? kH / 2.0 - kProbeY : uy(rng);
            r.opacity = 0.9;
            images.push_back(r);
            items.push_back(VokriDrawItem{VOKRI_ITEM_IMAGE, i});
            ids.push_back(static_cast<int32_t>(i + 1));
        }
    }
};

const PickScene& scene() {
    static PickScene s;
    return s;
}

void BM_PickBottomHit(benchmark::State& state) {
    const PickScene& s = scene();
    for (auto _ : state) {
        int32_t id = -1;
        int32_t rc = vokri_pick_scene_object(kW, kH, 1.0, s.items.data(), s.ids.data(), kItems, nullptr, 0,
                                             nullptr, 0, nullptr, 0, s.images.data(), kItems, nullptr, 0,
                                             nullptr, 0, nullptr, 0, kProbeX, kProbeY, &id);
        if (rc != 0 || id != 1) state.SkipWithError("pick did not find the bottom item");
        benchmark::DoNotOptimize(id);
    }
}
BENCHMARK(BM_PickBottomHit)->Unit(benchmark::kMillisecond);

void BM_RenderSameScene(benchmark::State& state) {
    const PickScene& s = scene();
    std::vector<uint32_t> pixels(static_cast<size_t>(kW) * kH);
    for (auto _ : state) {
        int32_t rc = vokri_render_scene_rgba0(kW, kH, 1.0, s.items.data(), kItems, nullptr, 0, nullptr, 0,
                                              nullptr, 0, s.images.data(), kItems, nullptr, 0, nullptr, 0,
                                              nullptr, 0, pixels.data(), pixels.size());
        if (rc != 0) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RenderSameScene)->Unit(benchmark::kMillisecond);

}  // namespace
