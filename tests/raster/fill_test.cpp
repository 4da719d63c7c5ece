// Filling Paths: 16-sample coverage, fill rules, clipping, run-length widths,
// unreachable internal checks, scratch reuse and allocation failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "common/test_hooks.h"
#include "common/numeric.h"
#include "raster/coverage.h"
#include "raster/edge_list.h"
#include "raster/fill.h"
#include "surface/composite.h"
#include "support/scene.h"
#include "support/draw_state.h"

using namespace vokri;

namespace {

struct Drawing {
    Allocator alloc;
    std::vector<uint32_t> px;
    Surface surface;
    vt::DrawState ctx;
    Drawing(int w, int h, uint8_t format = rgba32, uint32_t background = 0)
        : px(static_cast<size_t>(w) * h, background),
          surface(Surface::wrap(px.data(), w, h, format)),
          ctx(alloc, surface) {}
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * surface.width + x]; }
    uint32_t alpha(int x, int y) const { return at(x, y) >> 24; }
    void rect(double x0, double y0, double x1, double y1) {
        ASSERT_EQ(ctx.path.move_to(x0, y0), Error::None);
        ASSERT_EQ(ctx.path.line_to(x1, y0), Error::None);
        ASSERT_EQ(ctx.path.line_to(x1, y1), Error::None);
        ASSERT_EQ(ctx.path.line_to(x0, y1), Error::None);
        ASSERT_EQ(ctx.path.close_path(), Error::None);
    }
    // The same rectangle wound the other way.
    void rect_reversed(double x0, double y0, double x1, double y1) {
        ASSERT_EQ(ctx.path.move_to(x0, y0), Error::None);
        ASSERT_EQ(ctx.path.line_to(x0, y1), Error::None);
        ASSERT_EQ(ctx.path.line_to(x1, y1), Error::None);
        ASSERT_EQ(ctx.path.line_to(x1, y0), Error::None);
        ASSERT_EQ(ctx.path.close_path(), Error::None);
    }
    void circle(double cx, double cy, double r) {
        const double k = 0.5522847498307936 * r;
        ASSERT_EQ(ctx.path.move_to(cx + r, cy), Error::None);
        ASSERT_EQ(ctx.path.curve_to(cx + r, cy + k, cx + k, cy + r, cx, cy + r), Error::None);
        ASSERT_EQ(ctx.path.curve_to(cx - k, cy + r, cx - r, cy + k, cx - r, cy), Error::None);
        ASSERT_EQ(ctx.path.curve_to(cx - r, cy - k, cx - k, cy - r, cx, cy - r), Error::None);
        ASSERT_EQ(ctx.path.curve_to(cx + k, cy - r, cx + r, cy - k, cx + r, cy), Error::None);
        ASSERT_EQ(ctx.path.close_path(), Error::None);
    }
};

// An opaque white source at coverage alpha a onto transparent black.
uint32_t white_at(uint32_t a) { return a | a << 8 | a << 16 | a << 24; }

}  // namespace

TEST(Fill, QuarterOffsetSquare) {
    Drawing c(14, 12);
    c.ctx.set_source_pixel(0xFFFFFFFFu);
    c.rect(0.25, 0, 10.25, 10);
    ASSERT_EQ(fill(c.ctx), Error::None);
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(c.at(0, y), white_at(191)) << y;
        for (int x = 1; x < 10; ++x) EXPECT_EQ(c.at(x, y), 0xFFFFFFFFu) << x << "," << y;
        EXPECT_EQ(c.at(10, y), white_at(63)) << y;
        EXPECT_EQ(c.at(11, y), 0u);
    }
    for (int x = 0; x < 14; ++x) EXPECT_EQ(c.at(x, 10), 0u);
}

TEST(Fill, HalfCoveredColumnIs127) {
    Drawing c(6, 3);
    c.rect(0, 0, 2.5, 3);
    ASSERT_EQ(fill(c.ctx), Error::None);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(c.at(1, y), 0xFF000000u);
        EXPECT_EQ(c.at(2, y), 127u << 24);  // black: colour 0, alpha 127
        EXPECT_EQ(c.at(3, y), 0u);
    }
}

TEST(Fill, QuarterRowsAndCorners) {
    // 1.5 .. 3.25 by 0.75 .. 2.5: coverage = quarter columns x sub-scanlines.
    Drawing c(5, 4);
    c.rect(1.5, 0.75, 3.25, 2.5);
    ASSERT_EQ(fill(c.ctx), Error::None);
    // Row 0: sub-scanline 3 only (v = 3.5 > 3); row 1: all 4; row 2: 2.
    const int rows[4] = {1, 4, 2, 0};
    const int cols[5] = {0, 2, 4, 1, 0};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            int cov = rows[y] * cols[x];
            uint32_t expect = cov == 0 ? 0u : (cov >= 16 ? 0xFF000000u : uint32_t(16 * cov - 1) << 24);
            EXPECT_EQ(c.at(x, y), expect) << x << "," << y;
        }
}

TEST(Fill, OverlappingSquaresNonZero) {
    // Same orientation: winding 2 in the overlap, painted once (a
    // translucent source shows a double application).
    Drawing same(12, 4);
    same.ctx.set_source_pixel(0x80000080u);  // red 128, alpha 128
    same.rect(0, 0, 8, 4);
    same.rect(4, 0, 12, 4);
    ASSERT_EQ(fill(same.ctx), Error::None);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(same.at(x, 1), 0x80000080u) << x;

    Drawing opposite(12, 4);
    opposite.ctx.set_source_pixel(0xFF0000FFu);
    opposite.rect(0, 0, 8, 4);
    opposite.rect_reversed(4, 0, 12, 4);
    ASSERT_EQ(fill(opposite.ctx), Error::None);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(opposite.at(x, 2), (x >= 4 && x < 8) ? 0u : 0xFF0000FFu) << x;
}

TEST(Fill, EvenOddLeavesTheOverlapOpen) {
    Drawing c(12, 4);
    c.ctx.fill_rule = fill_even_odd;
    c.rect(0, 0, 8, 4);
    c.rect(4, 0, 12, 4);
    ASSERT_EQ(fill(c.ctx), Error::None);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(c.at(x, 0), (x >= 4 && x < 8) ? 0u : 0xFF000000u) << x;
    // A square with a hole wound the same way.
    Drawing h(10, 10);
    h.ctx.fill_rule = fill_even_odd;
    h.rect(0, 0, 10, 10);
    h.rect(3, 3, 7, 7);
    ASSERT_EQ(fill(h.ctx), Error::None);
    EXPECT_EQ(h.at(5, 5), 0u);
    EXPECT_EQ(h.at(1, 5), 0xFF000000u);
}

TEST(Fill, ClippedToTheSurface) {
    Drawing c(6, 6);
    c.rect(-5, -5, 3.5, 2.75);
    ASSERT_EQ(fill(c.ctx), Error::None);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            int cols = x < 3 ? 4 : (x == 3 ? 2 : 0);
            int rows = y < 2 ? 4 : (y == 2 ? 3 : 0);
            int cov = cols * rows;
            uint32_t expect = cov == 0 ? 0u : (cov >= 16 ? 0xFF000000u : uint32_t(16 * cov - 1) << 24);
            EXPECT_EQ(c.at(x, y), expect) << x << "," << y;
        }
    // Beyond the right and bottom borders.
    Drawing d(6, 6);
    d.rect(4, 4, 100, 1e6);
    ASSERT_EQ(fill(d.ctx), Error::None);
    EXPECT_EQ(d.at(5, 5), 0xFF000000u);
    EXPECT_EQ(d.at(3, 5), 0u);
}

TEST(Fill, OutsideShapesPaintNothing) {
    for (int k = 0; k < 5; ++k) {
        Drawing c(8, 8, rgba32, 0x11223344u);
        switch (k) {
            case 0: c.rect(-10, 0, -2, 5); break;   // left
            case 1: c.rect(0, -10, 5, -2); break;   // above
            case 2: c.rect(9, 0, 12, 5); break;     // right
            case 3: c.rect(0, 9, 5, 12); break;     // below
            case 4: c.rect(-10, 0, 0, 5); break;    // ends exactly at the left border
        }
        ASSERT_EQ(fill(c.ctx), Error::None);
        for (uint32_t p : c.px) EXPECT_EQ(p, 0x11223344u) << k;
    }
}

TEST(Fill, WideBoxesUse16And32BitRuns) {
    for (int w : {300, 70000}) {
        Drawing c(w, 2);
        c.rect(0.5, 0, w - 0.25, 1);
        ASSERT_EQ(fill(c.ctx), Error::None);
        EXPECT_EQ(c.at(0, 0), 127u << 24);
        for (int x = 1; x < w - 1; ++x) ASSERT_EQ(c.at(x, 0), 0xFF000000u) << w << " " << x;
        EXPECT_EQ(c.at(w - 1, 0), 191u << 24);
        EXPECT_EQ(c.at(0, 1), 0u);
        // A run interrupted in the middle: the split of a long run.
        Drawing d(w, 1);
        d.rect(0, 0, w, 1);
        d.rect_reversed(w / 2 + 0.25, 0, w / 2 + 1, 1);
        ASSERT_EQ(fill(d.ctx), Error::None);
        EXPECT_EQ(d.at(w / 2 - 1, 0), 0xFF000000u);
        EXPECT_EQ(d.at(w / 2, 0), 63u << 24);
        EXPECT_EQ(d.at(w / 2 + 1, 0), 0xFF000000u);
        EXPECT_EQ(d.at(w - 1, 0), 0xFF000000u);
    }
}

TEST(Fill, RgbxSurfaceKeepsByteThreeZero) {
    Drawing c(4, 1, rgbx32, 0x00FFFFFFu);
    c.ctx.set_source_pixel(0x80000080u);
    c.rect(0, 0, 2.5, 1);
    ASSERT_EQ(fill(c.ctx), Error::None);
    // Full: 128 + ⟨255·127⟩ = 255 red, ⟨255·127⟩ = 127 green and blue.
    EXPECT_EQ(c.at(0, 0), 0x007F7FFFu);
    // Coverage 8 (mask 127): source ⟨128·127⟩ = 63 red and alpha; 63 +
    // ⟨255·192⟩ = 255, ⟨255·192⟩ = 192.
    EXPECT_EQ(c.at(2, 0), 0x00C0C0FFu);
    EXPECT_EQ(c.at(3, 0), 0x00FFFFFFu);
}

TEST(Fill, ChecksBeforeWork) {
    Drawing c(4, 4);
    c.ctx.set_source_pixel(0x10000020u);  // red 32 above alpha 16
    EXPECT_EQ(fill(c.ctx), Error::PixelSourceNotPreMultiplied);
    c.ctx.set_source_pixel(0xFF000000u);
    EXPECT_EQ(fill(c.ctx), Error::None);  // empty Path
    ASSERT_EQ(c.ctx.path.move_to(0, 0), Error::None);
    ASSERT_EQ(c.ctx.path.line_to(3, 0), Error::None);
    ASSERT_EQ(c.ctx.path.line_to(3, 3), Error::None);
    EXPECT_EQ(fill(c.ctx), Error::PathNotClosed);
    c.ctx.path.reset();
    ASSERT_EQ(c.ctx.path.nodes.push_back(PathNode{{1, 1}, {}, {}, node_line_to}), Error::None);
    ASSERT_EQ(c.ctx.path.nodes.push_back(PathNode{{}, {}, {}, node_close_path}), Error::None);
    EXPECT_EQ(fill(c.ctx), Error::InvalidState);
    for (uint32_t p : c.px) EXPECT_EQ(p, 0u);
}

TEST(Fill, FillLeavesThePathAlone) {
    Drawing c(8, 8);
    c.circle(4, 4, 3);
    const size_t n = c.ctx.path.nodes.size();
    ASSERT_EQ(fill(c.ctx), Error::None);
    EXPECT_EQ(c.ctx.path.nodes.size(), n);
    EXPECT_EQ(c.at(4, 4), 0xFF000000u);
    EXPECT_EQ(c.at(0, 0), 0u);
}

// Device coordinates at infinity or NaN (a transform whose scale overflows,
// or a NaN coefficient): the fill paints nothing, succeeds and ends.
TEST(Fill, NonFiniteDeviceCoordinatesPaintNothing) {
    const double nan = std::nan("");
    const Transform transforms[] = {
        {1e308, 0, 0, 1e308, 0, 0}, {1, 0, 0, 1, 1e308, 0}, {nan, 0, 0, 1, 0, 0}, {1, nan, 0, 1, 0, 0},
        {1, 0, 0, 1, nan, nan},     {HUGE_VAL, 0, 0, 1, 0, 0}};
    for (const Transform& t : transforms) {
        Drawing c(8, 8);
        c.ctx.set_transform(t);
        c.circle(0.5, 0.5, 3);
        c.rect(1, 1, 3, 3);
        EXPECT_EQ(fill(c.ctx), Error::None);
        for (uint32_t p : c.px) EXPECT_EQ(p, 0u);
    }
}

// A finite but huge curve: flattening stays bounded (pieces away from the
// Surface are taken as their chords) and the visible part is exact.
TEST(Fill, HugeCircleIsBoundedAndCoversTheSurface) {
    Drawing c(8, 8);
    c.ctx.set_transform(Transform{1e200, 0, 0, 1e200, 0, 0});
    c.circle(0, 0, 1);
    EdgeList list(c.alloc);
    ASSERT_EQ(build_edge_list(c.ctx.path, 0.1, 4.0, list, surface_window(c.ctx.canvas)), Error::None);
    EXPECT_LT(list.edges.size(), 20000u);
    ASSERT_EQ(fill(c.ctx), Error::None);
    for (uint32_t p : c.px) EXPECT_EQ(p, 0xFF000000u);
}

// The flattening window leaves every painted pixel as plain flattening does.
TEST(Fill, FlattenWindowIsExact) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(-30, 50), rad(1, 40);
    for (int trial = 0; trial < 60; ++trial) {
        Drawing a(20, 16), b(20, 16);
        const double cx = pos(rng), cy = pos(rng), r = rad(rng);
        a.circle(cx, cy, r);
        b.circle(cx, cy, r);
        a.ctx.fill_rule = b.ctx.fill_rule = static_cast<uint8_t>(trial & 1);
        a.circle(cx + 3, cy - 2, r / 2);
        b.circle(cx + 3, cy - 2, r / 2);
        ASSERT_EQ(fill(a.ctx), Error::None);
        EdgeList list(b.alloc);
        ASSERT_EQ(build_edge_list(b.ctx.path, 0.1, 4.0, list), Error::None);  // no window
        ASSERT_EQ(rasterize_edges(b.ctx.canvas, list, b.ctx.paint(), b.ctx.fill_rule), Error::None);
        ASSERT_EQ(a.px, b.px) << trial;
    }
}

namespace {

// The rasterizer as a plain, dense restatement: every edge tested on every
// sub-scanline, crossings sorted, spans added to a per-pixel count.
std::vector<int> reference_coverage(const EdgeList& l, int W, int H, uint8_t rule, int& box_start) {
    std::vector<int> cov(static_cast<size_t>(W) * H, 0);
    box_start = 0;
    if (l.edges.empty() || l.x_max < 0 || l.y_max < 0) return cov;
    double x0 = std::floor(l.x_min / 4), y0 = std::floor(l.y_min / 4);
    double x1 = std::ceil(l.x_max / 4), y1 = std::ceil(l.y_max / 4);
    if (x0 == x1 || y0 == y1 || x0 >= W || y0 >= H) return cov;
    int first = static_cast<int>(std::clamp(y0, 0.0, H - 1.0));
    int last = std::max(static_cast<int>(std::min(y1, H - 1.0)), first);
    int bs = static_cast<int>(std::clamp(x0, 0.0, W - 1.0));
    int be = std::max(static_cast<int>(std::min(x1, double(W))), bs);
    box_start = bs;
    long cap = 4L * (be - bs);
    for (int y = first; y <= last; ++y)
        for (int k = 0; k < 4; ++k) {
            double v = 4 * y + k + 0.5;
            std::vector<std::pair<long, int>> xs;
            for (const Edge& e : l.edges) {
                double top = std::min(e.y_first, e.y_last), bottom = std::max(e.y_first, e.y_last);
                if (top < v && v <= bottom)
                    xs.push_back({static_cast<long>(round_half_away(e.x_top + (v - top) * e.dxdy)),
                                  e.y_last <= e.y_first ? 1 : -1});
            }
            std::sort(xs.begin(), xs.end());
            std::vector<long> kept;
            int w = 0;
            for (auto& [x, d] : xs) {
                int before = w;
                w += d;
                if (rule == fill_even_odd || before == 0 || w == 0) kept.push_back(x);
            }
            long prev = 0;
            for (size_t i = 0; i + 1 < kept.size(); i += 2) {
                long a = kept[i] - 4L * bs, b = kept[i + 1] - 4L * bs;
                long s = std::max({a, prev, 0L});
                if (s >= cap) break;
                long e = std::max(std::min(b, cap), s);
                for (long q = s; q < e; ++q) cov[static_cast<size_t>(y) * W + bs + q / 4] += 1;
                prev = e;
            }
        }
    return cov;
}

// Random polygons with coordinates in [lo, hi] on a 33 x 29 Surface, filled
// and compared pixel by pixel with the dense definition.
void check_random_polygons(uint32_t seed, double lo, double hi, int trials) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> coord(lo, hi);
    std::uniform_int_distribution<int> npts(3, 12);
    const uint32_t sources[] = {0xFF3366CCu, 0x80402010u, 0x00000000u};
    for (int trial = 0; trial < trials; ++trial) {
        const int W = 33, H = 29;
        const uint8_t rule = static_cast<uint8_t>(trial & 1);
        const uint32_t src = sources[trial % 3];
        Drawing c(W, H, trial % 5 == 0 ? rgbx32 : rgba32, 0x40302010u);
        c.ctx.fill_rule = rule;
        c.ctx.set_source_pixel(src);
        int subpaths = 1 + trial % 3;
        for (int s = 0; s < subpaths; ++s) {
            int n = npts(rng);
            ASSERT_EQ(c.ctx.path.move_to(coord(rng), coord(rng)), Error::None);
            for (int i = 1; i < n; ++i) {
                if (i % 4 == 3)
                    ASSERT_EQ(c.ctx.path.curve_to(coord(rng), coord(rng), coord(rng), coord(rng), coord(rng),
                                                  coord(rng)),
                              Error::None);
                else
                    ASSERT_EQ(c.ctx.path.line_to(std::round(coord(rng) * 4) / 4, coord(rng)), Error::None);
            }
            ASSERT_EQ(c.ctx.path.close_path(), Error::None);
        }
        std::vector<uint32_t> before = c.px;
        ASSERT_EQ(fill(c.ctx), Error::None);

        EdgeList l(c.alloc);
        ASSERT_EQ(build_edge_list(c.ctx.path, 0.1, 4.0, l), Error::None);
        int bs;
        std::vector<int> cov = reference_coverage(l, W, H, rule, bs);
        for (int i = 0; i < W * H; ++i) {
            uint32_t expect = before[i];
            int k = cov[i];
            if (k > 0) {
                uint32_t colour = k >= 16 ? src : scale_colour(src, static_cast<uint32_t>(16 * k - 1));
                if (k >= 16 && (src >> 24) == 255) {
                    expect = rgba_to_format(src, c.surface.format);
                } else {
                    uint32_t d = before[i];
                    uint32_t sa = colour >> 24, da = c.surface.format == rgbx32 ? 255 : d >> 24;
                    uint32_t out = 0;
                    for (int ch = 0; ch < 3; ++ch) {
                        uint32_t s = (colour >> (8 * ch)) & 0xFF, dc = (d >> (8 * ch)) & 0xFF;
                        out |= ((s + dc * (255 - sa) / 255) & 0xFF) << (8 * ch);
                    }
                    out |= ((sa + da - sa * da / 255) & 0xFF) << 24;
                    expect = rgba_to_format(out, c.surface.format);
                }
            }
            ASSERT_EQ(c.px[i], expect) << "trial " << trial << " pixel " << i % W << "," << i / W << " cov " << k;
        }
    }
}

}  // namespace

TEST(Fill, MatchesTheDenseDefinitionOnRandomPolygons) { check_random_polygons(12345, -8, 40, 400); }

// Most edges of these lie wholly left or right of the fill box on the rows
// they cross, where the rasterizer only counts them.
TEST(Fill, MatchesTheDenseDefinitionOnPolygonsMuchLargerThanTheSurface) {
    check_random_polygons(777, -400, 440, 300);
    check_random_polygons(778, -1e9, 1e9, 100);
}

TEST(Fill, ScratchIsReusedAcrossFills) {
    Drawing c(64, 64);
    c.circle(30, 30, 20);
    ASSERT_EQ(fill(c.ctx), Error::None);
    c.ctx.path.reset();
    c.circle(32, 31, 18);
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(fill(c.ctx), Error::None);
    EXPECT_EQ(vokri::test_hooks::allocation_count(), 0u);
    c.ctx.release();
    EXPECT_EQ(c.ctx.canvas.raster_scratch, nullptr);
}

TEST(Fill, OutOfMemoryAtEveryAllocation) {
    int failures = 0;
    for (int64_t n = 1; n < 200; ++n) {
        Drawing c(300, 40);
        c.circle(150, 20, 30);  // 16-bit box, several edges
        c.rect(10, 5, 290, 8);
        vokri::test_hooks::fail_allocations_after(n);
        Error e = fill(c.ctx);
        vokri::test_hooks::fail_allocations_after(-1);
        if (e == Error::None) break;
        EXPECT_EQ(e, Error::OutOfMemory) << n;
        ++failures;
    }
    EXPECT_GT(failures, 3);
}

// Through the exported interface: a filled square shape item, 0.25 .. 10.25
// in device x, rows 1 .. 10, read back as straight alpha.
TEST(Fill, QuarterOffsetSquareThroughTheExport) {
    vt::TestScene scene;
    scene.add(vt::rect(-6.75, 0, 10, 10, 0xFFFFFFFFu));
    std::vector<uint32_t> px;
    ASSERT_EQ(scene.rgba0(24, 12, 1.0, px), 0);
    for (int y = 1; y < 11; ++y) {
        EXPECT_EQ(px[y * 24 + 0], vt::rgba(255, 255, 255, 191)) << y;
        for (int x = 1; x < 10; ++x) EXPECT_EQ(px[y * 24 + x], 0xFFFFFFFFu);
        EXPECT_EQ(px[y * 24 + 10], vt::rgba(255, 255, 255, 63)) << y;
        EXPECT_EQ(px[y * 24 + 11], 0u);
    }
    EXPECT_EQ(px[0 * 24 + 5], 0u);
    EXPECT_EQ(px[11 * 24 + 5], 0u);
}
