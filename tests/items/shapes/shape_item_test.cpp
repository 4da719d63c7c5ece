// Shape items through the exports: pixels computed from the coverage and
// compositing rules for small scenes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "support/scene.h"

using vt::byte_of;
using vt::filled;
using vt::rect;
using vt::rgba;
using vt::shape;
using vt::stroked;

namespace {

const double kPi = 3.141592653589793;

uint32_t alpha_at(const std::vector<uint32_t>& px, int w, int x, int y) {
    return byte_of(px[static_cast<size_t>(y) * w + x], 3);
}

std::vector<uint32_t> render(const VokriShapeRecord& r, int w, int h, double scale = 1) {
    vt::TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    EXPECT_EQ(s.rgba0(w, h, scale, px), 0);
    return px;
}

int painted(const std::vector<uint32_t>& px) {
    int n = 0;
    for (uint32_t p : px) n += p != 0;
    return n;
}

// A square of side `side` centred at the origin, stroked white.
VokriShapeRecord stroked_square(double side, double width) {
    VokriShapeRecord r = stroked(shape(VOKRI_SHAPE_SQUARE), 0xFFFFFFFFu, width);
    r.p0 = side;
    return r;
}

}  // namespace

TEST(ShapeItem, FilledSquareQuarterColumns) {
    // Device x = 10 + user x: the square spans x 0.25 .. 10.25 and all 4 rows.
    std::vector<uint32_t> px = render(rect(-4.75, 0, 10, 4, 0xFFFFFFFFu), 20, 4);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(alpha_at(px, 20, 0, y), 191u);  // coverage 12
        for (int x = 1; x < 10; ++x) EXPECT_EQ(px[y * 20 + x], 0xFFFFFFFFu) << x;
        EXPECT_EQ(alpha_at(px, 20, 10, y), 63u);  // coverage 4
        for (int x = 11; x < 20; ++x) EXPECT_EQ(px[y * 20 + x], 0u);
    }
    EXPECT_EQ(byte_of(px[0], 0), 255u);  // straight alpha out of rgba0
}

TEST(ShapeItem, HalfCoveredColumn) {
    std::vector<uint32_t> px = render(rect(-8.75, 0, 2.5, 4, 0xFF0000FFu), 20, 4);  // x 0 .. 2.5
    EXPECT_EQ(px[0], rgba(255, 0, 0, 255));
    EXPECT_EQ(alpha_at(px, 20, 2, 1), 127u);
    EXPECT_EQ(alpha_at(px, 20, 3, 1), 0u);
}

TEST(ShapeItem, StrokedSquareIsARingWithMiterCorners) {
    // Square 5 .. 15 in device space, width 1 (thin: miter joins), bands
    // 4.5 .. 5.5 and 14.5 .. 15.5.
    std::vector<uint32_t> px = render(stroked_square(10, 1), 20, 20);
    auto a = [&](int x, int y) { return alpha_at(px, 20, x, y); };
    for (int y = 6; y < 14; ++y) {
        EXPECT_EQ(a(4, y), 127u);
        EXPECT_EQ(a(5, y), 127u);
        EXPECT_EQ(a(14, y), 127u);
        EXPECT_EQ(a(15, y), 127u);
        for (int x = 6; x < 14; ++x) EXPECT_EQ(a(x, y), 0u) << x << "," << y;
        EXPECT_EQ(a(3, y), 0u);
        EXPECT_EQ(a(16, y), 0u);
    }
    EXPECT_EQ(a(4, 4), 63u);    // the miter's outer quarter
    EXPECT_EQ(a(5, 5), 191u);   // both bands: 12 of 16 samples
    EXPECT_EQ(a(4, 5), 127u);
    EXPECT_EQ(a(14, 14), 191u);
    EXPECT_EQ(a(15, 15), 63u);
    EXPECT_EQ(a(15, 4), 63u);
}

TEST(ShapeItem, TransformDoesNotScaleTheStrokeWidth) {
    VokriShapeRecord doubled = stroked_square(5, 1);
    doubled.transform[0] = 2;
    doubled.transform[3] = 2;
    EXPECT_EQ(render(doubled, 20, 20), render(stroked_square(10, 1), 20, 20));
    // The view scale does widen it: width 1 at scale 2 is 2 pixels.
    std::vector<uint32_t> px = render(stroked_square(5, 1), 20, 20, 2);
    EXPECT_EQ(alpha_at(px, 20, 4, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 5, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 6, 10), 0u);
}

TEST(ShapeItem, WideRoundCornersDifferFromThinMiters) {
    // Width 2 keeps the default round join; its corners are cut.
    std::vector<uint32_t> px = render(stroked_square(10, 2), 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 10, 4), 255u);
    EXPECT_EQ(alpha_at(px, 20, 10, 5), 255u);
    EXPECT_EQ(alpha_at(px, 20, 10, 6), 0u);
    EXPECT_LT(alpha_at(px, 20, 4, 4), 255u);
    EXPECT_GT(alpha_at(px, 20, 4, 4), 0u);
}

TEST(ShapeItem, Opacity) {
    VokriShapeRecord r = rect(0, 0, 4, 4, 0xFFFFFF80u);
    r.opacity = 0.5;
    EXPECT_EQ(alpha_at(render(r, 4, 4), 4, 1, 1), 64u);
    r.opacity = 2.0;
    EXPECT_EQ(alpha_at(render(r, 4, 4), 4, 1, 1), 128u);
    r.opacity = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(alpha_at(render(r, 4, 4), 4, 1, 1), 128u);
    r.opacity = 0;
    EXPECT_EQ(painted(render(r, 4, 4)), 0);
}

TEST(ShapeItem, TranslucentOnBothPixelExports) {
    vt::TestScene s;
    s.add(rect(0, 0, 4, 4, 0xFF000080u));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(4, 4, 1, px), 0);
    EXPECT_EQ(px[5], rgba(255, 0, 0, 128));
    ASSERT_EQ(s.rgb0(4, 4, 1, px), 0);
    // Source (128, 0, 0, 128) over the background (14, 17, 24):
    // 128 + 14*127/255, 17*127/255, 24*127/255; byte 3 stays 0.
    EXPECT_EQ(px[5], rgba(134, 8, 11, 0));
}

TEST(ShapeItem, NothingToPaint) {
    VokriShapeRecord line = shape(VOKRI_SHAPE_LINE);
    line.p2 = 5;
    EXPECT_EQ(painted(render(line, 8, 8)), 0);
    VokriShapeRecord c = shape(VOKRI_SHAPE_CIRCLE);
    c.p0 = 3;
    EXPECT_EQ(painted(render(c, 8, 8)), 0);
    // Open shapes are never filled.
    VokriShapeRecord bez = filled(shape(VOKRI_SHAPE_CUBIC_BEZIER), 0xFFFFFFFFu);
    bez.p0 = -3, bez.p2 = 0, bez.p3 = 3, bez.p4 = 0, bez.p5 = -3, bez.p6 = 3;
    EXPECT_EQ(painted(render(bez, 8, 8)), 0);
}

TEST(ShapeItem, Arcs) {
    auto arc = [](double sweep) {
        VokriShapeRecord r = stroked(shape(VOKRI_SHAPE_ARC), 0xFFFFFFFFu, 2);
        r.p0 = 5;
        r.p2 = sweep;
        return r;
    };
    EXPECT_EQ(painted(render(arc(1e-16), 20, 20)), 0);
    std::vector<uint32_t> full = render(arc(2 * kPi), 20, 20);
    EXPECT_EQ(alpha_at(full, 20, 10, 4), 255u);   // top, y band 4 .. 6
    EXPECT_EQ(alpha_at(full, 20, 10, 15), 255u);  // bottom, y band 14 .. 16
    EXPECT_EQ(alpha_at(full, 20, 10, 10), 0u);
    // Clockwise half turn from angle 0: the lower half (user y < 0).
    std::vector<uint32_t> half = render(arc(-kPi), 20, 20);
    EXPECT_EQ(alpha_at(half, 20, 10, 15), 255u);
    EXPECT_EQ(alpha_at(half, 20, 10, 4), 0u);
}

TEST(ShapeItem, EveryShapeTypeDraws) {
    std::vector<double> pts{-5, -5, 5, -5, 0, 5};
    VokriShapeRecord line = stroked(shape(VOKRI_SHAPE_LINE), 0xFFFFFFFFu, 2);
    line.p0 = -5, line.p2 = 5;
    VokriShapeRecord polyline = stroked(shape(VOKRI_SHAPE_POLYLINE), 0xFFFFFFFFu, 2);
    polyline.points = pts.data(), polyline.point_count = 3;
    VokriShapeRecord polygon = filled(shape(VOKRI_SHAPE_POLYGON), 0xFFFFFFFFu);
    polygon.points = pts.data(), polygon.point_count = 3;
    VokriShapeRecord circle = filled(shape(VOKRI_SHAPE_CIRCLE), 0xFFFFFFFFu);
    circle.p0 = 5;
    VokriShapeRecord ellipse = filled(shape(VOKRI_SHAPE_ELLIPSE), 0xFFFFFFFFu);
    ellipse.p0 = 8, ellipse.p1 = 2;
    VokriShapeRecord hexagon = filled(shape(VOKRI_SHAPE_REGULAR_POLYGON), 0xFFFFFFFFu);
    hexagon.p0 = 6, hexagon.p1 = 6;
    VokriShapeRecord bezier = stroked(shape(VOKRI_SHAPE_CUBIC_BEZIER), 0xFFFFFFFFu, 2);
    bezier.p0 = -6, bezier.p2 = -2, bezier.p4 = 2, bezier.p6 = 6;  // a straight curve on y = 0

    // Line: y band 9 .. 11, x 5 .. 15.
    std::vector<uint32_t> px = render(line, 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 10, 9), 255u);
    EXPECT_EQ(alpha_at(px, 20, 10, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 10, 8), 0u);
    EXPECT_EQ(alpha_at(px, 20, 4, 10), 0u);
    EXPECT_EQ(render(bezier, 20, 20)[10 * 20 + 10], 0xFFFFFFFFu);
    // Polyline: the base from (5, 15) to (15, 15) is stroked, the inside is not.
    px = render(polyline, 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 10, 14), 255u);
    EXPECT_EQ(alpha_at(px, 20, 10, 10), 0u);
    px = render(polygon, 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 10, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 5, 6), 0u);
    px = render(circle, 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 10, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 5, 5), 0u);
    EXPECT_EQ(alpha_at(px, 20, 13, 9), 255u);
    px = render(ellipse, 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 3, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 10, 7), 0u);
    px = render(hexagon, 20, 20);
    EXPECT_EQ(alpha_at(px, 20, 10, 5), 255u);
    EXPECT_EQ(alpha_at(px, 20, 5, 10), 255u);
    EXPECT_EQ(alpha_at(px, 20, 5, 4), 0u);
}

TEST(ShapeItem, OutOfMemoryAtEveryAllocation) {
    std::vector<double> pts{-5, -5, 5, -5, 0, 5, -2, 1};
    vt::TestScene s;
    VokriShapeRecord poly = stroked(filled(shape(VOKRI_SHAPE_POLYGON), 0x11223344u), 0xFFFFFFFFu, 2.5);
    poly.points = pts.data(), poly.point_count = 4;
    s.add(poly);
    VokriShapeRecord c = stroked(filled(shape(VOKRI_SHAPE_CIRCLE), 0xFF0000FFu), 0x00FF00FFu, 3);
    c.p0 = 4;
    s.add(c);
    VokriShapeRecord line = stroked(shape(VOKRI_SHAPE_POLYLINE), 0xFFFFFF80u, 1);
    line.points = pts.data(), line.point_count = 4;
    s.add(line);
    std::vector<uint32_t> expected, px;
    ASSERT_EQ(s.rgba0(24, 24, 1, expected), 0);
    bool done = false;
    for (int64_t n = 1; n < 500 && !done; ++n) {
        vt::StderrCapture cap;
        vokri::test_hooks::fail_allocations_after(n);
        int32_t rc = s.rgba0(24, 24, 1, px);
        vokri::test_hooks::fail_allocations_after(-1);
        std::string text = cap.text();
        if (rc == 0) {
            done = true;
            EXPECT_EQ(px, expected);
        } else {
            ASSERT_EQ(rc, 1) << n;
            ASSERT_EQ(text, "vokri scene rgba0 render error: OutOfMemory\n") << n;
        }
    }
    EXPECT_TRUE(done);
}

TEST(ShapeItem, HugeDeviceGeometryStaysBounded) {
    // A circle of radius 1e9 pixels covers the whole canvas. Its stroke,
    // raised to the minimum of 1/256 user units (3.9e6 pixels), lies far
    // outside. Flattening is bounded by the Surface, not by the curve.
    VokriShapeRecord c = stroked(filled(shape(VOKRI_SHAPE_CIRCLE), 0xFFFFFFFFu), 0xFF0000FFu, 3e-9);
    c.p0 = 1;
    std::vector<uint32_t> px = render(c, 16, 16, 1e9);
    for (uint32_t p : px) EXPECT_EQ(p, 0xFFFFFFFFu);
    // The filled circle moved so that its edge is the middle column.
    VokriShapeRecord f = filled(shape(VOKRI_SHAPE_CIRCLE), 0xFFFFFFFFu);
    f.p0 = 1;
    f.transform[4] = -1;  // centre at device x = 8 - 1e9
    px = render(f, 16, 16, 1e9);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(px[y * 16 + 7], 0xFFFFFFFFu);
        EXPECT_EQ(px[y * 16 + 8], 0u);
    }
    // The same with a stroke of 1/256 user units at scale 1e4 (39 pixels):
    // the band x = 8 +- 19.5 covers the canvas.
    VokriShapeRecord s = stroked(f, 0xFF0000FFu, 0);
    px = render(s, 16, 16, 1e4);
    for (uint32_t p : px) EXPECT_EQ(p, rgba(255, 0, 0, 255));
}
