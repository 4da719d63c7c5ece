// Outlines of every shape type as eight (or, for two polylines, N) cubic
// pieces, and the interpolation between two outlines.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "items/fields/morph_outline.h"

namespace {

using vokri::CubicSegment;
using vokri::Point;
using vokri::ShapeGeometry;

ShapeGeometry geom(uint8_t tag, std::initializer_list<double> params) {
    ShapeGeometry g;
    g.tag = tag;
    int i = 0;
    for (double p : params) g.params[i++] = p;
    return g;
}

ShapeGeometry points_geom(uint8_t tag, const std::vector<Point>& pts) {
    ShapeGeometry g;
    g.tag = tag;
    g.points = pts.data();
    g.point_count = uint32_t(pts.size());
    return g;
}

void expect_straight(const CubicSegment& c, Point a, Point b, double tol = 0) {
    EXPECT_NEAR(c.x0, a.x, tol);
    EXPECT_NEAR(c.y0, a.y, tol);
    EXPECT_NEAR(c.x3, b.x, tol);
    EXPECT_NEAR(c.y3, b.y, tol);
    EXPECT_NEAR(c.x1, a.x + (b.x - a.x) / 3, tol + 1e-15);
    EXPECT_NEAR(c.y1, a.y + (b.y - a.y) / 3, tol + 1e-15);
    EXPECT_NEAR(c.x2, a.x + 2 * (b.x - a.x) / 3, tol + 1e-15);
    EXPECT_NEAR(c.y2, a.y + 2 * (b.y - a.y) / 3, tol + 1e-15);
}

// Consecutive pieces join end to start.
void expect_joined(const CubicSegment* s, uint32_t n) {
    for (uint32_t i = 1; i < n; ++i) {
        EXPECT_EQ(s[i].x0, s[i - 1].x3) << i;
        EXPECT_EQ(s[i].y0, s[i - 1].y3) << i;
    }
}

TEST(MorphOutline, StraightPieceAtThirds) {
    CubicSegment c = vokri::straight_piece({0, 3}, {3, -3});
    EXPECT_EQ(c.x0, 0);
    EXPECT_EQ(c.y0, 3);
    EXPECT_EQ(c.x1, 1);
    EXPECT_EQ(c.y1, 1);
    EXPECT_EQ(c.x2, 2);
    EXPECT_EQ(c.y2, -1);
    EXPECT_EQ(c.x3, 3);
    EXPECT_EQ(c.y3, -3);
}

TEST(MorphOutline, LineIsEightEqualOpenPieces) {
    CubicSegment s[8];
    EXPECT_FALSE(vokri::morph_outline(geom(VOKRI_SHAPE_LINE, {0, 0, 8, -16}), 8, s));
    for (int k = 0; k < 8; ++k) expect_straight(s[k], {double(k), -2.0 * k}, {k + 1.0, -2.0 * (k + 1)});
}

TEST(MorphOutline, PolylineResampledByArcLength) {
    std::vector<Point> pts = {{0, 0}, {4, 0}, {4, 4}};
    ShapeGeometry g = points_geom(VOKRI_SHAPE_POLYLINE, pts);
    CubicSegment s[8];
    EXPECT_FALSE(vokri::morph_outline(g, 4, s));
    expect_straight(s[0], {0, 0}, {2, 0});
    expect_straight(s[1], {2, 0}, {4, 0});
    expect_straight(s[2], {4, 0}, {4, 2});
    expect_straight(s[3], {4, 2}, {4, 4});
    // Three pieces: samples at arc lengths 8/3 and 16/3; the corner is cut.
    EXPECT_FALSE(vokri::morph_outline(g, 3, s));
    expect_straight(s[0], {0, 0}, {8.0 / 3, 0});
    expect_straight(s[1], {8.0 / 3, 0}, {4, 16.0 / 3 - 4});
    expect_straight(s[2], {4, 16.0 / 3 - 4}, {4, 4});
}

TEST(MorphOutline, PolylineWithZeroLengthEdges) {
    // A repeated point contributes an edge of length 0 that is skipped.
    std::vector<Point> pts = {{0, 0}, {0, 0}, {2, 0}, {2, 0}};
    CubicSegment s[2];
    EXPECT_FALSE(vokri::morph_outline(points_geom(VOKRI_SHAPE_POLYLINE, pts), 2, s));
    expect_straight(s[0], {0, 0}, {1, 0});
    expect_straight(s[1], {1, 0}, {2, 0});
}

TEST(MorphOutline, SegmentCounts) {
    std::vector<Point> p3(3), p12(12), p20(20);
    ShapeGeometry a = points_geom(VOKRI_SHAPE_POLYLINE, p3), b = points_geom(VOKRI_SHAPE_POLYLINE, p12);
    EXPECT_EQ(vokri::morph_segment_count(a, b), 11u);
    EXPECT_EQ(vokri::morph_segment_count(b, a), 11u);
    EXPECT_EQ(vokri::morph_segment_count(a, a), 2u);
    ShapeGeometry line = geom(VOKRI_SHAPE_LINE, {0, 0, 1, 1});
    EXPECT_EQ(vokri::morph_segment_count(line, points_geom(VOKRI_SHAPE_POLYLINE, p20)), 8u);
    EXPECT_EQ(vokri::morph_segment_count(points_geom(VOKRI_SHAPE_POLYGON, p20), b), 8u);
}

TEST(MorphOutline, PolygonIncludesItsClosingEdge) {
    std::vector<Point> pts = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    CubicSegment s[8];
    EXPECT_TRUE(vokri::morph_outline(points_geom(VOKRI_SHAPE_POLYGON, pts), 8, s));
    Point want[9] = {{0, 0}, {0.5, 0}, {1, 0}, {1, 0.5}, {1, 1}, {0.5, 1}, {0, 1}, {0, 0.5}, {0, 0}};
    for (int i = 0; i < 8; ++i) expect_straight(s[i], want[i], want[i + 1]);
}

TEST(MorphOutline, CoincidentPolygonIsASinglePoint) {
    std::vector<Point> pts = {{2, 3}, {2, 3}, {2, 3}};
    CubicSegment s[8];
    EXPECT_TRUE(vokri::morph_outline(points_geom(VOKRI_SHAPE_POLYGON, pts), 8, s));
    for (auto& c : s) {
        const double* d = &c.x0;
        for (int k = 0; k < 8; ++k) EXPECT_EQ(d[k], k % 2 ? 3.0 : 2.0);
    }
}

TEST(MorphOutline, RectangleAndSquare) {
    CubicSegment s[8];
    EXPECT_TRUE(vokri::morph_outline(geom(VOKRI_SHAPE_RECTANGLE, {4, 2}), 8, s));
    Point want[9] = {{2, 0}, {2, 1}, {0, 1}, {-2, 1}, {-2, 0}, {-2, -1}, {0, -1}, {2, -1}, {2, 0}};
    for (int i = 0; i < 8; ++i) expect_straight(s[i], want[i], want[i + 1]);
    EXPECT_TRUE(vokri::morph_outline(geom(VOKRI_SHAPE_SQUARE, {2}), 8, s));
    Point sq[9] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}};
    for (int i = 0; i < 8; ++i) expect_straight(s[i], sq[i], sq[i + 1]);
}

TEST(MorphOutline, CircleIsEightArcsOfFortyFiveDegrees) {
    const double k = 0.265216489839544, r = 2;
    CubicSegment s[8];
    EXPECT_TRUE(vokri::morph_outline(geom(VOKRI_SHAPE_CIRCLE, {r}), 8, s));
    expect_joined(s, 8);
    double h = std::sqrt(0.5);
    EXPECT_EQ(s[0].x0, 2);
    EXPECT_EQ(s[0].y0, 0);
    EXPECT_EQ(s[0].x1, 2);
    EXPECT_DOUBLE_EQ(s[0].y1, k * r);
    EXPECT_DOUBLE_EQ(s[0].x3, r * h);
    EXPECT_DOUBLE_EQ(s[0].y3, r * h);
    EXPECT_DOUBLE_EQ(s[0].x2, r * h + k * r * h);
    EXPECT_DOUBLE_EQ(s[0].y2, r * h - k * r * h);
    // Counter-clockwise: the third arc starts at the top.
    EXPECT_NEAR(s[2].x0, 0, 1e-15);
    EXPECT_EQ(s[2].y0, 2);
    EXPECT_NEAR(s[7].x3, 2, 1e-15);
    EXPECT_NEAR(s[7].y3, 0, 1e-15);
    // Every arc point lies near the circle (the cubic is within 1e-4 of r).
    for (auto& c : s) {
        double u = 0.5, v = 0.5;
        double x = v * v * v * c.x0 + 3 * v * v * u * c.x1 + 3 * v * u * u * c.x2 + u * u * u * c.x3;
        double y = v * v * v * c.y0 + 3 * v * v * u * c.y1 + 3 * v * u * u * c.y2 + u * u * u * c.y3;
        EXPECT_NEAR(std::hypot(x, y), r, 1e-4);
    }
}

TEST(MorphOutline, EllipseScalesTheCircle) {
    CubicSegment c[8], e[8];
    EXPECT_TRUE(vokri::morph_outline(geom(VOKRI_SHAPE_CIRCLE, {1}), 8, c));
    EXPECT_TRUE(vokri::morph_outline(geom(VOKRI_SHAPE_ELLIPSE, {4, 0.5}), 8, e));
    for (int i = 0; i < 8; ++i) {
        const double* pc = &c[i].x0;
        const double* pe = &e[i].x0;
        for (int k = 0; k < 8; ++k) EXPECT_DOUBLE_EQ(pe[k], pc[k] * (k % 2 ? 0.5 : 4)) << i << " " << k;
    }
}

TEST(MorphOutline, ArcOpenWithTangentDisplacement) {
    const double pi = 3.141592653589793;
    CubicSegment s[8];
    EXPECT_FALSE(vokri::morph_outline(geom(VOKRI_SHAPE_ARC, {2, pi / 2, pi}), 8, s));
    expect_joined(s, 8);
    double e = 2 * (4.0 / 3.0) * std::tan(pi / 32);
    EXPECT_NEAR(s[0].x0, 0, 1e-15);
    EXPECT_EQ(s[0].y0, 2);
    EXPECT_NEAR(s[0].x1, -e, 1e-15);  // tangent at the top points to -x
    EXPECT_EQ(s[0].y1, 2);
    EXPECT_NEAR(s[7].x3, 0, 1e-15);
    EXPECT_NEAR(s[7].y3, -2, 1e-15);
    // A negative sweep runs clockwise: the first control point moves to +x.
    EXPECT_FALSE(vokri::morph_outline(geom(VOKRI_SHAPE_ARC, {2, pi / 2, -pi}), 8, s));
    EXPECT_NEAR(s[0].x1, e, 1e-15);
    // Sweep below 8e-14: no displacement, every point on the start.
    EXPECT_FALSE(vokri::morph_outline(geom(VOKRI_SHAPE_ARC, {1, 0, 4e-14}), 8, s));
    for (auto& c : s) {
        EXPECT_EQ(c.x1, c.x0);
        EXPECT_EQ(c.y1, c.y0);
        EXPECT_EQ(c.x2, c.x3);
        EXPECT_EQ(c.y2, c.y3);
    }
}

TEST(MorphOutline, RegularPolygonCutIntoEightEqualLengths) {
    ShapeGeometry g = geom(VOKRI_SHAPE_REGULAR_POLYGON, {1, 0});
    g.sides = 4;
    CubicSegment s[8];
    EXPECT_TRUE(vokri::morph_outline(g, 8, s));
    expect_joined(s, 8);
    // Samples at the vertices and the midpoints of the edges of the diamond.
    Point want[9] = {{1, 0}, {0.5, 0.5}, {0, 1}, {-0.5, 0.5}, {-1, 0}, {-0.5, -0.5}, {0, -1}, {0.5, -0.5}, {1, 0}};
    for (int i = 0; i < 8; ++i) expect_straight(s[i], want[i], want[i + 1], 1e-15);
    // Three sides: sample 1 at z = 3/8 on edge 0, sample 8 back at vertex 0.
    g.sides = 3;
    EXPECT_TRUE(vokri::morph_outline(g, 8, s));
    double c = std::cos(2 * 3.141592653589793 / 3), sn = std::sin(2 * 3.141592653589793 / 3);
    EXPECT_DOUBLE_EQ(s[0].x3, 1 + (c - 1) * 0.375);
    EXPECT_DOUBLE_EQ(s[0].y3, sn * 0.375);
    EXPECT_NEAR(s[7].x3, 1, 1e-15);
    EXPECT_NEAR(s[7].y3, 0, 1e-15);
}

TEST(MorphOutline, CubicBezierExactSubdivision) {
    ShapeGeometry g = geom(VOKRI_SHAPE_CUBIC_BEZIER, {0, 0, 1, 3, 5, 3, 6, 0});
    CubicSegment s[8];
    EXPECT_FALSE(vokri::morph_outline(g, 8, s));
    expect_joined(s, 8);
    auto B = [](double u, int k) {
        const double p[2][4] = {{0, 1, 5, 6}, {0, 3, 3, 0}};
        double v = 1 - u;
        return v * v * v * p[k][0] + 3 * v * v * u * p[k][1] + 3 * v * u * u * p[k][2] + u * u * u * p[k][3];
    };
    EXPECT_EQ(s[0].x0, 0);
    EXPECT_EQ(s[7].x3, 6);
    EXPECT_EQ(s[7].y3, 0);
    for (int j = 0; j < 8; ++j) {
        // Each piece evaluated at its own parameter w is the curve at (j + w)/8.
        for (double w : {0.25, 0.5, 0.75}) {
            double v = 1 - w;
            const CubicSegment& c = s[j];
            double x = v * v * v * c.x0 + 3 * v * v * w * c.x1 + 3 * v * w * w * c.x2 + w * w * w * c.x3;
            double y = v * v * v * c.y0 + 3 * v * v * w * c.y1 + 3 * v * w * w * c.y2 + w * w * w * c.y3;
            EXPECT_NEAR(x, B((j + w) / 8, 0), 1e-12);
            EXPECT_NEAR(y, B((j + w) / 8, 1), 1e-12);
        }
    }
}

TEST(MorphBetween, CoordinatesColoursWidthsAndTransform) {
    ShapeGeometry a = geom(VOKRI_SHAPE_CIRCLE, {1}), b = geom(VOKRI_SHAPE_SQUARE, {2});
    a.has_fill = true;
    a.fill_color = 0xC8102030u;  // alpha 200
    a.has_stroke = true;
    a.stroke_color = 0xFF000000u;
    a.stroke_width = 1;
    b.has_stroke = true;
    b.stroke_color = 0x01FFFFFFu;
    b.stroke_width = 3;
    b.transform = vokri::Transform{2, 0, 0, 2, 4, -4};
    CubicSegment sa[8], sb[8], out[8];
    ASSERT_TRUE(vokri::morph_outline(a, 8, sa));
    ASSERT_TRUE(vokri::morph_outline(b, 8, sb));
    ShapeGeometry g = vokri::morph_between(a, b, sa, sb, 8, true, 0.25, out);
    EXPECT_EQ(g.tag, vokri::kTagSegmentList);
    EXPECT_EQ(g.segments, out);
    EXPECT_EQ(g.segment_count, 8u);
    EXPECT_TRUE(g.closed);
    EXPECT_EQ(out[0].x0, 1 + 0.25 * (1 - 1));
    EXPECT_EQ(out[1].x0, sa[1].x0 + 0.25 * (sb[1].x0 - sa[1].x0));
    // Only A has a fill: A's colour with alpha 0.75 · 200 = 150.
    EXPECT_TRUE(g.has_fill);
    EXPECT_EQ(g.fill_color, 0x96102030u);
    // Both strokes: every byte blends; 0 + 0.25·255 = 63.75 → 64; alpha 255 + 0.25·(1 - 255) = 191.5 → 192.
    EXPECT_TRUE(g.has_stroke);
    EXPECT_EQ(g.stroke_color, 0xC0404040u);
    EXPECT_EQ(g.stroke_width, 1.5);
    EXPECT_EQ(g.transform.xx, 1.25);
    EXPECT_EQ(g.transform.x0, 1);
    EXPECT_EQ(g.transform.y0, -1);
    // Only B has the stroke: B's width, alpha s · alpha.
    a.has_stroke = false;
    b.stroke_color = 0xC8FFFFFFu;
    g = vokri::morph_between(a, b, sa, sb, 8, true, 0.25, out);
    EXPECT_EQ(g.stroke_color, 0x32FFFFFFu);
    EXPECT_EQ(g.stroke_width, 3);
    // Neither: absent, width 0.
    b.has_stroke = false;
    g = vokri::morph_between(a, b, sa, sb, 8, true, 0.5, out);
    EXPECT_FALSE(g.has_stroke);
    EXPECT_EQ(g.stroke_width, 0);
    // s = 0 and 1 give the outlines themselves.
    g = vokri::morph_between(a, b, sa, sb, 8, true, 1, out);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i].x2, sb[i].x2);
}

}  // namespace
