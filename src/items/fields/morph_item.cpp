// Morph items: two shapes as outlines of the same number of cubic pieces,
// interpolated by t and painted as one segment-list geometry.
#include "common/numeric.h"
#include "items/fields/morph_outline.h"
#include "items/drawers.h"

namespace vokri {

namespace {

// The three segment lists of one morph: fixed arrays for the usual eight
// pieces, allocated only for two long polylines.
struct MorphLists {
    Allocator& alloc;
    CubicSegment fixed[3][kMorphSegments];
    CubicSegment* list[3] = {fixed[0], fixed[1], fixed[2]};
    bool allocated = false;

    explicit MorphLists(Allocator& a) noexcept : alloc(a) {}
    MorphLists(const MorphLists&) = delete;
    MorphLists& operator=(const MorphLists&) = delete;
    ~MorphLists() {
        if (!allocated) return;
        for (CubicSegment* p : list)
            if (p) alloc.release(p);
    }

    Error obtain(uint32_t n) noexcept {
        if (n <= kMorphSegments) return Error::None;
        size_t bytes;
        if (!checked_mul(n, sizeof(CubicSegment), bytes)) return Error::OutOfMemory;
        allocated = true;
        for (CubicSegment*& p : list) p = nullptr;
        for (CubicSegment*& p : list) {
            p = static_cast<CubicSegment*>(alloc.allocate(bytes));
            if (!p) return Error::OutOfMemory;
        }
        return Error::None;
    }
};

// Releases a built geometry on every exit.
struct GeometryGuard {
    ShapeGeometry& g;
    Allocator& alloc;
    ~GeometryGuard() { release_shape_geometry(g, alloc); }
};

}  // namespace

Error draw_morph_item(Canvas& canvas, const FrameView& view, const MorphRecord& rec) noexcept {
    Allocator& alloc = canvas.allocator;
    ShapeGeometry a, b;
    VOKRI_TRY(build_shape_geometry(rec.from, alloc, a));
    GeometryGuard guard_a{a, alloc};
    VOKRI_TRY(build_shape_geometry(rec.to, alloc, b));
    GeometryGuard guard_b{b, alloc};

    uint32_t n = morph_segment_count(a, b);
    MorphLists lists(alloc);
    VOKRI_TRY(lists.obtain(n));
    bool closed_a = morph_outline(a, n, lists.list[0]);
    bool closed_b = morph_outline(b, n, lists.list[1]);
    if (closed_a != closed_b) return Error::TopologyMismatch;
    double s = clamp_unit_nan_one(rec.t);  // a NaN t counts as 1
    ShapeGeometry g = morph_between(a, b, lists.list[0], lists.list[1], n, closed_a, s, lists.list[2]);
    return draw_shape_geometry(canvas, view, g);
}

}  // namespace vokri
