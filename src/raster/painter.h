// Where the rasterizer's coverage goes: the seam between scan conversion
// and painting. A fill hands its painter one row at a time (begin_row) and
// runs of that row's pixels at one coverage c, in sixteenths of a pixel
// (1..16), as columns [from, to) from the fill box's start, already clipped
// to the Surface.
//
// PlainPainter is the definition: the operation-chain compositor, a run at
// c < 16 through a constant mask of 16c - 1, a full run as the compositor
// stores it. FastPainter blends colours worked out once per fill (the
// constant colour of each coverage) straight into the row, and also takes a
// row of many short runs as the coverage of each pixel (coverage_row). Both
// paint the same bytes; the canvas's RasterOptions::painting chooses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/paint.h"
#include "surface/composite.h"
#include "surface/surface.h"

namespace vokri {

// Internal to the rasterizer's files (each includes this once): kept out of
// other translation units, so that the compiler inlines it freely.
namespace {

class PlainPainter {
public:
    PlainPainter(Surface& surface, const Paint& paint, int64_t box_start) noexcept
        : surface_(surface), source_(paint.source), box_start_(box_start) {}

    void begin_row(int64_t y) noexcept {
        y_ = y;
        surface_.row(static_cast<int32_t>(y));  // marks the row as written
    }
    void run(int64_t from, int64_t to, unsigned coverage) noexcept {
        const int64_t x = box_start_ + from;
        const size_t length = static_cast<size_t>(to - from);
        if (coverage >= 16)
            paint_run(kOpSrcOver, surface_, source_, x, y_, length);
        else
            paint_run_alpha(kOpSrcOver, surface_, source_, x, y_, length, static_cast<uint8_t>(16 * coverage - 1));
    }

private:
    Surface& surface_;
    Pixel source_;
    int64_t box_start_;
    int64_t y_ = 0;
};

class FastPainter {
public:
    FastPainter(Surface& surface, const Paint& paint, int64_t box_start) noexcept
        : surface_(surface), colours_(paint.source), box_start_(box_start) {}

    void begin_row(int64_t y) noexcept { row_ = surface_.row(static_cast<int32_t>(y)) + box_start_; }
    [[gnu::always_inline]] void run(int64_t from, int64_t to, unsigned coverage) noexcept {
        paint_coverage_run(row_ + from, static_cast<size_t>(to - from), surface_.format, colours_, coverage);
    }

    // A row covered on all its sub-scanlines over [first, last] and wholly
    // on the Surface, its two end pixels at coverages `left` and `right`
    // and 16 between them: what three runs paint, with the end colours
    // worked out once per fill and a short opaque middle stored directly.
    void full_row(int64_t first, int64_t last, unsigned left, unsigned right) noexcept {
        if (!edge_colours_) {
            left_ = colours_.at(left);
            right_ = colours_.at(right);
            edge_colours_ = true;
        }
        row_[first] = over_pixel(row_[first], left_, surface_.format);
        const size_t middle = static_cast<size_t>(last - first - 1);
        if (colours_.opaque && middle < kShortRun) {  // a few stores, without fill_pixels' alignment steps
            const uint32_t value = rgba_to_format(colours_.source, surface_.format);
            for (size_t i = 0; i < middle; ++i) row_[first + 1 + i] = value;
        } else if (middle != 0) {
            paint_coverage_run(row_ + first + 1, middle, surface_.format, colours_, 16);
        }
        row_[last] = over_pixel(row_[last], right_, surface_.format);
    }

    // Pixels [from, from + n) of the row, on the Surface, at the coverages
    // cov[0..n), 0 leaving a pixel as it is: the bytes of runs of equal
    // coverage.
    void coverage_row(int64_t from, size_t n, const uint8_t* cov) noexcept {
        if (!all_colours_) {
            colours_.all();
            all_colours_ = true;
        }
        blend_coverage_row(row_ + from, cov, n, colours_.colour, colours_.opaque, surface_.format);
    }

private:
    Surface& surface_;
    CoverageColours colours_;
    int64_t box_start_;
    uint32_t* row_ = nullptr;
    bool edge_colours_ = false;
    bool all_colours_ = false;  // colours_ holds every coverage's colour
    uint32_t left_ = 0, right_ = 0;  // the end pixels' colours of full rows (the same for every row of a box)
};

}  // namespace

}  // namespace vokri
