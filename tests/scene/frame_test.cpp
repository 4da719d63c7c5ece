// Frame driver and dispatcher behaviour through the pixel exports.
#include <gtest/gtest.h>

#include <random>

#include "common/test_hooks.h"
#include "common/cpu.h"
#include "scene/frame.h"
#include "scene/pick.h"
#include "support/scene.h"
#include "surface/surface.h"

using namespace vt;

TEST(FrameDriver, Backgrounds) {
    TestScene s;
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(7, 5, 1, px), 0);
    for (uint32_t p : px) EXPECT_EQ(p, 0u);
    ASSERT_EQ(s.rgb0(7, 5, 1, px), 0);
    for (uint32_t p : px) {
        const auto* b = reinterpret_cast<const uint8_t*>(&p);
        EXPECT_EQ(b[0], 0x0E);
        EXPECT_EQ(b[1], 0x11);
        EXPECT_EQ(b[2], 0x18);
        EXPECT_EQ(b[3], 0x00);
    }
}

TEST(FrameDriver, BackgroundOfEveryLengthAndAlignment) {
    // Head, eight-pixel body and tail of the wide fill.
    std::vector<uint32_t> buf(80);
    for (size_t off = 0; off < 9; ++off) {
        for (size_t n = 0; n < 40; ++n) {
            std::fill(buf.begin(), buf.end(), 1u);
            vokri::fill_pixels(buf.data() + off, n, 0xCAFEu);
            for (size_t i = 0; i < buf.size(); ++i)
                ASSERT_EQ(buf[i], (i >= off && i < off + n) ? 0xCAFEu : 1u) << off << " " << n << " " << i;
        }
    }
}

TEST(FrameDriver, StraightAlphaConversionMatchesFormulaForEveryPixelValue) {
    // Every (colour, alpha) pair, in runs that exercise the four-pixel
    // shortcuts as well as the per-pixel division.
    std::vector<uint32_t> px, want;
    for (uint32_t a = 0; a < 256; ++a) {
        for (uint32_t c = 0; c <= a; ++c) {
            uint32_t p = c | (a - c) << 8 | (c / 2) << 16 | a << 24;
            px.push_back(p);
            want.push_back(vokri::demultiply(p));
        }
        for (int k = 0; k < 5; ++k) px.push_back(a << 24 | (a == 0 ? 0x123456u : 0)), want.push_back(vokri::demultiply(px.back()));
    }
    // Random runs too, colour above alpha included (the image resampler can
    // leave one), in every form the processor has.
    std::mt19937 rng(5);
    for (int run = 0; run < 4000; ++run) {
        const uint32_t kind = rng() % 4, n = 1 + rng() % 20;
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t a = kind == 0 ? 255u : kind == 1 ? 0u : rng() % 256;
            px.push_back((rng() & 0xFFFFFFu) | a << 24);
            want.push_back(vokri::demultiply(px.back()));
        }
    }
    for (auto isa : {vokri::cpu::Isa::scalar, vokri::cpu::Isa::sse2, vokri::cpu::Isa::avx2}) {
        if (!vokri::cpu::usable(isa)) continue;
        vokri::test_hooks::IsaCap cap(isa);
        std::vector<uint32_t> out = px;
        vokri::demultiply_pixels(out.data(), out.size());
        for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], want[i]) << i << " " << vokri::cpu::name(isa);
    }
    // Worked values.
    EXPECT_EQ(vokri::demultiply(rgba(64, 0, 0, 128)), rgba(127, 0, 0, 128));
    EXPECT_EQ(vokri::demultiply(rgba(10, 20, 30, 60)), rgba(42, 85, 127, 60));
    EXPECT_EQ(vokri::demultiply(rgba(5, 0, 0, 0)), 0u);
    EXPECT_EQ(vokri::demultiply(rgba(1, 2, 3, 255)), rgba(1, 2, 3, 255));
}

TEST(FrameDriver, DispatchBoundsAndKinds) {
    std::vector<uint32_t> px;
    {
        TestScene s;  // kind above 6
        s.add_item(7, 0);
        EXPECT_EQ(s.rgba0(2, 2, 1, px), 1);
        TestScene t;
        t.add_item(0xFFFFFFFFu, 0);
        EXPECT_EQ(t.rgba0(2, 2, 1, px), 1);
    }
    for (uint32_t kind = 0; kind <= 6; ++kind) {
        // Every kind with an empty array fails, whatever the index.
        TestScene s;
        s.add_item(kind, 0);
        StderrCapture cap;
        EXPECT_EQ(s.rgb0(2, 2, 1, px), 1);
        EXPECT_EQ(cap.text(), "vokri scene rgb0 render error: InvalidDrawItem\n");
    }
}

TEST(FrameDriver, InnerChecksStillReportErrors) {
    vokri::Scene scene;
    std::vector<uint32_t> px(4, 7u);
    EXPECT_EQ(vokri::render_frame(vokri::FrameVariant::rgba0, 2, 2, 1, scene, px.data(), 3),
              vokri::Error::OutputBufferTooSmall);
    EXPECT_EQ(px[0], 7u);
    EXPECT_EQ(vokri::render_frame(vokri::FrameVariant::rgb0, 2, 2, 0, scene, px.data(), 4), vokri::Error::InvalidUnitSize);
    EXPECT_EQ(px[0], vokri::kRgb0Background);  // background already written
    EXPECT_EQ(vokri::pick(2, 2, 1, scene, nullptr, 1, 0, 0).error, vokri::Error::InvalidPickMetadata);
    EXPECT_EQ(vokri::pick(2, 2, 1, scene, nullptr, 0, 2, 0).error, vokri::Error::InvalidPickCoordinate);
    EXPECT_EQ(vokri::pick(2, 2, -1, scene, nullptr, 0, 1, 1).error, vokri::Error::InvalidUnitSize);
}

TEST(FrameDriver, FrameViewPutsUserOriginAtCanvasCentre) {
    vokri::FrameView v = vokri::FrameView::for_canvas(3.0, 101, 51);
    EXPECT_EQ(v.origin_x, 50.5);
    EXPECT_EQ(v.origin_y, 25.5);
    EXPECT_EQ(v.scale, 3.0);
}

TEST(Pick, EmptySceneAndTopmostFailure) {
    TestScene s;
    int32_t id = -1;
    EXPECT_EQ(s.pick(5, 5, 1, 2, 2, &id), 0);
    EXPECT_EQ(id, 0);
    s.add_item(VOKRI_ITEM_SHAPE, 3, 11);  // index beyond the (empty) array
    id = -1;
    StderrCapture cap;
    EXPECT_EQ(s.pick(5, 5, 1, 2, 2, &id), 1);
    EXPECT_EQ(cap.text(), "vokri scene pick error: InvalidDrawItem\n");
    EXPECT_EQ(id, -1);
}
