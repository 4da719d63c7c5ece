// Vector items drawn through the exports: outlines equal to the shape items
// that build the same path, the staggered reveal and the stroke rule.
#include <gtest/gtest.h>

#include <vector>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "support/scene.h"

namespace {

using vt::TestScene;

constexpr double kK = 0.5522847498307936;

// The circle of radius r centred at (cx, cy) as the shape drawer builds it:
// four quarter arcs from (r, 0).
std::vector<VokriCubicSegment> circle(double cx, double cy, double r) {
    double k = kK * r;
    return {{cx + r, cy, cx + r, cy + k, cx + k, cy + r, cx, cy + r},
            {cx, cy + r, cx - k, cy + r, cx - r, cy + k, cx - r, cy},
            {cx - r, cy, cx - r, cy - k, cx - k, cy - r, cx, cy - r},
            {cx, cy - r, cx + k, cy - r, cx + r, cy - k, cx + r, cy}};
}

struct Shapes {
    std::vector<std::vector<VokriCubicSegment>> segs;
    std::vector<uint32_t> ends;
    uint8_t closed = 1;
    std::vector<VokriVectorShape> list;
    void add(std::vector<VokriCubicSegment> s, uint32_t fill, uint32_t order = 0) {
        segs.push_back(std::move(s));
        ends.reserve(64);
        ends.push_back(uint32_t(segs.back().size()));
        VokriVectorShape v{};
        v.segment_count = uint32_t(segs.back().size());
        v.segments = segs.back().data();
        v.subpath_count = 1;
        v.subpath_ends = &ends.back();
        v.subpath_closed = &closed;
        v.fill_enabled = 1;
        v.fill_color = fill;
        v.reveal_order = order;
        list.push_back(v);
    }
    VokriVectorRecord record() const {
        VokriVectorRecord r{};
        r.shape_count = uint32_t(list.size());
        r.shapes = list.data();
        r.transform[0] = 1;
        r.transform[3] = 1;
        r.opacity = 1;
        r.progress = 1;
        return r;
    }
};

VokriShapeRecord circle_shape(double cx, double cy, double r, uint32_t fill) {
    VokriShapeRecord c = vt::filled(vt::shape(VOKRI_SHAPE_CIRCLE), fill);
    c.p0 = r;
    c.transform[4] = cx;
    c.transform[5] = cy;
    return c;
}

void expect_same(const TestScene& a, const TestScene& b) {
    std::vector<uint32_t> pa, pb;
    ASSERT_EQ(a.rgba0(40, 32, 4, pa), 0);
    ASSERT_EQ(b.rgba0(40, 32, 4, pb), 0);
    EXPECT_EQ(pa, pb);
    bool painted = false;
    for (uint32_t p : pa) painted |= p != 0;
    EXPECT_TRUE(painted);
}

TEST(VectorItems, OutlinesEqualTheSameShapeItems) {
    Shapes v;
    v.add(circle(1, 0.5, 2), 0xFF8000C0u);
    v.add(circle(-1.5, -1, 1.25), 0x2080FFFFu);
    v.list[1].stroke_enabled = 1;
    v.list[1].stroke_color = 0xFFFFFFA0u;
    v.list[1].stroke_width = 0.25;
    TestScene a, b;
    a.add(v.record());
    b.add(circle_shape(1, 0.5, 2, 0xFF8000C0u));
    b.add(vt::stroked(circle_shape(-1.5, -1, 1.25, 0x2080FFFFu), 0xFFFFFFA0u, 0.25));
    expect_same(a, b);
}

TEST(VectorItems, RecordTransformAndOpacity) {
    // Transform translate (1, 0.5); opacity 0.5 on alpha 0xC0 = 96.
    Shapes v;
    v.add(circle(0, 0, 2), 0xFF8000C0u);
    VokriVectorRecord r = v.record();
    r.transform[4] = 1;
    r.transform[5] = 0.5;
    r.opacity = 0.5;
    TestScene a, b;
    a.add(r);
    b.add(circle_shape(1, 0.5, 2, 0xFF800060u));
    expect_same(a, b);
}

TEST(VectorItems, StaggeredReveal) {
    // Four shapes of orders 0..3, stagger 4. Progress 0.875: orders 0..2 fully
    // shown, order 3 at v = 3.5 - 3 = 0.5, half alpha.
    Shapes v;
    uint32_t colours[4] = {0xFF0000FFu, 0x00FF00FFu, 0x0000FFFFu, 0xFFFFFFFEu};
    double xs[4] = {-3, -1, 1, 3};
    for (uint32_t i = 0; i < 4; ++i) v.add(circle(xs[i], 0, 0.75), colours[i], i);
    VokriVectorRecord r = v.record();
    r.stagger_count = 4;
    r.progress = 0.875;
    TestScene a, b;
    a.add(r);
    for (uint32_t i = 0; i < 3; ++i) b.add(circle_shape(xs[i], 0, 0.75, colours[i]));
    b.add(circle_shape(xs[3], 0, 0.75, 0xFFFFFF7Fu));  // 254 · 0.5 = 127
    expect_same(a, b);
    // Progress 0.75: order 3 at v 0, skipped.
    a.vectors[0].progress = 0.75;
    b.shapes.pop_back();
    b.items.pop_back();
    expect_same(a, b);
    // Without a stagger every shape is shown whatever the progress.
    a.vectors[0].stagger_count = 0;
    a.vectors[0].progress = 0;
    b.add(circle_shape(xs[3], 0, 0.75, colours[3]));
    expect_same(a, b);
}

TEST(VectorItems, StrokeWidthZeroMeansNoStroke) {
    Shapes v;
    v.add(circle(0, 0, 2), 0xFF8000C0u);
    v.list[0].stroke_enabled = 1;
    v.list[0].stroke_color = 0xFFFFFFFFu;
    v.list[0].stroke_width = 0;
    TestScene a, b;
    a.add(v.record());
    b.add(circle_shape(0, 0, 2, 0xFF8000C0u));
    expect_same(a, b);
}

TEST(VectorItems, OpenFilledSubpathFailsInTheFill) {
    Shapes v;
    v.closed = 0;
    v.add(circle(0, 0, 2), 0xFF8000C0u);
    TestScene a;
    a.add(v.record());
    std::vector<uint32_t> px;
    vt::StderrCapture cap;
    EXPECT_EQ(a.rgba0(40, 32, 4, px), 1);
    EXPECT_EQ(cap.text(), "vokri scene rgba0 render error: PathNotClosed\n");
}

TEST(VectorItems, AllocationFailuresReportOutOfMemory) {
    Shapes v;
    v.add(circle(0, 0, 2), 0xFF8000C0u);
    v.add(circle(1, 1, 3), 0x00FF0080u);
    v.list[1].stroke_enabled = 1;
    v.list[1].stroke_color = 0xFFFFFFFFu;
    v.list[1].stroke_width = 0.5;
    TestScene a;
    a.add(v.record());
    std::vector<uint32_t> px;
    for (int64_t n = 1;; ++n) {
        ASSERT_LT(n, 10000);
        vokri::test_hooks::fail_allocations_after(n);
        vt::StderrCapture cap;
        int32_t rc = a.rgba0(40, 32, 4, px);
        std::string text = cap.text();
        vokri::test_hooks::fail_allocations_after(-1);
        if (rc == 0) break;
        ASSERT_EQ(text, "vokri scene rgba0 render error: OutOfMemory\n") << n;
    }
}

}  // namespace

TEST(Vector, ClosedCurveSubpathBesideTheCanvasKeepsItsClosingEdge) {
    // One closed cubic wholly left of the canvas, then a square at device
    // x 20..28, y 8..24: the cubic's own closing edge cancels its winding,
    // so only the square is painted.
    std::vector<VokriCubicSegment> segs = {{-20, 12, -28, 6, -28, -4, -20, -12},
                                           {4, 8, 12, 8, 12, 8, 12, 8},
                                           {12, 8, 12, -8, 12, -8, 12, -8},
                                           {12, -8, 4, -8, 4, -8, 4, -8},
                                           {4, -8, 4, 8, 4, 8, 4, 8}};
    const uint32_t ends[2] = {1, 5};
    const uint8_t closed[2] = {1, 1};
    Shapes sh;
    sh.add({}, 0xFF0000FFu);
    sh.list[0].segment_count = 5;
    sh.list[0].segments = segs.data();
    sh.list[0].subpath_count = 2;
    sh.list[0].subpath_ends = ends;
    sh.list[0].subpath_closed = closed;
    TestScene s;
    s.add(sh.record());
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(32, 32, 1, px), 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool in_square = x >= 20 && x < 28 && y >= 8 && y < 24;
            EXPECT_EQ(px[y * 32 + x], in_square ? 0x000000FFu : 0x0018110Eu) << x << "," << y;
        }
}
