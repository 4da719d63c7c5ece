// The rasterizer's working memory, kept by the Canvas for a whole call: the
// edge list, the active edges and their buckets, fold counts, and the row
// accumulators.
#pragma once

#include <cstdint>

#include "common/alloc.h"
#include "common/error.h"
#include "raster/canvas.h"
#include "raster/edge_list.h"

namespace vokri {

// An edge that crosses the current sub-scanline.
struct ActiveEdge {
    double x_top;
    double dxdy;
    double top;
    int64_t s_end;  // last sub-scanline the edge crosses
    int64_t x;      // crossing on the current sub-scanline, relative to the box
    int32_t winding;  // +1 upward, -1 downward
    uint32_t next;    // the edge that takes over after s_end (kNoEdge: none)
};

inline constexpr uint32_t kNoEdge = UINT32_MAX;

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

struct RasterScratch {
    EdgeList edges;
    Buffer<ActiveEdge> active;
    Buffer<ActiveEdge> joining;     // edges that become active on one sub-scanline
    Buffer<uint32_t> bucket_start;  // per sub-scanline of the fill, then a sentinel
    Buffer<uint32_t> bucket_edges;  // edge indices ordered by first sub-scanline
    Buffer<int64_t> edge_first;     // per edge: its first sub-scanline (from the fill's first), or -1
    Buffer<int64_t> edge_last;      // per edge: its last sub-scanline
    Buffer<uint32_t> edge_next;     // per edge: the edge that continues it on the next sub-scanline, or kNoEdge
    Buffer<uint8_t> edge_continues; // per edge: 1 when it continues another one (and is not bucketed)
    Buffer<int64_t> spans;          // kept crossings of one sub-scanline
    Buffer<FoldCount> folds;        // per sub-scanline of the fill, then a sentinel
    Buffer<uint8_t> coverage;       // CoverageRow values
    Buffer<uint8_t> run_lengths;    // CoverageRow run lengths (8, 16 or 32 bits wide)
    Buffer<int8_t> cell_changes;    // CoverageCells
    Buffer<int64_t> chain_x;        // per sub-scanline of a monotone fill: its two crossings

    explicit RasterScratch(Allocator& a) noexcept
        : edges(a), active(a), joining(a), bucket_start(a), bucket_edges(a), edge_first(a),
          edge_last(a), edge_next(a), edge_continues(a), spans(a), folds(a), coverage(a), run_lengths(a), cell_changes(a), chain_x(a) {}
};

// The canvas's raster scratch, created on first use.
[[nodiscard]] Error ensure_scratch(Canvas& canvas) noexcept;

}  // namespace vokri
