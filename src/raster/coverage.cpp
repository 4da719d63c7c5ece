#include "raster/coverage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cmath>
#include <new>

#include "common/fatal.h"
#include "common/numeric.h"
#include "surface/composite.h"

namespace vokri {

namespace {

// An edge that crosses the current sub-scanline.
struct ActiveEdge {
    double x_top;
    double dxdy;
    double top;
    int64_t s_end;  // last sub-scanline the edge crosses
    int64_t x;      // crossing on the current sub-scanline, relative to the box
    int32_t winding;  // +1 upward, -1 downward
    int32_t pad;
};

// Edges whose crossings all lie left of the fill box (or all right of it)
// on every sub-scanline they cross. Their crossings clamp to the box border,
// where only their number and winding matter, so they are counted per
// sub-scanline instead of being kept active: a shape much larger than the
// Surface costs as much as the part of its outline that lies over the box.
struct FoldCount {
    int32_t left_winding;  // net winding of the edges left of the box
    int32_t left_count;    // how many there are
    int32_t right_count;   // edges right of the box
};

}  // namespace

struct RasterScratch {
    EdgeList edges;
    Buffer<ActiveEdge> active;
    Buffer<uint32_t> bucket_start;  // per sub-scanline of the fill, then a sentinel
    Buffer<uint32_t> bucket_edges;  // edge indices ordered by first sub-scanline
    Buffer<int64_t> bucket_last;    // the last sub-scanline of each, in the same order
    Buffer<int64_t> edge_first;     // per edge: its first sub-scanline (from the fill's first), or -1
    Buffer<int64_t> edge_last;
    Buffer<int64_t> spans;          // kept crossings of one sub-scanline
    Buffer<FoldCount> folds;        // per sub-scanline of the fill, then a sentinel
    Buffer<uint8_t> coverage;       // CoverageRow values
    Buffer<uint8_t> run_lengths;    // CoverageRow run lengths (8, 16 or 32 bits wide)
    Buffer<int8_t> cell_changes;    // CoverageCells
    Buffer<int64_t> chain_x;        // per sub-scanline of a monotone fill: its two crossings

    explicit RasterScratch(Allocator& a) noexcept
        : edges(a), active(a), bucket_start(a), bucket_edges(a), bucket_last(a), edge_first(a), edge_last(a),
          spans(a), folds(a), coverage(a), run_lengths(a), cell_changes(a), chain_x(a) {}
};

void release_raster_scratch(RasterScratch*& scratch, Allocator& a) noexcept {
    if (!scratch) return;
    scratch->~RasterScratch();
    a.release(scratch);
    scratch = nullptr;
}

namespace {

Error ensure_scratch(Canvas& canvas) noexcept {
    if (canvas.raster_scratch) return Error::None;
    void* p = canvas.allocator.allocate(sizeof(RasterScratch));
    if (!p) return Error::OutOfMemory;
    canvas.raster_scratch = new (p) RasterScratch(canvas.allocator);
    return Error::None;
}

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

struct FillJob {
    Canvas& canvas;
    const Paint& paint;
    Surface& surface;
    uint8_t rule;
    int64_t box_start, box_width, capacity;
    int64_t first_row, last_row;
};

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
void sort_active(ActiveEdge* a, size_t n) noexcept {
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
template <class Prefetch, class Paint>
void paint_rows_ahead(int64_t y0, int64_t y1, Prefetch&& prefetch, Paint&& paint) noexcept {
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

    bool of(const Edge& e, int64_t& s0, int64_t& s1) const noexcept {
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

// The fill of one EdgeList in three steps: the edges are bucketed by the
// first sub-scanline they cross (edges wholly beside the box become fold
// counts), each sub-scanline adds its spans to the CoverageRow, and each
// finished row is emitted as runs.
template <class Len>
class RowRasterizer {
public:
    RowRasterizer(FillJob& job, const EdgeList& list) noexcept
        : job_(job),
          sc_(*job.canvas.raster_scratch),
          edges_(list.edges.data()),
          edge_count_(list.edges.size()),
          lines_{4 * job.first_row, 4 * job.last_row + 3},
          sub_count_(static_cast<size_t>(lines_.last - lines_.first + 1)),
          base_d_(static_cast<double>(4 * job.box_start)),
          lo_(-4.0 + base_d_),
          hi_(static_cast<double>(job.capacity + 4) + base_d_),
          base_(4 * job.box_start),
          cap_(job.capacity) {
        // Only a list that reaches beyond the box's sides can have edges
        // wholly beside it.
        may_fold_ = (list.x_min < base_d_ || list.x_max > base_d_ + static_cast<double>(cap_)) &&
                    !list.open_contour && job.canvas.options.shortcuts;
        use_cells_ = job.canvas.options.shortcuts;
        monotone_ = use_cells_ && !list.open_contour && is_monotone();
    }

    Error run() noexcept {
        const size_t width = static_cast<size_t>(job_.box_width);
        if (use_cells_) {
            const size_t padded = (width + 2 + 7) / 8 * 8;
            VOKRI_TRY(sc_.cell_changes.reserve(padded));
            cells_.change = sc_.cell_changes.data();
            std::fill(cells_.change, cells_.change + padded, int8_t{0});
            colours_ = CoverageColours(job_.paint.source);
            if (monotone_) return run_monotone();
        }
        VOKRI_TRY(bucket_edges());
        if (bucketed_ == 0 && !any_folded_) return Error::None;
        VOKRI_TRY(sc_.active.reserve(bucketed_));
        VOKRI_TRY(sc_.spans.reserve(bucketed_ + 2));
        if (!use_cells_) {
            VOKRI_TRY(sc_.coverage.reserve(width));
            size_t len_bytes;
            if (!checked_mul(width, sizeof(Len), len_bytes)) return Error::OutOfMemory;
            VOKRI_TRY(sc_.run_lengths.reserve(len_bytes));
            row_ = CoverageRow<Len>{sc_.coverage.data(), reinterpret_cast<Len*>(sc_.run_lengths.data())};
        }
        for (int64_t y = job_.first_row; y <= job_.last_row; ++y) {
            if (active_count_ == 0) {  // skip rows that nothing crosses
                if (!next_crossed_row(y)) break;
                if (next_row_ > y) {
                    y = next_row_ - 1;
                    continue;
                }
            }
            row_.used = 0;
            row_pixels_ = job_.surface.row(static_cast<int32_t>(y)) + job_.box_start;
            for (int64_t s = 4 * y; s < 4 * y + 4; ++s) sub_scanline(s);
            if (use_cells_)
                emit_cells(y);
            else
                emit_row(y);
        }
        return Error::None;
    }

private:
    // Where an edge lies against the box over the sub-scanlines s0..s1 it
    // crosses: -1 left of it (every crossing at or before column 0), +1
    // right of it (every crossing at or beyond the box end), 0 otherwise.
    // The crossing is a monotonic function of the sub-scanline (each step of
    // its computation rounds monotonically), so its two ends decide.
    int side_of(const Edge& e, int64_t s0, int64_t s1) const noexcept {
        const bool down = e.y_last > e.y_first;
        const ActiveEdge a{e.x_top, e.dxdy, down ? e.y_first : e.y_last, s1, 0, 0, 0};
        const int64_t x0 = crossing_of(a, static_cast<double>(s0) + 0.5, lo_, hi_, base_);
        const int64_t x1 = crossing_of(a, static_cast<double>(s1) + 0.5, lo_, hi_, base_);
        if (x0 <= 0 && x1 <= 0) return -1;
        if (x0 >= cap_ && x1 >= cap_) return 1;
        return 0;
    }

    // Difference counts at s0 and s1 + 1, summed up afterwards.
    void fold(int side, const Edge& e, int64_t s0, int64_t s1) noexcept {
        FoldCount& f0 = folds_[s0 - lines_.first];
        FoldCount& f1 = folds_[s1 - lines_.first + 1];
        any_folded_ = true;
        if (side > 0) {
            ++f0.right_count;
            --f1.right_count;
            return;
        }
        const int32_t w = e.y_last > e.y_first ? -1 : 1;
        f0.left_winding += w;
        f1.left_winding -= w;
        ++f0.left_count;
        --f1.left_count;
    }

    // Step 1: a counting sort of the edges by their first sub-scanline into
    // bucket_start / bucket_edges; the edges beside the box become folds.
    Error bucket_edges() noexcept {
        VOKRI_TRY(sc_.bucket_start.resize(sub_count_ + 1));
        VOKRI_TRY(sc_.bucket_edges.resize(edge_count_));
        VOKRI_TRY(sc_.bucket_last.resize(edge_count_));
        VOKRI_TRY(sc_.edge_first.resize(edge_count_));
        VOKRI_TRY(sc_.edge_last.resize(edge_count_));
        int64_t* first = sc_.edge_first.data();
        int64_t* last = sc_.edge_last.data();
        start_ = sc_.bucket_start.data();
        std::fill(start_, start_ + sub_count_ + 1, 0u);
        if (may_fold_) {
            VOKRI_TRY(sc_.folds.resize(sub_count_ + 1));
            folds_ = sc_.folds.data();
            std::fill(folds_, folds_ + sub_count_ + 1, FoldCount{0, 0, 0});
        }
        for (size_t i = 0; i < edge_count_; ++i) {
            int64_t s0 = 0, s1 = 0;
            first[i] = -1;
            if (!lines_.of(edges_[i], s0, s1)) continue;
            if (may_fold_) {
                if (const int side = side_of(edges_[i], s0, s1)) {
                    fold(side, edges_[i], s0, s1);
                    continue;
                }
            }
            first[i] = s0 - lines_.first;
            last[i] = s1;
            ++start_[s0 - lines_.first + 1];
        }
        for (size_t k = 1; k <= sub_count_; ++k) start_[k] += start_[k - 1];
        // start_[k] is now the first slot of bucket k; fill using a moving
        // cursor per bucket held in start_[k] and restore afterwards.
        uint32_t* order = sc_.bucket_edges.data();
        int64_t* order_last = sc_.bucket_last.data();
        for (size_t i = 0; i < edge_count_; ++i) {
            if (first[i] < 0) continue;
            const uint32_t slot = start_[first[i]]++;
            order[slot] = static_cast<uint32_t>(i);
            order_last[slot] = last[i];
        }
        for (size_t k = sub_count_; k > 0; --k) start_[k] = start_[k - 1];
        start_[0] = 0;
        for (size_t k = 1; any_folded_ && k <= sub_count_; ++k) {
            folds_[k].left_winding += folds_[k - 1].left_winding;
            folds_[k].left_count += folds_[k - 1].left_count;
            folds_[k].right_count += folds_[k - 1].right_count;
        }
        bucketed_ = start_[sub_count_];
        return Error::None;
    }

    // With no edge active at row y: sets next_row_ to the first row from y
    // on that an edge (or a fold) crosses; false when none is left.
    bool next_crossed_row(int64_t y) noexcept {
        size_t k = static_cast<size_t>(4 * y - lines_.first);
        while (k < sub_count_ && start_[k] == start_[k + 1] &&
               !(any_folded_ && (folds_[k].left_count != 0 || folds_[k].right_count != 0)))
            ++k;
        if (k == sub_count_) return false;
        next_row_ = (lines_.first + static_cast<int64_t>(k)) >> 2;
        return true;
    }

    // Step 2: the active edges of sub-scanline s, their crossings under the
    // fill rule, and the spans they bound added to the CoverageRow.
    void sub_scanline(int64_t s) noexcept {
        ActiveEdge* active = sc_.active.data();
        const size_t k = static_cast<size_t>(s - lines_.first);
        for (uint32_t j = start_[k]; j < start_[k + 1]; ++j) {
            const Edge& e = edges_[sc_.bucket_edges[j]];
            const bool down = e.y_last > e.y_first;
            active[active_count_++] = ActiveEdge{e.x_top, e.dxdy, down ? e.y_first : e.y_last,
                                                 sc_.bucket_last[j], 0, down ? -1 : 1, 0};
        }
        const FoldCount f = any_folded_ ? folds_[k] : FoldCount{0, 0, 0};
        if (active_count_ == 0 && f.left_count == 0 && f.right_count == 0) return;
        const double v = static_cast<double>(s) + 0.5;
        size_t n = 0;
        for (size_t i = 0; i < active_count_; ++i) {
            if (active[i].s_end < s) continue;
            if (n != i) active[n] = active[i];
            active[n].x = crossing_of(active[n], v, lo_, hi_, base_);
            ++n;
        }
        active_count_ = n;
        if (n + (f.left_count != 0) + (f.right_count != 0) < 2) return;
        if (n == 2 && f.left_count == 0 && f.right_count == 0) return two_crossings(active);
        sort_active(active, n);
        add_spans(kept_crossings(active, n, f));
    }

    // The common case of two active edges and nothing folded, as
    // kept_crossings would see them: the left crossing is kept; the right
    // one too under even-odd, and under non-zero when the windings cancel.
    void two_crossings(ActiveEdge* active) noexcept {
        if (active[0].x > active[1].x) std::swap(active[0], active[1]);
        int64_t* kept = sc_.spans.data();
        kept[0] = active[0].x;
        kept[1] = active[1].x;
        const bool both = job_.rule == fill_even_odd || active[0].winding + active[1].winding == 0;
        add_spans(both ? 2 : 1);
    }

    static constexpr int64_t kLeftBorder = -4;  // where left-folded edges cross, relative to the box

    // The crossings kept under the fill rule. The folded edges left of the
    // box act as one crossing at its left border; those right of it close
    // an open span at its right border (the outlines are closed, so the
    // winding returns to 0 there).
    size_t kept_crossings(const ActiveEdge* active, size_t n, const FoldCount& f) noexcept {
        int64_t* kept = sc_.spans.data();
        size_t m = 0;
        if (job_.rule == fill_even_odd) {
            if (f.left_count & 1) kept[m++] = kLeftBorder;
            for (size_t i = 0; i < n; ++i) kept[m++] = active[i].x;
            if (f.right_count != 0 && (m & 1)) kept[m++] = cap_ + 4;
        } else {
            int32_t w = f.left_winding;
            if (w != 0) kept[m++] = kLeftBorder;
            for (size_t i = 0; i < n; ++i) {
                const int32_t before = w;
                w += active[i].winding;
                if (before == 0 || w == 0) kept[m++] = active[i].x;
            }
            if (f.right_count != 0 && w != 0) kept[m++] = cap_ + 4;
        }
        return m;
    }

    // The kept crossings in pairs, clipped to the row's capacity.
    void add_spans(size_t m) noexcept {
        const int64_t* kept = sc_.spans.data();
        int64_t prev_end = 0, first = -1;
        size_t hint = 0;
        for (size_t i = 0; i + 1 < m; i += 2) {
            const int64_t a = kept[i], b = kept[i + 1];
            int64_t sp = a > prev_end ? a : prev_end;
            if (sp < 0) sp = 0;
            if (sp >= cap_) break;
            int64_t ep = b < cap_ ? b : cap_;
            if (ep < sp) ep = sp;
            if (sp < ep) {
                if (ep > cap_) fatal("attempt to add span beyond capacity. this is a bug, please report it");
                if (use_cells_) {
                    if (first < 0) first = sp;
                    cells_.add_span(sp, ep);
                    // The row's pixels at the span's ends are blended once the
                    // row is complete: start loading them now.
                    __builtin_prefetch(row_pixels_ + (sp >> 2), 1);
                    __builtin_prefetch(row_pixels_ + ((ep - 1) >> 2), 1);
                }
                else
                    row_.add_span(sp, ep, hint);
            }
            prev_end = ep;
        }
        if (use_cells_ && first >= 0) cells_.reached(first, prev_end - 1);
    }

    // Step 3: the row as runs of equal coverage, adjacent equal runs merged.
    void emit_row(int64_t y) noexcept {
        const size_t width = static_cast<size_t>(job_.box_width);
        const size_t limit = row_.used < width ? row_.used : width;
        Surface& surface = job_.surface;
        const Pixel source = job_.paint.source;
        size_t i = 0;
        while (i < limit) {
            const uint8_t c = row_.cov[i];
            size_t l = row_.len[i];
            while (i + l < limit && row_.cov[i + l] == c) l += row_.len[i + l];
            if (c != 0) {
                const int64_t x = job_.box_start + static_cast<int64_t>(i);
                const int64_t room = surface.width - x;
                const size_t length = static_cast<int64_t>(l) < room ? l : static_cast<size_t>(room);
                if (c >= 16)
                    paint_run(kOpSrcOver, surface, source, x, y, length);
                else
                    paint_run_alpha(kOpSrcOver, surface, source, x, y, length, static_cast<uint8_t>(16 * c - 1));
            }
            i += l;
        }
    }

    // Whether the edges form one chain downwards and one upwards: each edge
    // ends at the y where the next one starts (the last one where the first
    // starts) and the direction turns twice. Each chain then splits the
    // y range of the list into consecutive half-open pieces, one per edge,
    // so every sub-scanline it covers has exactly one downward and one
    // upward crossing: one span between them under either fill rule,
    // however the edges join in x and into however many contours.
    bool is_monotone() const noexcept {
        if (edge_count_ < 2) return false;
        int turns = 0;
        for (size_t i = 0; i < edge_count_; ++i) {
            const Edge& a = edges_[i];
            const Edge& b = edges_[i + 1 < edge_count_ ? i + 1 : 0];
            if (a.y_last != b.y_first) return false;
            turns += (a.y_last > a.y_first) != (b.y_last > b.y_first);
        }
        return turns == 2;
    }

    // The fill of a monotone list: each edge's crossings are worked out in
    // one go over the sub-scanlines it covers, then each row takes the span
    // between the two crossings of each of its sub-scanlines, clipped as
    // add_spans clips it. No sorting, no winding count, no folding: the
    // span is the same one the general steps keep.
    Error run_monotone() noexcept {
        VOKRI_TRY(sc_.chain_x.resize(2 * sub_count_));
        int64_t* x = sc_.chain_x.data();  // [2k]: downward crossing on sub-scanline k, [2k + 1]: upward
        int64_t s_lo = lines_.last + 1, s_hi = lines_.first - 1;
        for (size_t i = 0; i < edge_count_; ++i) {
            int64_t s0 = 0, s1 = 0;
            const Edge& e = edges_[i];
            if (!lines_.of(e, s0, s1)) continue;
            if (s0 < s_lo) s_lo = s0;
            if (s1 > s_hi) s_hi = s1;
            const bool down = e.y_last > e.y_first;
            const ActiveEdge a{e.x_top, e.dxdy, down ? e.y_first : e.y_last, s1, 0, 0, 0};
            int64_t* out = x + 2 * (s0 - lines_.first) + (down ? 0 : 1);
            if (e.dxdy == 0.0) {  // x_top + (v - top) * 0 is x_top on every sub-scanline
                const int64_t c = crossing_of(a, static_cast<double>(s0) + 0.5, lo_, hi_, base_);
                for (int64_t k = s0; k <= s1; ++k, out += 2) *out = c;
                continue;
            }
            for (int64_t k = s0; k <= s1; ++k, out += 2)
                *out = crossing_of(a, static_cast<double>(k) + 0.5, lo_, hi_, base_);
        }
        if (s_lo > s_hi) return Error::None;
        const auto prefetch = [&](int64_t y) { prefetch_row(x, y, s_lo, s_hi); };
        paint_rows_ahead(s_lo >> 2, s_hi >> 2, prefetch, [&](int64_t y) {
            RowSpans spans;
            const int64_t last = std::min(4 * y + 3, s_hi);
            for (int64_t k = std::max(4 * y, s_lo); k <= last; ++k) {
                const int64_t* pair = x + 2 * (k - lines_.first);
                int64_t sp = std::min(pair[0], pair[1]), ep = std::max(pair[0], pair[1]);
                if (sp < 0) sp = 0;
                if (ep > cap_) ep = cap_;
                if (sp < ep) spans.add(sp, ep);
            }
            if (spans.count != 0) paint_spans(y, spans);
        });
        return Error::None;
    }

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

    // Row y painted from its spans with the per-pixel sums the cells would
    // hold: pixels inside every span get 4 per span, and the pixels around
    // the spans' ends are summed span by span.
    void paint_spans(int64_t y, const RowSpans& spans) noexcept {
        uint32_t* row = job_.surface.row(static_cast<int32_t>(y)) + job_.box_start;
        const int64_t first = spans.start_lo >> 2, last = ((spans.end_hi - 1) >> 2) + 1;  // pixels reached
        const int64_t inner0 = (spans.start_hi + 3) >> 2, inner1 = spans.end_lo >> 2;  // inside every span
        if (inner0 >= inner1) return paint_sums(row, first, last, spans);
        paint_sums(row, first, inner0, spans);
        paint_cells_run(row, static_cast<uint64_t>(inner0), static_cast<uint64_t>(inner1), row_limit(),
                        4 * spans.count);
        paint_sums(row, inner1, last, spans);
    }

    // Pixels [from, to) of the row at their summed coverage, in runs.
    void paint_sums(uint32_t* row, int64_t from, int64_t to, const RowSpans& spans) noexcept {
        const uint64_t limit = row_limit();
        int run_coverage = 0;
        int64_t run_start = from;
        for (int64_t p = from; p < to; ++p) {
            const int c = spans.coverage(p);
            if (c == run_coverage) continue;
            if (run_coverage != 0)
                paint_cells_run(row, static_cast<uint64_t>(run_start), static_cast<uint64_t>(p), limit, run_coverage);
            run_coverage = c;
            run_start = p;
        }
        if (run_coverage != 0)
            paint_cells_run(row, static_cast<uint64_t>(run_start), static_cast<uint64_t>(to), limit, run_coverage);
    }

    // The pixels of a row from the box start that lie on the Surface.
    uint64_t row_limit() const noexcept {
        const int64_t room = job_.surface.width - job_.box_start;
        return static_cast<uint64_t>(job_.box_width < room ? job_.box_width : room);
    }

    // Starts loading the pixels that row y blends: those its spans' ends
    // cross over its sub-scanlines, on the left and on the right (x as in
    // run_monotone, s_lo..s_hi its sub-scanlines). Pixels between are
    // covered on every sub-scanline and only written.
    void prefetch_row(const int64_t* x, int64_t y, int64_t s_lo, int64_t s_hi) const noexcept {
        int64_t left_lo = cap_, left_hi = 0, right_lo = cap_, right_hi = 0;
        const int64_t last = std::min(4 * y + 3, s_hi);
        for (int64_t k = std::max(4 * y, s_lo); k <= last; ++k) {
            const int64_t* pair = x + 2 * (k - lines_.first);
            const int64_t a = std::min(pair[0], pair[1]), b = std::max(pair[0], pair[1]) - 1;
            left_lo = std::min(left_lo, a);
            left_hi = std::max(left_hi, a);
            right_lo = std::min(right_lo, b);
            right_hi = std::max(right_hi, b);
        }
        const uint32_t* row = row_for_hint(job_.surface, y, job_.box_start);
        prefetch_pixels(row, left_lo, left_hi);
        prefetch_pixels(row, right_lo, right_hi);
    }

    // The pixels of quarter columns lo..hi (clipped to the box), a cache
    // line at a time.
    void prefetch_pixels(const uint32_t* row, int64_t lo, int64_t hi) const noexcept {
        constexpr int64_t kLine = 64;  // quarter columns per 64-byte line
        lo = std::clamp<int64_t>(lo, 0, cap_ - 1);
        hi = std::clamp<int64_t>(hi, 0, cap_ - 1);
        for (int64_t q = lo; q < hi + kLine; q += kLine) __builtin_prefetch(row + (std::min(q, hi) >> 2), 1);
    }

    // Step 3 from cells: the same runs as emit_row (maximal runs of equal
    // coverage, clipped to the box and the Surface), painted straight into
    // the row with the fill's coverage colours.
    void emit_cells(int64_t y) noexcept {
        if (cells_.empty()) return;
        uint32_t* row = job_.surface.row(static_cast<int32_t>(y)) + job_.box_start;
        const uint64_t limit = row_limit();
        int8_t* change = cells_.change;
        int coverage = 0;  // from run_start on
        uint64_t run_start = 0;
        constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
        for (size_t group = cells_.lo & ~size_t{7}; group <= cells_.hi; group += 8) {
            uint64_t eight;
            std::memcpy(&eight, change + group, 8);
            if (eight == 0) continue;
            if constexpr (std::endian::native == std::endian::big) eight = __builtin_bswap64(eight);
            std::memset(change + group, 0, 8);
            // The top bit of each byte that is not zero, the first pixel in
            // the low byte.
            for (uint64_t nonzero = (((eight & kLow7) + kLow7) | eight) & kHigh; nonzero != 0;
                 nonzero &= nonzero - 1) {
                const unsigned shift = static_cast<unsigned>(std::countr_zero(nonzero)) - 7;
                const uint64_t pixel = group + shift / 8;
                if (coverage != 0) paint_cells_run(row, run_start, pixel, limit, coverage);
                coverage += static_cast<int8_t>(static_cast<uint8_t>(eight >> shift));
                run_start = pixel;
            }
        }
        cells_.lo = SIZE_MAX;
        cells_.hi = 0;
    }

    void paint_cells_run(uint32_t* row, uint64_t from, uint64_t to, uint64_t limit, int coverage) noexcept {
        if (to > limit) to = limit;
        if (from >= to) return;
        paint_coverage_run(row + from, static_cast<size_t>(to - from), job_.surface.format, colours_,
                           static_cast<unsigned>(coverage));
    }

    FillJob& job_;
    RasterScratch& sc_;
    const Edge* edges_;
    size_t edge_count_;
    SubScanlines lines_;
    size_t sub_count_;
    double base_d_, lo_, hi_;  // crossings clamp to [lo_, hi_] (absolute)
    int64_t base_, cap_;
    bool may_fold_ = false, any_folded_ = false;
    uint32_t* start_ = nullptr;
    FoldCount* folds_ = nullptr;
    size_t bucketed_ = 0;
    size_t active_count_ = 0;
    int64_t next_row_ = 0;
    CoverageRow<Len> row_{nullptr, nullptr};
    bool use_cells_ = false;
    bool monotone_ = false;
    CoverageCells cells_;
    uint32_t* row_pixels_ = nullptr;  // the current row from the box start
    CoverageColours colours_{};
};

}  // namespace

Error scratch_edge_list(Canvas& canvas, double scale, EdgeList*& out) noexcept {
    VOKRI_TRY(ensure_scratch(canvas));
    canvas.raster_scratch->edges.clear(scale);
    out = &canvas.raster_scratch->edges;
    return Error::None;
}

FlattenWindow surface_window(const Canvas& canvas, double margin) noexcept {
    if (!canvas.options.shortcuts) return FlattenWindow{};
    return FlattenWindow{-margin, -margin, canvas.surface.width + margin, canvas.surface.height + margin};
}

namespace {

// The part of the Surface a fill can paint: the columns from box_start and
// the rows first_row..last_row.
struct FillBox {
    int64_t box_start = 0, box_width = 0;
    int64_t first_row = 0, last_row = 0;
};

// The FillBox of a list with these bounds (scaled device units, finite);
// false when nothing of it lies on the Surface.
bool plan_fill(const Surface& surface, double x_min, double x_max, double y_min, double y_max,
               FillBox& out) noexcept {
    if (surface.width <= 0 || surface.height <= 0)
        fatal("invalid box width or height. this is a bug, please report it");
    if (x_max < 0 || y_max < 0) return false;
    const double W = surface.width, H = surface.height;
    const double fx0 = std::floor(x_min / 4), fy0 = std::floor(y_min / 4);
    const double fx1 = std::ceil(x_max / 4), fy1 = std::ceil(y_max / 4);
    if (fx0 == fx1 || fy0 == fy1 || !(fx0 < W) || !(fy0 < H)) return false;
    const double first_row = clamp(fy0, 0, H - 1);
    double last_row = fy1 < H - 1 ? fy1 : H - 1;
    if (last_row < first_row) last_row = first_row;
    const double box_start = clamp(fx0, 0, W - 1);
    double box_end = fx1 < W ? fx1 : W;
    if (box_end < box_start) box_end = box_start;
    if (last_row < first_row || box_end < box_start)
        fatal("negative polygon width or height. this is a bug, please report it");
    // A box of zero width happens when the shape ends exactly at the left
    // border (x_max = 0 with x_min < 0): nothing of it lies on the Surface.
    if (box_end == box_start) return false;
    out = FillBox{static_cast<int64_t>(box_start), static_cast<int64_t>(box_end - box_start),
                  static_cast<int64_t>(first_row), static_cast<int64_t>(last_row)};
    if (out.box_width <= 0) fatal("invalid mask dimensions. this is a bug, please report it");
    return true;
}

// Paints the rows of an axis-aligned box fill: every sub-scanline s0..s1
// holds the span [sp, ep) of quarter columns (relative to the box start,
// within 0..cap), so a pixel's coverage is the number of the row's
// sub-scanlines times the quarter columns of the span over it.
class BoxRows {
public:
    BoxRows(Surface& surface, const Paint& paint, const FillBox& box, int64_t sp, int64_t ep) noexcept
        : surface_(surface), box_(box), colours_(paint.source), sp_(sp), ep_(ep) {
        const int64_t room = surface_.width - box.box_start;
        limit_ = box.box_width < room ? box.box_width : room;
    }

    void paint(int64_t s0, int64_t s1) noexcept {
        paint_rows_ahead(s0 >> 2, s1 >> 2, [this](int64_t y) { prefetch(y); }, [&](int64_t y) {
            const int64_t n = std::min(4 * y + 3, s1) - std::max(4 * y, s0) + 1;
            paint_row(y, static_cast<unsigned>(n));
        });
    }

private:
    void paint_row(int64_t y, unsigned n) noexcept {
        uint32_t* row = surface_.row(static_cast<int32_t>(y)) + box_.box_start;
        const int64_t first = sp_ >> 2, last = (ep_ - 1) >> 2;
        if (n == 4 && first < last && last < limit_) return paint_full_row(row, first, last);
        if (first == last) return run(row, first, first + 1, n * static_cast<unsigned>(ep_ - sp_));
        run(row, first, first + 1, n * static_cast<unsigned>(4 * (first + 1) - sp_));
        run(row, first + 1, last, 4 * n);
        run(row, last, last + 1, n * static_cast<unsigned>(ep_ - 4 * last));
    }

    // A row covered on all its sub-scanlines and wholly on the Surface: what
    // run() paints, with the two edge pixels blended here in colours worked
    // out once per box, and a short opaque middle stored.
    void paint_full_row(uint32_t* row, int64_t first, int64_t last) noexcept {
        if (!edge_colours_) {
            left_ = colours_.at(4 * static_cast<unsigned>(4 * (first + 1) - sp_));
            right_ = colours_.at(4 * static_cast<unsigned>(ep_ - 4 * last));
            edge_colours_ = true;
        }
        row[first] = over_pixel(row[first], left_, surface_.format);
        const size_t middle = static_cast<size_t>(last - first - 1);
        if (colours_.opaque && middle < kShortRun) {  // a few stores, without fill_pixels' alignment steps
            const uint32_t value = rgba_to_format(colours_.source, surface_.format);
            for (size_t i = 0; i < middle; ++i) row[first + 1 + i] = value;
        } else if (middle != 0) {
            paint_coverage_run(row + first + 1, middle, surface_.format, colours_, 16);
        }
        row[last] = over_pixel(row[last], right_, surface_.format);
    }

    void run(uint32_t* row, int64_t from, int64_t to, unsigned coverage) noexcept {
        if (to > limit_) to = limit_;
        if (from >= to) return;
        paint_coverage_run(row + from, static_cast<size_t>(to - from), surface_.format, colours_, coverage);
    }

    void prefetch(int64_t y) const noexcept {
        const uint32_t* row = row_for_hint(surface_, y, box_.box_start);
        __builtin_prefetch(row + (sp_ >> 2), 1);
        __builtin_prefetch(row + ((ep_ - 1) >> 2), 1);
    }

    Surface& surface_;
    const FillBox& box_;
    CoverageColours colours_;
    int64_t sp_, ep_, limit_ = 0;
    bool edge_colours_ = false;
    uint32_t left_ = 0, right_ = 0;  // the edge pixels' colours at full row coverage
};

}  // namespace

Error rasterize_edges(Canvas& canvas, EdgeList& list, const Paint& paint, uint8_t fill_rule) noexcept {
    if (list.edges.empty()) return Error::None;
    // Edges at infinity (a transform whose scale overflows the f64 range):
    // nothing can be placed on the Surface, so nothing is painted.
    if (list.non_finite) return Error::None;
    if (!std::isfinite(list.x_min) || !std::isfinite(list.x_max) || !std::isfinite(list.y_min) ||
        !std::isfinite(list.y_max))
        fatal("invalid polygon dimensions. this is a bug, please report it");
    if (!std::isfinite(list.scale) || list.scale < 1)
        fatal("invalid value for scale. this is a bug, please report it");
    FillBox box;
    if (!plan_fill(canvas.surface, list.x_min, list.x_max, list.y_min, list.y_max, box)) return Error::None;
    VOKRI_TRY(ensure_scratch(canvas));
    FillJob job{canvas,        paint,         canvas.surface,    fill_rule,   box.box_start,
                box.box_width, 4 * box.box_width, box.first_row, box.last_row};
    if (job.box_width <= 255) return RowRasterizer<uint8_t>(job, list).run();
    if (job.box_width <= 65535) return RowRasterizer<uint16_t>(job, list).run();
    return RowRasterizer<uint32_t>(job, list).run();
}

void rasterize_box(Canvas& canvas, const Paint& paint, double x_left, double x_right, double y_top,
                   double y_bottom) noexcept {
    FillBox box;
    if (!plan_fill(canvas.surface, std::min(x_left, x_right), std::max(x_left, x_right), std::min(y_top, y_bottom),
                   std::max(y_top, y_bottom), box))
        return;
    // The box's two vertical edges, as add_edge keeps them: the same
    // sub-scanlines, dxdy 0, and so one crossing each on all of them.
    const SubScanlines lines{4 * box.first_row, 4 * box.last_row + 3};
    int64_t s0 = 0, s1 = 0;
    if (!lines.of(Edge{y_top, y_bottom, x_left, 0.0}, s0, s1)) return;
    const int64_t base = 4 * box.box_start, cap = 4 * box.box_width;
    const double base_d = static_cast<double>(base), lo = -4.0 + base_d, hi = static_cast<double>(cap + 4) + base_d;
    const double top = std::min(y_top, y_bottom), v = static_cast<double>(s0) + 0.5;
    const int64_t a = crossing_of(ActiveEdge{x_left, 0.0, top, s1, 0, 0, 0}, v, lo, hi, base);
    const int64_t b = crossing_of(ActiveEdge{x_right, 0.0, top, s1, 0, 0, 0}, v, lo, hi, base);
    const int64_t sp = std::max<int64_t>(std::min(a, b), 0), ep = std::min(std::max(a, b), cap);
    if (sp >= ep) return;
    BoxRows(canvas.surface, paint, box, sp, ep).paint(s0, s1);
}

}  // namespace vokri
