// Sub-scanline arithmetic shared by the fill paths: which sub-scanlines an
// edge crosses, where it crosses them, the order of active edges, and rows
// painted with their pixels prefetched ahead.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "raster/edge_list.h"
#include "raster/raster_scratch.h"
#include "surface/surface.h"

namespace vokri {

// Internal to the rasterizer's files (each includes this once): kept out of
// other translation units, so that the compiler inlines it freely.
namespace {

// The crossing rounded half away from zero, clamped to [lo, hi] (integers).
// Crossings beyond the box are all clipped alike; saturating them keeps the
// integer conversion defined (NaN cannot occur for finite edges but is sent
// to the left border). The clamp comes before the truncation that finishes
// the rounding: with integer bounds both orders give the same value, and the
// conversion to int64 then truncates by itself.
inline int64_t crossing_of(const ActiveEdge& e, double v, double lo, double hi, int64_t base) noexcept {
    double x = e.x_top + (v - e.top) * e.dxdy;
    x += std::copysign(0.49999999999999994, x);
    if (!(x > lo)) x = lo;
    if (x > hi) x = hi;
    return static_cast<int64_t>(x) - base;
}

// Sorts the active edges by crossing; they stay nearly sorted between
// sub-scanlines, so insertion sort does little work. A heavily shuffled
// array falls back to a full sort.
inline void sort_active(ActiveEdge* a, size_t n) noexcept {
    size_t moves = 0;
    const size_t budget = 8 * n + 64;
    for (size_t i = 1; i < n; ++i) {
        if (a[i - 1].x <= a[i].x) continue;
        ActiveEdge t = a[i];
        size_t j = i;
        while (j > 0 && a[j - 1].x > t.x) {
            a[j] = a[j - 1];
            --j;
        }
        a[j] = t;
        moves += i - j;
        if (moves > budget) {
            std::sort(a, a + n, [](const ActiveEdge& p, const ActiveEdge& q) { return p.x < q.x; });
            return;
        }
    }
}

// ⌊x⌋ for x well inside the int64 range (no library call).
inline int64_t floor_to_int(double x) noexcept {
    const int64_t i = static_cast<int64_t>(x);
    return i - (x < static_cast<double>(i) ? 1 : 0);
}

// Row y of the Surface from column x, for prefetch hints: the row is not
// marked as written.
inline const uint32_t* row_for_hint(const Surface& s, int64_t y, int64_t x) noexcept {
    return s.pixels + static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x);
}

// Rows y0..y1 painted in order, each while the pixels of the row kAhead
// below it load: prefetch(y) before paint(y - kAhead).
template <class Prefetch, class PaintRow>
void paint_rows_ahead(int64_t y0, int64_t y1, Prefetch&& prefetch, PaintRow&& paint) noexcept {
    constexpr int64_t kAhead = 16;
    for (int64_t y = y0; y < y0 + kAhead && y <= y1; ++y) prefetch(y);
    for (int64_t y = y0; y <= y1; ++y) {
        if (y + kAhead <= y1) prefetch(y + kAhead);
        paint(y);
    }
}

// The sub-scanlines s0..s1 of the fill that an edge crosses (the sample
// line v = s + 0.5 lies in top < v <= bottom); false when there are none.
struct SubScanlines {
    int64_t first, last;  // of the fill

    [[gnu::always_inline]] bool of(const Edge& e, int64_t& s0, int64_t& s1) const noexcept {
        const double first_d = static_cast<double>(first), last_d = static_cast<double>(last);
        const double top = e.y_first < e.y_last ? e.y_first : e.y_last;
        const double bottom = e.y_first < e.y_last ? e.y_last : e.y_first;
        if (top > last_d + 1 || bottom < first_d + 0.5) return false;
        // Both floors take values within two rows of the fill.
        s0 = top < first_d - 1 ? first : floor_to_int(top - 0.5) + 1;
        s1 = bottom > last_d + 1 ? last : floor_to_int(bottom - 0.5);
        if (s0 < first) s0 = first;
        if (s1 > last) s1 = last;
        return s0 <= s1;
    }
};

}  // namespace

}  // namespace vokri
