// The fill of an axis-aligned box, painted row by row without an edge list.
#include <algorithm>

#include "raster/coverage.h"
#include "raster/fill_plan.h"
#include "raster/painter.h"
#include "raster/scanlines.h"
#include "surface/composite.h"

namespace vokri {

namespace {

// Paints the rows of an axis-aligned box fill: every sub-scanline s0..s1
// holds the span [sp, ep) of quarter columns (relative to the box start,
// within 0..cap), so a pixel's coverage is the number of the row's
// sub-scanlines times the quarter columns of the span over it.
template <class Painter>
class BoxRows {
public:
    BoxRows(Surface& surface, const Paint& paint, const FillBox& box, int64_t sp, int64_t ep) noexcept
        : surface_(surface), box_(box), painter_(surface, paint, box.box_start), sp_(sp), ep_(ep) {
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
        painter_.begin_row(y);
        const int64_t first = sp_ >> 2, last = (ep_ - 1) >> 2;
        const unsigned left = static_cast<unsigned>(4 * (first + 1) - sp_), right = static_cast<unsigned>(ep_ - 4 * last);
        if constexpr (requires { painter_.full_row(first, last, left, right); }) {
            if (n == 4 && first < last && last < limit_) return painter_.full_row(first, last, 4 * left, 4 * right);
        }
        if (first == last) return run(first, first + 1, n * static_cast<unsigned>(ep_ - sp_));
        run(first, first + 1, n * left);
        run(first + 1, last, 4 * n);
        run(last, last + 1, n * right);
    }

    void run(int64_t from, int64_t to, unsigned coverage) noexcept {
        if (to > limit_) to = limit_;
        if (from >= to) return;
        painter_.run(from, to, coverage);
    }

    void prefetch(int64_t y) const noexcept {
        const uint32_t* row = row_for_hint(surface_, y, box_.box_start);
        __builtin_prefetch(row + (sp_ >> 2), 1);
        __builtin_prefetch(row + ((ep_ - 1) >> 2), 1);
    }

    Surface& surface_;
    const FillBox& box_;
    Painter painter_;
    int64_t sp_, ep_, limit_ = 0;
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
    if (canvas.options.painting == Painting::plain)
        BoxRows<PlainPainter>(canvas.surface, paint, box, sp, ep).paint(s0, s1);
    else
        BoxRows<FastPainter>(canvas.surface, paint, box, sp, ep).paint(s0, s1);
}

}  // namespace vokri
