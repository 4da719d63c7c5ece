#include "raster/raster_scratch.h"

#include <new>

namespace vokri {

void release_raster_scratch(RasterScratch*& scratch, Allocator& a) noexcept {
    if (!scratch) return;
    scratch->~RasterScratch();
    a.release(scratch);
    scratch = nullptr;
}

Error ensure_scratch(Canvas& canvas) noexcept {
    if (canvas.raster_scratch) return Error::None;
    void* p = canvas.allocator.allocate(sizeof(RasterScratch));
    if (!p) return Error::OutOfMemory;
    canvas.raster_scratch = new (p) RasterScratch(canvas.allocator);
    return Error::None;
}

}  // namespace vokri
