// Infinite lines and line grids through the exports: the header check,
// lines that equal the same clipped segment drawn as a shape line, grids
// that equal their visible lines drawn one by one, the fill case, thinning
// and the inputs that would otherwise cost without bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/scene.h"
#include "vokri_core.h"

namespace {

using vt::TestScene;

constexpr double kNaN = __builtin_nan("");
constexpr double kInf = __builtin_inf();
constexpr uint32_t kBackground = 0x0018110Eu;

VokriInfiniteGeometryRecord line(double px, double py, double dx, double dy) {
    VokriInfiniteGeometryRecord r{};
    r.geometry_kind = VOKRI_GEOMETRY_LINE;
    r.a0 = px;
    r.a1 = py;
    r.a2 = dx;
    r.a3 = dy;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.colour1 = 0xE0804AFFu;
    r.colour2 = 0x102030FFu;
    r.line_width = 0.1;
    r.opacity = 1;
    return r;
}

VokriInfiniteGeometryRecord grid(double ox, double oy, double gx, double gy) {
    VokriInfiniteGeometryRecord r = line(ox, oy, gx, gy);
    r.geometry_kind = VOKRI_GEOMETRY_LINE_GRID;
    return r;
}

std::string error_of(const VokriInfiniteGeometryRecord& r) {
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    vt::StderrCapture cap;
    int32_t rc = s.rgba0(8, 8, 4, px);
    std::string text = cap.text();
    if (rc == 0) return "ok";
    const std::string prefix = "vokri scene rgba0 render error: ";
    if (rc != 1 || text.rfind(prefix, 0) != 0 || text.back() != '\n') return "bad report: " + text;
    return text.substr(prefix.size(), text.size() - prefix.size() - 1);
}

std::vector<uint32_t> render(const TestScene& s, int w, int h, double scale) {
    std::vector<uint32_t> px;
    EXPECT_EQ(s.rgb0(w, h, scale, px), 0);
    return px;
}

std::vector<uint32_t> render(const VokriInfiniteGeometryRecord& r, int w, int h, double scale) {
    TestScene s;
    s.add(r);
    return render(s, w, h, scale);
}

size_t painted(const std::vector<uint32_t>& px) {
    return size_t(std::count_if(px.begin(), px.end(), [](uint32_t p) { return p != kBackground; }));
}

// The visible segment of a user-space line, by parametric clipping against
// |x| <= W/(2s), |y| <= H/(2s).
bool clip(double px, double py, double dx, double dy, int w, int h, double s, double out[4]) {
    double hx = w / (2.0 * s), hy = h / (2.0 * s);
    double u0 = -kInf, u1 = kInf;
    const double p[2] = {px, py}, d[2] = {dx, dy}, half[2] = {hx, hy};
    for (int k = 0; k < 2; ++k) {
        if (std::fabs(d[k]) <= 1e-14) {
            if (p[k] < -half[k] || p[k] > half[k]) return false;
            continue;
        }
        double a = (-half[k] - p[k]) / d[k], b = (half[k] - p[k]) / d[k];
        u0 = std::max(u0, std::min(a, b));
        u1 = std::min(u1, std::max(a, b));
    }
    if (!(u0 <= u1)) return false;
    out[0] = px + u0 * dx;
    out[1] = py + u0 * dy;
    out[2] = px + u1 * dx;
    out[3] = py + u1 * dy;
    return true;
}

// Adds the clipped line as a shape line (kind 0) of the same colour and
// width; returns whether it was visible.
bool add_shape_line(TestScene& s, double px, double py, double dx, double dy, uint32_t colour, double width,
                    int w, int h, double scale) {
    double seg[4];
    if (!clip(px, py, dx, dy, w, h, scale, seg)) return false;
    VokriShapeRecord r = vt::stroked(vt::shape(0), colour, width);
    r.p0 = seg[0];
    r.p1 = seg[1];
    r.p2 = seg[2];
    r.p3 = seg[3];
    s.add(r);
    return true;
}

TEST(InfiniteHeader, KindAndLineWidth) {
    VokriInfiniteGeometryRecord r = line(0, 0, 1, 0);
    for (uint32_t kind : {4u, 5u, 0xFFFFFFFFu}) {
        r.geometry_kind = kind;
        EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry") << kind;
    }
    for (uint32_t kind : {0u, 1u, 2u, 3u}) {
        for (double w : {0.0, -2.0, kNaN, kInf, -kInf}) {
            r = grid(0, 0, 1, 1);
            r.geometry_kind = kind;
            r.line_width = w;
            r.opacity = 0;  // checked all the same
            EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry") << kind << " " << w;
        }
    }
}

TEST(InfiniteHeader, GridSpacings) {
    for (double g : {0.0, -1.0, kNaN, -kInf}) {
        VokriInfiniteGeometryRecord r = grid(0, 0, g, 1);
        r.opacity = 0;
        EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry") << g;
        r = grid(0, 0, 1, g);
        EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry") << g;
    }
    EXPECT_EQ(error_of(grid(0, 0, 1, 1)), "ok");
}

TEST(InfiniteLine, DegenerateOrHiddenLinesDrawNothing) {
    const VokriInfiniteGeometryRecord cases[] = {
        line(0, 0, 0, 0),       line(kNaN, 0, 1, 0), line(0, kInf, 1, 1), line(0, 0, kNaN, 1),
        line(0, 0, 1e-15, 0),   line(0, 5, 1, 0),    line(5, 0, 0, 1),   line(0, 4, 1, 1),
        line(0, 0, 7e-15, 7e-15),  // |d| above 1e-14 but no component is
    };
    for (const VokriInfiniteGeometryRecord& r : cases) {
        EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u) << r.a0 << " " << r.a1 << " " << r.a2 << " " << r.a3;
    }
    VokriInfiniteGeometryRecord r = line(0, 0, 1, 1);
    r.opacity = 0;
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
    r.opacity = 1;
    r.colour1 = 0xFFFFFF00u;
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
    r.colour1 = 0xFFFFFF40u;
    EXPECT_GT(painted(render(r, 40, 30, 10)), 0u);
}

TEST(InfiniteLine, EqualsTheClippedShapeLine) {
    struct Case {
        double px, py, dx, dy;
        double m[6];
        double width;
        int w, h;
        double scale;
    } cases[] = {
        {0, 0, 1, 0, {1, 0, 0, 1, 0, 0}, 0.1, 40, 30, 10},
        {0.3, -0.2, 1, 2, {1, 0, 0, 1, 0, 0}, 0.25, 61, 33, 9},
        {1, 1, -3, 1, {0.5, -1, 0.8, 0.3, 0.2, -0.4}, 0.05, 50, 50, 20},
        {-2, 0.7, 0, 1, {1, 0, 0, 1, 0, 0}, 0.4, 64, 48, 16},
        {0, 0, 1, 1e-9, {2, 0, 0, 2, 0, 0}, 0.3, 100, 20, 5},
    };
    for (const Case& c : cases) {
        VokriInfiniteGeometryRecord r = line(c.px, c.py, c.dx, c.dy);
        std::copy(c.m, c.m + 6, r.transform);
        r.line_width = c.width;
        r.colour1 = 0xE0804AC0u;
        std::vector<uint32_t> got = render(r, c.w, c.h, c.scale);
        // The same line in user space, clipped by hand.
        double ux = c.m[0] * c.px + c.m[1] * c.py + c.m[4], uy = c.m[2] * c.px + c.m[3] * c.py + c.m[5];
        double vx = c.m[0] * c.dx + c.m[1] * c.dy, vy = c.m[2] * c.dx + c.m[3] * c.dy;
        TestScene s;
        ASSERT_TRUE(add_shape_line(s, ux, uy, vx, vy, r.colour1, c.width, c.w, c.h, c.scale));
        EXPECT_EQ(got, render(s, c.w, c.h, c.scale)) << c.px << " " << c.dx;
        EXPECT_GT(painted(got), size_t(std::min(c.w, c.h)));
    }
}

TEST(InfiniteLine, HorizontalLineSpansTheWidth) {
    // |y| <= H/(2s): the line y = 1.45 lies inside a 40x30 view at scale 10.
    VokriInfiniteGeometryRecord r = line(-100, 1.45, 1, 0);
    r.line_width = 0.2;
    std::vector<uint32_t> px = render(r, 40, 30, 10);
    for (int x = 0; x < 40; ++x) EXPECT_NE(px[size_t(0) * 40 + x], kBackground) << x;  // device y = 0.5
    EXPECT_EQ(painted(px), 40u * 2u);
}

TEST(InfiniteLine, OpacityScalesAlpha) {
    // a1' = round(0.5 * 0xC0) = 96: the same as a shape of alpha 96.
    VokriInfiniteGeometryRecord r = line(0, 0, 1, 2);
    r.colour1 = 0xE0804AC0u;
    r.opacity = 0.5;
    r.line_width = 0.3;
    TestScene s;
    ASSERT_TRUE(add_shape_line(s, 0, 0, 1, 2, 0xE0804A60u, 0.3, 40, 30, 10));
    EXPECT_EQ(render(r, 40, 30, 10), render(s, 40, 30, 10));
}

TEST(InfiniteLine, HugeWidthCoversTheView) {
    VokriInfiniteGeometryRecord r = line(0, 0, 1, 0);
    r.colour1 = 0x204060FFu;
    for (double w : {10.0, 1e6, 1e300, 1.7e308}) {
        r.line_width = w;
        std::vector<uint32_t> px = render(r, 30, 20, 10);
        for (uint32_t p : px) ASSERT_EQ(p, vt::rgba(0x20, 0x40, 0x60, 0)) << w;
    }
}

// The lines of a grid, drawn one by one as shape lines in the grid's order
// (vertical family, then horizontal, each by increasing index), every n-th
// with n from the thinning rule.
TestScene grid_as_lines(const VokriInfiniteGeometryRecord& r, int w, int h, double s, int& lines) {
    TestScene out;
    lines = 0;
    const double* m = r.transform;
    double det = m[0] * m[3] - m[1] * m[2];
    double hx = w / (2.0 * s), hy = h / (2.0 * s);
    double cx[4] = {-hx, hx, hx, -hx}, cy[4] = {-hy, -hy, hy, hy};
    double bx0 = kInf, bx1 = -kInf, by0 = kInf, by1 = -kInf;
    for (int k = 0; k < 4; ++k) {
        double lx = (m[3] * (cx[k] - m[4]) - m[1] * (cy[k] - m[5])) / det;
        double ly = (m[0] * (cy[k] - m[5]) - m[2] * (cx[k] - m[4])) / det;
        bx0 = std::min(bx0, lx);
        bx1 = std::max(bx1, lx);
        by0 = std::min(by0, ly);
        by1 = std::max(by1, ly);
    }
    for (int family = 0; family < 2; ++family) {
        bool vertical = family == 0;
        double dx = vertical ? m[1] : m[0], dy = vertical ? m[3] : m[2];
        double len = std::sqrt(dx * dx + dy * dy);
        double o = vertical ? r.a0 : r.a1, c = vertical ? r.a2 : r.a3;
        double P = s * c * std::fabs(det) / len;
        EXPECT_LT(r.line_width * s, P);  // not the fill case
        double first = std::ceil(((vertical ? bx0 : by0) - o) / c - 1e-10);
        double last = std::floor(((vertical ? bx1 : by1) - o) / c + 1e-10);
        double n = std::max(std::ceil(0.9 / P), 1.0);
        double width = n >= 2 ? r.line_width * n : r.line_width;
        for (double k = std::ceil(first / n) * n; k <= last; k += n) {
            double lx = vertical ? r.a0 + k * r.a2 : r.a0, ly = vertical ? r.a1 : r.a1 + k * r.a3;
            double ux = m[0] * lx + m[1] * ly + m[4], uy = m[2] * lx + m[3] * ly + m[5];
            if (add_shape_line(out, ux, uy, dx, dy, r.colour1, width, w, h, s)) ++lines;
        }
    }
    return out;
}

TEST(LineGrid, EqualsItsLinesDrawnOneByOne) {
    struct Case {
        double ox, oy, gx, gy;
        double m[6];
        int w, h;
        double s;
        int min_lines;
    } cases[] = {
        {0, 0, 1, 1, {1, 0, 0, 1, 0, 0}, 40, 30, 10, 6},
        {0.25, -0.1, 0.5, 0.75, {1, 0, 0, 1, 0, 0}, 64, 48, 16, 10},
        {0.1, 0.2, 0.3, 0.4, {0.8, -0.6, 0.6, 0.8, 0.05, -0.1}, 50, 40, 20, 12},   // rotated
        {0, 0, 1, 1, {0.3, 0.25, -0.1, 0.2, 0.4, 0.1}, 60, 60, 30, 8},             // sheared
    };
    for (const Case& c : cases) {
        VokriInfiniteGeometryRecord r = grid(c.ox, c.oy, c.gx, c.gy);
        std::copy(c.m, c.m + 6, r.transform);
        r.line_width = 0.04;
        r.colour1 = 0x30A0F0D0u;
        int lines = 0;
        TestScene want = grid_as_lines(r, c.w, c.h, c.s, lines);
        EXPECT_GE(lines, c.min_lines);
        EXPECT_EQ(render(r, c.w, c.h, c.s), render(want, c.w, c.h, c.s)) << c.gx;
    }
}

TEST(LineGrid, DenseGridsAreThinned) {
    // Pixel spacing 0.1 (spacing 0.01 at scale 10): every n-th line with
    // n = ceil(0.9 / 0.1), n times as wide.
    VokriInfiniteGeometryRecord r = grid(0, 0, 0.01, 0.01);
    r.line_width = 0.002;
    int lines = 0;
    TestScene want = grid_as_lines(r, 40, 30, 10, lines);
    double n = std::ceil(0.9 / (10 * 0.01 * 1.0 / 1.0));
    EXPECT_GE(n, 9.0);
    // About 40/0.9 + 30/0.9 lines instead of 700.
    EXPECT_GE(lines, 70);
    EXPECT_LE(lines, 80);
    std::vector<uint32_t> got = render(r, 40, 30, 10);
    EXPECT_EQ(got, render(want, 40, 30, 10));
    EXPECT_GT(painted(got), 600u);
}

TEST(LineGrid, ThinningKeepsGrowingBeyondAMillionfold) {
    // Pixel spacing 1e-11: n = ceil(0.9e11), so still about one line per
    // 0.9 pixels and the frame costs what a plain grid costs.
    VokriInfiniteGeometryRecord r = grid(0.05, 0.05, 1e-12, 1e-12);
    r.line_width = 1e-13;
    int lines = 0;
    TestScene want = grid_as_lines(r, 40, 30, 10, lines);
    EXPECT_GE(lines, 70);
    EXPECT_LE(lines, 80);
    EXPECT_EQ(render(r, 40, 30, 10), render(want, 40, 30, 10));
}

TEST(LineGrid, WideLinesFillTheView) {
    // Line width 1.5 at spacing 1: both families fill the view.
    VokriInfiniteGeometryRecord r = grid(0, 0, 1, 1);
    r.line_width = 1.5;
    r.colour1 = 0x6080A0FFu;
    std::vector<uint32_t> px = render(r, 30, 20, 10);
    for (uint32_t p : px) ASSERT_EQ(p, vt::rgba(0x60, 0x80, 0xA0, 0));
    // Half transparent: two fills of the view, the same as two rectangles.
    r.colour1 = 0x6080A080u;
    TestScene s;
    s.add(vt::rect(0, 0, 3, 2, 0x6080A080u));
    s.add(vt::rect(0, 0, 3, 2, 0x6080A080u));
    EXPECT_EQ(render(r, 30, 20, 10), render(s, 30, 20, 10));
    // Only the vertical family is wide enough: one fill, then thin lines.
    r = grid(0, 0, 0.1, 5);
    r.line_width = 0.12;
    r.colour1 = 0x6080A080u;
    TestScene t;
    t.add(vt::rect(0, 0, 3, 2, 0x6080A080u));
    add_shape_line(t, 0, 0, 1, 0, 0x6080A080u, 0.12, 30, 20, 10);
    EXPECT_EQ(render(r, 30, 20, 10), render(t, 30, 20, 10));
}

TEST(LineGrid, CollapsedTransformDrawsAtMostTwoLines) {
    VokriInfiniteGeometryRecord r = grid(0.5, 0.25, 1, 1);
    const double m[6] = {1, 2, 0.5, 1, 0.1, 0};  // determinant 0
    std::copy(m, m + 6, r.transform);
    r.colour1 = 0x30A0F080u;
    double ux = 1 * 0.5 + 2 * 0.25 + 0.1, uy = 0.5 * 0.5 + 1 * 0.25;
    TestScene s;
    ASSERT_TRUE(add_shape_line(s, ux, uy, 1, 0.5, r.colour1, r.line_width, 40, 30, 10));
    ASSERT_TRUE(add_shape_line(s, ux, uy, 2, 1, r.colour1, r.line_width, 40, 30, 10));
    EXPECT_EQ(render(r, 40, 30, 10), render(s, 40, 30, 10));
    // A zero linear part: no line at all.
    for (int k = 0; k < 4; ++k) r.transform[k] = 0;
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
}

TEST(LineGrid, UnboundedInputsDrawNothing) {
    const double bad[] = {kNaN, kInf};
    for (int k = 0; k < 6; ++k) {
        for (double v : bad) {
            VokriInfiniteGeometryRecord r = grid(0, 0, 1, 1);
            r.transform[k] = v;
            EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u) << k;
        }
    }
    // Indices beyond 9e15, pixel spacings at or below 1e-12, and a
    // non-finite origin.
    VokriInfiniteGeometryRecord r = grid(1e17, 1e17, 1, 1);
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
    r = grid(0, 0, 1e-14, 1e-14);
    r.line_width = 1e-16;
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
    r = grid(kInf, kNaN, 1, 1);
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
    // Opacity 0.
    r = grid(0, 0, 1, 1);
    r.opacity = 0;
    EXPECT_EQ(painted(render(r, 40, 30, 10)), 0u);
}

TEST(LineGrid, HugeSpacingAndWidthStayInTheView) {
    // One visible line of each family, each far wider than the view.
    VokriInfiniteGeometryRecord r = grid(0, 0, 1e300, 1e300);
    r.line_width = 1e299;
    r.colour1 = 0x204060FFu;
    std::vector<uint32_t> px = render(r, 30, 20, 10);
    for (uint32_t p : px) ASSERT_EQ(p, vt::rgba(0x20, 0x40, 0x60, 0));
}

}  // namespace
