// The rasterizer's shortcuts and fast painter against the plain painter and
// the plain definition: random compound outlines of lines and curves, partly
// or wholly beside the canvas on every side, filled and stroked, and random
// scenes of overlapping shapes (coverage kept as cells and painted row by
// row), must paint the same bytes every way.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <type_traits>
#include <vector>

#include "scene/frame.h"
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

// The scene drawn by the frame driver with these raster options.
vokri::Error render_with(const vt::TestScene& s, int32_t w, int32_t h, bool rgba, const vokri::RasterOptions& options,
                         std::vector<uint32_t>& px) {
    auto array = [](const auto& v) { return vokri::RecordArray<typename std::decay_t<decltype(v)>::value_type>{
                                         v.data(), static_cast<uint32_t>(v.size())}; };
    vokri::Scene scene;
    scene.items = s.items.data();
    scene.item_count = static_cast<uint32_t>(s.items.size());
    scene.shapes = array(s.shapes);
    scene.batches = array(s.batches);
    scene.vectors = array(s.vectors);
    scene.images = array(s.images);
    scene.infinite_geometry = array(s.infinite);
    scene.meshes = array(s.meshes);
    scene.morphs = array(s.morphs);
    px.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    return vokri::render_frame(rgba ? vokri::FrameVariant::rgba0 : vokri::FrameVariant::rgb0, w, h, 1, scene,
                               px.data(), px.size(), nullptr, options);
}

// The scene through rgb0 (even trials) or rgba0 (odd ones) as the exports
// draw it, with the plain painter behind the shortcuts, and as the plain
// definition (no shortcuts, the plain painter): the same bytes.
void expect_plain_bytes(const vt::TestScene& s, int32_t w, int32_t h, int trial) {
    const bool rgba = trial & 1;
    std::vector<uint32_t> fast, plain;
    ASSERT_EQ(rgba ? s.rgba0(w, h, 1, fast) : s.rgb0(w, h, 1, fast), 0);
    for (const bool shortcuts : {true, false}) {
        const vokri::RasterOptions options{.shortcuts = shortcuts, .painting = vokri::Painting::plain};
        ASSERT_EQ(render_with(s, w, h, rgba, options, plain), vokri::Error::None);
        ASSERT_EQ(fast, plain) << "trial " << trial << (shortcuts ? ", plain painter" : ", plain definition");
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
        expect_plain_bytes(s, 40, 30, trial);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Rows crossed by many small outlines side by side, as lines of text are:
// rows of many short runs, painted pixel by pixel from their coverage.
TEST(Shortcuts, PaintAsThePlainDefinitionOnRowsOfManySmallOutlines) {
    std::mt19937 rng(4242);
    std::uniform_real_distribution<double> jitter(-3, 3), size(0.5, 4);
    std::uniform_int_distribution<int> count(20, 120), coin(0, 1);
    std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFFFFu);
    for (int trial = 0; trial < 200; ++trial) {
        RandomOutlines o;
        o.segments.resize(1);
        o.ends.resize(1);
        o.closed.resize(1);
        const int n = count(rng);
        for (int i = 0; i < n; ++i) {  // centres from beyond the left side to beyond the right one
            const double cx = -90 + 180.0 * i / n + jitter(rng), cy = jitter(rng), r = size(rng);
            for (int piece = 0; piece < 2; ++piece) {
                const double a = piece * 3.14159, b = a + 3.14159;
                o.segments[0].push_back({cx + r * std::cos(a), cy + r * std::sin(a), cx + jitter(rng), cy + r + jitter(rng),
                                         cx + jitter(rng), cy - r + jitter(rng), cx + r * std::cos(b), cy + r * std::sin(b)});
            }
            o.segments[0].back().x3 = o.segments[0][o.segments[0].size() - 2].x0;
            o.segments[0].back().y3 = o.segments[0][o.segments[0].size() - 2].y0;
            o.ends[0].push_back(static_cast<uint32_t>(o.segments[0].size()));
            o.closed[0].push_back(1);
        }
        VokriVectorShape v{};
        v.segment_count = static_cast<uint32_t>(o.segments[0].size());
        v.segments = o.segments[0].data();
        v.subpath_count = static_cast<uint32_t>(o.ends[0].size());
        v.subpath_ends = o.ends[0].data();
        v.subpath_closed = o.closed[0].data();
        v.fill_enabled = 1;
        v.fill_color = colour(rng) | (coin(rng) ? 0xFFu : 0x80u);
        o.shapes.push_back(v);
        VokriVectorRecord r{};
        r.shape_count = 1;
        r.shapes = o.shapes.data();
        r.progress = 1;
        r.opacity = 1;
        r.transform[0] = r.transform[3] = 1;
        vt::TestScene s;
        s.add(r);
        expect_plain_bytes(s, 160, 12, trial);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

namespace {

// Polygons of 3 to 12 points, circles, stroked polylines and axis-aligned
// rectangles (some mirrored, some turned a quarter) over a canvas wider than 255 pixels, opaque and
// translucent, overlapping.
VokriShapeRecord random_shape(std::mt19937& rng, std::vector<std::vector<double>>& points) {
    std::uniform_real_distribution<double> x(-200, 200), y(-120, 120), size(0.3, 90), unit(-1, 1);
    std::uniform_int_distribution<int> kind(0, 3), count(3, 12), coin(0, 1);
    std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFFFFu);
    VokriShapeRecord r{};
    r.transform[0] = r.transform[3] = 1;
    r.transform[4] = x(rng);
    r.transform[5] = y(rng);
    r.opacity = coin(rng) ? 1.0 : 0.6;
    const uint32_t alpha_bits = coin(rng) ? 0xFFu : 0u;
    r.fill_color = colour(rng) | alpha_bits;
    r.stroke_color = colour(rng) | alpha_bits;
    r.stroke_width = size(rng) / 10;
    const double extent = size(rng);
    switch (kind(rng)) {
    case 3:
        r.shape_type = VOKRI_SHAPE_RECTANGLE;
        r.p0 = extent;
        r.p1 = size(rng);
        if (coin(rng)) {
            r.transform[0] = -1;
        } else if (coin(rng)) {  // corners in the order vertical edge first
            r.transform[0] = r.transform[3] = 0;
            r.transform[1] = 1;
            r.transform[2] = -1;
        }
        r.fill_enabled = 1;
        r.stroke_enabled = static_cast<uint32_t>(coin(rng) && coin(rng));
        return r;
    case 0:
        r.shape_type = VOKRI_SHAPE_CIRCLE;
        r.p0 = extent;
        r.fill_enabled = 1;
        r.stroke_enabled = static_cast<uint32_t>(coin(rng));
        return r;
    default: {
        auto& p = points.emplace_back();
        for (int i = count(rng); i > 0; --i) p.insert(p.end(), {extent * unit(rng), extent * unit(rng)});
        r.shape_type = coin(rng) ? VOKRI_SHAPE_POLYGON : VOKRI_SHAPE_POLYLINE;
        r.points = p.data();
        r.point_count = static_cast<uint32_t>(p.size() / 2);
        r.fill_enabled = r.shape_type == VOKRI_SHAPE_POLYGON;
        r.stroke_enabled = r.shape_type == VOKRI_SHAPE_POLYLINE || coin(rng);
        return r;
    }
    }
}

}  // namespace

TEST(Shortcuts, PaintAsThePlainDefinitionOnRandomShapeScenes) {
    std::mt19937 rng(2718);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::vector<double>> points;
        vt::TestScene s;
        for (int i = 1 + trial % 24; i > 0; --i) s.add(random_shape(rng, points));
        expect_plain_bytes(s, 400, 240, trial);
        if (::testing::Test::HasFatalFailure()) return;
    }
}
