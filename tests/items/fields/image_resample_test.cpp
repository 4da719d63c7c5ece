// Resampled image items: expected pixels worked out by hand from the
// placement and the bilinear formula. Unless said otherwise: a 4 x 4 canvas
// at scale 1 and a 2 x 2 raster displayed 2 x 2, so with the identity
// transform raster point (u, v) lands on pixel (1 + u, 1 + v).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "items/fields/image_support.h"
#include "raster/canvas.h"
#include "items/drawers.h"

using namespace vt;

namespace {

const uint32_t T00 = rgba(200, 100, 50, 255), T10 = rgba(40, 80, 120, 255), T01 = rgba(10, 20, 30, 0),
               T11 = rgba(60, 120, 180, 102);
const uint32_t O00 = rgba(11, 22, 33, 255), O10 = rgba(44, 55, 66, 255), O01 = rgba(77, 88, 99, 255),
               O11 = rgba(111, 122, 133, 255);

struct Frames {
    std::vector<uint32_t> rgba0, rgb0;
};

Frames render(const TestScene& s, int32_t w = 4, int32_t h = 4, double scale = 1) {
    Frames f;
    EXPECT_EQ(s.rgba0(w, h, scale, f.rgba0), 0);
    EXPECT_EQ(s.rgb0(w, h, scale, f.rgb0), 0);
    return f;
}

// Expected canvases: every pixel background except the ones set.
struct Expect {
    int32_t w;
    std::vector<uint32_t> rgba0, rgb0;
    Expect(int32_t width, int32_t height) : w(width), rgba0(width * height, 0), rgb0(width * height, rgb0_background()) {}
    void set(int32_t x, int32_t y, uint32_t straight, uint32_t opaque) {
        rgba0[y * w + x] = straight;
        rgb0[y * w + x] = opaque;
    }
    // An opaque texel reproduced exactly.
    void texel(int32_t x, int32_t y, uint32_t t) { set(x, y, t, t & 0x00FFFFFFu); }
};

void check(const Frames& f, const Expect& e) {
    ASSERT_EQ(f.rgba0.size(), e.rgba0.size());
    for (size_t i = 0; i < e.rgba0.size(); ++i) {
        EXPECT_EQ(pixel_str(f.rgba0[i]), pixel_str(e.rgba0[i])) << "rgba0 pixel " << i % e.w << "," << i / e.w;
        EXPECT_EQ(pixel_str(f.rgb0[i]), pixel_str(e.rgb0[i])) << "rgb0 pixel " << i % e.w << "," << i / e.w;
    }
}

}  // namespace

TEST(ImageResample, PixelAlignedPlacementReproducesTexels) {
    auto bytes = raster({O00, O10, O01, O11});
    TestScene s;
    s.add(image(bytes, 2, 2, 2, 2));
    Expect e(4, 4);
    e.texel(1, 1, O00);
    e.texel(2, 1, O10);
    e.texel(1, 2, O01);
    e.texel(2, 2, O11);
    check(render(s), e);
}

TEST(ImageResample, HalfPixelTranslation) {
    // x0 = 0.5: pixel column x has u = x - 1, so fx = 0.5 everywhere.
    // Row 1 (v = 0.5, texel row 0):
    //   x = 0: u = -1 lies outside [-0.5, 2.5]: untouched.
    //   x = 1: 0.5*T00 -> c = (100, 50, 25), a = 0.5.
    //          rgb0: 100 + 0.5*14 = 107, 50 + 8.5 = 58.5 -> 59, 25 + 12 = 37.
    //          rgba0: alpha round(127.5) = 128; straight 100*255/128 = 199,
    //          50*255/128 = 99, 25*255/128 = 49.
    //   x = 2: 0.5*T00 + 0.5*T10 = (120, 90, 85), a = 1.
    //   x = 3: 0.5*T10 -> (20, 40, 60), a = 0.5: rgb0 (27, 48.5 -> 49, 72);
    //          rgba0 alpha 128, straight 39, 79, 119.
    // Row 2 (texel row 1; T01 has alpha 0, T11 alpha 102, t = 0.4):
    //   x = 1: 0.5*T01 has a = 0: untouched.
    //   x = 2, 3: 0.5*(60, 120, 180)*0.4 = (12, 24, 36), a = 0.2;
    //          rgb0: 12 + 0.8*14 = 23.2 -> 23, 24 + 13.6 -> 38, 36 + 19.2 -> 55;
    //          rgba0: alpha 51, straight (60, 120, 180).
    auto bytes = raster({T00, T10, T01, T11});
    TestScene s;
    s.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 0.5, 0));
    Expect e(4, 4);
    e.set(1, 1, rgba(199, 99, 49, 128), rgba(107, 59, 37, 0));
    e.set(2, 1, rgba(120, 90, 85, 255), rgba(120, 90, 85, 0));
    e.set(3, 1, rgba(39, 79, 119, 128), rgba(27, 49, 72, 0));
    e.set(2, 2, rgba(60, 120, 180, 51), rgba(23, 38, 55, 0));
    e.set(3, 2, rgba(60, 120, 180, 51), rgba(23, 38, 55, 0));
    check(render(s), e);
}

TEST(ImageResample, ScaledByTwo) {
    // 2 x 2 raster displayed 4 x 4 on an 8 x 8 canvas: pixel = (2 + 2u, 2 + 2v).
    //   (3, 3): u = v = 0.75, weights 0.5625, 0.1875, 0.1875, 0.0625:
    //           (0.5625*160 + 0.0625*80, 0.1875*160 + 0.0625*80, 0.1875*160 + 0.0625*80)
    //           = (95, 35, 35), a = 1.
    //   (2, 2): u = v = 0.25, only texel (0, 0) inside, weight 0.5625:
    //           c = (90, 0, 0), a = 0.5625, k = 0.4375;
    //           rgb0 (90 + 6.125 -> 96, 7.4375 -> 7, 10.5 -> 11);
    //           rgba0 alpha 143.4375 -> 143, straight 90*255/143 = 160.
    //   (4, 3): u = 1.25, v = 0.75, weights 0.1875, 0.5625, 0.0625, 0.1875:
    //           (30 + 15, 90 + 15, 10 + 15) = (45, 105, 25).
    auto bytes = raster({rgba(160, 0, 0, 255), rgba(0, 160, 0, 255), rgba(0, 0, 160, 255), rgba(80, 80, 80, 255)});
    TestScene s;
    s.add(image(bytes, 2, 2, 4, 4));
    Frames f = render(s, 8, 8);
    EXPECT_EQ(pixel_str(f.rgb0[3 * 8 + 3]), pixel_str(rgba(95, 35, 35, 0)));
    EXPECT_EQ(pixel_str(f.rgba0[3 * 8 + 3]), pixel_str(rgba(95, 35, 35, 255)));
    EXPECT_EQ(pixel_str(f.rgb0[2 * 8 + 2]), pixel_str(rgba(96, 7, 11, 0)));
    EXPECT_EQ(pixel_str(f.rgba0[2 * 8 + 2]), pixel_str(rgba(160, 0, 0, 143)));
    EXPECT_EQ(pixel_str(f.rgb0[3 * 8 + 4]), pixel_str(rgba(45, 105, 25, 0)));
    // The box is columns and rows 2 to 5; nothing outside it is drawn.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            if (x < 2 || x > 5 || y < 2 || y > 5) {
                EXPECT_EQ(f.rgba0[y * 8 + x], 0u) << x << "," << y;
            }
        }
    }
}

TEST(ImageResample, RotatedQuarterTurn) {
    // (0, -1, 1, 0) turns the raster counter-clockwise in user space:
    // pixel = (1 + v, 3 - u), so the right-hand raster column becomes the
    // top row.
    auto bytes = raster({O00, O10, O01, O11});
    TestScene s;
    s.add(placed(image(bytes, 2, 2, 2, 2), 0, -1, 1, 0, 0, 0));
    Expect e(4, 4);
    e.texel(1, 1, O10);
    e.texel(2, 1, O11);
    e.texel(1, 2, O00);
    e.texel(2, 2, O01);
    check(render(s), e);
}

TEST(ImageResample, Mirrored) {
    // (-1, 0, 0, 1): pixel = (3 - u, 1 + v).
    auto bytes = raster({O00, O10, O01, O11});
    TestScene s;
    s.add(placed(image(bytes, 2, 2, 2, 2), -1, 0, 0, 1, 0, 0));
    Expect e(4, 4);
    e.texel(1, 1, O10);
    e.texel(2, 1, O00);
    e.texel(1, 2, O11);
    e.texel(2, 2, O01);
    check(render(s), e);
}

TEST(ImageResample, PartlyOffTheCanvas) {
    auto bytes = raster({O00, O10, O01, O11});
    {
        // x0 = 2: pixel = (3 + u, 1 + v); the right column falls off.
        TestScene s;
        s.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 2, 0));
        Expect e(4, 4);
        e.texel(3, 1, O00);
        e.texel(3, 2, O01);
        check(render(s), e);
    }
    {
        // x0 = -2, y0 = 2 (up): pixel = (-1 + u, -1 + v); only (1, 1) stays.
        TestScene s;
        s.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, -2, 2));
        Expect e(4, 4);
        e.texel(0, 0, O11);
        check(render(s), e);
    }
}

TEST(ImageResample, WhollyOffTheCanvasDrawsNothing) {
    auto bytes = raster({O00, O10, O01, O11});
    for (double x0 : {3.0, -3.0, 100.0, -1e300}) {
        TestScene s;
        s.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, x0, 0));
        s.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 0, x0));
        check(render(s), Expect(4, 4));
    }
}

TEST(ImageResample, SingularTransformDrawsNothing) {
    auto bytes = raster({O00, O10});
    {
        TestScene s;  // rank one
        s.add(placed(image(bytes, 2, 1, 2, 1), 1, 1, 1, 1, 0, 0));
        s.add(placed(image(bytes, 2, 1, 2, 1), 0, 0, 0, 0, 0, 0));
        check(render(s), Expect(4, 4));
    }
    // A 2 x 1 raster squeezed to a sliver of height dh about row 1's centre
    // (y0 = 0.5): det = dh. At dh = 2e-15 the sliver paints row 1; at
    // dh = 2e-16 (below 1e-15) nothing is drawn, although the inverse map
    // would still land row 1 inside the raster.
    {
        TestScene s;
        s.add(placed(image(bytes, 2, 1, 2, 2e-15), 1, 0, 0, 1, 0, 0.5));
        Frames f = render(s);
        EXPECT_NE(f.rgba0[1 * 4 + 1], 0u);
        EXPECT_NE(f.rgba0[1 * 4 + 2], 0u);
    }
    {
        TestScene s;
        s.add(placed(image(bytes, 2, 1, 2, 2e-16), 1, 0, 0, 1, 0, 0.5));
        check(render(s), Expect(4, 4));
    }
    for (double m : {1e-6, 1e-7}) {
        // The determinant is taken after the scale: at scale 0.1 the linear
        // part m*I becomes 0.1*m*I. Centred on pixel (1, 1)'s centre, the
        // raster paints it at m = 1e-6 (det 1e-14) but not at m = 1e-7
        // (det 1e-16).
        TestScene s;
        s.add(placed(image(bytes, 2, 1, 2, 1), m, 0, 0, m, -5, 5));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgba0(4, 4, 0.1, px), 0);
        for (size_t i = 0; i < px.size(); ++i)
            EXPECT_EQ(px[i] != 0, m == 1e-6 && i == 1 * 4 + 1) << m << " " << i;
    }
}

TEST(ImageResample, OpacityAboveOneActsAsOneAndAtOrBelowZeroDrawsNothing) {
    auto bytes = raster({T00, T10, T01, T11});
    TestScene one;
    one.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 0.5, 0));
    Frames want = render(one);
    for (double op : {1.0000001, 2.0, 1e308, std::numeric_limits<double>::infinity()}) {
        TestScene s = one;
        s.images[0].opacity = op;
        Frames f = render(s);
        EXPECT_EQ(f.rgba0, want.rgba0) << op;
        EXPECT_EQ(f.rgb0, want.rgb0) << op;
    }
    for (double op : {0.0, -0.0, -1.0, -std::numeric_limits<double>::infinity()}) {
        TestScene s = one;
        s.images[0].opacity = op;
        check(render(s), Expect(4, 4));
    }
    // Half opacity on the aligned texel T00 over rgb0: 0.5*200 + 0.5*14 = 107.
    TestScene half;
    VokriImageRecord r = image(bytes, 2, 2, 2, 2);
    r.opacity = 0.5;
    half.add(r);
    Frames f = render(half);
    EXPECT_EQ(pixel_str(f.rgb0[1 * 4 + 1]), pixel_str(rgba(107, 59, 37, 0)));
}

TEST(ImageResample, NotANumberOpacityCountsAsOne) {
    auto bytes = raster({T00, T10, T01, T11});
    TestScene one;
    one.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 0.5, 0));
    Frames want = render(one);
    one.images[0].opacity = std::nan("");
    Frames f = render(one);
    EXPECT_EQ(f.rgba0, want.rgba0);
}

TEST(ImageResample, NonFinitePlacementsDrawNothingAndSucceed) {
    auto bytes = raster({O00, O10, O01, O11});
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const double cases[][6] = {{nan, 0, 0, 1, 0, 0}, {1, 0, 0, 1, nan, 0}, {inf, 0, 0, 1, 0, 0},
                               {inf, 0, 0, inf, 0, 0}, {1, 0, 0, 1, inf, 0}, {1, inf, 0, 1, -inf, 0}};
    for (const auto& m : cases) {
        TestScene s;
        s.add(placed(image(bytes, 2, 2, 2, 2), m[0], m[1], m[2], m[3], m[4], m[5]));
        check(render(s), Expect(4, 4));
    }
    TestScene s;  // infinite display size
    s.add(image(bytes, 2, 2, inf, 2));
    check(render(s), Expect(4, 4));
}

TEST(ImageResample, InvalidRasterChecksInOrder) {
    auto bytes = raster({O00});
    auto base = [&] { return image(bytes, 1, 1, 1, 1); };
    std::vector<VokriImageRecord> bad;
    VokriImageRecord r = base();
    r.pixels = nullptr;
    bad.push_back(r);
    r = base();
    r.width = 0;
    bad.push_back(r);
    r = base();
    r.height = 0;
    bad.push_back(r);
    for (double v : {0.0, -0.0, -2.0, std::nan("")}) {
        r = base();
        r.display_width = v;
        bad.push_back(r);
        r = base();
        r.display_height = v;
        bad.push_back(r);
    }
    // The raster checks come before the opacity exit.
    r = base();
    r.pixels = nullptr;
    r.opacity = 0;
    bad.push_back(r);
    r = base();
    r.display_height = -1;
    r.opacity = -1;
    bad.push_back(r);
    for (size_t i = 0; i < bad.size(); ++i) {
        TestScene s;
        s.add(placed(base(), 1, 0, 0, 1, 1, 1));  // pixel (2, 0), drawn before the failing item
        s.add(bad[i]);
        s.add(base());  // never drawn
        std::vector<uint32_t> px;
        StderrCapture cap;
        EXPECT_EQ(s.rgba0(3, 3, 1, px), 1) << i;
        EXPECT_EQ(cap.text(), "vokri scene rgba0 render error: InvalidRaster\n") << i;
        // The first item is visible, premultiplied (no conversion); the
        // third item would have painted the centre pixel.
        EXPECT_EQ(px[0 * 3 + 2], O00) << i;
        EXPECT_EQ(px[1 * 3 + 1], 0u) << i;
        StderrCapture cap2;
        EXPECT_EQ(s.rgb0(3, 3, 1, px), 1) << i;
        EXPECT_EQ(cap2.text(), "vokri scene rgb0 render error: InvalidRaster\n") << i;
        std::string path = temp_path("image_invalid.png");
        StderrCapture cap3;
        EXPECT_EQ(s.frame(path.c_str(), 3, 3, 1), 1) << i;
        EXPECT_EQ(cap3.text(), "vokri scene render error: InvalidRaster\n") << i;
    }
}

TEST(ImageResample, UnsupportedSurfaceOnlyWhenTheItemWouldDraw) {
    auto bytes = raster({O00, O10, O01, O11});
    std::vector<uint32_t> px(16, 0x5555u);
    vokri::Surface target = vokri::Surface::wrap(px.data(), 4, 4, vokri::alpha8);
    vokri::Allocator alloc;
    vokri::Canvas ctx(alloc, target);
    vokri::FrameView view = vokri::FrameView::for_canvas(1, 4, 4);
    EXPECT_EQ(vokri::draw_image_item(ctx, view, image(bytes, 2, 2, 2, 2)),
              vokri::Error::UnsupportedRasterSurface);
    // Singular, off-canvas and zero-opacity items succeed first.
    EXPECT_EQ(vokri::draw_image_item(ctx, view, placed(image(bytes, 2, 2, 2, 2), 1, 1, 1, 1, 0, 0)),
              vokri::Error::None);
    EXPECT_EQ(vokri::draw_image_item(ctx, view, placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 9, 0)),
              vokri::Error::None);
    VokriImageRecord r = image(bytes, 2, 2, 2, 2);
    r.opacity = 0;
    EXPECT_EQ(vokri::draw_image_item(ctx, view, r), vokri::Error::None);
    // The raster checks still come first.
    r.pixels = nullptr;
    EXPECT_EQ(vokri::draw_image_item(ctx, view, r), vokri::Error::InvalidRaster);
    for (uint32_t p : px) EXPECT_EQ(p, 0x5555u);
    ctx.release();
}

TEST(ImageResample, PngMatchesTheRgb0Frame) {
    auto bytes = raster({T00, T10, T01, T11});
    TestScene s;
    s.add(placed(image(bytes, 2, 2, 3, 2.5), 0.8, -0.6, 0.6, 0.8, 0.3, -0.2));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(5, 4, 1, px), 0);
    std::string path = temp_path("image_resample.png");
    ASSERT_EQ(s.frame(path.c_str(), 5, 4, 1), 0);
    DecodedPng d = decode_png(read_file(path));
    ASSERT_TRUE(d.ok) << d.error;
    bool drawn = false;
    for (size_t k = 0; k < px.size(); ++k) {
        drawn |= px[k] != rgb0_background();
        for (int c = 0; c < 3; ++c) EXPECT_EQ(d.rgb[k * 3 + c], byte_of(px[k], c)) << k;
    }
    EXPECT_TRUE(drawn);
}

TEST(ImageResample, ColourRoundedAboveItsAlphaSaturatesInStraightAlpha) {
    // White at alpha 170 under a half-pixel-off white texel at alpha 9 and
    // opacity 0.5: resampling rounds colour and alpha apart and can store
    // colour 172 over alpha 171, which must come out white, not wrap to 0.
    auto under = raster(std::vector<uint32_t>(16, rgba(255, 255, 255, 170)));
    auto over = raster({rgba(255, 255, 255, 9)});
    TestScene s;
    s.add(image(under, 4, 4, 4, 4));
    VokriImageRecord r = image(over, 1, 1, 1, 1);
    r.opacity = 0.5;
    r.transform[4] = 0.5;
    r.transform[5] = -0.5;
    s.add(r);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(4, 4, 1, px), 0);
    for (size_t k = 0; k < 16; ++k) {
        EXPECT_EQ(px[k] & 0x00FFFFFFu, 0x00FFFFFFu) << k << " " << pixel_str(px[k]);
        EXPECT_GE(px[k] >> 24, 170u) << k;
    }
    EXPECT_EQ(px[10] >> 24, 171u);
}
