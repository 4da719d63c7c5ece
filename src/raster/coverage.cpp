#include "raster/coverage.h"

#include <new>

namespace vokri {

struct RasterScratch {
    EdgeList edges;
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
    ctx.scratch = new (p) RasterScratch;
    ctx.scratch->edges.bind(*ctx.allocator);
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
    return FlattenWindow{-margin, -margin, ctx.surface->width + margin, ctx.surface->height + margin};
}

// Not built yet.
Error rasterize_edges(DrawContext&, EdgeList&, uint8_t) noexcept { return Error::InvalidState; }

}  // namespace vokri
