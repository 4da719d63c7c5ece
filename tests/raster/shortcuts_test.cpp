// The rasterizer's geometric shortcuts against the plain definition, through
// the exports: random compound outlines of lines and curves, partly or wholly
// beside the canvas on every side, filled and stroked, must paint the same
// bytes with the shortcuts on and off.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "raster/shortcuts.h"
#include "support/scene.h"

namespace {

struct RandomOutlines {
    std::vector<std::vector<VokriCubicSegment>> segments;
    std::vector<std::vector<uint32_t>> ends;
    std::vector<std::vector<uint8_t>> closed;
    std::vector<VokriVectorShape> shapes;
};

// A subpath of one to three pieces around a centre that may lie beside the
// 40 x 30 canvas (user units = pixels, origin at the centre), up to `far`
// away.
void add_subpath(std::mt19937& rng, double far, std::vector<VokriCubicSegment>& out) {
    std::uniform_real_distribution<double> centre(-far, far), spread(0.5, far / 2), unit(-1, 1);
    std::uniform_int_distribution<int> pieces(1, 3), straight(0, 3);
    const double cx = centre(rng), cy = centre(rng), r = spread(rng);
    auto point = [&] { return std::pair{cx + r * unit(rng), cy + r * unit(rng)}; };
    auto [x, y] = point();
    for (int i = pieces(rng); i > 0; --i) {
        auto [x1, y1] = point();
        auto [x2, y2] = point();
        auto [x3, y3] = point();
        if (straight(rng) == 0) x1 = x, y1 = y, x2 = x3, y2 = y3;
        out.push_back({x, y, x1, y1, x2, y2, x3, y3});
        x = x3, y = y3;
    }
}

VokriVectorRecord random_record(std::mt19937& rng, double far, RandomOutlines& o) {
    std::uniform_int_distribution<int> count(1, 3), subpaths(1, 4), coin(0, 1);
    std::uniform_real_distribution<double> width(0.2, far / 6), skew(-0.6, 0.6);
    std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFFFFu);
    const int n = count(rng);
    o.segments.resize(n);
    o.ends.resize(n);
    o.closed.resize(n);
    for (int k = 0; k < n; ++k) {
        // Only closed outlines can be filled: a fifth of the shapes have
        // open subpaths and are stroked alone.
        const bool open = count(rng) == 1 && coin(rng);
        for (int s = subpaths(rng); s > 0; --s) {
            add_subpath(rng, far, o.segments[k]);
            o.ends[k].push_back(static_cast<uint32_t>(o.segments[k].size()));
            o.closed[k].push_back(static_cast<uint8_t>(!open || coin(rng)));
        }
        VokriVectorShape v{};
        v.segment_count = static_cast<uint32_t>(o.segments[k].size());
        v.segments = o.segments[k].data();
        v.subpath_count = static_cast<uint32_t>(o.ends[k].size());
        v.subpath_ends = o.ends[k].data();
        v.subpath_closed = o.closed[k].data();
        v.fill_enabled = !open;
        v.fill_color = colour(rng) | 0x80;
        v.stroke_enabled = static_cast<uint32_t>(open || coin(rng));
        v.stroke_color = colour(rng) | 0x80;
        v.stroke_width = width(rng);
        o.shapes.push_back(v);
    }
    VokriVectorRecord r{};
    r.shape_count = static_cast<uint32_t>(o.shapes.size());
    r.shapes = o.shapes.data();
    r.progress = 1;
    r.opacity = 1;
    r.transform[0] = 1;
    r.transform[1] = coin(rng) ? skew(rng) : 0;
    r.transform[2] = coin(rng) ? skew(rng) : 0;
    r.transform[3] = 1;
    return r;
}

}  // namespace

TEST(Shortcuts, PaintAsThePlainDefinitionOnRandomOutlinesBesideTheCanvas) {
    std::mt19937 rng(1414);
    for (int trial = 0; trial < 2000; ++trial) {
        RandomOutlines o;
        vt::TestScene s;
        s.add(random_record(rng, trial % 4 == 3 ? 3000 : 70, o));
        const bool rgba = trial & 1;
        std::vector<uint32_t> fast, plain;
        ASSERT_EQ(rgba ? s.rgba0(40, 30, 1, fast) : s.rgb0(40, 30, 1, fast), 0);
        vokri::raster_shortcuts::set_enabled(false);
        const int32_t rc = rgba ? s.rgba0(40, 30, 1, plain) : s.rgb0(40, 30, 1, plain);
        vokri::raster_shortcuts::set_enabled(true);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(fast, plain) << "trial " << trial;
    }
}
