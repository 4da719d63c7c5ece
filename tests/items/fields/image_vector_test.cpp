// The eight-pixel exact-path blend gives the bytes of the plain one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/cpu.h"
#include "items/fields/image_blend.h"

namespace {

uint8_t random_alpha(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0:
            return 0;
        case 1:
            return 255;
        default:
            return static_cast<uint8_t>(rng());
    }
}

}  // namespace

TEST(ImageVector, Avx2MatchesScalarOnRandomInputs) {
    if (!vokri::cpu::usable(vokri::cpu::Isa::avx2)) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(1234);
    const uint32_t opacities[] = {0, 1, 2, 64, 127, 128, 200, 254, 255};
    for (int round = 0; round < 400; ++round) {
        const size_t n = round < 100 ? static_cast<size_t>(round) : 1 + rng() % 700;
        const size_t offset = rng() % 4;  // unaligned raster bytes
        std::vector<uint8_t> src(n * 4 + offset);
        for (auto& b : src) b = static_cast<uint8_t>(rng());
        // Runs of one alpha class so that all-opaque groups of eight occur.
        int mode = static_cast<int>(rng() % 3);
        for (size_t k = 0; k < n; ++k) {
            uint8_t& a = src[offset + k * 4 + 3];
            a = mode == 0 ? 255 : mode == 1 ? random_alpha(rng) : (k % 16 < 9 ? 255 : random_alpha(rng));
        }
        std::vector<uint32_t> dst(n);
        for (auto& d : dst) {
            // Premultiplied destination pixels.
            uint32_t a = random_alpha(rng), p = a << 24;
            for (int c = 0; c < 3; ++c) p |= (a == 0 ? 0 : rng() % (a + 1)) << (8 * c);
            d = p;
        }
        const uint32_t o = round % 3 == 0 ? static_cast<uint32_t>(rng() % 256) : opacities[rng() % 9];
        for (bool rgba : {true, false}) {
            std::vector<uint32_t> want = dst, got = dst;
            if (!rgba)
                for (size_t k = 0; k < n; ++k) want[k] = got[k] = dst[k] ^ (rng() & 0xFF000000u);  // pad bytes
            vokri::image::blend_exact_scalar(src.data() + offset, want.data(), n, o, rgba);
            vokri::image::blend_exact_avx2(src.data() + offset, got.data(), n, o, rgba);
            ASSERT_EQ(got, want) << "round " << round << " n " << n << " o " << o << " rgba " << rgba;
        }
    }
}

TEST(ImageVector, DivisionByMultiplyCoversTheBlendRange) {
    // The vector form divides n by 255 as (n * 0x8081) >> 23 for every n a
    // blend can produce (at most 255*255 + 127).
    for (uint32_t n = 0; n <= 255 * 255 + 127; ++n) ASSERT_EQ((n * 0x8081u) >> 23, n / 255) << n;
}

#include <cmath>

#include "items/fields/image_resample.h"

// The four-lane resampler gives the bytes of the plain one: rotated, scaled,
// skewed and mirrored placements, rasters partly off the box and smaller than
// a pixel, translucent texels and opacities, both Surface formats, and boxes
// whose width is not a multiple of four.
TEST(ImageVector, Avx2ResampleMatchesScalarOnRandomPlacements) {
    if (!vokri::cpu::usable(vokri::cpu::Isa::avx2)) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double opacities[] = {1.0, 0.5, 0.37, 0.999, 1e-3};
    for (int round = 0; round < 300; ++round) {
        const uint32_t rw = 1 + rng() % 40, rh = 1 + rng() % 30;
        std::vector<uint8_t> texels(size_t(rw) * rh * 4);
        const int mode = static_cast<int>(rng() % 3);
        for (size_t k = 0; k < texels.size(); ++k)
            texels[k] = (k % 4 == 3 && mode != 2) ? (mode == 0 ? 255 : random_alpha(rng)) : static_cast<uint8_t>(rng());
        const vokri::image::Raster raster{texels.data(), rw, rh};
        const double angle = unit(rng) * 6.283185307179586, scale = 0.2 + 3 * unit(rng);
        const double skew = round % 4 == 0 ? unit(rng) - 0.5 : 0.0;
        const double mirror = round % 5 == 0 ? -1.0 : 1.0;
        const vokri::image::Placement p{scale * std::cos(angle),
                                        scale * (-std::sin(angle) + skew),
                                        mirror * scale * std::sin(angle),
                                        mirror * scale * std::cos(angle),
                                        (unit(rng) - 0.3) * 50,
                                        (unit(rng) - 0.3) * 40};
        const int32_t W = 48, H = 40;
        const int64_t x0 = rng() % 8, x1 = x0 + 1 + rng() % (W - x0), y0 = rng() % 8, y1 = y0 + 1 + rng() % (H - y0);
        const double op = opacities[rng() % 5];
        for (uint8_t format : {vokri::rgba32, vokri::rgbx32}) {
            std::vector<uint32_t> want(size_t(W) * H);
            for (auto& d : want) {
                uint32_t a = format == vokri::rgbx32 ? 255 : random_alpha(rng), px = a << 24;
                for (int c = 0; c < 3; ++c) px |= (a == 0 ? 0 : rng() % (a + 1)) << (8 * c);
                d = format == vokri::rgbx32 ? px & 0x00FFFFFFu : px;
            }
            std::vector<uint32_t> got = want;
            vokri::Surface sw = vokri::Surface::wrap(want.data(), W, H, format);
            vokri::Surface sg = vokri::Surface::wrap(got.data(), W, H, format);
            vokri::image::resample_scalar(raster, p, op, sw, x0, x1, y0, y1);
            vokri::image::resample_avx2(raster, p, op, sg, x0, x1, y0, y1);
            ASSERT_EQ(got, want) << "round " << round << " format " << int(format);
        }
    }
}
