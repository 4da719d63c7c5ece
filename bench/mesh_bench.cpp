// Mesh items at 1920 x 1080: a UV sphere of 100 000 triangles and 1000 cubes,
// each opaque and translucent. Reports milliseconds per frame and triangles
// per second (triangles submitted, before culling).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "vokri_core.h"

namespace {

struct Mesh {
    std::vector<float> positions, normals;
    std::vector<uint32_t> indices;
};

// stacks x slices quads, two counter-clockwise (seen from outside)
// triangles each.
Mesh uv_sphere(uint32_t stacks, uint32_t slices, float r) {
    Mesh m;
    const float pi = 3.14159265f;
    for (uint32_t i = 0; i <= stacks; ++i) {
        const float th = pi * static_cast<float>(i) / static_cast<float>(stacks);
        for (uint32_t j = 0; j <= slices; ++j) {
            const float ph = 2.0f * pi * static_cast<float>(j) / static_cast<float>(slices);
            const float n[3] = {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
            for (float c : n) m.normals.push_back(c), m.positions.push_back(c * r);
        }
    }
    for (uint32_t i = 0; i < stacks; ++i) {
        for (uint32_t j = 0; j < slices; ++j) {
            const uint32_t a = i * (slices + 1) + j, b = a + slices + 1, c = b + 1, d = a + 1;
            m.indices.insert(m.indices.end(), {a, c, b, a, d, c});
        }
    }
    return m;
}

Mesh cube(float h) {
    Mesh m;
    // normal, u, v with u x v = normal
    const float faces[6][9] = {
        {1, 0, 0, 0, 1, 0, 0, 0, 1},  {-1, 0, 0, 0, 0, 1, 0, 1, 0}, {0, 1, 0, 0, 0, 1, 1, 0, 0},
        {0, -1, 0, 1, 0, 0, 0, 0, 1}, {0, 0, 1, 1, 0, 0, 0, 1, 0},  {0, 0, -1, 0, 1, 0, 1, 0, 0},
    };
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& f : faces) {
        const uint32_t base = static_cast<uint32_t>(m.positions.size() / 3);
        for (const auto& c : corners) {
            for (int k = 0; k < 3; ++k) {
                m.positions.push_back(h * (f[k] + c[0] * f[3 + k] + c[1] * f[6 + k]));
                m.normals.push_back(f[k]);
            }
        }
        m.indices.insert(m.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    return m;
}

VokriMeshLayer layer_of(const Mesh& m, uint32_t colour, float opacity, float tx, float ty, float tz) {
    VokriMeshLayer l{};
    l.vertex_count = static_cast<uint32_t>(m.positions.size() / 3);
    l.positions = m.positions.data();
    l.normals = m.normals.data();
    l.index_count = static_cast<uint32_t>(m.indices.size());
    l.indices = m.indices.data();
    const float model[16] = {1, 0, 0, tx, 0, 1, 0, ty, 0, 0, 1, tz, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) l.model[i] = model[i];
    l.colour = colour;
    l.opacity = opacity;
    return l;
}

VokriMeshRecord camera(float ex, float ey, float ez, const std::vector<VokriMeshLayer>& layers) {
    VokriMeshRecord r{};
    r.eye[0] = ex, r.eye[1] = ey, r.eye[2] = ez;
    r.up[1] = 1;
    r.fov_y = 50;
    r.near = 0.1f;
    r.far = 100;
    r.projection = VOKRI_PROJECTION_PERSPECTIVE;
    r.layers = layers.data();
    r.layer_count = static_cast<uint32_t>(layers.size());
    return r;
}

void render(benchmark::State& state, const VokriMeshRecord& rec, double triangles) {
    const int32_t w = 1920, h = 1080;
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    const VokriDrawItem item{VOKRI_ITEM_MESH, 0};
    for (auto _ : state) {
        int32_t rc = vokri_render_scene_rgb0(w, h, 100.0, &item, 1, nullptr, 0, nullptr, 0, nullptr, 0,
                                             nullptr, 0, nullptr, 0, &rec, 1, nullptr, 0, px.data(),
                                             px.size());
        if (rc != 0) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(px.data());
    }
    state.counters["triangles/s"] =
        benchmark::Counter(triangles, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_MeshSphere100k(benchmark::State& state) {
    const Mesh m = uv_sphere(200, 250, 1.0f);
    const bool translucent = state.range(0) != 0;
    const std::vector<VokriMeshLayer> layers{
        layer_of(m, 0x4080E0FFu, translucent ? 0.5f : 1.0f, 0, 0, 0)};
    const VokriMeshRecord rec = camera(0.4f, 0.8f, 2.6f, layers);
    render(state, rec, static_cast<double>(m.indices.size() / 3));
}
BENCHMARK(BM_MeshSphere100k)->Arg(0)->Arg(1)->ArgName("translucent")->Unit(benchmark::kMillisecond);

void BM_MeshCubes1000(benchmark::State& state) {
    const Mesh m = cube(0.3f);
    const bool translucent = state.range(0) != 0;
    std::vector<VokriMeshLayer> layers;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            for (int k = 0; k < 10; ++k)
                layers.push_back(layer_of(m, 0xC0602000u | static_cast<uint32_t>(25 * k) << 8 | 0xFF,
                                          translucent ? 0.4f : 1.0f, float(i) - 4.5f, float(j) - 4.5f,
                                          float(k) - 4.5f));
    const VokriMeshRecord rec = camera(9.0f, 7.0f, 14.0f, layers);
    render(state, rec, 1000.0 * 12.0);
}
BENCHMARK(BM_MeshCubes1000)->Arg(0)->Arg(1)->ArgName("translucent")->Unit(benchmark::kMillisecond);

}  // namespace
