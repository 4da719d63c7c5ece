// The fill of one EdgeList over its box, row by row: the general path
// (bucketed edges, folds beside the box, active edges, spans into a
// coverage row or cells) and the path of monotone outlines.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "common/numeric.h"
#include "raster/canvas.h"
#include "raster/coverage_rows.h"
#include "raster/paint.h"
#include "raster/painter.h"
#include "raster/raster_scratch.h"
#include "raster/scanlines.h"
#include "surface/composite.h"

namespace vokri {

// Internal to the rasterizer's files (each includes this once): kept out of
// other translation units, so that the compiler inlines it freely.
namespace {

struct FillJob {
    Canvas& canvas;
    const Paint& paint;
    Surface& surface;
    uint8_t rule;
    int64_t box_start, box_width, capacity;
    int64_t first_row, last_row;
};

// The fill of one EdgeList in three steps: the edges are bucketed by the
// first sub-scanline they cross (edges wholly beside the box become fold
// counts), each sub-scanline adds its spans to the CoverageRow (or the
// cells), and each finished row goes to the Painter as runs.
template <class Len, class Painter>
class RowRasterizer {
public:
    RowRasterizer(FillJob& job, const EdgeList& list) noexcept
        : job_(job),
          painter_(job.surface, job.paint, job.box_start),
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
        chain_ = use_cells_ && !list.open_contour;
        monotone_ = use_cells_ && !list.open_contour && is_monotone();
        translucent_ = pixel_to_rgba(job.paint.source) >> 24 != 255;
    }

    Error run() noexcept {
        const size_t width = static_cast<size_t>(job_.box_width);
        if (use_cells_) {
            const size_t padded = (width + 2 + 7) / 8 * 8;
            VOKRI_TRY(sc_.cell_changes.reserve(padded));
            VOKRI_TRY(sc_.coverage.reserve(width));  // the coverage of a dense row
            cells_.change = sc_.cell_changes.data();
            std::fill(cells_.change, cells_.change + padded, int8_t{0});
            if (monotone_) return run_monotone();
        }
        VOKRI_TRY(bucket_edges());
        if (bucketed_ == 0 && !any_folded_) return Error::None;
        VOKRI_TRY(sc_.active.reserve(bucketed_));
        VOKRI_TRY(sc_.joining.reserve(bucketed_));
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
    // With the shortcuts, of two edges next to each other in the list (of
    // those kept) with the same winding, the lower one is not bucketed when
    // its first sub-scanline is the one after the upper one's last: it
    // continues that edge (edge_next), taking over its active slot, where
    // its crossings lie next to the ones before (a flattened curve's
    // pieces, downward or upward). The order of equal crossings changes
    // with it, which changes no span while the winding returns to 0 on
    // every sub-scanline: not for a list with an open contour.
    Error bucket_edges() noexcept {
        VOKRI_TRY(sc_.bucket_start.resize(sub_count_ + 1));
        VOKRI_TRY(sc_.bucket_edges.resize(edge_count_));
        VOKRI_TRY(sc_.edge_first.resize(edge_count_));
        VOKRI_TRY(sc_.edge_last.resize(edge_count_));
        VOKRI_TRY(sc_.edge_next.resize(edge_count_));
        VOKRI_TRY(sc_.edge_continues.resize(edge_count_));
        int64_t* first = sc_.edge_first.data();
        int64_t* last = sc_.edge_last.data();
        uint32_t* next = sc_.edge_next.data();
        uint8_t* continues = sc_.edge_continues.data();
        size_t before = SIZE_MAX;  // the last edge kept
        bool before_down = false;
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
            next[i] = kNoEdge;
            continues[i] = 0;
            const bool down = edges_[i].y_last > edges_[i].y_first;
            const bool pair = chain_ && before != SIZE_MAX && before_down == down;
            if (pair && next[before] == kNoEdge && last[before] + 1 == s0) {  // i below the edge before it
                next[before] = static_cast<uint32_t>(i);
                continues[i] = 1;
            } else {
                ++start_[s0 - lines_.first + 1];
                if (pair && !continues[before] && s1 + 1 == lines_.first + first[before]) {  // above it
                    next[i] = static_cast<uint32_t>(before);
                    continues[before] = 1;
                    --start_[first[before] + 1];
                }
            }
            before = i;
            before_down = down;
        }
        for (size_t k = 1; k <= sub_count_; ++k) start_[k] += start_[k - 1];
        // start_[k] is now the first slot of bucket k; fill using a moving
        // cursor per bucket held in start_[k] and restore afterwards.
        uint32_t* order = sc_.bucket_edges.data();
        for (size_t i = 0; i < edge_count_; ++i) {
            if (first[i] < 0 || continues[i]) continue;
            order[start_[first[i]]++] = static_cast<uint32_t>(i);
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
    // fill rule, and the spans they bound added to the CoverageRow. The
    // active edges stay sorted by crossing from one sub-scanline to the
    // next, so sorting them again moves few.
    void sub_scanline(int64_t s) noexcept {
        ActiveEdge* active = sc_.active.data();
        const size_t k = static_cast<size_t>(s - lines_.first);
        const bool joins = start_[k] != start_[k + 1];
        const FoldCount f = any_folded_ ? folds_[k] : FoldCount{0, 0, 0};
        if (active_count_ == 0 && !joins && f.left_count == 0 && f.right_count == 0) return;
        const double v = static_cast<double>(s) + 0.5;
        size_t n = 0;
        for (size_t i = 0; i < active_count_; ++i) {
            if (active[i].s_end < s) {
                if (active[i].next == kNoEdge) continue;
                take_over(active[i]);
            }
            if (n != i) active[n] = active[i];
            active[n].x = crossing_of(active[n], v, lo_, hi_, base_);
            ++n;
        }
        if (joins)
            n = join(active, n, k, v);
        else
            sort_active(active, n);
        active_count_ = n;
        if (n + (f.left_count != 0) + (f.right_count != 0) < 2) return;
        if (n == 2 && f.left_count == 0 && f.right_count == 0) return two_crossings(active);
        add_spans(kept_crossings(active, n, f));
    }

    // Kept edge i as it becomes active (its crossing still to be worked out).
    ActiveEdge active_edge(uint32_t i) const noexcept {
        const Edge& e = edges_[i];
        const bool down = e.y_last > e.y_first;
        return ActiveEdge{e.x_top, e.dxdy, down ? e.y_first : e.y_last, sc_.edge_last[i], 0, down ? -1 : 1,
                          sc_.edge_next[i]};
    }

    // The active slot a passes to the edge that continues its edge (same
    // winding, its first sub-scanline the one after a's last).
    void take_over(ActiveEdge& a) const noexcept {
        a = active_edge(a.next);
        // The edge after it is read a few sub-scanlines from now, in a list
        // too long to stay in the caches: start loading it.
        if (a.next != kNoEdge) {
            __builtin_prefetch(edges_ + a.next);
            __builtin_prefetch(sc_.edge_last.data() + a.next);
            __builtin_prefetch(sc_.edge_next.data() + a.next);
        }
    }

    // The edges of bucket k, crossing sub-scanline k at v, join the n
    // active edges, and all of them are sorted. Among few they are sorted
    // in; among many they are sorted among themselves, then merged in from
    // the back, each edge moving once. Returns the new count.
    size_t join(ActiveEdge* active, size_t n, size_t k, double v) noexcept {
        constexpr size_t kMergeFrom = 32;
        ActiveEdge* in = n < kMergeFrom ? active + n : sc_.joining.data();
        size_t m = 0;
        for (uint32_t j = start_[k]; j < start_[k + 1]; ++j, ++m) {
            in[m] = active_edge(sc_.bucket_edges[j]);
            in[m].x = crossing_of(in[m], v, lo_, hi_, base_);
        }
        const size_t total = n + m;
        if (in == active + n) {
            sort_active(active, total);
            return total;
        }
        sort_active(active, n);
        sort_active(in, m);
        size_t i = n, out = total;
        while (m > 0) {
            if (i > 0 && active[i - 1].x > in[m - 1].x)
                active[--out] = active[--i];
            else
                active[--out] = in[--m];
        }
        return total;
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
        if (use_cells_ && first >= 0) {
            cells_.reached(first, prev_end - 1);
            row_spans_ += m / 2;
        }
    }

    // Step 3: the row as runs of equal coverage, adjacent equal runs merged.
    void emit_row(int64_t y) noexcept {
        const size_t width = static_cast<size_t>(job_.box_width);
        const size_t limit = row_.used < width ? row_.used : width;
        painter_.begin_row(y);
        size_t i = 0;
        while (i < limit) {
            const uint8_t c = row_.cov[i];
            size_t l = row_.len[i];
            while (i + l < limit && row_.cov[i + l] == c) l += row_.len[i + l];
            if (c != 0) paint_clipped(i, i + l, row_limit(), c);
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
    [[gnu::noinline]] Error run_monotone() noexcept {
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


    // Row y painted from its spans with the per-pixel sums the cells would
    // hold: pixels inside every span get 4 per span, and the pixels around
    // the spans' ends are summed span by span.
    void paint_spans(int64_t y, const RowSpans& spans) noexcept {
        painter_.begin_row(y);
        const int64_t first = spans.start_lo >> 2, last = ((spans.end_hi - 1) >> 2) + 1;  // pixels reached
        const int64_t inner0 = (spans.start_hi + 3) >> 2, inner1 = spans.end_lo >> 2;  // inside every span
        if (inner0 >= inner1) return paint_sums(first, last, spans);
        paint_sums(first, inner0, spans);
        paint_clipped(static_cast<uint64_t>(inner0), static_cast<uint64_t>(inner1), row_limit(), 4 * spans.count);
        paint_sums(inner1, last, spans);
    }

    // Pixels [from, to) of the row at their summed coverage, in runs.
    void paint_sums(int64_t from, int64_t to, const RowSpans& spans) noexcept {
        const uint64_t limit = row_limit();
        int run_coverage = 0;
        int64_t run_start = from;
        for (int64_t p = from; p < to; ++p) {
            const int c = spans.coverage(p);
            if (c == run_coverage) continue;
            if (run_coverage != 0)
                paint_clipped(static_cast<uint64_t>(run_start), static_cast<uint64_t>(p), limit, run_coverage);
            run_coverage = c;
            run_start = p;
        }
        if (run_coverage != 0)
            paint_clipped(static_cast<uint64_t>(run_start), static_cast<uint64_t>(to), limit, run_coverage);
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
        if (translucent_) return prefetch_pixels(row, left_lo, right_hi);  // pixels between are blended too
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
    // coverage, clipped to the box and the Surface).
    void emit_cells(int64_t y) noexcept {
        if (cells_.empty()) return;
        const size_t spans = row_spans_;
        row_spans_ = 0;
        if constexpr (requires(Painter& p, const uint8_t* c) { p.coverage_row(int64_t{0}, size_t{0}, c); })
            if (spans * kDenseRow >= cells_.hi - cells_.lo) return emit_dense(y);
        painter_.begin_row(y);
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
                if (coverage != 0) paint_clipped(run_start, pixel, limit, coverage);
                coverage += static_cast<int8_t>(static_cast<uint8_t>(eight >> shift));
                run_start = pixel;
            }
        }
        cells_.lo = SIZE_MAX;
        cells_.hi = 0;
    }

    // Rows with a span per this many pixels or more are painted as
    // coverage batches: the runs between their spans' ends are short.
    static constexpr size_t kDenseRow = 4;

    // Step 3 from cells for a row of many short runs: the changes summed
    // into each pixel's coverage (and cleared), painted in one go. The
    // coverage is 0 before the first pixel with a change and again from the
    // last on.
    [[gnu::noinline]] void emit_dense(int64_t y) noexcept {
        painter_.begin_row(y);
        int8_t* change = cells_.change;
        uint8_t* coverage = sc_.coverage.data();
        const size_t lo = cells_.lo, hi = cells_.hi;
        const size_t end = std::min<size_t>(hi, row_limit());
        int sum = 0;
        size_t p = lo;
        for (; p < end; ++p) {
            sum += change[p];
            change[p] = 0;
            coverage[p] = static_cast<uint8_t>(sum);
        }
        for (; p <= hi; ++p) change[p] = 0;
        if (lo < end) painter_.coverage_row(static_cast<int64_t>(lo), end - lo, coverage + lo);
        cells_.lo = SIZE_MAX;
        cells_.hi = 0;
    }

    // Pixels [from, to) of the current row, clipped to `limit`, to the
    // painter.
    [[gnu::always_inline]] void paint_clipped(uint64_t from, uint64_t to, uint64_t limit, int coverage) noexcept {
        if (to > limit) to = limit;
        if (from >= to) return;
        painter_.run(static_cast<int64_t>(from), static_cast<int64_t>(to), static_cast<unsigned>(coverage));
    }

    FillJob& job_;
    Painter painter_;
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
    bool chain_ = false;  // edges may continue the one before them in the list
    bool monotone_ = false;
    bool translucent_ = false;  // the paint blends every pixel it covers
    CoverageCells cells_;
    size_t row_spans_ = 0;  // about the spans added to the cells since the last row was painted
    uint32_t* row_pixels_ = nullptr;  // the current row from the box start
};

}  // namespace

}  // namespace vokri
