#include "dash.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vokri_scenefile {

namespace {

// Arc length along one cubic: tabulated at kSteps equal steps of t, each
// step integrated with five-point Gauss-Legendre quadrature of the speed;
// lengths within a step are found by bisection on the same quadrature.
constexpr int kSteps = 64;

struct Measured {
    VokriCubicSegment c;
    std::array<double, kSteps + 1> length;  // at t = i / kSteps

    double total() const { return length[kSteps]; }
};

double speed(const VokriCubicSegment& c, double t) {
    const double u = 1 - t;
    const double dx = 3 * (u * u * (c.x1 - c.x0) + 2 * u * t * (c.x2 - c.x1) + t * t * (c.x3 - c.x2));
    const double dy = 3 * (u * u * (c.y1 - c.y0) + 2 * u * t * (c.y2 - c.y1) + t * t * (c.y3 - c.y2));
    return std::hypot(dx, dy);
}

// The length of the curve between t0 and t1.
double length_between(const VokriCubicSegment& c, double t0, double t1) {
    static constexpr double kNodes[5] = {0.0, -0.5384693101056831, 0.5384693101056831, -0.9061798459386640,
                                         0.9061798459386640};
    static constexpr double kWeights[5] = {0.5688888888888889, 0.4786286704993665, 0.4786286704993665,
                                           0.2369268850561891, 0.2369268850561891};
    const double half = (t1 - t0) / 2, mid = (t0 + t1) / 2;
    double sum = 0;
    for (int i = 0; i < 5; ++i) sum += kWeights[i] * speed(c, mid + half * kNodes[i]);
    return sum * half;
}

Measured measure(const VokriCubicSegment& c) {
    Measured m{c, {}};
    m.length[0] = 0;
    for (int i = 1; i <= kSteps; ++i)
        m.length[i] = m.length[i - 1] + length_between(c, static_cast<double>(i - 1) / kSteps,
                                                       static_cast<double>(i) / kSteps);
    return m;
}

// The t at which the arc length from the start reaches s.
double t_at(const Measured& m, double s) {
    if (s <= 0) return 0;
    if (s >= m.total()) return 1;
    const auto it = std::upper_bound(m.length.begin(), m.length.end(), s);
    const auto i = static_cast<int>(it - m.length.begin()) - 1;
    const double base = static_cast<double>(i) / kSteps;
    double lo = base, hi = static_cast<double>(i + 1) / kSteps;
    for (int k = 0; k < 40; ++k) {
        const double t = (lo + hi) / 2;
        (m.length[i] + length_between(m.c, base, t) < s ? lo : hi) = t;
    }
    return (lo + hi) / 2;
}

// The piece of `c` between t0 and t1 (0 <= t0 < t1 <= 1), by de Casteljau.
VokriCubicSegment piece(const VokriCubicSegment& c, double t0, double t1) {
    auto lerp = [](double a, double b, double t) { return a + (b - a) * t; };
    // Split at t1 and keep the first part...
    double ax = lerp(c.x0, c.x1, t1), ay = lerp(c.y0, c.y1, t1);
    double bx = lerp(c.x1, c.x2, t1), by = lerp(c.y1, c.y2, t1);
    double cx = lerp(c.x2, c.x3, t1), cy = lerp(c.y2, c.y3, t1);
    double dx = lerp(ax, bx, t1), dy = lerp(ay, by, t1);
    double ex = lerp(bx, cx, t1), ey = lerp(by, cy, t1);
    double fx = lerp(dx, ex, t1), fy = lerp(dy, ey, t1);
    const VokriCubicSegment left{c.x0, c.y0, ax, ay, dx, dy, fx, fy};
    if (t0 <= 0) return left;
    // ...then split that at t0 / t1 and keep the second part.
    const double s = t0 / t1;
    ax = lerp(left.x0, left.x1, s), ay = lerp(left.y0, left.y1, s);
    bx = lerp(left.x1, left.x2, s), by = lerp(left.y1, left.y2, s);
    cx = lerp(left.x2, left.x3, s), cy = lerp(left.y2, left.y3, s);
    dx = lerp(ax, bx, s), dy = lerp(ay, by, s);
    ex = lerp(bx, cx, s), ey = lerp(by, cy, s);
    fx = lerp(dx, ex, s), fy = lerp(dy, ey, s);
    return VokriCubicSegment{fx, fy, ex, ey, cx, cy, left.x3, left.y3};
}

// Where in the pattern a walk stands: entry `index`, `left` of it to go.
struct PatternState {
    size_t index = 0;
    double left = 0;
    bool on() const { return index % 2 == 0; }
};

PatternState start_state(const std::vector<double>& p, double total, double offset) {
    double o = std::fmod(offset, total);
    if (o < 0) o += total;
    PatternState s;
    s.left = p[0];
    while (o > 0 && o >= s.left) {
        o -= s.left;
        s.index = (s.index + 1) % p.size();
        s.left = p[s.index];
    }
    s.left -= o;
    return s;
}

// The segments of subpath [first, end) with, for a closed one, the piece
// back to its start.
std::vector<VokriCubicSegment> walked(const Outline& o, size_t first, size_t end, bool closed) {
    std::vector<VokriCubicSegment> out(o.segments.begin() + first, o.segments.begin() + end);
    const VokriCubicSegment& a = o.segments[first];
    const VokriCubicSegment& b = o.segments[end - 1];
    if (closed && (a.x0 != b.x3 || a.y0 != b.y3)) out.push_back(straight(b.x3, b.y3, a.x0, a.y0));
    return out;
}

class Dasher {
public:
    Dasher(const std::vector<double>& pattern, double offset) : p_(pattern) {
        if (p_.size() % 2) p_.insert(p_.end(), pattern.begin(), pattern.end());
        double total = 0;
        for (double d : p_) total += d;
        start_ = start_state(p_, total, offset);
    }

    // Dashes one subpath; false when the result grows too large.
    bool subpath(const std::vector<VokriCubicSegment>& segments) {
        PatternState s = start_;
        for (const auto& c : segments) {
            const Measured m = measure(c);
            double at = 0;
            while (at < m.total()) {
                const double step = std::min(s.left, m.total() - at);
                if (s.on() && step > 0) out_.segments.push_back(piece(c, t_at(m, at), t_at(m, at + step)));
                if (out_.segments.size() > kMaxDashSegments) return false;
                at += step;
                s.left -= step;
                if (s.left <= 0) {
                    if (s.on()) out_.end_subpath(false);
                    s.index = (s.index + 1) % p_.size();
                    s.left = p_[s.index];
                    if (++steps_ > 4 * kMaxDashSegments) return false;
                }
            }
        }
        out_.end_subpath(false);
        return true;
    }

    Outline take() { return std::move(out_); }

private:
    std::vector<double> p_;
    PatternState start_;
    Outline out_;
    size_t steps_ = 0;
};

}  // namespace

bool dashes(const std::vector<double>& pattern) {
    bool any = false;
    for (double d : pattern) {
        if (!std::isfinite(d) || d < 0) return false;
        any = any || d > 0;
    }
    return any;
}

std::optional<Outline> dash_outline(const Outline& outline, const std::vector<double>& pattern, double offset) {
    if (!dashes(pattern)) return outline;
    Dasher dasher(pattern, std::isfinite(offset) ? offset : 0.0);
    size_t first = 0;
    for (size_t k = 0; k < outline.subpath_ends.size(); ++k) {
        const size_t end = std::min<size_t>(outline.subpath_ends[k], outline.segments.size());
        if (end > first && !dasher.subpath(walked(outline, first, end, outline.subpath_closed[k] != 0)))
            return std::nullopt;
        first = std::max(first, end);
    }
    return dasher.take();
}

}  // namespace vokri_scenefile
