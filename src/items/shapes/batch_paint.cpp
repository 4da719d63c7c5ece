#include "items/shapes/batch_paint.h"

#include <cmath>

#include "common/numeric.h"
#include "common/repeated_sum.h"

namespace vokri {

namespace {

inline double channel(uint32_t c, int shift) noexcept { return static_cast<double>((c >> shift) & 0xFF); }

// v clamped to [0, 255] and rounded half away from zero.
inline uint32_t to_byte(double v) noexcept {
    if (!(v > 0)) return 0;  // NaN included
    if (v >= 255) return 255;
    return static_cast<uint32_t>(round_half_away(v));
}

inline double lerp(double a, double b, double t) noexcept { return a + t * (b - a); }

// 0xRRGGBBAA into bytes R, G, B (the alpha byte left 0).
inline uint32_t rgb_bytes(uint32_t c) noexcept { return __builtin_bswap32(c) & 0x00FFFFFFu; }

inline uint32_t with_opacity(uint32_t alpha, double opacity) noexcept {
    return to_byte(opacity * static_cast<double>(alpha));
}

}  // namespace

uint32_t batch_fill_colour(uint32_t first, const uint32_t* target, double t, double opacity) noexcept {
    if (!target) return rgb_bytes(first) | with_opacity(first & 0xFF, opacity) << 24;
    uint32_t b = *target;
    uint32_t r = to_byte(lerp(channel(first, 24), channel(b, 24), t));
    uint32_t g = to_byte(lerp(channel(first, 16), channel(b, 16), t));
    uint32_t bl = to_byte(lerp(channel(first, 8), channel(b, 8), t));
    uint32_t a = to_byte(lerp(channel(first, 0), channel(b, 0), t));
    return r | g << 8 | bl << 16 | with_opacity(a, opacity) << 24;
}

uint32_t batch_stroke_colour(const uint32_t* first, const uint32_t* target, double t, double opacity) noexcept {
    if (first && target) return batch_fill_colour(*first, target, t, opacity);
    if (first) {
        uint32_t a = to_byte(channel(*first, 0) * (1 - t));
        return rgb_bytes(*first) | with_opacity(a, opacity) << 24;
    }
    uint32_t a = to_byte(t * channel(*target, 0));
    return rgb_bytes(*target) | with_opacity(a, opacity) << 24;
}

namespace {

// Overlap of [lo, lo + 1] with [a, b], at least 0 (no NaN reaches here).
inline double overlap(double lo, double a, double b) noexcept {
    double hi = lo + 1;
    double v = (b < hi ? b : hi) - (a > lo ? a : lo);
    return v > 0 ? v : 0;
}

inline double at_most_one(double v) noexcept { return v > 1 ? 1.0 : v; }

// ⌊v⌋ for |v| < 2^62, without a library call.
inline double floor_small(double v) noexcept {
    int64_t i = static_cast<int64_t>(v);
    return static_cast<double>(i - (v < static_cast<double>(i)));
}

// Pixel alpha for a coverage in [0, 1]: 0 when it is below 0.5 after the
// multiplication, else rounded half away from zero (at most 255).
inline uint32_t pixel_alpha(double coverage, uint32_t alpha) noexcept {
    double a = coverage * static_cast<double>(alpha);
    if (!(a >= 0.5)) return 0;
    // Halves away from zero: for a positive value, truncating after adding
    // the largest double below 0.5 is round_half_away.
    if (a >= 255) return 255;
    return static_cast<uint32_t>(a + 0.49999999999999994);
}

// One row segment [c0, c1] of a box at a constant pixel alpha.
inline void blend_run(uint32_t* p, int64_t n, uint32_t colour, uint32_t a) noexcept {
    if (a == 255) {
        uint32_t v = colour & 0x00FFFFFFu;
        for (int64_t i = 0; i < n; ++i) p[i] = v;
        return;
    }
    uint32_t na = 255 - a;
    uint32_t sr = (colour & 0xFF) * a / 255;
    uint32_t sg = ((colour >> 8) & 0xFF) * a / 255;
    uint32_t sb = ((colour >> 16) & 0xFF) * a / 255;
    for (int64_t i = 0; i < n; ++i) {
        uint32_t d = p[i];
        uint32_t r = sr + (d & 0xFF) * na / 255;
        uint32_t g = sg + ((d >> 8) & 0xFF) * na / 255;
        uint32_t b = sb + ((d >> 16) & 0xFF) * na / 255;
        p[i] = r | g << 8 | b << 16;
    }
}

}  // namespace

void paint_box_rgbx(Surface& s, double cx, double cy, double hx, double hy, uint32_t colour) noexcept {
    uint32_t alpha = colour >> 24;
    if (alpha == 0) return;
    double left = cx - hx, right = cx + hx, top = cy - hy, bottom = cy + hy;
    double c0 = std::floor(left), c1 = std::ceil(right) - 1;
    double r0 = std::floor(top), r1 = std::ceil(bottom) - 1;
    double wmax = static_cast<double>(s.width - 1), hmax = static_cast<double>(s.height - 1);
    if (c0 < 0) c0 = 0;
    if (r0 < 0) r0 = 0;
    if (c1 > wmax) c1 = wmax;
    if (r1 > hmax) r1 = hmax;
    if (!(c0 <= c1) || !(r0 <= r1)) return;  // empty, or NaN
    int64_t ic0 = static_cast<int64_t>(c0), ic1 = static_cast<int64_t>(c1);
    int64_t ir0 = static_cast<int64_t>(r0), ir1 = static_cast<int64_t>(r1);
    // Columns strictly between the first and the last overlap the box fully.
    double ox0 = overlap(c0, left, right);
    double ox1 = overlap(c1, left, right);
    for (int64_t y = ir0; y <= ir1; ++y) {
        double oy = overlap(static_cast<double>(y), top, bottom);
        uint32_t* row = s.row(static_cast<int32_t>(y));
        uint32_t a0 = pixel_alpha(at_most_one(ox0 * oy), alpha);
        if (a0) row[ic0] = blend_rgbx(row[ic0], colour, a0);
        if (ic1 == ic0) continue;
        if (ic1 > ic0 + 1) {
            uint32_t ai = pixel_alpha(at_most_one(oy), alpha);
            if (ai) blend_run(row + ic0 + 1, ic1 - ic0 - 1, colour, ai);
        }
        uint32_t a1 = pixel_alpha(at_most_one(ox1 * oy), alpha);
        if (a1) row[ic1] = blend_rgbx(row[ic1], colour, a1);
    }
}

namespace {

// Writes weighted hairline pixels; (major, minor) coordinates are swapped
// into (column, row) when the line's major axis is y.
struct HairlinePlot {
    uint32_t* pixels;
    int64_t width;
    double major_size, minor_size;  // surface extents along the two axes
    bool swap;
    uint32_t colour, alpha;

    void plot(int64_t major, double minor, double weight) const noexcept {
        if (!(minor >= 0 && minor < minor_size)) return;
        if (!(weight > 0)) return;  // NaN included
        if (weight > 1) weight = 1;
        uint32_t a = pixel_alpha(weight, alpha);
        if (!a) return;
        int64_t m = static_cast<int64_t>(minor);
        uint32_t* p = swap ? pixels + major * width + m : pixels + m * width + major;
        *p = blend_rgbx(*p, colour, a);
    }
    void plot_at(double major, double minor, double weight) const noexcept {
        if (!(major >= 0 && major < major_size)) return;
        plot(static_cast<int64_t>(major), minor, weight);
    }
};

inline double frac(double v) noexcept { return v - std::floor(v); }

}  // namespace

void paint_hairline_rgbx(Surface& s, double x0, double y0, double x1, double y1, double wd,
                         uint32_t colour) noexcept {
    uint32_t alpha = colour >> 24;
    if (alpha == 0) return;
    // Every weight of a line with a non-finite coordinate is NaN or the line
    // has no extent to walk; nothing of it is painted.
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    bool swap = !(std::fabs(x1 - x0) > std::fabs(y1 - y0));
    if (swap) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    double w = static_cast<double>(s.width), h = static_cast<double>(s.height);
    s.mark_all();
    HairlinePlot P{s.pixels, s.width, swap ? h : w, swap ? w : h, swap, colour, alpha};

    if (x1 - x0 < 1e-12) {
        double major = round_half_away(x0);
        if (!(major >= 0 && major < P.major_size)) return;
        double lo = std::floor(std::fmin(y0, y1)), hi = std::ceil(std::fmax(y0, y1));
        if (lo < 0) lo = 0;
        if (hi > P.minor_size - 1) hi = P.minor_size - 1;
        if (!(lo <= hi)) return;
        double weight = clamp(wd, 0.0, 1.0);
        int64_t m = static_cast<int64_t>(major);
        for (int64_t k = static_cast<int64_t>(lo); k <= static_cast<int64_t>(hi); ++k)
            P.plot(m, static_cast<double>(k), weight);
        return;
    }

    double g = (y1 - y0) / (x1 - x0);
    double xe = round_half_away(x0);
    double ye = y0 + g * (xe - x0);
    double gap = 1 - frac(x0 + 0.5);
    double fye = std::floor(ye), rye = ye - fye;
    P.plot_at(xe, fye, (1 - rye) * gap * wd);
    P.plot_at(xe, fye + 1, rye * gap * wd);

    double xe2 = round_half_away(x1);
    double ye2 = y1 + g * (xe2 - x1);
    double gap2 = frac(x1 + 0.5);
    double fye2 = std::floor(ye2), rye2 = ye2 - fye2;
    P.plot_at(xe2, fye2, (1 - rye2) * gap2 * wd);
    P.plot_at(xe2, fye2 + 1, rye2 * gap2 * wd);

    double first = xe + 1, last = xe2 - 1;
    double y = ye + g;
    if (first < 0) {
        // The steps before the surface paint nothing; the walk resumes at
        // column 0 with the value the additions give there. Beyond 2^53
        // columns a step of one is lost in the rounding of x itself, and the
        // line's value at column 0 stands in for the walk.
        if (first >= -0x1p53)
            y = repeated_sum(y, g, static_cast<uint64_t>(-first));
        else
            y = ye + g * (0 - xe);
        first = 0;
    }
    if (last > P.major_size - 1) last = P.major_size - 1;
    if (!(first <= last)) return;
    int64_t i0 = static_cast<int64_t>(first), i1 = static_cast<int64_t>(last);
    // Walk in the minor range where floor_small is exact; beyond it every
    // pixel lies off the surface.
    for (int64_t x = i0; x <= i1; ++x) {
        if (!(y > -1e15 && y < 1e15)) {
            y += g;
            continue;
        }
        double fy = floor_small(y), r = y - fy;
        P.plot(x, fy, (1 - r) * wd);
        P.plot(x, fy + 1, r * wd);
        y += g;
    }
}

}  // namespace vokri
