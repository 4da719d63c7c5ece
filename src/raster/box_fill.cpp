// The fill of an axis-aligned box, painted row by row without an edge list.
#include <algorithm>

#include "raster/coverage.h"
#include "raster/fill_plan.h"
#include "raster/scanlines.h"
#include "surface/composite.h"

namespace vokri {

namespace {

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
