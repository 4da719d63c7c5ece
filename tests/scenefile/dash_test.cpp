// Dashes of random outlines: the pieces lie on the dash pattern along the
// curve (each on-length as asked, within the measuring tolerance), and
// together cover the outline's on-stretches.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dash.h"

namespace {

using vokri_scenefile::Outline;

double length(const VokriCubicSegment& c) {
    double total = 0, px = c.x0, py = c.y0;
    for (int k = 1; k <= 4096; ++k) {
        const double t = k / 4096.0, u = 1 - t;
        const double x = u * u * u * c.x0 + 3 * u * u * t * c.x1 + 3 * u * t * t * c.x2 + t * t * t * c.x3;
        const double y = u * u * u * c.y0 + 3 * u * u * t * c.y1 + 3 * u * t * t * c.y2 + t * t * t * c.y3;
        total += std::hypot(x - px, y - py);
        px = x, py = y;
    }
    return total;
}

TEST(Dash, PiecesFollowThePatternAlongTheCurve) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(-10, 10), len(0.2, 3);
    for (int round = 0; round < 200; ++round) {
        Outline o;
        double x = coord(rng), y = coord(rng);
        const int n = 1 + round % 4;
        for (int i = 0; i < n; ++i) {
            const double x3 = coord(rng), y3 = coord(rng);
            o.segments.push_back({x, y, coord(rng), coord(rng), coord(rng), coord(rng), x3, y3});
            x = x3, y = y3;
        }
        o.end_subpath(false);
        const std::vector<double> pattern = {len(rng), len(rng), len(rng)};  // odd: repeated once
        const double offset = coord(rng);
        const auto dashed = vokri_scenefile::dash_outline(o, pattern, offset);
        ASSERT_TRUE(dashed);
        double total = 0;
        for (const auto& c : o.segments) total += length(c);
        // Walk the pattern over the whole length: the on-stretches.
        std::vector<double> p = pattern;
        p.insert(p.end(), pattern.begin(), pattern.end());
        double period = 0;
        for (double d : p) period += d;
        double at = -std::fmod(std::fmod(offset, period) + period, period);
        std::vector<double> expected;
        for (size_t i = 0; at < total; i = (i + 1) % p.size()) {
            const double a = std::max(at, 0.0), b = std::min(at + p[i], total);
            if (i % 2 == 0 && b > a + 1e-9) expected.push_back(b - a);
            at += p[i];
        }
        // Each dash is one open subpath; its length is the on-length.
        ASSERT_EQ(dashed->subpath_ends.size(), expected.size()) << round;
        size_t first = 0;
        for (size_t k = 0; k < expected.size(); ++k) {
            double got = 0;
            for (size_t s = first; s < dashed->subpath_ends[k]; ++s) got += length(dashed->segments[s]);
            EXPECT_NEAR(got, expected[k], 1e-3 * (1 + expected[k])) << round << " dash " << k;
            EXPECT_EQ(dashed->subpath_closed[k], 0);
            first = dashed->subpath_ends[k];
        }
    }
}

}  // namespace
