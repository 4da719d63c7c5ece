// The running sum jumped over whole binades against the plain loop of
// additions: random starts and steps at every magnitude, ties, sign changes
// and subnormal sums.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "common/repeated_sum.h"

using vokri::repeated_sum;

namespace {

double plain_sum(double y, double g, uint64_t n) {
    for (uint64_t k = 0; k < n; ++k) y += g;
    return y;
}

uint64_t bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

}  // namespace

TEST(RepeatedSum, MatchesThePlainLoop) {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> expo(-1070, 60), small_expo(-8, 8), kind(0, 5);
    std::uniform_int_distribution<uint64_t> count(0, 30000);
    for (int trial = 0; trial < 4000; ++trial) {
        const double y = std::ldexp(unit(rng), expo(rng));
        double g;
        switch (kind(rng)) {
            case 0:  // a tie at the spacing of y: (k + 1/2) ulps
                g = (std::floor(unit(rng) * 8) + 0.5) * (std::nextafter(std::fabs(y), HUGE_VAL) - std::fabs(y));
                break;
            case 1:  // steps that carry y across zero
                g = -y / static_cast<double>(1 + count(rng) % 64) * (1 + unit(rng) / 4);
                break;
            case 2:  // a step far below the spacing of y
                g = y * std::ldexp(unit(rng), -60);
                break;
            case 3:  // the hairline's case: a gradient of at most 1 in size
                g = unit(rng);
                break;
            default:
                g = y * std::ldexp(unit(rng), small_expo(rng));
                break;
        }
        const uint64_t n = count(rng);
        ASSERT_EQ(bits(repeated_sum(y, g, n)), bits(plain_sum(y, g, n)))
            << "y " << y << " g " << g << " n " << n;
    }
}

TEST(RepeatedSum, NonFiniteValuesReachTheirFixedPoint) {
    EXPECT_EQ(repeated_sum(HUGE_VAL, 1.0, 1000000), HUGE_VAL);
    EXPECT_TRUE(std::isnan(repeated_sum(1.0, NAN, 5)));
    EXPECT_EQ(repeated_sum(1e308, 1e308, 1000000000000ull), HUGE_VAL);
    EXPECT_TRUE(std::isnan(repeated_sum(-HUGE_VAL, HUGE_VAL, 3)));
}

// Walks of 10^15 steps end at once: a step lost in the rounding, and integer
// steps whose every sum is exact.
TEST(RepeatedSum, LongWalksAreBounded) {
    EXPECT_EQ(repeated_sum(2.0, 0.0, 1000000000000000ull), 2.0);
    EXPECT_EQ(repeated_sum(-1e15 + 1, 1.0, 1000000000000000ull - 2), -1.0);
    EXPECT_EQ(repeated_sum(0.5, -0.25, 1000000000000000ull), -249999999999999.5);
}
