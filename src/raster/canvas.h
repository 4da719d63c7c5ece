// What fills and strokes draw on: the Surface, the allocator of their
// working memory (kept and reused for the whole call), a reusable Path for
// the item code, and the options that tests switch to compare the fast
// forms with the plain definition.
#pragma once

#include <cstdint>

#include "common/alloc.h"
#include "raster/path.h"
#include "surface/surface.h"

namespace vokri {

// How fills paint their coverage (raster/painter.h).
enum class Painting : uint8_t {
    fast,   // the colours of each coverage worked out once per fill
    plain,  // the definition: the operation-chain compositor
};

struct RasterOptions {
    // The geometric shortcuts (the flattening window, edges folded into
    // counts beside the fill box, the box fill, the path of monotone
    // outlines) and rows kept as cells; off, every edge is kept and each
    // row's coverage is kept as runs. Both find the same coverage.
    bool shortcuts = true;
    Painting painting = Painting::fast;
    // Outline points of a stroke beyond the Surface thinned out (with the
    // shortcuts only; painting is unchanged).
    bool cull_outlines = true;
    double tolerance = 0.1;  // flattening tolerance, device pixels
};

// Working memory of fill and stroke (edge list, crossings, coverage row;
// the stroker's pen and outline lists), defined with the rasterizer and the
// stroker.
struct RasterScratch;
struct StrokeScratch;
void release_raster_scratch(RasterScratch*& scratch, Allocator& a) noexcept;
void release_stroke_scratch(StrokeScratch*& scratch, Allocator& a) noexcept;

class Canvas {
public:
    Canvas(Allocator& a, Surface& target, RasterOptions o = {}) noexcept : surface(target), allocator(a), options(o) {
        path.bind(a);
    }
    ~Canvas() { release(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // Frees the working memory and the Path's nodes (end of a call or a
    // pick pass).
    void release() noexcept {
        path.nodes.reset();
        if (raster_scratch) release_raster_scratch(raster_scratch, allocator);
        if (stroke_scratch) release_stroke_scratch(stroke_scratch, allocator);
    }

    Surface& surface;
    Allocator& allocator;
    RasterOptions options;
    // Item code builds its outlines here (reset before each), so that node
    // storage is allocated once per call.
    Path path;
    RasterScratch* raster_scratch = nullptr;   // created by the first fill or stroke
    StrokeScratch* stroke_scratch = nullptr;   // created by the first stroke
};

}  // namespace vokri
