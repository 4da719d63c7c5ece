// Image items covering the canvas pixel for pixel: the integer
// copy-and-blend, through the exports and on Surfaces built here.
#include <gtest/gtest.h>

#include <cmath>

#include "items/fields/image_support.h"
#include "raster/canvas.h"
#include "items/drawers.h"

using namespace vt;

namespace {

const std::vector<uint32_t> kOpaque = {rgba(200, 100, 50, 255), rgba(1, 2, 3, 255), rgba(0, 0, 0, 255),
                                       rgba(255, 255, 255, 255), rgba(9, 80, 160, 255), rgba(33, 44, 55, 255)};

// Draws `rec` straight onto a 3 x 2 Surface of `format` holding `pixels`.
vokri::Error draw_on(std::vector<uint32_t>& pixels, uint8_t format, const VokriImageRecord& rec,
                     uint32_t w = 3, uint32_t h = 2, double scale = 1) {
    vokri::Surface target = vokri::Surface::wrap(pixels.data(), static_cast<int32_t>(w), static_cast<int32_t>(h), format);
    vokri::Allocator alloc;
    vokri::Canvas ctx(alloc, target);
    vokri::FrameView view = vokri::FrameView::for_canvas(scale, w, h);
    vokri::Error e = vokri::draw_image_item(ctx, view, rec);
    ctx.release();
    return e;
}

}  // namespace

TEST(ImageExact, OpaqueRasterReplacesTheCanvasOnBothExportsAndThePng) {
    auto bytes = raster(kOpaque);
    TestScene s;
    s.add(image(bytes, 3, 2, 3, 2));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(3, 2, 1, px), 0);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(px[k], kOpaque[k]) << k;  // byte 3 = 255
    ASSERT_EQ(s.rgb0(3, 2, 1, px), 0);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(px[k], kOpaque[k] & 0x00FFFFFFu) << k;  // byte 3 = 0
    std::string path = temp_path("image_exact.png");
    ASSERT_EQ(s.frame(path.c_str(), 3, 2, 1), 0);
    DecodedPng d = decode_png(read_file(path));
    ASSERT_TRUE(d.ok) << d.error;
    for (size_t k = 0; k < 6; ++k)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(d.rgb[k * 3 + c], byte_of(kOpaque[k], c)) << k << " " << c;
}

TEST(ImageExact, ScaleAndOddSizesStillTakeTheExactPath) {
    // Display size W/s by H/s at scale 4; the origin 1.5 of an odd width
    // cancels the half display width.
    auto bytes = raster(kOpaque);
    TestScene s;
    s.add(image(bytes, 3, 2, 0.75, 0.5));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(3, 2, 4, px), 0);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(px[k], kOpaque[k]) << k;
}

TEST(ImageExact, TranslucentPixelsBlendWithRoundingUp127) {
    // a = (128*255 + 127)/255 = 128 over the background (14, 17, 24):
    // (128*200 + 127*14 + 127)/255 = 107, (128*100 + 127*17 + 127)/255 = 59
    // (58 without the +127), (128*50 + 127*24 + 127)/255 = 37.
    auto bytes = raster({rgba(200, 100, 50, 128)});
    TestScene s;
    s.add(image(bytes, 1, 1, 1, 1));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(1, 1, 1, px), 0);
    EXPECT_EQ(pixel_str(px[0]), pixel_str(rgba(107, 59, 37, 0)));
}

TEST(ImageExact, OpacityIsRoundedToAnIntegerBeforeBlending) {
    // opacity 0.75: o = round(191.25) = 191, a = (255*191 + 127)/255 = 191.
    // rgb0: (191*200 + 64*14 + 127)/255 = 153 (resampling would give 154),
    // (191*100 + 64*17 + 127)/255 = 79, (191*50 + 64*24 + 127)/255 = 43.
    auto bytes = raster({rgba(200, 100, 50, 255)});
    TestScene s;
    VokriImageRecord r = image(bytes, 1, 1, 1, 1);
    r.opacity = 0.75;
    s.add(r);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(1, 1, 1, px), 0);
    EXPECT_EQ(pixel_str(px[0]), pixel_str(rgba(153, 79, 43, 0)));
    // rgba0: premultiplied (150, 75, 37, 191 + 127/255 = 191), then straight
    // alpha: 150*255/191 = 200, 75*255/191 = 100, 37*255/191 = 49.
    ASSERT_EQ(s.rgba0(1, 1, 1, px), 0);
    EXPECT_EQ(pixel_str(px[0]), pixel_str(rgba(200, 100, 49, 191)));
    // opacity 0.5: o = round(127.5) = 128 (half away from zero), so the
    // alpha byte is 128, not 127.
    s.images[0].opacity = 0.5;
    ASSERT_EQ(s.rgba0(1, 1, 1, px), 0);
    EXPECT_EQ(byte_of(px[0], 3), 128u);
    // Above 1 acts as 1: the pixel is replaced.
    s.images[0].opacity = 7.5;
    ASSERT_EQ(s.rgba0(1, 1, 1, px), 0);
    EXPECT_EQ(px[0], rgba(200, 100, 50, 255));
}

TEST(ImageExact, Rgba32AlphaByteAndPremultipliedBlend) {
    // Over the premultiplied (10, 20, 30, 60) with a = 128:
    // (128*200 + 127*10 + 127)/255 = 105, (128*100 + 127*20 + 127)/255 = 60,
    // (128*50 + 127*30 + 127)/255 = 40, alpha 128 + (60*127 + 127)/255 = 158.
    auto bytes = raster({rgba(200, 100, 50, 128), rgba(7, 7, 7, 255), rgba(7, 7, 7, 0)});
    std::vector<uint32_t> px(3, rgba(10, 20, 30, 60));
    ASSERT_EQ(draw_on(px, vokri::rgba32, image(bytes, 3, 1, 3, 1), 3, 1), vokri::Error::None);
    EXPECT_EQ(pixel_str(px[0]), pixel_str(rgba(105, 60, 40, 158)));
    EXPECT_EQ(pixel_str(px[1]), pixel_str(rgba(7, 7, 7, 255)));
    EXPECT_EQ(pixel_str(px[2]), pixel_str(rgba(10, 20, 30, 60)));
}

TEST(ImageExact, AlphaZeroLeavesThePixelAloneIncludingThePadByte) {
    // On an rgbx32 Surface whose pad bytes hold 0xAB: the untouched pixels
    // keep them, every written pixel gets 0.
    auto bytes = raster({rgba(50, 60, 70, 0), rgba(50, 60, 70, 255), rgba(200, 100, 50, 128), rgba(1, 1, 1, 1),
                         rgba(90, 90, 90, 0), rgba(90, 90, 90, 2)});
    const uint32_t pad = 0xAB000000u;
    std::vector<uint32_t> px(6, rgba(14, 17, 24, 0) | pad);
    VokriImageRecord rec = image(bytes, 3, 2, 3, 2);
    rec.opacity = 0.5;  // o = 128: alpha 1 gives a = (128 + 127)/255 = 1, alpha 2 too
    ASSERT_EQ(draw_on(px, vokri::rgbx32, rec), vokri::Error::None);
    EXPECT_EQ(px[0], rgba(14, 17, 24, 0) | pad);
    EXPECT_EQ(byte_of(px[1], 3), 0u);
    EXPECT_EQ(byte_of(px[2], 3), 0u);
    EXPECT_EQ(byte_of(px[3], 3), 0u);
    EXPECT_EQ(px[4], rgba(14, 17, 24, 0) | pad);
    // opacity 0.25: o = 64, alpha 1 gives (64 + 127)/255 = 0: untouched.
    std::vector<uint32_t> qx(6, rgba(14, 17, 24, 0) | pad);
    rec.opacity = 0.25;
    ASSERT_EQ(draw_on(qx, vokri::rgbx32, rec), vokri::Error::None);
    EXPECT_EQ(qx[3], rgba(14, 17, 24, 0) | pad);
    EXPECT_NE(qx[1], rgba(14, 17, 24, 0) | pad);

    // Through the exports: alpha 0 over an earlier item keeps its pixel.
    auto under = raster(std::vector<uint32_t>(6, rgba(9, 8, 7, 255)));
    TestScene s;
    s.add(image(under, 3, 2, 3, 2));
    s.add(image(bytes, 3, 2, 3, 2));
    std::vector<uint32_t> out;
    ASSERT_EQ(s.rgb0(3, 2, 1, out), 0);
    EXPECT_EQ(out[0], rgba(9, 8, 7, 0));
    EXPECT_EQ(out[1], rgba(50, 60, 70, 0));
    ASSERT_EQ(s.rgba0(3, 2, 1, out), 0);
    EXPECT_EQ(out[0], rgba(9, 8, 7, 255));
    EXPECT_EQ(out[4], rgba(9, 8, 7, 255));
}

TEST(ImageExact, NearIdentityWithinTolerance) {
    // Opacity 0.3 gives o = round(76.5) = 77 on the exact path, so red 205
    // over 14 becomes (77*205 + 178*14 + 127)/255 = 72; resampled it is
    // about 0.3*205 + 0.7*14 = 71.3 -> 71.
    auto bytes = raster({rgba(205, 100, 50, 255)});
    TestScene s;
    VokriImageRecord r = placed(image(bytes, 1, 1, 1, 1), 1 + 5e-10, 0, 0, 1, 5e-10, 0);
    r.opacity = 0.3;
    s.add(r);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(1, 1, 1, px), 0);
    EXPECT_EQ(byte_of(px[0], 0), 72u);
    // Beyond 1e-9 (here t = 1.75e-9) the pixel is resampled.
    s.images[0].transform[4] = 2e-9;
    ASSERT_EQ(s.rgb0(1, 1, 1, px), 0);
    EXPECT_EQ(byte_of(px[0], 0), 71u);
    s.images[0].transform[4] = 0;
    s.images[0].transform[0] = 1 + 2e-9;
    ASSERT_EQ(s.rgb0(1, 1, 1, px), 0);
    EXPECT_EQ(byte_of(px[0], 0), 71u);
}

TEST(ImageExact, UnsupportedSurfaceIsReportedBeforeAnyPixel) {
    auto bytes = raster(std::vector<uint32_t>(6, 0));  // all alpha 0
    std::vector<uint32_t> px(6, 0x12345678u);
    EXPECT_EQ(draw_on(px, vokri::alpha8, image(bytes, 3, 2, 3, 2)), vokri::Error::UnsupportedRasterSurface);
    EXPECT_EQ(draw_on(px, 1, image(bytes, 3, 2, 3, 2)), vokri::Error::UnsupportedRasterSurface);
    for (uint32_t p : px) EXPECT_EQ(p, 0x12345678u);
    // Opacity 0 returns before the format is looked at.
    VokriImageRecord r = image(bytes, 3, 2, 3, 2);
    r.opacity = 0;
    EXPECT_EQ(draw_on(px, vokri::alpha8, r), vokri::Error::None);
}
