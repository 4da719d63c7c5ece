// The stroker on a drawing state: pen sizes, joins, caps, closed subpaths,
// normalisation, matrix checks and allocation failure.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <limits>
#include <vector>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "support/draw_state.h"
#include "items/shapes/shape_geometry.h"
#include "raster/fill.h"
#include "raster/stroke.h"

using namespace vokri;

namespace {

struct Drawing {
    int w, h;
    std::vector<uint32_t> px;
    Allocator alloc;
    Surface surface;
    vt::DrawState ctx;

    Drawing(int width, int height)
        : w(width), h(height), px(static_cast<size_t>(width) * height, 0u),
          surface(Surface::wrap(px.data(), width, height, rgba32)), ctx(alloc, surface) {
        ctx.set_source_pixel(0xFFFFFFFFu);
    }
    ~Drawing() { ctx.release(); }

    uint32_t alpha(int x, int y) const { return px[static_cast<size_t>(y) * w + x] >> 24; }
    int painted() const {
        int n = 0;
        for (uint32_t p : px) n += p != 0;
        return n;
    }
    void clear() { std::fill(px.begin(), px.end(), 0u); }
};

// A right angle at (10, 10): from (2, 10) right, then up to (10, 2).
void right_angle(Drawing& c) {
    c.ctx.path.reset();
    ASSERT_EQ(c.ctx.path.move_to(2, 10), Error::None);
    ASSERT_EQ(c.ctx.path.line_to(10, 10), Error::None);
    ASSERT_EQ(c.ctx.path.line_to(10, 2), Error::None);
}

}  // namespace

TEST(Pen, VertexCounts) {
    Transform id;
    EXPECT_EQ(pen_vertex_count(id, 2.0, 0.1), 14u);  // ceil(2 pi / acos(0.9))
    EXPECT_EQ(pen_vertex_count(id, 2.0, 1.0), 4u);
    EXPECT_EQ(pen_vertex_count(id, 2.0, 4.0), 1u);
    EXPECT_EQ(pen_vertex_count(id, 4.0, 0.1), 20u);  // 19.8 -> 20
    // A y-flipping view of scale 1 keeps the radius; scale 2 doubles it.
    EXPECT_EQ(pen_vertex_count(Transform{1, 0, 0, -1, 5, 5}, 2.0, 0.1), 14u);
    EXPECT_EQ(pen_vertex_count(Transform{2, 0, 0, -2, 0, 0}, 1.0, 0.1), 14u);
    // Odd counts are rounded up to even.
    uint32_t n = pen_vertex_count(id, 3.0, 0.1);
    EXPECT_EQ(n % 2, 0u);
    // Huge or infinite pens are bounded.
    EXPECT_EQ(pen_vertex_count(id, 1e12, 0.1), kMaxPenVertices);
    EXPECT_EQ(pen_vertex_count(id, std::numeric_limits<double>::infinity(), 0.1), kMaxPenVertices);

    Allocator a;
    Buffer<PenVertex> pen(a);
    ASSERT_EQ(build_pen(id, 2.0, 0.1, pen), Error::None);
    ASSERT_EQ(pen.size(), 14u);
    EXPECT_EQ(pen[0].p, (Point{1, 0}));
    for (size_t k = 0; k < pen.size(); ++k) {
        EXPECT_NEAR(std::hypot(pen[k].p.x, pen[k].p.y), 1.0, 1e-15);
        const Point& next = pen[(k + 1) % pen.size()].p;
        EXPECT_EQ(pen[k].to_next, (Point{next.x - pen[k].p.x, next.y - pen[k].p.y}));
    }
    // Under a mirroring transform the vertices still run counter-clockwise.
    ASSERT_EQ(build_pen(Transform{1, 0, 0, -1, 0, 0}, 2.0, 0.1, pen), Error::None);
    EXPECT_GT(pen[0].to_next.x * pen[1].to_next.y - pen[0].to_next.y * pen[1].to_next.x, 0);
}

TEST(Stroke, MiterAndBevelByLimit) {
    Drawing c(16, 16);
    c.ctx.line_width = 4;
    c.ctx.line_join = join_miter;
    right_angle(c);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    // The miter fills the outer corner square up to (12, 12).
    EXPECT_EQ(c.alpha(11, 11), 255u);
    EXPECT_EQ(c.alpha(10, 11), 255u);
    EXPECT_EQ(c.alpha(11, 10), 255u);
    EXPECT_EQ(c.alpha(12, 12), 0u);

    // 1.4^2 * (1 + 0) = 1.96 < 2: beveled from (10, 12) to (12, 10).
    c.clear();
    c.ctx.miter_limit = 1.4;
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.alpha(11, 11), 0u);
    // Rows 11.125 .. 11.875 reach x = 22 - y rounded to quarters: 4 + 3 + 2 + 1.
    EXPECT_EQ(c.alpha(10, 11), 159u);
    EXPECT_EQ(c.alpha(11, 10), 159u);
    EXPECT_EQ(c.alpha(9, 9), 255u);  // the inner side is filled

    c.clear();
    c.ctx.line_join = join_bevel;
    c.ctx.miter_limit = 10;
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.alpha(11, 11), 0u);
    EXPECT_EQ(c.alpha(10, 11), 159u);
}

TEST(Stroke, RoundJoinLiesBetweenBevelAndMiter) {
    Drawing c(16, 16);
    c.ctx.line_width = 4;
    c.ctx.line_join = join_round;
    right_angle(c);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    uint32_t diag = c.alpha(11, 11), side = c.alpha(10, 11);
    EXPECT_GT(diag, 0u);
    EXPECT_LT(diag, 255u);
    EXPECT_GT(side, 159u);
    // The pen (20 vertices at multiples of 18 degrees) is symmetric about the diagonal.
    EXPECT_EQ(side, c.alpha(11, 10));
    // Butt caps: nothing beyond the ends.
    EXPECT_EQ(c.alpha(1, 10), 0u);
    EXPECT_EQ(c.alpha(2, 10), 255u);
    EXPECT_EQ(c.alpha(10, 1), 0u);
}

TEST(Stroke, ThinStrokesUseMiterJoins) {
    // Width 1 with the default round join: below 2.0 the join becomes a miter
    // of limit 10, so the corner quarter pixel of (9, 10) is covered.
    Drawing c(16, 16);
    c.ctx.line_width = 1;
    c.ctx.line_join = join_round;
    c.ctx.miter_limit = 1.0;  // ignored for thin strokes
    right_angle(c);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    // Bands y 9.5..10.5 and x 9.5..10.5; the miter reaches (10.5, 10.5).
    EXPECT_EQ(c.alpha(10, 10), 63u);   // quarter 10..10.5 x 10..10.5
    EXPECT_EQ(c.alpha(9, 10), 127u);   // lower half of the horizontal band
    EXPECT_EQ(c.alpha(10, 9), 127u);   // left half of the vertical band
    EXPECT_EQ(c.ctx.line_join, join_round);  // the context keeps its settings
    EXPECT_EQ(c.ctx.miter_limit, 1.0);
}

TEST(Stroke, ClosedSquareIsARing) {
    Drawing c(20, 20);
    c.ctx.line_width = 2;
    c.ctx.line_join = join_miter;
    Path& p = c.ctx.path;
    ASSERT_EQ(p.move_to(5, 5), Error::None);
    ASSERT_EQ(p.line_to(15, 5), Error::None);
    ASSERT_EQ(p.line_to(15, 15), Error::None);
    ASSERT_EQ(p.line_to(5, 15), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            bool outer = x >= 4 && x < 16 && y >= 4 && y < 16;
            bool inner = x >= 6 && x < 14 && y >= 6 && y < 14;
            EXPECT_EQ(c.alpha(x, y), outer && !inner ? 255u : 0u) << x << "," << y;
        }
    }
}

TEST(Stroke, DegenerateSubpaths) {
    Drawing c(8, 8);
    Path& p = c.ctx.path;
    ASSERT_EQ(p.move_to(3, 3), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.painted(), 0);
    // Two points and a close: one segment with butt caps.
    p.reset();
    c.ctx.line_width = 2;
    ASSERT_EQ(p.move_to(2, 4), Error::None);
    ASSERT_EQ(p.line_to(6, 4), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.alpha(2, 3), 255u);
    EXPECT_EQ(c.alpha(5, 4), 255u);
    EXPECT_EQ(c.alpha(1, 4), 0u);
    EXPECT_EQ(c.alpha(6, 4), 0u);
    EXPECT_EQ(c.alpha(3, 2), 0u);
}

TEST(Stroke, ZeroWidthIsOneTwoHundredFiftySixth) {
    // Width 0 (and NaN) is raised to 1/256: a band y = 4 +- 1/512 that no
    // sample line (y = 4.125, 4.375, ...) meets.
    Drawing c(8, 8);
    c.ctx.line_width = 0;
    Path& p = c.ctx.path;
    ASSERT_EQ(p.move_to(1, 4), Error::None);
    ASSERT_EQ(p.line_to(7, 4), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.painted(), 0);  // narrower than a sub-scanline step
    c.ctx.line_width = std::numeric_limits<double>::quiet_NaN();
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.painted(), 0);
}

TEST(Stroke, MatrixAndSourceChecks) {
    Drawing c(8, 8);
    c.ctx.set_transform(Transform{0, 0, 0, 1, 0, 0});
    EXPECT_EQ(stroke(c.ctx), Error::InvalidMatrix);  // empty path, singular matrix
    c.ctx.set_transform(Transform{1, 2, 2, 4, 0, 0});
    EXPECT_EQ(stroke(c.ctx), Error::InvalidMatrix);
    c.ctx.set_transform(Transform{std::numeric_limits<double>::infinity(), 0, 0, 1, 0, 0});
    EXPECT_EQ(stroke(c.ctx), Error::InvalidMatrix);
    c.ctx.set_transform(Transform{0, 1, 1, 0, 0, 0});
    EXPECT_EQ(stroke(c.ctx), Error::None);
    c.ctx.set_transform(Transform{0, 0, 0, 1, 0, 0});
    c.ctx.set_source_pixel(0x80FF0000u);  // blue 255 above alpha 128
    EXPECT_EQ(stroke(c.ctx), Error::PixelSourceNotPreMultiplied);
}

TEST(Stroke, SkewedTransformWidensAcrossTheMajorAxis) {
    // Under (2, 0, 0, 1) a vertical line of width 2 user units is 4 pixels wide.
    Drawing c(16, 16);
    c.ctx.set_transform(Transform{2, 0, 0, 1, 0, 0});
    c.ctx.line_width = 2;
    ASSERT_EQ(c.ctx.path.move_to(4, 2), Error::None);  // device x = 8
    ASSERT_EQ(c.ctx.path.line_to(4, 12), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.alpha(5, 6), 0u);
    for (int x = 6; x < 10; ++x) EXPECT_EQ(c.alpha(x, 6), 255u) << x;
    EXPECT_EQ(c.alpha(10, 6), 0u);
}

TEST(Stroke, CurvesAndHugeWidths) {
    Drawing c(16, 16);
    c.ctx.line_width = 2;
    ASSERT_EQ(c.ctx.path.move_to(2, 8), Error::None);
    ASSERT_EQ(c.ctx.path.curve_to(2, 2, 14, 2, 14, 8), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.alpha(8, 3), 255u);  // the top of the curve, y = 3.5
    EXPECT_EQ(c.alpha(8, 8), 0u);
    // A width beyond any Surface: a vertical band between the butt caps.
    c.clear();
    c.ctx.path.reset();
    c.ctx.line_width = 1e200;
    ASSERT_EQ(c.ctx.path.move_to(6, 8), Error::None);
    ASSERT_EQ(c.ctx.path.line_to(10, 8), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(c.alpha(5, y), 0u);
        EXPECT_EQ(c.alpha(6, y), 255u);
        EXPECT_EQ(c.alpha(9, y), 255u);
        EXPECT_EQ(c.alpha(10, y), 0u);
    }
    // An infinite width has no finite outline: nothing is painted.
    c.clear();
    c.ctx.line_width = std::numeric_limits<double>::infinity();
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.painted(), 0);
}

TEST(StrokeSegment, NothingForAlphaZeroOrNoWidth) {
    Drawing c(8, 8);
    EXPECT_EQ(stroke_segment(c.ctx.canvas, c.ctx.transform, 1, 4, 7, 4, 0x00FFFFFFu, 2), Error::None);
    EXPECT_EQ(stroke_segment(c.ctx.canvas, c.ctx.transform, 1, 4, 7, 4, 0xFFFFFFFFu, 0), Error::None);
    EXPECT_EQ(stroke_segment(c.ctx.canvas, c.ctx.transform, 1, 4, 7, 4, 0xFFFFFFFFu, -1), Error::None);
    EXPECT_EQ(c.painted(), 0);
    // Translucent red, width 2: premultiplied (128, 0, 0, 128) in rows 3 and 4.
    EXPECT_EQ(stroke_segment(c.ctx.canvas, c.ctx.transform, 1, 4, 7, 4, 0x800000FFu, 2), Error::None);
    EXPECT_EQ(c.px[3 * 8 + 1], 0x80000080u);
    EXPECT_EQ(c.px[4 * 8 + 6], 0x80000080u);
    EXPECT_EQ(c.px[5 * 8 + 3], 0u);
    EXPECT_EQ(c.px[3 * 8 + 7], 0u);
}

TEST(Stroke, OutOfMemoryAtEveryAllocation) {
    bool done = false;
    for (int64_t n = 1; n < 200 && !done; ++n) {
        Drawing c(24, 24);
        c.ctx.line_width = 3;
        Path& p = c.ctx.path;
        ASSERT_EQ(p.move_to(3, 3), Error::None);
        ASSERT_EQ(p.line_to(20, 4), Error::None);
        ASSERT_EQ(p.curve_to(22, 12, 12, 22, 4, 20), Error::None);
        ASSERT_EQ(p.close_path(), Error::None);
        ASSERT_EQ(p.move_to(8, 8), Error::None);
        ASSERT_EQ(p.line_to(16, 14), Error::None);
        vokri::test_hooks::fail_allocations_after(n);
        Error e = stroke(c.ctx);
        vokri::test_hooks::fail_allocations_after(-1);
        if (e == Error::None) {
            done = true;
            EXPECT_GT(c.painted(), 0);
        } else {
            ASSERT_EQ(e, Error::OutOfMemory) << n;
        }
    }
    EXPECT_TRUE(done);
}

TEST(Stroke, ReusedPenMatchesAFreshOne) {
    auto curve = [](Drawing& c, double width) {
        c.ctx.line_width = width;
        c.ctx.path.reset();
        ASSERT_EQ(c.ctx.path.move_to(3, 20), Error::None);
        ASSERT_EQ(c.ctx.path.curve_to(3, 3, 20, 3, 20, 20), Error::None);
        ASSERT_EQ(c.ctx.path.line_to(10, 12), Error::None);
        ASSERT_EQ(stroke(c.ctx), Error::None);
    };
    Drawing fresh(24, 24), reused(24, 24);
    curve(fresh, 5);
    curve(reused, 2.5);
    ASSERT_NE(reused.px, fresh.px);
    reused.clear();
    curve(reused, 5);  // the pen of width 2.5 must not be used again
    EXPECT_EQ(reused.px, fresh.px);
    reused.clear();
    curve(reused, 5);  // and the kept pen of width 5 gives the same pixels
    EXPECT_EQ(reused.px, fresh.px);
}

namespace {

// A random open or closed path of lines and curves with coordinates in
// [lo, hi], stroked under `t` with outline thinning on and off.
void check_thinning(std::mt19937& rng, double lo, double hi, const Transform& t, double width) {
    Drawing thin(24, 20), full(24, 20);
    full.ctx.cull_outlines = false;
    std::uniform_real_distribution<double> coord(lo, hi);
    std::uniform_int_distribution<int> npts(2, 9);
    const uint8_t join = static_cast<uint8_t>(rng() % 3);
    const bool closed = rng() % 2;
    double pts[9][6];
    const int n = npts(rng);
    for (auto& p : pts)
        for (double& v : p) v = coord(rng);
    for (Drawing* c : {&thin, &full}) {
        c->ctx.set_transform(t);
        c->ctx.line_width = width;
        c->ctx.line_join = join;
        ASSERT_EQ(c->ctx.path.move_to(pts[0][0], pts[0][1]), Error::None);
        for (int i = 1; i < n; ++i) {
            if (i % 3 == 2)
                ASSERT_EQ(c->ctx.path.curve_to(pts[i][0], pts[i][1], pts[i][2], pts[i][3], pts[i][4], pts[i][5]),
                          Error::None);
            else
                ASSERT_EQ(c->ctx.path.line_to(pts[i][0], pts[i][1]), Error::None);
        }
        if (closed) {
            ASSERT_EQ(c->ctx.path.close_path(), Error::None);
        }
        ASSERT_EQ(stroke(c->ctx), Error::None);
    }
    ASSERT_EQ(thin.px, full.px) << "join " << int(join) << " width " << width << " closed " << closed;
}

}  // namespace

// Outline points beyond the Surface are thinned out; the painted pixels stay
// those of the full outline, for wide and thin pens, near and far paths and
// skewed transforms.
TEST(Stroke, ThinnedOutlinesPaintLikeFullOnes) {
    std::mt19937 rng(2024);
    const Transform skew{1.5, 0.4, -0.3, 0.8, 3, -2};
    const double widths[] = {0.5, 3, 17, 60, 400};
    for (int trial = 0; trial < 150; ++trial) {
        const double w = widths[trial % 5];
        check_thinning(rng, -60, 84, Transform{}, w);
        check_thinning(rng, -300, 300, skew, w);
        check_thinning(rng, -1e7, 1e7, Transform{}, w * 1e4);
    }
}

// A pen far wider than anything on the Surface (beyond the pen vertex cap):
// the work stays bounded by the Path, and the Surface lies wholly inside or
// wholly outside the stroke.
TEST(Stroke, PensBeyondTheVertexCap) {
    // A circle of radius 1e15 pixels (1e6 user units at 1e9 pixels a unit)
    // stroked 1e15 pixels wide around the Surface: the Surface is in the hole
    // of the ring.
    Drawing c(32, 24);
    const Transform view{1e9, 0, 0, 1e9, 16, 12};
    ASSERT_TRUE(pen_is_capped(view, 1e6, 0.1));
    EXPECT_FALSE(pen_is_capped(Transform{}, 2e6, 0.1));
    c.ctx.set_transform(view);
    const double r = 1e6, k = 0.5522847498307936 * r;
    c.ctx.line_width = r;
    ASSERT_EQ(c.ctx.path.move_to(r, 0), Error::None);
    ASSERT_EQ(c.ctx.path.curve_to(r, k, k, r, 0, r), Error::None);
    ASSERT_EQ(c.ctx.path.curve_to(-k, r, -r, k, -r, 0), Error::None);
    ASSERT_EQ(c.ctx.path.curve_to(-r, -k, -k, -r, 0, -r), Error::None);
    ASSERT_EQ(c.ctx.path.curve_to(k, -r, r, -k, r, 0), Error::None);
    ASSERT_EQ(c.ctx.path.close_path(), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    EXPECT_EQ(c.painted(), 0);
    // Three times as wide: the ring covers its centre, and every pixel.
    c.ctx.line_width = 3 * r;
    ASSERT_EQ(stroke(c.ctx), Error::None);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(c.alpha(x, y), 255u) << x << "," << y;
    // A zig-zag polyline with reversals, each a half turn of the full pen.
    c.clear();
    c.ctx.path.reset();
    c.ctx.set_transform(Transform{});
    c.ctx.line_width = 1e30;
    ASSERT_EQ(c.ctx.path.move_to(-1e6, 12), Error::None);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(c.ctx.path.line_to(i % 2 ? -1e6 : 1e6, 12 + (i % 7)), Error::None);
    ASSERT_EQ(stroke(c.ctx), Error::None);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(c.alpha(x, y), 255u) << x << "," << y;
}
