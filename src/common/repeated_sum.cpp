#include "common/repeated_sum.h"

#include <cmath>

namespace vokri {

namespace {

constexpr int64_t kTwo52 = int64_t{1} << 52;
constexpr int64_t kTwo53 = int64_t{1} << 53;

// A run of additions that all round alike. The sum moves in multiples of the
// spacing u = 2^exponent of the binade it is in: while every sum y_j + g
// lies in that binade, y_j is m_j·u and the rounded sum is (m_j + q)·u with
// one integer q for every step. Without a tie q is g/u rounded to nearest;
// at a tie the sum rounds to an even m, and from an even m on the tie picks
// the same q every time. Below 2^-1021 the spacing is 2^-1074 everywhere and
// every sum is exact.
struct Run {
    int exponent;  // u = 2^exponent
    bool tiny;     // |y| < 2^-1021: exact sums, the sign may change
    int64_t m;     // the current sum in units of u
    int64_t q;     // the step in units of u
};

// Whether y is m·u with m inside the binade, away from its ends: then a sum
// within half a step of m·u rounds at spacing u.
bool in_binade(double y, const Run& r, int64_t& m) noexcept {
    const double scaled = std::ldexp(y, -r.exponent);
    if (!(std::fabs(scaled) < static_cast<double>(kTwo53))) return false;
    m = static_cast<int64_t>(scaled);
    if (static_cast<double>(m) != scaled) return false;
    return r.tiny || (m > kTwo52 && m < kTwo53) || (m < -kTwo52 && m > -kTwo53);
}

// The three sums y1, y2, y3 of consecutive steps, when all lie inside one
// binade: the run continuing after y3.
bool regular_run(double y1, double y2, double y3, Run& run) noexcept {
    int e = 0;
    (void)std::frexp(y3, &e);  // |y3| in [2^(e-1), 2^e)
    run.tiny = y3 == 0 || e - 1 < -1021;
    run.exponent = run.tiny ? -1074 : e - 53;
    int64_t m1 = 0, m2 = 0;
    if (!in_binade(y1, run, m1) || !in_binade(y2, run, m2) || !in_binade(y3, run, run.m)) return false;
    if (!run.tiny && ((m1 > 0) != (run.m > 0) || (m2 > 0) != (run.m > 0))) return false;
    run.q = run.m - m2;
    return true;
}

// How many further steps of the run stay inside its binade, at most n.
uint64_t steps_inside(const Run& r, uint64_t n) noexcept {
    int64_t room;  // in units of |q|
    if (r.q == 0) return n;
    if (r.tiny) {
        room = r.q > 0 ? (kTwo53 - 1 - r.m) / r.q : (r.m + kTwo53 - 1) / -r.q;
    } else {
        const int64_t mag = r.m > 0 ? r.m : -r.m;
        const int64_t grow = r.m > 0 ? r.q : -r.q;  // change of |m| per step
        room = grow > 0 ? (kTwo53 - 1 - mag) / grow : (mag - kTwo52 - 1) / -grow;
    }
    if (room <= 0) return 0;
    return static_cast<uint64_t>(room) < n ? static_cast<uint64_t>(room) : n;
}

}  // namespace

double repeated_sum(double y, double g, uint64_t n) noexcept {
    // A step or a sum that is not finite reaches its fixed point (an
    // infinity or NaN) within two additions.
    if (!std::isfinite(g) || !std::isfinite(y)) {
        for (int i = 0; i < 2 && n > 0; ++i, --n) y += g;
        return y;
    }
    while (n >= 4) {
        // A step lost in the rounding leaves y where it is for good (y may
        // sit on a binade's edge, where no run is recognised).
        if (y + g == y) return y;
        const double y1 = y + g, y2 = y1 + g, y3 = y2 + g;
        n -= 3;
        y = y3;
        if (!std::isfinite(y)) return repeated_sum(y, g, n);
        Run run;
        if (!regular_run(y1, y2, y3, run)) continue;
        const uint64_t k = steps_inside(run, n);
        y = std::ldexp(static_cast<double>(run.m + static_cast<int64_t>(k) * run.q), run.exponent);
        n -= k;
    }
    for (; n > 0; --n) y += g;
    return y;
}

}  // namespace vokri
