// The compositor: source-over and dst-in arithmetic, the run painters, the
// 16-pixel batches, and every vector path held to the plain definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "common/test_hooks.h"
#include "common/cpu.h"
#include "surface/composite.h"

using namespace vokri;
using cpu::Isa;

namespace {
// The batch kernels in the form of `isa`.
void span_with(Isa isa, Span target, const Operation* ops, size_t count) {
    test_hooks::IsaCap cap(isa);
    composite_testing::composite_span_kernel(target, ops, count);
}
void blend_with(Isa isa, uint32_t* px, size_t n, uint32_t colour, uint8_t format) {
    test_hooks::IsaCap cap(isa);
    composite_testing::blend_over_constant_kernel(px, n, colour, format);
}
}  // namespace

namespace {
uint32_t px4(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | g << 8 | b << 16 | a << 24; }
}  // namespace

TEST(Composite, DivisionFreeFormsAreExact) {
    for (uint32_t x = 0; x <= 65025; ++x) ASSERT_EQ(div255_product16(x), x / 255) << x;
    std::mt19937 rng(1);
    for (int i = 0; i < 200000; ++i) {
        uint32_t x = static_cast<uint32_t>(rng());
        ASSERT_EQ(div255_product32(x), x / 255) << x;
    }
    EXPECT_EQ(div255_product32(0xFFFFFFFFu), 0xFFFFFFFFu / 255);
}

TEST(Composite, PixelOperatorsAsDefined) {
    for (uint32_t s = 0; s < 256; s += 5)
        for (uint32_t sa = s; sa < 256; sa += 7)
            for (uint32_t d = 0; d < 256; d += 3)
                for (uint32_t da : {d, 255u}) {
                    WidePixel dst{uint16_t(d), uint16_t(d / 2), 0, uint16_t(da)};
                    WidePixel src{uint16_t(s), 0, uint16_t(s / 3), uint16_t(sa)};
                    WidePixel o = composite_pixel(dst, src, kOpSrcOver);
                    ASSERT_EQ(o.r, (s + d * (255 - sa) / 255) & 0xFF);
                    ASSERT_EQ(o.g, (0 + (d / 2) * (255 - sa) / 255) & 0xFF);
                    ASSERT_EQ(o.a, (sa + da - sa * da / 255) & 0xFF);
                    WidePixel i = composite_pixel(dst, src, kOpDstIn);
                    ASSERT_EQ(i.r, d * sa / 255);
                    ASSERT_EQ(i.a, da * sa / 255);
                }
}

TEST(Composite, OpaqueRedAtCoverage127OntoWhite) {
    uint32_t px[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    Surface s = Surface::wrap(px, 3, 1, rgba32);
    paint_run_alpha(kOpSrcOver, s, Pixel{0xFF0000FFu, rgba32}, 1, 0, 1, 127);
    EXPECT_EQ(px[1], px4(255, 128, 128, 255));
    EXPECT_EQ(px[0], 0xFFFFFFFFu);
    EXPECT_EQ(px[2], 0xFFFFFFFFu);
}

TEST(Composite, TranslucentFullCoverageOntoTransparent) {
    uint32_t px[2] = {0, 0};
    Surface s = Surface::wrap(px, 2, 1, rgba32);
    paint_run(kOpSrcOver, s, Pixel{px4(100, 50, 0, 128), rgba32}, 0, 0, 2);
    EXPECT_EQ(px[0], px4(100, 50, 0, 128));
    EXPECT_EQ(px[1], px4(100, 50, 0, 128));
}

TEST(Composite, Run37IsTwoBatchesAndFiveAndStopsThere) {
    std::vector<uint32_t> px(40, px4(10, 20, 30, 40));
    Surface s = Surface::wrap(px.data(), 40, 1, rgba32);
    const uint32_t src = px4(60, 0, 90, 100);
    paint_run(kOpSrcOver, s, Pixel{src, rgba32}, 1, 0, 37);
    // 60 + ⟨10·155⟩ = 66, ⟨20·155⟩ = 12, 90 + ⟨30·155⟩ = 108, 100 + 40 − ⟨4000⟩ = 125.
    const uint32_t blended = px4(66, 12, 108, 125);
    EXPECT_EQ(px[0], px4(10, 20, 30, 40));
    for (int i = 1; i <= 37; ++i) EXPECT_EQ(px[i], blended) << i;
    EXPECT_EQ(px[38], px4(10, 20, 30, 40));
    // The same with partial coverage (chain of dst_in then src_over).
    std::vector<uint32_t> q(40, px4(10, 20, 30, 40));
    Surface t = Surface::wrap(q.data(), 40, 1, rgba32);
    paint_run_alpha(kOpSrcOver, t, Pixel{src, rgba32}, 1, 0, 37, 127);
    // Source ⟨60·127⟩ = 29, 0, ⟨90·127⟩ = 44, ⟨100·127⟩ = 49; then over.
    const uint32_t part = px4(29 + 10 * 206 / 255, 20 * 206 / 255, 44 + 30 * 206 / 255, 49 + 40 - 49 * 40 / 255);
    for (int i = 1; i <= 37; ++i) EXPECT_EQ(q[i], part) << i;
    EXPECT_EQ(q[0], px4(10, 20, 30, 40));
    EXPECT_EQ(q[38], px4(10, 20, 30, 40));
}

TEST(Composite, RgbxBlendsAsOpaqueAndKeepsByteThreeZero) {
    std::vector<uint32_t> px(20, px4(200, 100, 50, 0));
    Surface s = Surface::wrap(px.data(), 20, 1, rgbx32);
    paint_run(kOpSrcOver, s, Pixel{px4(64, 0, 0, 128), rgba32}, 0, 0, 20);
    for (uint32_t p : px) EXPECT_EQ(p, px4(64 + 200 * 127 / 255, 100 * 127 / 255, 50 * 127 / 255, 0));
    paint_run(kOpSrcOver, s, Pixel{px4(1, 2, 3, 255), rgba32}, 0, 0, 3);
    EXPECT_EQ(px[0], px4(1, 2, 3, 0));
    paint_run_alpha(kOpSrcOver, s, Pixel{px4(255, 255, 255, 255), rgba32}, 5, 0, 1, 31);
    EXPECT_EQ(px[5] >> 24, 0u);
}

TEST(Composite, RunsOutsideOrEmptyPaintNothing) {
    uint32_t px[4] = {1, 2, 3, 4};
    Surface s = Surface::wrap(px, 2, 2, rgba32);
    const Pixel red{0xFF0000FFu, rgba32};
    paint_run(kOpSrcOver, s, red, -1, 0, 1);
    paint_run(kOpSrcOver, s, red, 2, 0, 1);
    paint_run(kOpSrcOver, s, red, 0, 2, 1);
    paint_run(kOpSrcOver, s, red, 0, 0, 0);
    paint_run_alpha(kOpSrcOver, s, red, 0, -1, 1, 100);
    paint_run_alpha(kOpSrcOver, s, Pixel{0x80000080u, rgba32}, 0, 0, 0, 100);
    fill_span(s, 5, 0, 1, red);
    EXPECT_EQ(px[0], 1u);
    EXPECT_EQ(px[1], 2u);
    EXPECT_EQ(px[2], 3u);
    EXPECT_EQ(px[3], 4u);
    fill_span(s, 1, 1, 1, red);
    EXPECT_EQ(px[3], 0xFF0000FFu);
}

namespace {

uint32_t random_premultiplied(std::mt19937& rng) {
    uint32_t a = rng() % 256;
    if (rng() % 4 == 0) a = 255;
    if (rng() % 8 == 0) a = 0;
    uint32_t r = a ? rng() % (a + 1) : 0, g = a ? rng() % (a + 1) : 0, b = a ? rng() % (a + 1) : 0;
    return r | g << 8 | b << 16 | a << 24;
}

Operand random_operand(std::mt19937& rng, bool allow_target) {
    if (allow_target && rng() % 2) return Operand{operand_target, {}};
    uint32_t f = rng() % 3;
    if (f == 0) return Operand{operand_pixel, Pixel{static_cast<uint32_t>(rng() % 256), alpha8}};
    if (f == 1) return Operand{operand_pixel, Pixel{random_premultiplied(rng) & 0xFFFFFFu, rgbx32}};
    return Operand{operand_pixel, Pixel{random_premultiplied(rng), rgba32}};
}

}  // namespace

TEST(Composite, VectorPathsMatchThePlainDefinition) {
    std::mt19937 rng(99);
    std::vector<Isa> isas;
    for (Isa isa : {Isa::sse2, Isa::avx2})
        if (cpu::usable(isa)) isas.push_back(isa);
    for (int trial = 0; trial < 3000; ++trial) {
        const uint8_t format = trial % 2 ? rgba32 : rgbx32;
        const size_t n = static_cast<size_t>(trial % 50);  // all partial batch sizes
        std::vector<uint32_t> base(n + 2);
        for (auto& p : base) p = random_premultiplied(rng);
        Operation ops[3];
        const size_t count = 1 + rng() % 3;
        for (size_t i = 0; i < count; ++i) {
            ops[i].destination = random_operand(rng, true);
            ops[i].source = random_operand(rng, i > 0);
            ops[i].op = rng() % 2 ? kOpSrcOver : kOpDstIn;
        }
        std::vector<uint32_t> expect = base;
        span_with(Isa::scalar, Span{expect.data() + 1, n, format}, ops, count);
        for (Isa isa : isas) {
            std::vector<uint32_t> got = base;
            span_with(isa, Span{got.data() + 1, n, format}, ops, count);
            ASSERT_EQ(got, expect) << "isa " << int(isa) << " trial " << trial;
        }
        std::vector<uint32_t> pub = base;
        composite_span(Span{pub.data() + 1, n, format}, ops, count);
        ASSERT_EQ(pub, expect) << trial;

        // The constant-colour blend of the run painters.
        const uint32_t k = random_premultiplied(rng);
        std::vector<uint32_t> e2 = base;
        blend_with(Isa::scalar, e2.data() + 1, n, k, format);
        Operation one[1];
        one[0].source = Operand{operand_pixel, Pixel{k, rgba32}};
        std::vector<uint32_t> viaspan = base;
        span_with(Isa::scalar, Span{viaspan.data() + 1, n, format}, one, 1);
        ASSERT_EQ(e2, viaspan);
        for (Isa isa : isas) {
            std::vector<uint32_t> got = base;
            blend_with(isa, got.data() + 1, n, k, format);
            ASSERT_EQ(got, e2) << "isa " << int(isa) << " trial " << trial;
        }
        std::vector<uint32_t> g2 = base;
        blend_over_constant(g2.data() + 1, n, k, format);
        ASSERT_EQ(g2, e2);

        // A coverage per pixel, in stretches (whole batches at 0 or at 16
        // among them), against each stretch's run painted alone.
        std::vector<uint8_t> coverage(n);
        for (size_t i = 0; i < n; i += 1 + rng() % 20)
            std::fill(coverage.begin() + i, coverage.begin() + std::min(n, i + 20), static_cast<uint8_t>(rng() % 17));
        CoverageColours colours(Pixel{random_premultiplied(rng), rgba32});  // a quarter opaque
        std::vector<uint32_t> e3 = base;
        for (size_t i = 0; i < n; ++i)
            if (coverage[i] != 0) paint_coverage_run(e3.data() + 1 + i, 1, format, colours, coverage[i]);
        colours.all();
        for (Isa isa : {Isa::scalar, Isa::sse2, Isa::avx2}) {
            if (!cpu::usable(isa)) continue;
            test_hooks::IsaCap cap(isa);
            std::vector<uint32_t> got = base;
            blend_coverage_row(got.data() + 1, coverage.data(), n, colours.colour, colours.opaque, format);
            ASSERT_EQ(got, e3) << "isa " << int(isa) << " trial " << trial;
        }
    }
}

TEST(Composite, RunPaintersMatchTheirChains) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 2000; ++trial) {
        const uint8_t format = trial % 3 ? rgba32 : rgbx32;
        const size_t n = 1 + trial % 40;
        std::vector<uint32_t> base(n);
        for (auto& p : base) p = random_premultiplied(rng);
        const Pixel src{random_premultiplied(rng), rgba32};
        const uint8_t a = static_cast<uint8_t>(rng() % 256);
        std::vector<uint32_t> got = base;
        Surface s = Surface::wrap(got.data(), static_cast<int32_t>(n), 1, format);
        paint_run_alpha(kOpSrcOver, s, src, 0, 0, n, a);
        Operation chain[2];
        chain[0].destination = Operand{operand_pixel, src};
        chain[0].source = Operand{operand_pixel, Pixel{a, alpha8}};
        chain[0].op = kOpDstIn;
        chain[1].op = kOpSrcOver;
        std::vector<uint32_t> expect = base;
        span_with(Isa::scalar, Span{expect.data(), n, format}, chain, 2);
        ASSERT_EQ(got, expect) << trial;
        // Full coverage.
        std::vector<uint32_t> full = base;
        Surface f = Surface::wrap(full.data(), static_cast<int32_t>(n), 1, format);
        paint_run(kOpSrcOver, f, src, 0, 0, n);
        Operation over[1];
        over[0].source = Operand{operand_pixel, src};
        std::vector<uint32_t> e2 = base;
        span_with(Isa::scalar, Span{e2.data(), n, format}, over, 1);
        ASSERT_EQ(full, e2) << trial;
    }
}
