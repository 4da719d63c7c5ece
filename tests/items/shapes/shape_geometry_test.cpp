// Building shape geometries: validation errors, colours, owned storage and
// the paths the drawer builds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "items/shapes/shape_geometry.h"
#include "support/scene.h"

using namespace vokri;
using vt::filled;
using vt::shape;
using vt::stroked;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

Error build(const VokriShapeRecord& r, ShapeGeometry& g) {
    Allocator a;
    Error e = build_shape_geometry(r, a, g);
    return e;
}

Error build_error(const VokriShapeRecord& r) {
    Allocator a;
    ShapeGeometry g;
    Error e = build_shape_geometry(r, a, g);
    release_shape_geometry(g, a);
    return e;
}

// The message an export prints for the first error of a one-shape scene.
std::string render_message(const VokriShapeRecord& r, double scale = 1) {
    vt::TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    vt::StderrCapture cap;
    int32_t rc = s.rgba0(4, 4, scale, px);
    std::string text = cap.text();
    if (rc != 1) return "rc " + std::to_string(rc);
    return text;
}

VokriShapeRecord with_points(uint32_t type, const std::vector<double>& pts) {
    VokriShapeRecord r = filled(shape(type), 0xFF0000FFu);
    r.points = pts.empty() ? nullptr : pts.data();
    r.point_count = static_cast<uint32_t>(pts.size() / 2);
    return r;
}

}  // namespace

TEST(ShapeBuild, UnknownTypeIsInvalidWireGeometry) {
    EXPECT_EQ(render_message(shape(10)), "vokri scene rgba0 render error: InvalidWireGeometry\n");
    EXPECT_EQ(build_error(shape(0xFFFFFFFFu)), Error::InvalidWireGeometry);
}

TEST(ShapeBuild, PointListErrors) {
    std::vector<double> none, one{1, 2}, two{1, 2, 3, 4}, three{0, 0, 1, 0, 0, 1};
    EXPECT_EQ(render_message(with_points(VOKRI_SHAPE_POLYLINE, none)),
              "vokri scene rgba0 render error: InvalidWireGeometry\n");
    EXPECT_EQ(render_message(with_points(VOKRI_SHAPE_POLYLINE, one)),
              "vokri scene rgba0 render error: TooFewPoints\n");
    EXPECT_EQ(render_message(with_points(VOKRI_SHAPE_POLYGON, two)),
              "vokri scene rgba0 render error: TooFewPoints\n");
    // A count with a null pointer is refused before anything is read.
    VokriShapeRecord r = with_points(VOKRI_SHAPE_POLYGON, three);
    r.points = nullptr;
    EXPECT_EQ(build_error(r), Error::InvalidWireGeometry);
    EXPECT_EQ(build_error(with_points(VOKRI_SHAPE_POLYLINE, two)), Error::None);
    EXPECT_EQ(build_error(with_points(VOKRI_SHAPE_POLYGON, three)), Error::None);
}

TEST(ShapeBuild, SizeAndRadiusErrors) {
    auto rectangle = [](double w, double h) {
        VokriShapeRecord r = shape(VOKRI_SHAPE_RECTANGLE);
        r.p0 = w;
        r.p1 = h;
        return r;
    };
    EXPECT_EQ(render_message(rectangle(2, 0)), "vokri scene rgba0 render error: InvalidSize\n");
    EXPECT_EQ(build_error(rectangle(2, kNaN)), Error::InvalidSize);
    EXPECT_EQ(build_error(rectangle(-1, 2)), Error::InvalidSize);
    EXPECT_EQ(build_error(rectangle(2, 3)), Error::None);

    VokriShapeRecord sq = shape(VOKRI_SHAPE_SQUARE);
    sq.p0 = 0;
    EXPECT_EQ(build_error(sq), Error::InvalidSize);

    VokriShapeRecord c = shape(VOKRI_SHAPE_CIRCLE);
    c.p0 = kNaN;
    EXPECT_EQ(render_message(c), "vokri scene rgba0 render error: InvalidRadius\n");
    VokriShapeRecord e = shape(VOKRI_SHAPE_ELLIPSE);
    e.p0 = 2;
    e.p1 = -1;
    EXPECT_EQ(build_error(e), Error::InvalidRadius);
    VokriShapeRecord arc = shape(VOKRI_SHAPE_ARC);
    arc.p0 = 0;
    arc.p2 = 1;
    EXPECT_EQ(build_error(arc), Error::InvalidRadius);
}

TEST(ShapeBuild, RegularPolygonSides) {
    auto poly = [](double sides, double radius) {
        VokriShapeRecord r = shape(VOKRI_SHAPE_REGULAR_POLYGON);
        r.p0 = sides;
        r.p1 = radius;
        return r;
    };
    EXPECT_EQ(render_message(poly(2.9, 1)), "vokri scene rgba0 render error: TooFewSides\n");
    ShapeGeometry g;
    ASSERT_EQ(build(poly(3.9, 1), g), Error::None);
    EXPECT_EQ(g.sides, 3u);
    EXPECT_EQ(g.params[0], 1.0);
    EXPECT_EQ(build_error(poly(5, 0)), Error::InvalidRadius);
    // Counts that cannot be drawn: NaN, negative, at or above 2^32, above the limit.
    EXPECT_EQ(build_error(poly(kNaN, 1)), Error::TooFewSides);
    EXPECT_EQ(build_error(poly(-5, 1)), Error::TooFewSides);
    EXPECT_EQ(build_error(poly(4e9, 1)), Error::TooFewSides);
    EXPECT_EQ(build_error(poly(1e300, 1)), Error::TooFewSides);
    EXPECT_EQ(build_error(poly(kInf, 1)), Error::TooFewSides);
    EXPECT_EQ(build_error(poly(kMaxGeneratedSegments + 1.0, 1)), Error::TooFewSides);
    ASSERT_EQ(build(poly(kMaxGeneratedSegments + 0.5, 1), g), Error::None);
    EXPECT_EQ(g.sides, kMaxGeneratedSegments);
}

TEST(ShapeBuild, ArcSweepLimits) {
    auto arc = [](double sweep) {
        VokriShapeRecord r = stroked(shape(VOKRI_SHAPE_ARC), 0xFFFFFFFFu, 1);
        r.p0 = 1;
        r.p2 = sweep;
        return r;
    };
    EXPECT_EQ(render_message(arc(1e300)), "vokri scene rgba0 render error: InvalidSize\n");
    EXPECT_EQ(build_error(arc(kNaN)), Error::InvalidSize);
    EXPECT_EQ(build_error(arc(-kInf)), Error::InvalidSize);
    EXPECT_EQ(build_error(arc(1e-16)), Error::None);
    EXPECT_EQ(build_error(arc(1.5707963267948966 * kMaxGeneratedSegments)), Error::None);
    EXPECT_EQ(build_error(arc(1.5707963267948966 * kMaxGeneratedSegments * 1.0001)), Error::InvalidSize);
}

TEST(ShapeBuild, Colours) {
    VokriShapeRecord r = stroked(filled(shape(VOKRI_SHAPE_SQUARE), 0x11223380u), 0xAABBCCFFu, 3.5);
    r.p0 = 1;
    r.opacity = 0.5;
    ShapeGeometry g;
    ASSERT_EQ(build(r, g), Error::None);
    EXPECT_TRUE(g.has_fill);
    EXPECT_EQ(g.fill_color, 0x40332211u);  // alpha 0.5 * 128 = 64
    EXPECT_TRUE(g.has_stroke);
    EXPECT_EQ(g.stroke_color, 0x80CCBBAAu);  // 127.5 rounds away from zero
    EXPECT_EQ(g.stroke_width, 3.5);

    r.opacity = 2.0;
    ASSERT_EQ(build(r, g), Error::None);
    EXPECT_EQ(g.fill_color >> 24, 128u);
    r.opacity = kNaN;
    ASSERT_EQ(build(r, g), Error::None);
    EXPECT_EQ(g.fill_color >> 24, 128u);
    r.opacity = -1;
    ASSERT_EQ(build(r, g), Error::None);
    EXPECT_EQ(g.fill_color >> 24, 0u);

    r.fill_enabled = 0;
    r.stroke_enabled = 0;
    ASSERT_EQ(build(r, g), Error::None);
    EXPECT_FALSE(g.has_fill);
    EXPECT_FALSE(g.has_stroke);
    EXPECT_EQ(g.stroke_width, 0.0);
    EXPECT_EQ(g.stroke_color, 0u);
}

TEST(ShapeBuild, PointsAreCopied) {
    std::vector<double> pts{0, 0, 1, 0, 1, 1};
    Allocator a;
    ShapeGeometry g;
    ASSERT_EQ(build_shape_geometry(with_points(VOKRI_SHAPE_POLYGON, pts), a, g), Error::None);
    ASSERT_NE(g.owned, nullptr);
    EXPECT_NE(static_cast<const void*>(g.points), static_cast<const void*>(pts.data()));
    pts[2] = 99;
    EXPECT_EQ(g.points[1].x, 1.0);
    EXPECT_EQ(g.point_count, 3u);
    release_shape_geometry(g, a);
    EXPECT_EQ(g.owned, nullptr);
}

TEST(ShapeBuild, OutOfMemoryWhileCopying) {
    std::vector<double> pts{0, 0, 1, 0, 1, 1};
    Allocator a;
    ShapeGeometry g;
    vokri::test_hooks::fail_allocations_after(1);
    Error e = build_shape_geometry(with_points(VOKRI_SHAPE_POLYGON, pts), a, g);
    vokri::test_hooks::fail_allocations_after(-1);
    EXPECT_EQ(e, Error::OutOfMemory);
    EXPECT_EQ(g.owned, nullptr);
}

namespace {

// The Path the drawer builds for `r` (painting into a small scratch surface),
// with the shortcuts off: a rectangle fill may otherwise skip its Path.
struct BuiltPath {
    std::vector<PathNode> nodes;
    Error draw_result = Error::None;
};

BuiltPath path_of(const VokriShapeRecord& r, double scale = 1.0) {
    BuiltPath out;
    Allocator a;
    std::vector<uint32_t> px(16 * 16, 0);
    Surface s = Surface::wrap(px.data(), 16, 16, rgba32);
    Canvas ctx(a, s, RasterOptions{.shortcuts = false});
    ShapeGeometry g;
    out.draw_result = build_shape_geometry(r, a, g);
    if (out.draw_result != Error::None) return out;
    out.draw_result = draw_shape_geometry(ctx, FrameView::for_canvas(scale, 16, 16), g);
    out.nodes.assign(ctx.path.nodes.begin(), ctx.path.nodes.end());
    release_shape_geometry(g, a);
    ctx.release();
    return out;
}

int count_kind(const BuiltPath& p, uint8_t kind) {
    int n = 0;
    for (const PathNode& node : p.nodes) n += node.kind == kind;
    return n;
}

}  // namespace

TEST(ShapePath, ArcPieces) {
    auto arc = [](double start, double sweep) {
        VokriShapeRecord r = stroked(shape(VOKRI_SHAPE_ARC), 0xFFFFFFFFu, 1);
        r.p0 = 2;
        r.p1 = start;
        r.p2 = sweep;
        return r;
    };
    EXPECT_TRUE(path_of(arc(0, 1e-16)).nodes.empty());
    BuiltPath full = path_of(arc(0, 6.283185307179586));
    ASSERT_EQ(full.nodes.size(), 5u);
    EXPECT_EQ(count_kind(full, node_curve_to), 4);
    // Device space: x = 8 + user x, y = 8 - user y.
    EXPECT_EQ(full.nodes[0].p1, (Point{10, 8}));
    EXPECT_NEAR(full.nodes[1].p3.x, 8, 1e-12);
    EXPECT_NEAR(full.nodes[1].p3.y, 6, 1e-12);  // counter-clockwise in user space: up first
    BuiltPath half = path_of(arc(0, -3.141592653589793));
    ASSERT_EQ(half.nodes.size(), 3u);
    EXPECT_EQ(count_kind(half, node_curve_to), 2);
    EXPECT_NEAR(half.nodes[1].p3.y, 10, 1e-12);  // clockwise: down first
    EXPECT_NEAR(half.nodes[2].p3.x, 6, 1e-12);
    // k = 4/3 tan(pi/8) for quarter pieces: the first control point.
    double k = 4.0 / 3.0 * std::tan(1.5707963267948966 / 4);
    EXPECT_NEAR(full.nodes[1].p1.x, 10, 1e-12);
    EXPECT_NEAR(full.nodes[1].p1.y, 8 - 2 * k, 1e-12);
}

TEST(ShapePath, ClosedShapesAndTransforms) {
    VokriShapeRecord sq = filled(shape(VOKRI_SHAPE_SQUARE), 0xFFFFFFFFu);
    sq.p0 = 4;
    sq.transform[4] = 1;  // moved right by 1
    BuiltPath p = path_of(sq);
    ASSERT_EQ(p.nodes.size(), 6u);
    EXPECT_EQ(p.nodes[0].p1, (Point{7, 10}));
    EXPECT_EQ(p.nodes[2].p1, (Point{11, 6}));
    EXPECT_EQ(p.nodes[4].kind, node_close_path);
    EXPECT_EQ(p.nodes[5].kind, node_move_to);

    VokriShapeRecord c = filled(shape(VOKRI_SHAPE_ELLIPSE), 0xFFFFFFFFu);
    c.p0 = 3;
    c.p1 = 2;
    p = path_of(c);
    ASSERT_EQ(p.nodes.size(), 7u);
    EXPECT_EQ(count_kind(p, node_curve_to), 4);
    EXPECT_EQ(p.nodes[1].p1, (Point{11, 8 - 0.5522847498307936 * 2}));
    EXPECT_EQ(p.nodes[1].p3, (Point{8, 6}));

    VokriShapeRecord tri = filled(shape(VOKRI_SHAPE_REGULAR_POLYGON), 0xFFFFFFFFu);
    tri.p0 = 3.9;
    tri.p1 = 2;
    p = path_of(tri);
    EXPECT_EQ(count_kind(p, node_line_to), 2);
    EXPECT_EQ(p.nodes[0].p1, (Point{10, 8}));
}

TEST(ShapePath, NothingPaintedWithoutColours) {
    VokriShapeRecord line = shape(VOKRI_SHAPE_LINE);
    line.p2 = 3;
    BuiltPath p = path_of(line);
    EXPECT_EQ(p.draw_result, Error::None);
    EXPECT_EQ(p.nodes.size(), 2u);
    VokriShapeRecord c = shape(VOKRI_SHAPE_CIRCLE);
    c.p0 = 2;
    EXPECT_EQ(path_of(c).draw_result, Error::None);
}

TEST(ShapePath, HugeTransformsAreClampedInUserSpace) {
    // The shape transform overflows to infinity (or NaN from inf * 0) in user
    // space; the Path clamps those before the view maps them.
    VokriShapeRecord c = shape(VOKRI_SHAPE_CIRCLE);
    c.p0 = 2;
    c.transform[0] = 1e308;
    BuiltPath p = path_of(c);
    ASSERT_EQ(p.draw_result, Error::None);
    EXPECT_EQ(p.nodes[0].p1.x, 8 + 8388607.0);
    VokriShapeRecord sq = shape(VOKRI_SHAPE_SQUARE);
    sq.p0 = 2;
    sq.transform[1] = kInf;
    p = path_of(sq);
    ASSERT_EQ(p.draw_result, Error::None);
    for (const PathNode& n : p.nodes) EXPECT_TRUE(std::isfinite(n.p1.x) && std::isfinite(n.p1.y));
}

TEST(ShapePath, DeviceOverflowPaintsNothing) {
    // A scale so large that device coordinates overflow to infinity: the
    // shape has no place on the Surface and paints nothing.
    VokriShapeRecord c = stroked(filled(shape(VOKRI_SHAPE_CIRCLE), 0xFFFFFFFFu), 0xFF0000FFu, 1);
    c.p0 = 1e5;
    vt::TestScene s;
    s.add(c);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(4, 4, 1e304, px), 0);
    for (uint32_t p : px) EXPECT_EQ(p, 0u);
    VokriShapeRecord line = stroked(shape(VOKRI_SHAPE_LINE), 0xFFFFFFFFu, 1);
    line.p2 = 1e10;
    EXPECT_EQ(path_of(line, 1e303).draw_result, Error::None);
}

TEST(ShapePath, SegmentList) {
    CubicSegment segs[2] = {{0, 0, 1, 0, 2, 0, 3, 0}, {3, 0, 3, 1, 3, 2, 3, 3}};
    Allocator a;
    std::vector<uint32_t> px(16 * 16, 0);
    Surface s = Surface::wrap(px.data(), 16, 16, rgba32);
    Canvas ctx(a, s);
    ShapeGeometry g;
    g.tag = kTagSegmentList;
    g.segments = segs;
    g.segment_count = 2;
    g.closed = true;
    EXPECT_EQ(draw_shape_geometry(ctx, FrameView::for_canvas(1, 16, 16), g), Error::None);
    ASSERT_EQ(ctx.path.nodes.size(), 5u);
    EXPECT_EQ(ctx.path.nodes[0].p1, (Point{8, 8}));
    EXPECT_EQ(ctx.path.nodes[2].p3, (Point{11, 5}));
    EXPECT_EQ(ctx.path.nodes[3].kind, node_close_path);
    g.closed = false;
    EXPECT_EQ(draw_shape_geometry(ctx, FrameView::for_canvas(1, 16, 16), g), Error::None);
    EXPECT_EQ(ctx.path.nodes.size(), 3u);
    ctx.release();
}
