// Path operations: clamping, transform, duplicate moves, close_path.
#include <gtest/gtest.h>

#include <cmath>

#include "common/test_hooks.h"
#include "support/draw_state.h"

using namespace vokri;

namespace {
struct Fixture {
    Allocator alloc;
    uint32_t px[4] = {};
    Surface surface = Surface::wrap(px, 2, 2, rgba32);
    vt::DrawState ctx{alloc, surface};
};
}  // namespace

TEST(DrawContext, Defaults) {
    Fixture f;
    EXPECT_EQ(f.ctx.source.payload, 0xFF000000u);
    EXPECT_EQ(f.ctx.line_width, 2.0);
    EXPECT_EQ(f.ctx.miter_limit, 10.0);
    EXPECT_EQ(f.ctx.tolerance, 0.1);
    EXPECT_EQ(f.ctx.fill_rule, fill_non_zero);
    EXPECT_EQ(f.ctx.line_join, join_round);
    EXPECT_EQ(f.ctx.transform.xx, 1.0);
    EXPECT_TRUE(f.ctx.path.nodes.empty());
}

TEST(Path, MoveToDeduplicatesOnlyIdenticalPoints) {
    Fixture f;
    Path& p = f.ctx.path;
    ASSERT_EQ(p.move_to(1, 2), Error::None);
    ASSERT_EQ(p.move_to(1, 2), Error::None);
    EXPECT_EQ(p.nodes.size(), 1u);
    ASSERT_EQ(p.move_to(3, 4), Error::None);
    EXPECT_EQ(p.nodes.size(), 2u);
    EXPECT_EQ(p.nodes[1].kind, node_move_to);
    EXPECT_EQ(p.initial_point, (Point{3, 4}));
}

TEST(Path, LineToWithoutCurrentPointMoves) {
    Fixture f;
    Path& p = f.ctx.path;
    ASSERT_EQ(p.line_to(5, 6), Error::None);
    ASSERT_EQ(p.nodes.size(), 1u);
    EXPECT_EQ(p.nodes[0].kind, node_move_to);
    ASSERT_EQ(p.line_to(7, 8), Error::None);
    EXPECT_EQ(p.nodes[1].kind, node_line_to);
    EXPECT_EQ(p.current_point, (Point{7, 8}));
    EXPECT_EQ(p.initial_point, (Point{5, 6}));
}

TEST(Path, CurveToNeedsCurrentPoint) {
    Fixture f;
    Path& p = f.ctx.path;
    EXPECT_EQ(p.curve_to(1, 1, 2, 2, 3, 3), Error::NoCurrentPoint);
    EXPECT_TRUE(p.nodes.empty());
    ASSERT_EQ(p.move_to(0, 0), Error::None);
    ASSERT_EQ(p.curve_to(1, 1, 2, 2, 3, 3), Error::None);
    EXPECT_EQ(p.nodes[1].kind, node_curve_to);
    EXPECT_EQ(p.nodes[1].p3, (Point{3, 3}));
    EXPECT_EQ(p.current_point, (Point{3, 3}));
}

TEST(Path, ClosePathAppendsCloseAndMoveToStart) {
    Fixture f;
    Path& p = f.ctx.path;
    ASSERT_EQ(p.close_path(), Error::None);
    EXPECT_TRUE(p.nodes.empty());
    ASSERT_EQ(p.move_to(1, 1), Error::None);
    ASSERT_EQ(p.line_to(4, 1), Error::None);
    ASSERT_EQ(p.close_path(), Error::None);
    ASSERT_EQ(p.nodes.size(), 4u);
    EXPECT_EQ(p.nodes[2].kind, node_close_path);
    EXPECT_EQ(p.nodes[3].kind, node_move_to);
    EXPECT_EQ(p.nodes[3].p1, (Point{1, 1}));
    EXPECT_EQ(p.current_point, (Point{4, 1}));  // left as it was
}

TEST(Path, CoordinatesClampBeforeTheTransform) {
    Fixture f;
    f.ctx.set_transform(Transform{2, 0, 0, -2, 10, 20});
    Path& p = f.ctx.path;
    ASSERT_EQ(p.move_to(1e30, -1e30), Error::None);
    EXPECT_EQ(p.nodes[0].p1.x, 2 * 8388607.0 + 10);
    EXPECT_EQ(p.nodes[0].p1.y, -2 * -8388608.0 + 20);
    ASSERT_EQ(p.line_to(std::nan(""), 3), Error::None);
    EXPECT_EQ(p.nodes[1].p1.x, 2 * 8388607.0 + 10);
    EXPECT_EQ(p.nodes[1].p1.y, -6 + 20);
}

TEST(Path, ResetKeepsStorage) {
    Fixture f;
    Path& p = f.ctx.path;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p.line_to(i, i), Error::None);
    size_t cap = p.nodes.capacity();
    p.reset();
    EXPECT_TRUE(p.nodes.empty());
    EXPECT_FALSE(p.has_current_point);
    EXPECT_EQ(p.nodes.capacity(), cap);
}

TEST(Path, AllocationFailureLeavesPathUnchanged) {
    Fixture f;
    Path& p = f.ctx.path;
    vokri::test_hooks::fail_allocations_after(1);
    EXPECT_EQ(p.move_to(1, 1), Error::OutOfMemory);
    vokri::test_hooks::fail_allocations_after(-1);
    EXPECT_TRUE(p.nodes.empty());
    EXPECT_FALSE(p.has_current_point);
}

TEST(DrawContext, SourceColourAndPremultiplyCheck) {
    Fixture f;
    f.ctx.set_source_colour(0x80FF6432u, 0.5);  // bytes R=0x32, G=0x64, B=0xFF, A=0x80
    uint32_t a = 64;
    EXPECT_EQ(f.ctx.source.payload, (0x32u * a / 255) | (0x64u * a / 255) << 8 | (0xFFu * a / 255) << 16 | a << 24);
    EXPECT_EQ(check_source(f.ctx.source), Error::None);
    EXPECT_EQ(check_source(Pixel{0x10200000u | 0x30u, rgba32}), Error::PixelSourceNotPreMultiplied);
    EXPECT_EQ(check_source(Pixel{0x00FFFFFFu, rgba32}), Error::None);  // alpha 0 is not tested
    EXPECT_EQ(scene_to_rgba(0x11223344u), 0x44332211u);
}
