// The eight-pixel exact-path blend gives the bytes of the plain one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

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
    if (!vokri::image::avx2_available()) GTEST_SKIP() << "no AVX2 on this processor";
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
