// Edge lists, closure checks and curve flattening.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "raster/edge_list.h"
#include "support/draw_state.h"

using namespace vokri;

namespace {
struct Fx {
    Allocator alloc;
    uint32_t px[1] = {};
    Surface surface = Surface::wrap(px, 1, 1, rgba32);
    vt::DrawState ctx{alloc, surface};
    EdgeList list{alloc};
};
}  // namespace

TEST(EdgeList, HorizontalSegmentsAddNothing) {
    Fx f;
    ASSERT_EQ(add_edge(f.list, {0, 2}, {10, 2}), Error::None);
    EXPECT_TRUE(f.list.empty());
    ASSERT_EQ(add_edge(f.list, {0, std::nan("")}, {10, 2}), Error::None);
    EXPECT_TRUE(f.list.empty());
    ASSERT_EQ(add_edge(f.list, {1, 1}, {3, 2}), Error::None);
    ASSERT_EQ(add_edge(f.list, {-50, 9}, {90, 9}), Error::None);  // does not widen
    EXPECT_EQ(f.list.x_min, 4.0);
    EXPECT_EQ(f.list.x_max, 12.0);
    EXPECT_EQ(f.list.y_min, 4.0);
    EXPECT_EQ(f.list.y_max, 8.0);
}

TEST(EdgeList, EdgeFieldsAndDirection) {
    Fx f;
    ASSERT_EQ(add_edge(f.list, {3, 4}, {1, 2}), Error::None);  // upward
    const Edge& e = f.list.edges[0];
    EXPECT_EQ(e.y_first, 16.0);
    EXPECT_EQ(e.y_last, 8.0);
    EXPECT_EQ(e.x_top, 4.0);
    EXPECT_EQ(e.dxdy, 1.0);
    EXPECT_FALSE(f.list.non_finite);
    ASSERT_EQ(add_edge(f.list, {HUGE_VAL, 0}, {1, 2}), Error::None);
    EXPECT_TRUE(f.list.non_finite);
}

TEST(EdgeList, SquareGivesTwoVerticalEdges) {
    Fx f;
    Path& p = f.ctx.path;
    ASSERT_EQ(p.move_to(0, 0), Error::None);
    ASSERT_EQ(p.line_to(10, 0), Error::None);
    ASSERT_EQ(p.line_to(10, 10), Error::None);
    ASSERT_EQ(p.line_to(0, 10), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(build_edge_list(p, 0.1, 4.0, f.list), Error::None);
    ASSERT_EQ(f.list.edges.size(), 2u);
    EXPECT_EQ(f.list.x_min, 0.0);
    EXPECT_EQ(f.list.x_max, 40.0);
    EXPECT_EQ(f.list.y_min, 0.0);
    EXPECT_EQ(f.list.y_max, 40.0);
}

TEST(EdgeList, RepeatedPointTriangleHasNoClosingEdge) {
    Fx f;
    Path& p = f.ctx.path;
    ASSERT_EQ(p.move_to(0, 0), Error::None);
    ASSERT_EQ(p.line_to(5, 5), Error::None);
    ASSERT_EQ(p.line_to(5, 5), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(build_edge_list(p, 0.1, 4.0, f.list), Error::None);
    EXPECT_EQ(f.list.edges.size(), 1u);
}

TEST(EdgeList, SegmentBeforeMoveIsInvalidState) {
    Fx f;
    ASSERT_EQ(f.ctx.path.nodes.push_back(PathNode{{1, 1}, {}, {}, node_curve_to}), Error::None);
    EXPECT_EQ(build_edge_list(f.ctx.path, 0.1, 4.0, f.list), Error::InvalidState);
}

TEST(EdgeList, CheckClosed) {
    Fx f;
    Path& p = f.ctx.path;
    EXPECT_EQ(check_closed(p), Error::None);
    ASSERT_EQ(p.move_to(0, 0), Error::None);
    EXPECT_EQ(check_closed(p), Error::PathNotClosed);
    ASSERT_EQ(p.move_to(1, 0), Error::None);
    EXPECT_EQ(check_closed(p), Error::PathNotClosed);
    p.reset();
    ASSERT_EQ(p.move_to(0, 0), Error::None);
    ASSERT_EQ(p.line_to(1, 0), Error::None);
    ASSERT_EQ(p.line_to(1, 1), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    EXPECT_EQ(check_closed(p), Error::None);
    ASSERT_EQ(p.line_to(5, 5), Error::None);
    EXPECT_EQ(check_closed(p), Error::PathNotClosed);
}

TEST(Flatten, DegenerateCurveEmitsOnlyItsEnd) {
    std::vector<Point> out;
    auto emit = [&](Point q) {
        out.push_back(q);
        return Error::None;
    };
    ASSERT_EQ(flatten_curve({0, 0}, {0, 0}, {5, 5}, {5, 5}, 0.1, emit), Error::None);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], (Point{5, 5}));
}

TEST(Flatten, PointsStayWithinTolerance) {
    std::vector<Point> out;
    auto emit = [&](Point q) {
        out.push_back(q);
        return Error::None;
    };
    const double k = 0.5522847498307936 * 100;
    ASSERT_EQ(flatten_curve({100, 0}, {100, k}, {k, 100}, {0, 100}, 0.1, emit), Error::None);
    ASSERT_GT(out.size(), 8u);
    EXPECT_EQ(out.back(), (Point{0, 100}));
    for (const Point& q : out) EXPECT_NEAR(std::hypot(q.x, q.y), 100.0, 0.1);
    // An emit error stops the flattening.
    int calls = 0;
    auto failing = [&](Point) { return ++calls == 3 ? Error::OutOfMemory : Error::None; };
    EXPECT_EQ(flatten_curve({100, 0}, {100, k}, {k, 100}, {0, 100}, 0.1, failing), Error::OutOfMemory);
    EXPECT_EQ(calls, 3);
}

TEST(Flatten, ZeroToleranceStillEnds) {
    Fx f;
    Path& p = f.ctx.path;
    ASSERT_EQ(p.move_to(0, 0), Error::None);
    ASSERT_EQ(p.curve_to(0, 10, 10, 10, 10, 0), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(build_edge_list(p, 0.0, 4.0, f.list), Error::None);
    EXPECT_GT(f.list.edges.size(), 16u);
    EXPECT_LT(f.list.edges.size(), 4096u);
}

TEST(Flatten, NonFiniteCurveIsItsChord) {
    std::vector<Point> out;
    auto emit = [&](Point q) {
        out.push_back(q);
        return Error::None;
    };
    ASSERT_EQ(flatten_curve({0, 0}, {std::nan(""), 1}, {2, 2}, {3, 0}, 0.1, emit), Error::None);
    ASSERT_EQ(out.size(), 1u);
    out.clear();
    ASSERT_EQ(flatten_curve({0, 0}, {1, 1}, {2, HUGE_VAL}, {3, 0}, 0.1, emit), Error::None);
    ASSERT_EQ(out.size(), 1u);
}

TEST(Flatten, DepthIsBounded) {
    // A finite curve far beyond any Surface, with no window: the halving
    // depth bound keeps the point count finite.
    size_t count = 0;
    auto emit = [&](Point) {
        ++count;
        return Error::None;
    };
    ASSERT_EQ(flatten_curve({0, 0}, {0, 1e300}, {1e300, 1e300}, {1e300, 0}, 0.1, emit,
                            FlattenWindow{0, 0, 100, 100}),
              Error::None);
    EXPECT_LT(count, 100000u);
}

// A closed subpath of one curve wholly beside the window becomes its chord,
// yet keeps its closing edge as plain flattening would give it (the curve
// flattens into many points), and is not taken for a two-point outline.
TEST(EdgeList, ChordOfAClosedCurveBesideTheWindowKeepsItsClosingEdge) {
    Fx f;
    ASSERT_EQ(f.ctx.path.move_to(-1e6, 0), Error::None);
    ASSERT_EQ(f.ctx.path.curve_to(-3e6, 1e6, -3e6, 2e6, -1e6, 3e6), Error::None);
    ASSERT_EQ(f.ctx.path.close_path(), Error::None);
    FlattenWindow window{0, 0, 1, 1};
    ASSERT_EQ(build_edge_list(f.ctx.path, 0.1, 4.0, f.list, window), Error::None);
    EXPECT_EQ(f.list.edges.size(), 2u);
    EXPECT_FALSE(f.list.open_contour);
}

// The flatness test takes both control points at once; it must give the
// bits of the two scalar measures, on random pieces whose chords are short,
// long, empty (d == a), reached or passed by a control point (u >= v) or
// overflowing.
TEST(Flatten, FlatErrorKeepsTheBitsOfTheScalarMeasures) {
    std::mt19937_64 rng(31337);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> exponent(-30, 30), pick(0, 5);
    const auto coordinate = [&] {
        switch (pick(rng)) {
            case 0: return 0.0;
            case 1: return std::ldexp(unit(rng), 1020);  // sums of these overflow
            default: return std::ldexp(unit(rng), exponent(rng));
        }
    };
    const auto same = [](double x, double y) { return (std::isnan(x) && std::isnan(y)) || std::memcmp(&x, &y, 8) == 0; };
    for (int i = 0; i < 200000; ++i) {
        const Point a{coordinate(), coordinate()};
        const Point d = pick(rng) == 0 ? a : Point{coordinate(), coordinate()};
        const int kind = pick(rng);
        const Point b = kind == 0 ? Point{d.x + (d.x - a.x), d.y + (d.y - a.y)}
                        : kind == 1 ? d  // u == v
                                    : Point{coordinate(), coordinate()};
        const Point c{coordinate(), coordinate()};
        const double eb = detail::control_error(a, b, d), ec = detail::control_error(a, c, d);
        const double scalar = ec > eb ? ec : eb;
        ASSERT_TRUE(same(detail::flat_error(a, b, c, d), scalar)) << i;
    }
}
