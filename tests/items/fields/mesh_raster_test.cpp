// The span walk of the mesh rasterizer against the plain walk over every
// pixel of the box: same pixels, same depths, on random triangles.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "common/test_hooks.h"
#include "common/cpu.h"
#include "items/fields/mesh_pipeline.h"

using vokri::mesh::Mode;
using vokri::mesh::ScreenTriangle;
using vokri::mesh::Shade;
using vokri::mesh::Target;
using vokri::mesh::Walk;

namespace {

struct Canvas {
    uint32_t w, h;
    std::vector<uint32_t> px;
    std::vector<float> depth;
    Canvas(uint32_t width, uint32_t height)
        : w(width), h(height), px(size_t(width) * height, 0x40302010u),
          depth(size_t(width) * height, std::numeric_limits<float>::infinity()) {}
    Target target(bool alpha) { return Target{px.data(), depth.data(), w, h, alpha}; }
};

// Triangles of every kind: tiny, large and off-canvas, slivers, and corners
// on the half-pixel grid so that pixel centres fall exactly on edges.
ScreenTriangle random_triangle(std::mt19937& rng, uint32_t w, uint32_t h) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    ScreenTriangle t{};
    const int kind = int(rng() % 5);
    const float cx = unit(rng) * float(w), cy = unit(rng) * float(h);
    for (int k = 0; k < 3; ++k) {
        float x, y;
        switch (kind) {
            case 0:  // small
                x = cx + (unit(rng) - 0.5f) * 8, y = cy + (unit(rng) - 0.5f) * 8;
                break;
            case 1:  // large, partly off the canvas
                x = (unit(rng) * 3 - 1) * float(w), y = (unit(rng) * 3 - 1) * float(h);
                break;
            case 2:  // half-pixel grid
                x = std::floor(cx + (unit(rng) - 0.5f) * 40) * 0.5f + float(rng() % 2) * 0.5f;
                y = std::floor(cy + (unit(rng) - 0.5f) * 40) * 0.5f;
                break;
            default:  // medium
                x = cx + (unit(rng) - 0.5f) * 60, y = cy + (unit(rng) - 0.5f) * 60;
                break;
        }
        t.x[k] = x, t.y[k] = y;
        t.z[k] = unit(rng) * 1.4f - 0.2f;
        for (int c = 0; c < 3; ++c) t.n[k][c] = unit(rng) * 2 - 1;
    }
    if (kind == 4) {
        // Sliver: the third corner close to the line through the first two.
        const float s = unit(rng);
        t.x[2] = t.x[0] + (t.x[1] - t.x[0]) * s + (unit(rng) - 0.5f) * 0.01f;
        t.y[2] = t.y[0] + (t.y[1] - t.y[0]) * s + (unit(rng) - 0.5f) * 0.01f;
    }
    return t;
}

}  // namespace

bool same_depths(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t k = 0; k < a.size(); ++k)
        if (!(a[k] == b[k] || (std::isnan(a[k]) && std::isnan(b[k])))) return false;
    return true;
}

TEST(MeshRaster, SpansAndKernelsMatchThePlainWalk) {
    // Reference: every pixel of the box, scalar code. Compared: spans with
    // the best kernel (AVX2 where available), spans with the scalar kernel,
    // and every pixel with the best kernel.
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        const uint32_t w = 37 + rng() % 90, h = 23 + rng() % 70;
        const bool alpha = round % 2 == 0;
        Canvas a(w, h), b(w, h), c(w, h), d(w, h);
        for (uint32_t& p : a.px) p = static_cast<uint32_t>(rng());  // arbitrary bytes to blend over
        b.px = c.px = d.px = a.px;
        for (int i = 0; i < 150; ++i) {
            const ScreenTriangle t = random_triangle(rng, w, h);
            const Mode mode = rng() % 3 == 0 ? Mode::blended : Mode::opaque;
            const Shade shade{{float(rng() % 256), float(rng() % 256), float(rng() % 256)},
                              0.01f + float(rng() % 97) / 100.0f, mode};
            vokri::mesh::raster_triangle(a.target(alpha), t, shade, Walk::spans);
            vokri::mesh::raster_triangle(d.target(alpha), t, shade, Walk::every_pixel);
            {
                vokri::test_hooks::IsaCap plain(vokri::cpu::Isa::scalar);
                vokri::mesh::raster_triangle(b.target(alpha), t, shade, Walk::every_pixel);
                vokri::mesh::raster_triangle(c.target(alpha), t, shade, Walk::spans);
            }
            ASSERT_EQ(a.px, b.px) << round << " " << i;
            ASSERT_EQ(c.px, b.px) << round << " " << i;
            ASSERT_EQ(d.px, b.px) << round << " " << i;
            ASSERT_TRUE(same_depths(a.depth, b.depth)) << round << " " << i;
            ASSERT_TRUE(same_depths(c.depth, b.depth)) << round << " " << i;
            ASSERT_TRUE(same_depths(d.depth, b.depth)) << round << " " << i;
        }
        // Something was drawn.
        size_t drawn = 0;
        for (float v : a.depth) drawn += v != std::numeric_limits<float>::infinity();
        EXPECT_GT(drawn, 0u) << round;
    }
}

TEST(MeshRaster, PixelsOnAnEdgeBelongToTheTriangle) {
    // Corners on pixel centres: the centres on the edges have weight 0 and
    // pass; the next ones out do not.
    Canvas c(16, 16);
    ScreenTriangle t{};
    const float xs[3] = {2.5f, 12.5f, 2.5f}, ys[3] = {2.5f, 2.5f, 12.5f};
    for (int k = 0; k < 3; ++k) t.x[k] = xs[k], t.y[k] = ys[k], t.z[k] = 0.5f, t.n[k][2] = 1;
    const Shade shade{{255, 255, 255}, 1, Mode::opaque};
    vokri::mesh::raster_triangle(c.target(true), t, shade);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) {
            const bool in = x >= 2 && y >= 2 && x + y <= 14;
            EXPECT_EQ(c.depth[y * 16 + x] != std::numeric_limits<float>::infinity(), in) << x << "," << y;
        }
}

TEST(MeshRaster, NonFiniteCornersNeverReachOutsideTheCanvas) {
    // Infinite screen coordinates fall back to the box walk and stay within
    // the clamped box (the canvas); NaN coordinates draw nothing.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Shade shade{{10, 20, 30}, 1, Mode::opaque};
    for (float bad : {inf, -inf, nan}) {
        Canvas c(8, 6);
        ScreenTriangle t{};
        const float xs[3] = {1, 7, bad}, ys[3] = {1, 2, 5};
        for (int k = 0; k < 3; ++k) t.x[k] = xs[k], t.y[k] = ys[k], t.z[k] = 0.5f;
        vokri::mesh::raster_triangle(c.target(false), t, shade);
        if (std::isnan(bad)) {
            for (uint32_t p : c.px) EXPECT_EQ(p, 0x40302010u);
        }
    }
}
