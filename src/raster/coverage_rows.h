// The coverage of one pixel row as it accumulates: as runs of equal value
// (the plain form) or as cells of changes (the fast form), both summing the
// same quarter-column spans per pixel; and the spans of a monotone
// outline's row, summed pixel by pixel.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>

namespace vokri {

// Internal to the rasterizer's files (each includes this once): kept out of
// other translation units, so that the compiler inlines it freely.
namespace {

// The coverage of one pixel row over the fill box as runs: a run starting at
// slot i covers len[i] pixels with value cov[i]; `used` is the end of the
// last run.
template <class Len>
struct CoverageRow {
    uint8_t* cov;
    Len* len;
    size_t used = 0;

    // Makes a run start at `pos` (pos < used), searching from the run start
    // `hint` <= pos. Returns pos.
    size_t split_at(size_t pos, size_t& hint) noexcept {
        size_t i = hint;
        while (i + len[i] <= pos) i += len[i];
        if (i != pos) {
            const size_t end = i + len[i];
            len[i] = static_cast<Len>(pos - i);
            cov[pos] = cov[i];
            len[pos] = static_cast<Len>(end - pos);
        }
        hint = pos;
        return pos;
    }

    // Pixels [a, b) gain v.
    void add(size_t a, size_t b, uint8_t v, size_t& hint) noexcept {
        if (b > used) {
            if (a >= used) {
                if (a > used) {
                    cov[used] = 0;
                    len[used] = static_cast<Len>(a - used);
                }
                cov[a] = v;
                len[a] = static_cast<Len>(b - a);
                used = b;
                hint = a;
                return;
            }
            cov[used] = 0;
            len[used] = static_cast<Len>(b - used);
            used = b;
        }
        split_at(a, hint);
        if (b < used) {
            size_t h = a;
            split_at(b, h);
        }
        for (size_t i = a; i < b; i += len[i]) cov[i] = static_cast<uint8_t>(cov[i] + v);
        hint = a;
    }

    // The span [start, end) in quarter columns (0 <= start < end).
    void add_span(int64_t start, int64_t end, size_t& hint) noexcept {
        const size_t p0 = static_cast<size_t>(start >> 2), p1 = static_cast<size_t>(end >> 2);
        const unsigned f0 = static_cast<unsigned>(start & 3), f1 = static_cast<unsigned>(end & 3);
        if (p0 == p1) {
            add(p0, p0 + 1, static_cast<uint8_t>(end - start), hint);
            return;
        }
        size_t full = p0;
        if (f0) {
            add(p0, p0 + 1, static_cast<uint8_t>(4 - f0), hint);
            full = p0 + 1;
        }
        if (p1 > full) add(full, p1, 4, hint);
        if (f1) add(p1, p1 + 1, static_cast<uint8_t>(f1), hint);
    }
};

// The same per-pixel sums as CoverageRow, kept as cells: a span [a, b) of
// quarter columns covers pixel p by G_a(p) - G_b(p), where G_x(p) is 0 left
// of pixel x / 4, 4 - x % 4 at it and 4 right of it. G_x changes at two
// pixels only, so a span adds to the change of at most four pixels, and a
// row's coverage is the running sum of the changes. The row is read once,
// eight changes at a time, over the pixels its spans reached, and left zero.
struct CoverageCells {
    int8_t* change = nullptr;  // per pixel of the box, two beyond, padded to 8
    size_t lo = SIZE_MAX, hi = 0;  // the pixels whose change may be non-zero

    void add_edge(int64_t x, int sign) noexcept {
        const size_t p = static_cast<size_t>(x >> 2);
        const int f = static_cast<int>(x & 3);
        change[p] = static_cast<int8_t>(change[p] + sign * (4 - f));
        change[p + 1] = static_cast<int8_t>(change[p + 1] + sign * f);
    }
    // The span [start, end) in quarter columns (0 <= start < end).
    void add_span(int64_t start, int64_t end) noexcept {
        add_edge(start, 1);
        add_edge(end, -1);
    }
    // After the spans of a sub-scanline, from `first` to `last` quarter column.
    void reached(int64_t first, int64_t last) noexcept {
        const size_t a = static_cast<size_t>(first >> 2), b = static_cast<size_t>(last >> 2) + 1;
        if (a < lo) lo = a;
        if (b > hi) hi = b;
    }
    bool empty() const noexcept { return lo > hi; }
};

// The spans [start, end) of one row's sub-scanlines (quarter columns,
// clipped to the box, not empty).
struct RowSpans {
    int64_t start[4], end[4];
    int count = 0;
    int64_t start_lo = 0, start_hi = 0, end_lo = 0, end_hi = 0;

    void add(int64_t a, int64_t b) noexcept {
        start[count] = a;
        end[count] = b;
        if (count++ == 0) {
            start_lo = start_hi = a;
            end_lo = end_hi = b;
            return;
        }
        start_lo = std::min(start_lo, a);
        start_hi = std::max(start_hi, a);
        end_lo = std::min(end_lo, b);
        end_hi = std::max(end_hi, b);
    }
    // The quarter columns of pixel p that the spans cover, summed.
    int coverage(int64_t p) const noexcept {
        int c = 0;
        for (int i = 0; i < count; ++i) {
            const int64_t a = std::max(start[i], 4 * p), b = std::min(end[i], 4 * p + 4);
            if (a < b) c += static_cast<int>(b - a);
        }
        return c;
    }
};

}  // namespace

}  // namespace vokri
