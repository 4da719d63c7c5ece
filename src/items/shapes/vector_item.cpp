// Vector items: compound cubic outlines with their own fill and stroke,
// revealed one after another by the record's progress.
#include "common/numeric.h"
#include "raster/fill.h"
#include "raster/stroke.h"
#include "items/drawers.h"

namespace vokri {

namespace {

// Builds the shape's subpaths into the Path; InvalidVector when the subpath
// ends do not increase strictly up to exactly segment_count.
Error build_vector_path(Path& path, const VectorShape& s, const Transform& t) noexcept {
    path.reset();
    uint32_t start = 0;
    for (size_t k = 0; k < s.subpath_count; ++k) {
        uint32_t end = s.subpath_ends[k];
        if (end <= start || end > s.segment_count) return Error::InvalidVector;
        // Room for the subpath's nodes at once: a subpath too long for
        // memory fails here, not after gigabytes of growth.
        VOKRI_TRY(path.nodes.grow_for(size_t{end - start} + 2));
        double x, y, x1, y1, x2, y2;
        t.apply(s.segments[start].x0, s.segments[start].y0, x, y);
        VOKRI_TRY(path.move_to(x, y));
        for (uint32_t j = start; j < end; ++j) {
            const CubicSegment& c = s.segments[j];
            t.apply(c.x1, c.y1, x1, y1);
            t.apply(c.x2, c.y2, x2, y2);
            t.apply(c.x3, c.y3, x, y);
            VOKRI_TRY(path.curve_to(x1, y1, x2, y2, x, y));
        }
        if (s.subpath_closed[k]) VOKRI_TRY(path.close_path());
        start = end;
    }
    if (start != s.segment_count) return Error::InvalidVector;
    return Error::None;
}

}  // namespace

Error draw_vector_item(Canvas& canvas, const FrameView& view, const VectorRecord& rec) noexcept {
    if (rec.shape_count == 0) return Error::None;
    if (!rec.shapes) return Error::InvalidVector;
    Path& path = canvas.path;
    path.transform = device_transform(view);
    // A NaN progress or opacity counts as 1, as the shape opacity does.
    double p = clamp_unit_nan_one(rec.progress);
    double o = clamp_unit_nan_one(rec.opacity);
    double reveal = p * static_cast<double>(rec.stagger_count);
    Transform t = Transform::from_array(rec.transform);
    for (size_t i = 0; i < rec.shape_count; ++i) {
        const VectorShape s = rec.shapes[i];
        double v = rec.stagger_count == 0 ? 1.0 : clamp(reveal - static_cast<double>(s.reveal_order), 0.0, 1.0);
        double a = o * v;
        if (!(a > 0)) continue;
        if (s.segment_count == 0 || s.subpath_count == 0) continue;
        if (!s.segments || !s.subpath_ends || !s.subpath_closed) return Error::InvalidVector;
        VOKRI_TRY(build_vector_path(path, s, t));
        if (s.fill_enabled) VOKRI_TRY(fill(canvas, path, Paint::colour(scene_to_rgba(s.fill_color), a)));
        if (s.stroke_enabled && s.stroke_width > 0) {
            const StrokeStyle style{.line_width = s.stroke_width};
            VOKRI_TRY(stroke(canvas, path, Paint::colour(scene_to_rgba(s.stroke_color), a), style));
        }
    }
    return Error::None;
}

}  // namespace vokri
