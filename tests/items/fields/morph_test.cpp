// Morph items through the exports: the interpolated outline paints what a
// vector item with the same cubic pieces paints; topology and builder
// errors; working memory.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "items/fields/morph_outline.h"
#include "support/scene.h"

namespace {

using vt::TestScene;

VokriShapeRecord with_paint(VokriShapeRecord r) {
    r = vt::filled(r, 0x3080E0FFu);
    return vt::stroked(r, 0xFFFFFFC0u, 0.25);
}

VokriShapeRecord circle(double r) {
    VokriShapeRecord c = with_paint(vt::shape(VOKRI_SHAPE_CIRCLE));
    c.p0 = r;
    return c;
}

VokriShapeRecord square(double a) {
    VokriShapeRecord c = with_paint(vt::shape(VOKRI_SHAPE_SQUARE));
    c.p0 = a;
    return c;
}

VokriMorphRecord morph(const VokriShapeRecord& a, const VokriShapeRecord& b, double t) {
    return VokriMorphRecord{a, b, t};
}

// A vector item with the given pieces, one subpath, the given paint.
struct VectorOf {
    std::vector<VokriCubicSegment> segs;
    uint32_t end;
    uint8_t closed;
    VokriVectorShape shape{};
    VokriVectorRecord rec{};
    VectorOf(const VokriCubicSegment* s, uint32_t n, bool closed_, uint32_t fill, bool has_fill, uint32_t stroke,
             double width)
        : segs(s, s + n), end(n), closed(closed_) {
        shape.segment_count = n;
        shape.segments = segs.data();
        shape.subpath_count = 1;
        shape.subpath_ends = &end;
        shape.subpath_closed = &closed;
        shape.fill_enabled = has_fill;
        shape.fill_color = fill;
        shape.stroke_enabled = 1;
        shape.stroke_color = stroke;
        shape.stroke_width = width;
        rec.shape_count = 1;
        rec.shapes = &shape;
        rec.transform[0] = rec.transform[3] = 1;
        rec.opacity = 1;
        rec.progress = 1;
    }
};

// Outline of a record through the library's own builder form.
std::vector<VokriCubicSegment> outline(uint8_t tag, std::initializer_list<double> params, uint32_t n = 8,
                                       const std::vector<vokri::Point>* pts = nullptr) {
    vokri::ShapeGeometry g;
    g.tag = tag;
    int i = 0;
    for (double p : params) g.params[i++] = p;
    if (pts) {
        g.points = pts->data();
        g.point_count = uint32_t(pts->size());
    }
    std::vector<VokriCubicSegment> s(n);
    vokri::morph_outline(g, n, s.data());
    return s;
}

void expect_same(const TestScene& a, const TestScene& b) {
    std::vector<uint32_t> pa, pb;
    ASSERT_EQ(a.rgba0(48, 40, 4, pa), 0);
    ASSERT_EQ(b.rgba0(48, 40, 4, pb), 0);
    EXPECT_EQ(pa, pb);
    bool painted = false;
    for (uint32_t p : pa) painted |= p != 0;
    EXPECT_TRUE(painted);
}

TEST(MorphItems, EndsDrawTheTwoOutlinesAndTIsClamped) {
    auto c = outline(VOKRI_SHAPE_CIRCLE, {3});
    auto q = outline(VOKRI_SHAPE_SQUARE, {4});
    VectorOf vc(c.data(), 8, true, 0x3080E0FFu, true, 0xFFFFFFC0u, 0.25);
    VectorOf vq(q.data(), 8, true, 0x3080E0FFu, true, 0xFFFFFFC0u, 0.25);
    for (double t : {0.0, -3.0}) {
        TestScene m, v;
        m.add(morph(circle(3), square(4), t));
        v.add(vc.rec);
        expect_same(m, v);
    }
    for (double t : {1.0, 5.0, std::numeric_limits<double>::quiet_NaN()}) {
        TestScene m, v;
        m.add(morph(circle(3), square(4), t));
        v.add(vq.rec);
        expect_same(m, v);
    }
}

TEST(MorphItems, HalfwayIsTheRoundedSquareWithBlendedPaintAndTransform) {
    // Circle r 3 at (0, 0) into square 4 translated by (2, -1) with another
    // fill and a wider stroke; at t 0.5 every value is the midpoint.
    VokriShapeRecord a = circle(3), b = square(4);
    b.fill_color = 0x10F020FFu;
    b.stroke_width = 0.75;
    b.transform[4] = 2;
    b.transform[5] = -1;
    auto c = outline(VOKRI_SHAPE_CIRCLE, {3});
    auto q = outline(VOKRI_SHAPE_SQUARE, {4});
    std::vector<VokriCubicSegment> mid(8);
    for (int i = 0; i < 8; ++i) {
        const double* pa = &c[i].x0;
        const double* pb = &q[i].x0;
        double* pm = &mid[i].x0;
        for (int k = 0; k < 8; ++k) pm[k] = pa[k] + 0.5 * (pb[k] - pa[k]) + (k % 2 ? -0.5 : 1.0);
    }
    // Fill bytes: 0x30→0x10 = 0x20, 0x80→0xF0 = 0xB8, 0xE0→0x20 = 0x80.
    VectorOf v(mid.data(), 8, true, 0x20B880FFu, true, 0xFFFFFFC0u, 0.5);
    TestScene m, w;
    m.add(morph(a, b, 0.5));
    w.add(v.rec);
    expect_same(m, w);
}

TEST(MorphItems, FillFadesOutWithTheColourKept) {
    VokriShapeRecord a = circle(3), b = square(4);
    b.fill_enabled = 0;
    auto c = outline(VOKRI_SHAPE_CIRCLE, {3});
    auto q = outline(VOKRI_SHAPE_SQUARE, {4});
    std::vector<VokriCubicSegment> s(8);
    for (int i = 0; i < 8; ++i) {
        const double* pa = &c[i].x0;
        const double* pb = &q[i].x0;
        double* ps = &s[i].x0;
        for (int k = 0; k < 8; ++k) ps[k] = pa[k] + 0.25 * (pb[k] - pa[k]);
    }
    VectorOf v(s.data(), 8, true, 0x3080E0BFu, true, 0xFFFFFFC0u, 0.25);  // 0.75 · 255 = 191.25 → 191
    TestScene m, w;
    m.add(morph(a, b, 0.25));
    w.add(v.rec);
    expect_same(m, w);
}

VokriShapeRecord polyline(const std::vector<double>& xy) {
    VokriShapeRecord p = vt::stroked(vt::shape(VOKRI_SHAPE_POLYLINE), 0xFFFFFFFFu, 0.25);
    p.points = xy.data();
    p.point_count = uint32_t(xy.size() / 2);
    return p;
}

std::vector<double> zigzag(int n, double y0) {
    std::vector<double> xy;
    for (int i = 0; i < n; ++i) {
        xy.push_back(-4 + 8.0 * i / (n - 1));
        xy.push_back(y0 + (i % 2 ? 1 : -1));
    }
    return xy;
}

std::vector<vokri::Point> as_points(const std::vector<double>& xy) {
    std::vector<vokri::Point> p;
    for (size_t i = 0; i + 1 < xy.size(); i += 2) p.push_back({xy[i], xy[i + 1]});
    return p;
}

TEST(MorphItems, PolylinesOfThreeAndTwelvePointsUseElevenPieces) {
    std::vector<double> a = zigzag(3, 2), b = zigzag(12, -2);
    auto pa = as_points(a), pb = as_points(b);
    auto sa = outline(VOKRI_SHAPE_POLYLINE, {}, 11, &pa);
    auto sb = outline(VOKRI_SHAPE_POLYLINE, {}, 11, &pb);
    std::vector<VokriCubicSegment> s(11);
    for (int i = 0; i < 11; ++i) {
        const double* x = &sa[i].x0;
        const double* y = &sb[i].x0;
        double* o = &s[i].x0;
        for (int k = 0; k < 8; ++k) o[k] = x[k] + 0.5 * (y[k] - x[k]);
    }
    VectorOf v(s.data(), 11, false, 0, false, 0xFFFFFFFFu, 0.25);
    TestScene m, w;
    m.add(morph(polyline(a), polyline(b), 0.5));
    w.add(v.rec);
    expect_same(m, w);
    // Two allocations for the copied point lists, three for the working lists.
    std::vector<uint32_t> px;
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(w.rgba0(48, 40, 4, px), 0);
    uint64_t vector_allocs = vokri::test_hooks::allocation_count();
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(m.rgba0(48, 40, 4, px), 0);
    EXPECT_EQ(vokri::test_hooks::allocation_count(), vector_allocs + 5);
}

TEST(MorphItems, LineIntoTwentyPointPolylineUsesEightPieces) {
    std::vector<double> b = zigzag(20, 0);
    auto pb = as_points(b);
    VokriShapeRecord line = vt::stroked(vt::shape(VOKRI_SHAPE_LINE), 0xFFFFFFFFu, 0.25);
    line.p0 = -4;
    line.p1 = -3;
    line.p2 = 4;
    line.p3 = -3;
    auto sa = outline(VOKRI_SHAPE_LINE, {-4, -3, 4, -3});
    auto sb = outline(VOKRI_SHAPE_POLYLINE, {}, 8, &pb);
    std::vector<VokriCubicSegment> s(8);
    for (int i = 0; i < 8; ++i) {
        const double* x = &sa[i].x0;
        const double* y = &sb[i].x0;
        double* o = &s[i].x0;
        for (int k = 0; k < 8; ++k) o[k] = x[k] + 0.5 * (y[k] - x[k]);
    }
    VectorOf v(s.data(), 8, false, 0, false, 0xFFFFFFFFu, 0.25);
    TestScene m, w;
    m.add(morph(line, polyline(b), 0.5));
    w.add(v.rec);
    expect_same(m, w);
    // Only the builder's copy of the 20 points is allocated by the morph.
    std::vector<uint32_t> px;
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(w.rgba0(48, 40, 4, px), 0);
    uint64_t vector_allocs = vokri::test_hooks::allocation_count();
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(m.rgba0(48, 40, 4, px), 0);
    EXPECT_EQ(vokri::test_hooks::allocation_count(), vector_allocs + 1);
}

TEST(MorphItems, ClosedShapesAllocateNothingBeyondTheDrawing) {
    auto c = outline(VOKRI_SHAPE_CIRCLE, {3});
    VectorOf v(c.data(), 8, true, 0x3080E0FFu, true, 0xFFFFFFC0u, 0.25);
    TestScene m, w;
    m.add(morph(circle(3), square(4), 0));
    w.add(v.rec);
    std::vector<uint32_t> px;
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(w.rgba0(48, 40, 4, px), 0);
    uint64_t vector_allocs = vokri::test_hooks::allocation_count();
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(m.rgba0(48, 40, 4, px), 0);
    EXPECT_EQ(vokri::test_hooks::allocation_count(), vector_allocs);
}

std::string error_of(const VokriMorphRecord& r) {
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    vt::StderrCapture cap;
    int32_t rc = s.rgba0(16, 16, 2, px);
    std::string text = cap.text();
    return rc == 0 ? "" : text;
}

VokriShapeRecord of_type(uint32_t type) {
    static const std::vector<double> pts = {0, 0, 1, 0, 1, 1, 0, 1};
    VokriShapeRecord r = with_paint(vt::shape(type));
    r.p0 = 2;
    r.p1 = 1;
    r.p2 = 1.5;
    r.p3 = 1;
    r.p4 = 2;
    r.p5 = 0;
    r.p6 = 3;
    r.p7 = 1;
    if (type == VOKRI_SHAPE_REGULAR_POLYGON) {
        r.p0 = 5;
        r.p1 = 2;
    }
    r.points = pts.data();
    r.point_count = 4;
    return r;
}

TEST(MorphItems, OpenIntoOpenClosedIntoClosedOtherwiseTopologyMismatch) {
    const bool closed[10] = {false, false, true, true, true, true, true, false, true, false};
    for (uint32_t a = 0; a <= 9; ++a)
        for (uint32_t b = 0; b <= 9; ++b) {
            std::string err = error_of(morph(of_type(a), of_type(b), 0.5));
            if (closed[a] == closed[b])
                EXPECT_EQ(err, "") << a << " into " << b;
            else
                EXPECT_EQ(err, "vokri scene rgba0 render error: TopologyMismatch\n") << a << " into " << b;
        }
}

TEST(MorphItems, BuilderErrorsPassThrough) {
    VokriShapeRecord bad = circle(0);
    EXPECT_EQ(error_of(morph(bad, circle(1), 0)), "vokri scene rgba0 render error: InvalidRadius\n");
    EXPECT_EQ(error_of(morph(circle(1), bad, 0)), "vokri scene rgba0 render error: InvalidRadius\n");
    std::vector<double> p1 = {0, 0}, p2 = {0, 0, 1, 1};
    EXPECT_EQ(error_of(morph(polyline(p2), polyline(p1), 0)), "vokri scene rgba0 render error: TooFewPoints\n");
    VokriShapeRecord wire = circle(1);
    wire.shape_type = 10;
    EXPECT_EQ(error_of(morph(wire, circle(1), 0)), "vokri scene rgba0 render error: InvalidWireGeometry\n");
}

TEST(MorphItems, AllocationFailuresReportOutOfMemory) {
    std::vector<double> a = zigzag(3, 2), b = zigzag(12, -2);
    TestScene m;
    m.add(morph(polyline(a), polyline(b), 0.5));
    std::vector<uint32_t> px;
    for (int64_t n = 1;; ++n) {
        ASSERT_LT(n, 10000);
        vokri::test_hooks::fail_allocations_after(n);
        vt::StderrCapture cap;
        int32_t rc = m.rgba0(48, 40, 4, px);
        std::string text = cap.text();
        vokri::test_hooks::fail_allocations_after(-1);
        if (rc == 0) break;
        ASSERT_EQ(text, "vokri scene rgba0 render error: OutOfMemory\n") << n;
    }
}

}  // namespace
