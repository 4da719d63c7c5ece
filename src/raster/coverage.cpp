#include "raster/coverage.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/fatal.h"
#include "common/numeric.h"
#include "raster/shortcuts.h"
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
    Buffer<int64_t> spans;          // kept crossings of one sub-scanline
    Buffer<FoldCount> folds;        // per sub-scanline of the fill, then a sentinel
    Buffer<uint8_t> coverage;       // CoverageRow values
    Buffer<uint8_t> run_lengths;    // CoverageRow run lengths (8, 16 or 32 bits wide)

    explicit RasterScratch(Allocator& a) noexcept
        : edges(a), active(a), bucket_start(a), bucket_edges(a), spans(a), folds(a), coverage(a),
          run_lengths(a) {}
};

void release_raster_scratch(RasterScratch*& scratch, Allocator& a) noexcept {
    if (!scratch) return;
    scratch->~RasterScratch();
    a.release(scratch);
    scratch = nullptr;
}

namespace {

Error ensure_scratch(DrawContext& ctx) noexcept {
    if (ctx.scratch) return Error::None;
    void* p = ctx.allocator->allocate(sizeof(RasterScratch));
    if (!p) return Error::OutOfMemory;
    ctx.scratch = new (p) RasterScratch(*ctx.allocator);
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

struct FillJob {
    DrawContext& ctx;
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

template <class Len>
Error rasterize_rows(FillJob& job, const EdgeList& list) noexcept {
    RasterScratch& sc = *job.ctx.scratch;
    const Edge* edges = list.edges.data();
    const size_t edge_count = list.edges.size();
    const int64_t s_first = 4 * job.first_row, s_last = 4 * job.last_row + 3;
    const size_t sub_count = static_cast<size_t>(s_last - s_first + 1);

    // Bucket the edges by the first sub-scanline they cross (counting sort).
    VOKRI_TRY(sc.bucket_start.resize(sub_count + 1));
    VOKRI_TRY(sc.bucket_edges.resize(edge_count));
    uint32_t* start = sc.bucket_start.data();
    std::fill(start, start + sub_count + 1, 0u);
    const double s_first_d = static_cast<double>(s_first), s_last_d = static_cast<double>(s_last);
    auto span_of = [&](const Edge& e, int64_t& s0, int64_t& s1) noexcept {
        const double top = e.y_first < e.y_last ? e.y_first : e.y_last;
        const double bottom = e.y_first < e.y_last ? e.y_last : e.y_first;
        // Sub-scanline s samples v = s + 0.5; the edge crosses it when
        // top < v <= bottom.
        if (top > s_last_d + 1 || bottom < s_first_d + 0.5) return false;
        s0 = top < s_first_d - 1 ? s_first : static_cast<int64_t>(std::floor(top - 0.5)) + 1;
        s1 = bottom > s_last_d + 1 ? s_last : static_cast<int64_t>(std::floor(bottom - 0.5));
        if (s0 < s_first) s0 = s_first;
        if (s1 > s_last) s1 = s_last;
        return s0 <= s1;
    };
    const double lo = static_cast<double>(-4), hi = static_cast<double>(job.capacity + 4);
    const double base_d = static_cast<double>(4 * job.box_start);
    const int64_t base = 4 * job.box_start;
    const int64_t cap = job.capacity;

    // Where an edge lies against the box over the sub-scanlines s0..s1 it
    // crosses: -1 left of it (every crossing at or before column 0), +1
    // right of it (every crossing at or beyond the box end), 0 otherwise.
    // The crossing is a monotonic function of the sub-scanline (each step of
    // its computation rounds monotonically), so its two ends decide.
    auto side_of = [&](const Edge& e, int64_t s0, int64_t s1) noexcept -> int {
        const bool down = e.y_last > e.y_first;
        const ActiveEdge a{e.x_top, e.dxdy, down ? e.y_first : e.y_last, s1, 0, 0, 0};
        const int64_t x0 = crossing_of(a, static_cast<double>(s0) + 0.5, lo + base_d, hi + base_d, base);
        const int64_t x1 = crossing_of(a, static_cast<double>(s1) + 0.5, lo + base_d, hi + base_d, base);
        if (x0 <= 0 && x1 <= 0) return -1;
        if (x0 >= cap && x1 >= cap) return 1;
        return 0;
    };
    // Only a list that reaches beyond the box's sides can have such edges.
    const bool may_fold = (list.x_min < base_d || list.x_max > base_d + static_cast<double>(cap)) &&
                          !list.open_contour && raster_shortcuts::enabled();
    FoldCount* folds = nullptr;
    if (may_fold) {
        VOKRI_TRY(sc.folds.resize(sub_count + 1));
        folds = sc.folds.data();
        std::fill(folds, folds + sub_count + 1, FoldCount{0, 0, 0});
    }
    bool any_folded = false;
    // Difference counts at s0 and s1 + 1, summed up below.
    auto fold = [&](int side, const Edge& e, int64_t s0, int64_t s1) noexcept {
        FoldCount& f0 = folds[s0 - s_first];
        FoldCount& f1 = folds[s1 - s_first + 1];
        any_folded = true;
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
    };
    for (size_t i = 0; i < edge_count; ++i) {
        int64_t s0 = 0, s1 = 0;
        if (!span_of(edges[i], s0, s1)) continue;
        if (may_fold) {
            if (const int side = side_of(edges[i], s0, s1)) {
                fold(side, edges[i], s0, s1);
                continue;
            }
        }
        ++start[s0 - s_first + 1];
    }
    for (size_t k = 1; k <= sub_count; ++k) start[k] += start[k - 1];
    {
        uint32_t* order = sc.bucket_edges.data();
        // start[k] is now the first slot of bucket k; fill using a moving
        // cursor per bucket held in start[k] and restore afterwards.
        for (size_t i = 0; i < edge_count; ++i) {
            int64_t s0 = 0, s1 = 0;
            if (span_of(edges[i], s0, s1) && !(any_folded && side_of(edges[i], s0, s1) != 0))
                order[start[s0 - s_first]++] = static_cast<uint32_t>(i);
        }
        for (size_t k = sub_count; k > 0; --k) start[k] = start[k - 1];
        start[0] = 0;
    }
    for (size_t k = 1; any_folded && k <= sub_count; ++k) {
        folds[k].left_winding += folds[k - 1].left_winding;
        folds[k].left_count += folds[k - 1].left_count;
        folds[k].right_count += folds[k - 1].right_count;
    }
    const size_t bucketed = start[sub_count];
    if (bucketed == 0 && !any_folded) return Error::None;

    VOKRI_TRY(sc.active.reserve(bucketed));
    VOKRI_TRY(sc.spans.reserve(bucketed + 2));
    const size_t width = static_cast<size_t>(job.box_width);
    VOKRI_TRY(sc.coverage.reserve(width));
    size_t len_bytes;
    if (!checked_mul(width, sizeof(Len), len_bytes)) return Error::OutOfMemory;
    VOKRI_TRY(sc.run_lengths.reserve(len_bytes));

    CoverageRow<Len> row{sc.coverage.data(), reinterpret_cast<Len*>(sc.run_lengths.data())};
    ActiveEdge* active = sc.active.data();
    size_t active_count = 0;
    int64_t* kept = sc.spans.data();
    const uint32_t* order = sc.bucket_edges.data();
    Surface& surface = job.surface;
    DrawContext& ctx = job.ctx;

    for (int64_t y = job.first_row; y <= job.last_row; ++y) {
        const int64_t s_row = 4 * y;
        if (active_count == 0) {
            // Skip rows that nothing crosses.
            size_t k = static_cast<size_t>(s_row - s_first);
            while (k < sub_count && start[k] == start[k + 1] &&
                   !(any_folded && (folds[k].left_count != 0 || folds[k].right_count != 0)))
                ++k;
            if (k == sub_count) break;
            const int64_t next_row = (s_first + static_cast<int64_t>(k)) >> 2;
            if (next_row > y) {
                y = next_row - 1;
                continue;
            }
        }
        row.used = 0;
        for (int64_t s = s_row; s < s_row + 4; ++s) {
            const size_t k = static_cast<size_t>(s - s_first);
            for (uint32_t j = start[k]; j < start[k + 1]; ++j) {
                const Edge& e = edges[order[j]];
                const bool down = e.y_last > e.y_first;
                int64_t s0 = 0, s1 = 0;
                span_of(e, s0, s1);
                active[active_count++] = ActiveEdge{e.x_top, e.dxdy, down ? e.y_first : e.y_last, s1, 0,
                                                    down ? -1 : 1, 0};
            }
            const FoldCount f = any_folded ? folds[k] : FoldCount{0, 0, 0};
            if (active_count == 0 && f.left_count == 0 && f.right_count == 0) continue;
            const double v = static_cast<double>(s) + 0.5;
            size_t n = 0;
            for (size_t i = 0; i < active_count; ++i) {
                if (active[i].s_end < s) continue;
                if (n != i) active[n] = active[i];
                active[n].x = crossing_of(active[n], v, lo + base_d, hi + base_d, base);
                ++n;
            }
            active_count = n;
            if (n + (f.left_count != 0) + (f.right_count != 0) < 2) continue;
            sort_active(active, n);

            // Kept crossings under the fill rule, then spans in pairs. The
            // folded edges left of the box act as one crossing at its left
            // border; those right of it close an open span at its right
            // border (the outlines are closed, so the winding returns to 0
            // there).
            size_t m = 0;
            if (job.rule == fill_even_odd) {
                if (f.left_count & 1) kept[m++] = static_cast<int64_t>(lo);
                for (size_t i = 0; i < n; ++i) kept[m++] = active[i].x;
                if (f.right_count != 0 && (m & 1)) kept[m++] = static_cast<int64_t>(hi);
            } else {
                int32_t w = f.left_winding;
                if (w != 0) kept[m++] = static_cast<int64_t>(lo);
                for (size_t i = 0; i < n; ++i) {
                    const int32_t before = w;
                    w += active[i].winding;
                    if (before == 0 || w == 0) kept[m++] = active[i].x;
                }
                if (f.right_count != 0 && w != 0) kept[m++] = static_cast<int64_t>(hi);
            }
            int64_t prev_end = 0;
            size_t hint = 0;
            for (size_t i = 0; i + 1 < m; i += 2) {
                int64_t a = kept[i], b = kept[i + 1];
                int64_t sp = a > prev_end ? a : prev_end;
                if (sp < 0) sp = 0;
                if (sp >= cap) break;
                int64_t ep = b < cap ? b : cap;
                if (ep < sp) ep = sp;
                if (sp < ep) {
                    if (ep > cap) fatal("attempt to add span beyond capacity. this is a bug, please report it");
                    row.add_span(sp, ep, hint);
                }
                prev_end = ep;
            }
        }
        // Emit the row: runs of equal coverage, adjacent equal runs merged.
        const size_t limit = row.used < width ? row.used : width;
        size_t i = 0;
        while (i < limit) {
            const uint8_t c = row.cov[i];
            size_t l = row.len[i];
            while (i + l < limit && row.cov[i + l] == c) l += row.len[i + l];
            if (c != 0) {
                const int64_t x = job.box_start + static_cast<int64_t>(i);
                const int64_t room = surface.width - x;
                const size_t length = static_cast<int64_t>(l) < room ? l : static_cast<size_t>(room);
                if (c >= 16)
                    paint_run(ctx.op, surface, ctx.source, x, y, length, ctx.precision);
                else
                    paint_run_alpha(ctx.op, surface, ctx.source, x, y, length, ctx.precision,
                                    static_cast<uint8_t>(16 * c - 1));
            }
            i += l;
        }
    }
    return Error::None;
}

}  // namespace

Error scratch_edge_list(DrawContext& ctx, double scale, EdgeList*& out) noexcept {
    VOKRI_TRY(ensure_scratch(ctx));
    ctx.scratch->edges.clear(scale);
    out = &ctx.scratch->edges;
    return Error::None;
}

FlattenWindow surface_window(const DrawContext& ctx, double margin) noexcept {
    if (!raster_shortcuts::enabled()) return FlattenWindow{};
    return FlattenWindow{-margin, -margin, ctx.surface->width + margin, ctx.surface->height + margin};
}

Error rasterize_edges(DrawContext& ctx, EdgeList& list, uint8_t fill_rule) noexcept {
    if (list.edges.empty()) return Error::None;
    // Edges at infinity (a transform whose scale overflows the f64 range):
    // nothing can be placed on the Surface, so nothing is painted.
    if (list.non_finite) return Error::None;
    if (!std::isfinite(list.x_min) || !std::isfinite(list.x_max) || !std::isfinite(list.y_min) ||
        !std::isfinite(list.y_max))
        fatal("invalid polygon dimensions. this is a bug, please report it");
    if (!std::isfinite(list.scale) || list.scale < 1)
        fatal("invalid value for scale. this is a bug, please report it");
    Surface& surface = *ctx.surface;
    if (surface.width <= 0 || surface.height <= 0)
        fatal("invalid box width or height. this is a bug, please report it");
    if (list.x_max < 0 || list.y_max < 0) return Error::None;
    const double W = surface.width, H = surface.height;
    const double fx0 = std::floor(list.x_min / 4), fy0 = std::floor(list.y_min / 4);
    const double fx1 = std::ceil(list.x_max / 4), fy1 = std::ceil(list.y_max / 4);
    if (fx0 == fx1 || fy0 == fy1 || !(fx0 < W) || !(fy0 < H)) return Error::None;
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
    if (box_end == box_start) return Error::None;
    VOKRI_TRY(ensure_scratch(ctx));
    FillJob job{ctx,
                surface,
                fill_rule,
                static_cast<int64_t>(box_start),
                static_cast<int64_t>(box_end - box_start),
                4 * static_cast<int64_t>(box_end - box_start),
                static_cast<int64_t>(first_row),
                static_cast<int64_t>(last_row)};
    if (job.box_width <= 0) fatal("invalid mask dimensions. this is a bug, please report it");
    if (job.box_width <= 255) return rasterize_rows<uint8_t>(job, list);
    if (job.box_width <= 65535) return rasterize_rows<uint16_t>(job, list);
    return rasterize_rows<uint32_t>(job, list);
}

}  // namespace vokri
