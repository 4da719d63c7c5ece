// The batch item's direct rgbx32 writers (exact-area boxes, hairlines), the
// colour blends towards the targets and the record checks, through the
// exports with expected pixels worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "items/shapes/batch_paint.h"
#include "support/scene.h"

namespace {

using vt::TestScene;

constexpr uint32_t kBg = 0x0018110Eu;  // bytes 14, 17, 24, 0

// ⌊c·a/255⌋ + ⌊d·(255 − a)/255⌋ per byte over the background.
uint32_t over_bg(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    uint32_t na = 255 - a;
    return (r * a / 255 + 14 * na / 255) | (g * a / 255 + 17 * na / 255) << 8 | (b * a / 255 + 24 * na / 255) << 16;
}

VokriBatchRecord batch(uint32_t mode, uint32_t count, const double* elements) {
    VokriBatchRecord r{};
    r.mode = mode;
    r.count = count;
    r.elements = elements;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

// Expects every pixel to be background except those listed.
struct Expect {
    int w;
    std::vector<uint32_t> px;
    Expect(int w_, int h) : w(w_), px(size_t(w_) * h, kBg) {}
    void set(int x, int y, uint32_t v) { px[size_t(y) * w + x] = v; }
};

void expect_pixels(const std::vector<uint32_t>& got, const Expect& e) {
    ASSERT_EQ(got.size(), e.px.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], e.px[i]) << "pixel (" << i % e.w << ", " << i / e.w << ") got " << vt::pixel_str(got[i])
                                   << " want " << vt::pixel_str(e.px[i]);
}

TEST(BatchBoxes, UnitSquareOnPixelCentreTakesTheColourExactly) {
    // 4x4 at scale 1: user (0.5, -0.5) is device (2.5, 2.5), the centre of pixel (2, 2).
    double el[4] = {0.5, -0.5, 1, 1};
    uint32_t fill = 0xC86432FFu;
    TestScene s;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 1, el);
    b.fill_colors = &fill;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(4, 4, 1, px), 0);
    Expect e(4, 4);
    e.set(2, 2, vt::rgba(200, 100, 50, 0));
    expect_pixels(px, e);
}

TEST(BatchBoxes, PartialCoverageAndHalfTransparentColour) {
    // Centre device (2.0, 2.5), width 1, height 1: columns 1 and 2 each
    // half covered, row 2 fully. Alpha 255 · 0.5 = 127.5 rounds to 128.
    double el[8] = {0, -0.5, 1, 1, /* second: alpha 128 over pixel (0, 0) fully */ -1.5, 1.5, 1, 1};
    uint32_t fill[2] = {0xFFFFFFFFu, 0x00FF0080u};
    TestScene s;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 2, el);
    b.fill_colors = fill;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(4, 4, 1, px), 0);
    Expect e(4, 4);
    e.set(1, 2, over_bg(255, 255, 255, 128));
    e.set(2, 2, over_bg(255, 255, 255, 128));
    e.set(0, 0, over_bg(0, 255, 0, 128));
    // Literal values: 128 + ⌊14·127/255⌋ = 134, 128 + 8 = 136, 128 + 11 = 139.
    EXPECT_EQ(e.px[2 * 4 + 1], vt::rgba(134, 136, 139, 0));
    expect_pixels(px, e);
}

TEST(BatchBoxes, CoverageProductAndAlphaBelowHalfIsLeftAlone) {
    // A box 0.5 x 0.5 at the corner of four pixels: each pixel covered 0.25 x
    // 0.25... here 0.5 x 0.5 centred on device (2, 2) covers a quarter pixel
    // square of each of the four pixels around (2, 2): coverage 0.0625.
    double el[8] = {0, 0, 0.5, 0.5, 0, 0, 0.5, 0.5};
    uint32_t fill[2] = {0xFF0000FFu, 0x0000FF07u};  // 0.0625·255 = 15.94 → 16; 0.0625·7 = 0.44 → skipped
    TestScene s;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 2, el);
    b.fill_colors = fill;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(4, 4, 1, px), 0);
    Expect e(4, 4);
    for (int y = 1; y <= 2; ++y)
        for (int x = 1; x <= 2; ++x) e.set(x, y, over_bg(255, 0, 0, 16));
    expect_pixels(px, e);
}

TEST(BatchBoxes, ClippedToTheSurfaceAndDegenerateSizesCoverNothing) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double el[] = {100, 100, 1000, 1000,  // covers the whole 3x3 canvas
                   0, 0, 0, 5,  0, 0, -3, 2,  nan, 0, 1, 1,  0, 0, inf, 1,  0, 0, 1e300, 1e300};
    uint32_t fill[6] = {0x102030FFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x405060FFu, 0x708090FFu};
    TestScene s;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 4, el);
    b.fill_colors = fill;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(3, 3, 1, px), 0);
    for (uint32_t p : px) EXPECT_EQ(p, vt::rgba(0x10, 0x20, 0x30, 0));
    // An infinite width spans the row band; a huge box covers everything.
    b.count = 6;
    s.batches[0] = b;
    ASSERT_EQ(s.rgb0(3, 3, 1, px), 0);
    for (uint32_t p : px) EXPECT_EQ(p, vt::rgba(0x70, 0x80, 0x90, 0));
}

TEST(BatchBoxes, TransitionPositionOpacityAndFillBlend) {
    // 9x4 at scale 1: origin (4.5, 2). First centre x 0, target 4, t 0.25: x 1,
    // device 5.5, pixel column 5. y 0.5 → device 1.5, row 1.
    double el[4] = {0, 0.5, 1, 1};
    double tel[4] = {4, 0.5, 1, 1};
    uint32_t fill = 0x000000FFu, tfill = 0xFFFFFFFFu;
    TestScene s;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 1, el);
    b.fill_colors = &fill;
    b.target_elements = tel;
    b.target_fill_colors = &tfill;
    b.t = 0.25;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(9, 4, 1, px), 0);
    Expect e(9, 4);
    // Channels 0 + 0.25·255 = 63.75 → 64, alpha 255.
    e.set(5, 1, vt::rgba(64, 64, 64, 0));
    expect_pixels(px, e);

    // Opacity 0.5 halves the alpha: 127.5 → 128; t beyond 1 is clamped.
    s.batches[0].t = 7;
    s.batches[0].opacity = 0.5;
    ASSERT_EQ(s.rgb0(9, 4, 1, px), 0);
    Expect e2(9, 4);
    e2.set(8, 1, over_bg(255, 255, 255, 128));  // x 4 → device 8.5
    expect_pixels(px, e2);

    // A NaN t counts as 1.
    s.batches[0].t = std::numeric_limits<double>::quiet_NaN();
    ASSERT_EQ(s.rgb0(9, 4, 1, px), 0);
    expect_pixels(px, e2);
}

TEST(BatchBoxes, BatchTransformScalesAndPlacesTheBoxes) {
    // Transform scale 2 (x) and 3 (y) with translation (1, 0): element centre
    // (0, 0) size 0.5 x 0.5 → user box centred (1, 0), 1 x 1.5; at scale 2 on
    // 8x8: device centre (6, 4), half extents 1 and 1.5 → columns 5..6,
    // rows 2..5 (rows 2 and 5 half covered).
    double el[4] = {0, 0, 0.5, 0.5};
    uint32_t fill = 0xFFFFFFFFu;
    TestScene s;
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 1, el);
    b.fill_colors = &fill;
    b.transform[0] = 2;
    b.transform[3] = 3;
    b.transform[4] = 1;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 8, 2, px), 0);
    Expect e(8, 8);
    for (int x = 5; x <= 6; ++x) {
        e.set(x, 2, over_bg(255, 255, 255, 128));
        e.set(x, 3, vt::rgba(255, 255, 255, 0));
        e.set(x, 4, vt::rgba(255, 255, 255, 0));
        e.set(x, 5, over_bg(255, 255, 255, 128));
    }
    expect_pixels(px, e);
}

// ---- hairlines ------------------------------------------------------------

VokriBatchRecord hairlines(uint32_t count, const double* el, const uint32_t* colours, const double* widths) {
    VokriBatchRecord b = batch(VOKRI_BATCH_SEGMENTS, count, el);
    b.stroke_colors = colours;
    b.stroke_widths = widths;
    return b;
}

// Hairline weights expected at (x, y); the pixel alpha is weight · 255
// rounded, the colour white.
void expect_weights(const std::vector<uint32_t>& px, int w, int h, std::vector<std::tuple<int, int, double>> ws) {
    Expect e(w, h);
    for (auto [x, y, wt] : ws) {
        double a = std::trunc(wt * 255 + 0.49999999999999994);
        e.set(x, y, over_bg(255, 255, 255, uint32_t(a)));
    }
    expect_pixels(px, e);
}

TEST(BatchHairlines, Horizontal) {
    // 8x6 at scale 1, origin (4, 3): user (-2, 0.5)..(2, 0.5) is device
    // (2, 2.5)..(6, 2.5). Ends: gap 0.5, split 0.5 / 0.5 → 0.25 each; the
    // three inner columns 0.5 / 0.5.
    double el[4] = {-2, 0.5, 2, 0.5};
    uint32_t c = 0xFFFFFFFFu;
    double wd = 1;
    TestScene s;
    s.add(hairlines(1, el, &c, &wd));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
    expect_weights(px, 8, 6,
                   {{2, 2, 0.25}, {2, 3, 0.25}, {6, 2, 0.25}, {6, 3, 0.25}, {3, 2, 0.5}, {3, 3, 0.5}, {4, 2, 0.5},
                    {4, 3, 0.5}, {5, 2, 0.5}, {5, 3, 0.5}});
    // Weight 0.25 → alpha 64: 64 + ⌊14·191/255⌋ = 74, 64 + 12, 64 + 17.
    EXPECT_EQ(px[2 * 8 + 2], vt::rgba(74, 76, 81, 0));
}

TEST(BatchHairlines, Vertical) {
    // Device (3.5, 1)..(3.5, 5): the major axis is y; ends at rows 1 and 5 with
    // gap 0.5; columns 3 and 4 share each row.
    double el[4] = {-0.5, 2, -0.5, -2};
    uint32_t c = 0xFFFFFFFFu;
    double wd = 1;
    TestScene s;
    s.add(hairlines(1, el, &c, &wd));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
    expect_weights(px, 8, 6,
                   {{3, 1, 0.25}, {4, 1, 0.25}, {3, 5, 0.25}, {4, 5, 0.25}, {3, 2, 0.5}, {4, 2, 0.5}, {3, 3, 0.5},
                    {4, 3, 0.5}, {3, 4, 0.5}, {4, 4, 0.5}});
}

TEST(BatchHairlines, Diagonal) {
    // Device (1.5, 1.5)..(5.5, 4.5): g = 0.75. First end xe 2, ye 1.875, gap 1:
    // (2,1) 0.125, (2,2) 0.875. Second end xe2 6, gap 0: nothing. Inner
    // columns: y 2.625, 3.375, 4.125.
    double el[4] = {-2.5, 1.5, 1.5, -1.5};
    uint32_t c = 0xFFFFFFFFu;
    double wd = 1;
    TestScene s;
    s.add(hairlines(1, el, &c, &wd));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
    expect_weights(px, 8, 6,
                   {{2, 1, 0.125}, {2, 2, 0.875}, {3, 2, 0.375}, {3, 3, 0.625}, {4, 3, 0.625}, {4, 4, 0.375},
                    {5, 4, 0.875}, {5, 5, 0.125}});
}

TEST(BatchHairlines, ThinnerWidthScalesEveryWeight) {
    // Width 0.25 at scale 2: device width 0.5. Horizontal line at device y 2
    // exactly: inner pixels take weight 0.5 on row 2 and 0 on row 3.
    double el[4] = {-1, 0, 1, 0};  // device (2, 2)..(6, 2) on 8x4 at scale 2
    uint32_t c = 0xFFFFFFFFu;
    double w = 0.25;
    TestScene s;
    s.add(hairlines(1, el, &c, &w));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 4, 2, px), 0);
    // Ends: gap 1 - frac(2.5) = 0.5 → 0.25 at (2,2) and (6,2).
    expect_weights(px, 8, 4, {{2, 2, 0.25}, {3, 2, 0.5}, {4, 2, 0.5}, {5, 2, 0.5}, {6, 2, 0.25}});
}

TEST(BatchHairlines, PointRunsAlongTheMinorAxis) {
    // A zero-length segment at device (3.5, 2.5): major axis y, run at row
    // round(2.5) = 3 over columns ⌊3.5⌋..⌈3.5⌉ with weight 1.
    double el[4] = {-0.5, 0.5, -0.5, 0.5};
    uint32_t c = 0xFFFFFFFFu;
    double wd = 1;
    TestScene s;
    s.add(hairlines(1, el, &c, &wd));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
    expect_weights(px, 8, 6, {{3, 3, 1.0}, {4, 3, 1.0}});
}

TEST(BatchHairlines, OffSurfaceAndNonFiniteLinesAreClipped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // A horizontal line through device row 2 exactly from far left to far
    // right paints the whole row at full weight; a diagonal of slope 1 from
    // far away paints what the same diagonal between nearby points paints;
    // non-finite and off-surface lines paint nothing.
    double far[] = {-1e15, 1, 1e15, 1,  -1e15, -1e15, 1e15, 1e15,  nan, 0, 1, 1,  0, inf, 1, 1,
                    100, 100, 200, 300,  -1e300, 1e300, 1e300, 1e300};
    double near[] = {-1e15, 1, 1e15, 1,  -10, -10, 10, 10};
    uint32_t c[6] = {0xFFFFFFFFu, 0x00FF00FFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    double w[6] = {1, 1, 1, 1, 1, 1};
    TestScene a, b;
    a.add(hairlines(6, far, c, w));
    b.add(hairlines(2, near, c, w));
    std::vector<uint32_t> pa, pb;
    ASSERT_EQ(a.rgb0(8, 6, 1, pa), 0);
    ASSERT_EQ(b.rgb0(8, 6, 1, pb), 0);
    EXPECT_EQ(pa, pb);
    for (int x = 0; x < 8; ++x)
        if (x != 5) {
            EXPECT_EQ(pa[2 * 8 + x], vt::rgba(255, 255, 255, 0)) << x;
        }
    // The diagonal crosses row 2 at column 5 after the row was painted.
    EXPECT_EQ(pa[2 * 8 + 5], vt::rgba(0, 255, 0, 0));
}

TEST(BatchHairlines, StrokeFadeOutAndFadeIn) {
    // Device row 2 exactly (user y 1 on 8x6): inner pixels take the alpha.
    double el[4] = {-3, 1, 3, 1};
    uint32_t c = 0xFFFFFFC8u;  // alpha 200
    double w = 1;
    std::vector<uint32_t> px;
    {
        TestScene s;
        VokriBatchRecord b = hairlines(1, el, &c, &w);
        b.t = 0.5;  // only the first colours: 200 · (1 - 0.5) = 100
        s.add(b);
        ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
        EXPECT_EQ(px[2 * 8 + 4], over_bg(255, 255, 255, 100));
        EXPECT_EQ(px[2 * 8 + 4], vt::rgba(108, 110, 114, 0));
    }
    {
        TestScene s;
        VokriBatchRecord b = hairlines(1, el, nullptr, nullptr);
        b.target_stroke_colors = &c;
        b.target_stroke_widths = &w;
        b.t = 0.5;  // only the targets: 0.5 · 200 = 100
        s.add(b);
        ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
        EXPECT_EQ(px[2 * 8 + 4], vt::rgba(108, 110, 114, 0));
        // With opacity 0.5: 100, then 50.
        s.batches[0].opacity = 0.5;
        ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
        EXPECT_EQ(px[2 * 8 + 4], over_bg(255, 255, 255, 50));
        // t 0: faded out entirely, the element is skipped.
        s.batches[0].t = 0;
        ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
        for (uint32_t p : px) EXPECT_EQ(p, kBg);
    }
}

TEST(BatchHairlines, WidthAndPositionBlendTowardsTargets) {
    // Width lists 0 → 2 at t 0.25: 0.5 device units at scale 1. Position
    // first y 0, target 4: y 1 → device row 2.
    double el[4] = {-3, 0, 3, 0}, tel[4] = {-3, 4, 3, 4};
    uint32_t c = 0xFFFFFFFFu;
    double w = 0, tw = 2;
    TestScene s;
    VokriBatchRecord b = hairlines(1, el, &c, &w);
    b.target_elements = tel;
    b.target_stroke_widths = &tw;
    b.target_stroke_colors = &c;
    b.t = 0.25;
    s.add(b);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 6, 1, px), 0);
    EXPECT_EQ(px[2 * 8 + 4], over_bg(255, 255, 255, 128));  // 0.5 · 255 = 127.5 → 128
    EXPECT_EQ(px[3 * 8 + 4], kBg);
    EXPECT_EQ(px[1 * 8 + 4], kBg);
}

// ---- colour blends --------------------------------------------------------

TEST(BatchColours, FillBlendRoundsPerChannel) {
    uint32_t target = 0xFF804001u;
    // Channels: 0→255, 0→128, 0→64, 0→1 at t 0.5: 127.5→128, 64, 32, 0.5→1.
    EXPECT_EQ(vokri::batch_fill_colour(0x00000000u, &target, 0.5, 1.0), vt::rgba(128, 64, 32, 1));
    EXPECT_EQ(vokri::batch_fill_colour(0x11223344u, nullptr, 0.9, 1.0), vt::rgba(0x11, 0x22, 0x33, 0x44));
    // Opacity after the blend: 0x44 = 68 · 0.25 = 17.
    EXPECT_EQ(vokri::batch_fill_colour(0x11223344u, nullptr, 0.9, 0.25), vt::rgba(0x11, 0x22, 0x33, 17));
}

TEST(BatchColours, StrokeRules) {
    uint32_t a = 0x102030C8u, b = 0x405060FFu;
    EXPECT_EQ(vokri::batch_stroke_colour(&a, nullptr, 0.5, 1.0), vt::rgba(0x10, 0x20, 0x30, 100));
    EXPECT_EQ(vokri::batch_stroke_colour(nullptr, &a, 0.5, 1.0), vt::rgba(0x10, 0x20, 0x30, 100));
    // Both: every channel blends. 0x10 + 0.5·(0x40 - 0x10) = 40, ..., alpha 227.5 → 228.
    EXPECT_EQ(vokri::batch_stroke_colour(&a, &b, 0.5, 1.0), vt::rgba(40, 56, 72, 228));
    // Fade out, rounded, then the opacity, rounded again: 200·0.75 = 150, ·0.3 = 45.
    EXPECT_EQ(vokri::batch_stroke_colour(&a, nullptr, 0.25, 0.3), vt::rgba(0x10, 0x20, 0x30, 45));
    // 201 · 0.5 = 100.5 → 101, then · 0.5 = 50.5 → 51 (not 50.25 → 50).
    uint32_t odd = 0x000000C9u;
    EXPECT_EQ(vokri::batch_stroke_colour(nullptr, &odd, 0.5, 0.5), vt::rgba(0, 0, 0, 51));
}

TEST(BatchColours, BlendFormulaMatchesExhaustively) {
    // The pixel blend, for every alpha and destination byte against the
    // plain per-byte formula.
    for (uint32_t a = 1; a <= 255; ++a)
        for (uint32_t d = 0; d <= 255; ++d) {
            uint32_t dst = d | (255 - d) << 8 | (d / 2) << 16 | 0xAB000000u;
            uint32_t col = 0xFF000000u | (255 - d) | d << 8 | 77u << 16;
            uint32_t got = vokri::blend_rgbx(dst, col, a);
            uint32_t want = ((255 - d) * a / 255 + d * (255 - a) / 255) | (d * a / 255 + (255 - d) * (255 - a) / 255) << 8 |
                            (77 * a / 255 + (d / 2) * (255 - a) / 255) << 16;
            ASSERT_EQ(got, want) << a << " " << d;
        }
}

// ---- record checks --------------------------------------------------------

int32_t render_error(const TestScene& s, bool rgb, std::string& message) {
    vt::StderrCapture cap;
    std::vector<uint32_t> px;
    int32_t rc = rgb ? s.rgb0(4, 4, 1, px) : s.rgba0(4, 4, 1, px);
    message = cap.text();
    return rc;
}

void expect_batch_error(const VokriBatchRecord& b, const char* name, bool rgb = true) {
    TestScene s;
    s.add(b);
    std::string msg;
    EXPECT_EQ(render_error(s, rgb, msg), 1);
    EXPECT_EQ(msg, std::string(rgb ? "vokri scene rgb0 render error: " : "vokri scene rgba0 render error: ") + name +
                       "\n");
}

TEST(BatchChecks, InvalidBatchCases) {
    double el[4] = {0, 0, 1, 1};
    uint32_t c = 0xFFFFFFFFu;
    double w = 1;
    VokriBatchRecord ok = batch(VOKRI_BATCH_RECTANGLES, 1, el);
    ok.fill_colors = &c;

    VokriBatchRecord b = ok;
    b.count = 0;
    expect_batch_error(b, "InvalidBatch");
    b = ok;
    b.elements = nullptr;
    expect_batch_error(b, "InvalidBatch");
    b = ok;
    b.mode = 3;
    expect_batch_error(b, "InvalidBatch");
    b.mode = 0xFFFFFFFFu;
    expect_batch_error(b, "InvalidBatch");
    for (uint32_t mode : {VOKRI_BATCH_CIRCLES, VOKRI_BATCH_RECTANGLES}) {
        b = ok;
        b.mode = mode;
        b.fill_colors = nullptr;
        expect_batch_error(b, "InvalidBatch");
        // A stroke colour list with no width list at all.
        b = ok;
        b.mode = mode;
        b.stroke_colors = &c;
        expect_batch_error(b, "InvalidBatch");
        b.stroke_colors = nullptr;
        b.target_stroke_colors = &c;
        expect_batch_error(b, "InvalidBatch", false);
    }
    // Segments without any stroke colour list, or without any width list.
    b = hairlines(1, el, nullptr, &w);
    expect_batch_error(b, "InvalidBatch");
    b = hairlines(1, el, &c, nullptr);
    expect_batch_error(b, "InvalidBatch");
    b.target_stroke_widths = &w;  // fine on rgbx32 ...
    {
        TestScene s;
        s.add(b);
        std::vector<uint32_t> px;
        EXPECT_EQ(s.rgb0(4, 4, 1, px), 0);
    }
    // ... but another format needs the first lists.
    expect_batch_error(b, "InvalidBatch", false);
    b = hairlines(1, el, nullptr, &w);
    b.target_stroke_colors = &c;
    expect_batch_error(b, "InvalidBatch", false);
}

TEST(BatchChecks, InvalidSizeBeforeAnythingIsDrawnOnTheGeneralPath) {
    double el[8] = {0, 0, 0, 1, 0, 0, 1, 1};
    uint32_t c[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    VokriBatchRecord b = batch(VOKRI_BATCH_RECTANGLES, 2, el);
    b.fill_colors = c;
    expect_batch_error(b, "InvalidSize", false);  // rgba32: general path
    el[3] = std::numeric_limits<double>::quiet_NaN();
    el[2] = 1;
    expect_batch_error(b, "InvalidSize", false);
    // The fast path does not validate sizes.
    TestScene s;
    s.add(b);
    std::vector<uint32_t> px;
    EXPECT_EQ(s.rgb0(4, 4, 1, px), 0);
}

TEST(BatchChecks, InvalidRadiusOnTheFirstElement) {
    double el[3] = {0, 0, -1};
    uint32_t c = 0xFFFFFFFFu;
    VokriBatchRecord b = batch(VOKRI_BATCH_CIRCLES, 1, el);
    b.fill_colors = &c;
    expect_batch_error(b, "InvalidRadius");
    el[2] = std::numeric_limits<double>::quiet_NaN();
    expect_batch_error(b, "InvalidRadius", false);
    // A target radius of 0 reached at t 1.
    double tel[3] = {0, 0, 0};
    el[2] = 1;
    b.target_elements = tel;
    b.t = 1;
    expect_batch_error(b, "InvalidRadius");
}

TEST(BatchFastPaths, AllocateNothing) {
    // Boxes and hairlines on rgbx32 write pixels directly: the whole frame
    // makes no allocation, however many elements.
    std::vector<double> el(4 * 1000);
    std::vector<uint32_t> c(1000, 0x80FF40C0u);
    std::vector<double> w(1000, 0.2);  // device width 0.8
    for (size_t i = 0; i < el.size(); ++i) el[i] = double(int(i * 37 % 64) - 32) / 4;
    TestScene s;
    VokriBatchRecord boxes = batch(VOKRI_BATCH_RECTANGLES, 1000, el.data());
    boxes.fill_colors = c.data();
    s.add(boxes);
    s.add(hairlines(1000, el.data(), c.data(), w.data()));
    std::vector<uint32_t> px(64 * 64);
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(s.rgb0(64, 64, 4, px), 0);
    EXPECT_EQ(vokri::test_hooks::allocation_count(), 0u);
}

}  // namespace

TEST(BatchHairlines, WalkFromAboveTheSurfaceAddsTheGradientStepByStep) {
    // Device (25, -10.5)..(18, 16.5): major axis y, g = -7/27. The walk from
    // row -10 adds g once per row, reaching 21.499999999999996 at row 3, so
    // pixel (22, 3) takes weight 0.49999999999999645: alpha 127, not 128.
    const double el[4] = {9.5, 22.5, 2.5, -4.5};
    const uint32_t colour = 0xE252E6FFu;
    const double width = 1;
    TestScene s;
    s.add(hairlines(1, el, &colour, &width));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(31, 24, 1, px), 0);
    EXPECT_EQ(vt::pixel_str(px[3 * 31 + 22]), vt::pixel_str(over_bg(0xE2, 0x52, 0xE6, 127)));
}
