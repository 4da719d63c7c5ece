#include <gtest/gtest.h>

#include "surface/surface.h"

using namespace vokri;

TEST(Surface, SpanAtOutsideIsEmpty) {
    uint32_t px[6] = {};
    Surface s = Surface::wrap(px, 3, 2, rgbx32);
    EXPECT_TRUE(s.span_at(3, 0, 1).empty());
    EXPECT_TRUE(s.span_at(-1, 0, 1).empty());
    EXPECT_TRUE(s.span_at(0, 2, 1).empty());
    Span sp = s.span_at(1, 1, 2);
    EXPECT_EQ(sp.pixels, px + 4);
    EXPECT_EQ(sp.count, 2u);
    EXPECT_EQ(sp.format, rgbx32);
}

TEST(Surface, PixelConversions) {
    EXPECT_EQ(pixel_to_rgba(Pixel{0x80, alpha8}), 0x80000000u);
    EXPECT_EQ(pixel_to_rgba(Pixel{0x00332211u, rgbx32}), 0xFF332211u);
    EXPECT_EQ(pixel_to_rgba(Pixel{0x80332211u, rgba32}), 0x80332211u);
    // A half-transparent colour stored as rgbx32 keeps its premultiplied bytes.
    EXPECT_EQ(rgba_to_format(0x80402010u, rgbx32), 0x00402010u);
    EXPECT_EQ(rgba_to_format(0x80402010u, rgba32), 0x80402010u);
}
