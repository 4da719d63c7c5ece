#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/cpu.h"
#include "png/rows.h"

TEST(PngRows, VectorConversionMatchesScalarAndStaysInBounds) {
    if (!vokri::cpu::usable(vokri::cpu::Isa::ssse3)) GTEST_SKIP() << "no SSSE3 on this processor";
    std::mt19937 rng(7);
    for (size_t n = 0; n < 120; ++n) {
        std::vector<uint32_t> src(n);
        for (auto& p : src) p = rng();
        std::vector<uint8_t> a(3 * n + 8, 0xA5), b(3 * n + 8, 0xA5);
        vokri::rgbx_to_rgb_scalar(src.data(), n, a.data());
        vokri::rgbx_to_rgb(src.data(), n, b.data());
        ASSERT_EQ(a, b) << n;
        for (size_t i = 3 * n; i < a.size(); ++i) ASSERT_EQ(b[i], 0xA5) << n;
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(a[3 * i], src[i] & 0xFF);
            ASSERT_EQ(a[3 * i + 2], (src[i] >> 16) & 0xFF);
        }
    }
}
