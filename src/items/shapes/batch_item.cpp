// Batch items: many segments, circles or rectangles from one record, blended
// towards optional target lists. Elements go through the shape drawer, except
// on rgbx32 targets where thin segments become hairlines and unstroked
// axis-aligned rectangles exact-area boxes written straight into the pixels.
#include <cmath>

#include "common/numeric.h"
#include "items/shapes/batch_paint.h"
#include "items/shapes/shape_geometry.h"
#include "items/drawers.h"

namespace vokri {

namespace {

inline double lerp(double a, double b, double t) noexcept { return a + t * (b - a); }

// The element lists of one batch, read element by element.
struct BatchLists {
    const BatchRecord& rec;
    size_t stride;  // f64 per element
    double t;
    double opacity;

    // Field k of element i, blended towards the target list.
    double field(size_t i, size_t k) const noexcept {
        double v = rec.elements[i * stride + k];
        if (!rec.target_elements) return v;
        return lerp(v, rec.target_elements[i * stride + k], t);
    }
    bool has_stroke() const noexcept { return rec.stroke_colors || rec.target_stroke_colors; }
    bool has_width() const noexcept { return rec.stroke_widths || rec.target_stroke_widths; }
    double width(size_t i) const noexcept {
        if (rec.stroke_widths && rec.target_stroke_widths)
            return lerp(rec.stroke_widths[i], rec.target_stroke_widths[i], t);
        return rec.stroke_widths ? rec.stroke_widths[i] : rec.target_stroke_widths[i];
    }
    uint32_t fill_colour(size_t i) const noexcept {
        return batch_fill_colour(rec.fill_colors[i], rec.target_fill_colors ? rec.target_fill_colors + i : nullptr,
                                 t, opacity);
    }
    uint32_t stroke_colour(size_t i) const noexcept {
        return batch_stroke_colour(rec.stroke_colors ? rec.stroke_colors + i : nullptr,
                                   rec.target_stroke_colors ? rec.target_stroke_colors + i : nullptr, t, opacity);
    }
    // The element's stroke, when the batch has one.
    void set_stroke(size_t i, ShapeGeometry& g) const noexcept {
        if (!has_stroke()) return;
        g.has_stroke = true;
        g.stroke_color = stroke_colour(i);
        g.stroke_width = width(i);
    }
};

// Geometry placed by the batch transform's linear part at the transformed
// centre (cx, cy).
ShapeGeometry centred_geometry(uint8_t tag, const Transform& b, double cx, double cy) noexcept {
    ShapeGeometry g;
    g.tag = tag;
    g.transform = b;
    b.apply(cx, cy, g.transform.x0, g.transform.y0);
    return g;
}

ShapeGeometry line_geometry(const Transform& b, double x0, double y0, double x1, double y1, uint32_t colour,
                            double width) noexcept {
    ShapeGeometry g;
    g.tag = VOKRI_SHAPE_LINE;
    g.params[0] = x0;
    g.params[1] = y0;
    g.params[2] = x1;
    g.params[3] = y1;
    g.transform = b;
    g.has_stroke = true;
    g.stroke_color = colour;
    g.stroke_width = width;
    return g;
}

Error draw_circles(Canvas& canvas, const FrameView& view, const BatchLists& L, const Transform& b) noexcept {
    for (size_t i = 0; i < L.rec.count; ++i) {
        double cx = L.field(i, 0), cy = L.field(i, 1), r = L.field(i, 2);
        if (!(r > 0)) return Error::InvalidRadius;
        ShapeGeometry g = centred_geometry(VOKRI_SHAPE_CIRCLE, b, cx, cy);
        g.params[0] = r;
        g.has_fill = true;
        g.fill_color = L.fill_colour(i);
        L.set_stroke(i, g);
        VOKRI_TRY(draw_shape_geometry(canvas, view, g));
    }
    return Error::None;
}

// How many elements ahead a drawer starts loading the pixels of the element
// it will draw: small scattered elements otherwise wait for their first row.
constexpr size_t kPrefetchAhead = 6;

// Starts loading the device area of an element centred at (cx, cy) with
// half sizes (hx, hy) before the transform d.
void prefetch_element(const Surface& target, const Transform& d, double cx, double cy, double hx,
                      double hy) noexcept {
    double x, y;
    d.apply(cx, cy, x, y);
    const double ex = std::fabs(d.xx) * hx + std::fabs(d.xy) * hy + 1;
    const double ey = std::fabs(d.yx) * hx + std::fabs(d.yy) * hy + 1;
    target.prefetch(x - ex, y - ey, x + ex, y + ey);
}

Error draw_rectangles(Canvas& canvas, const FrameView& view, const BatchLists& L, const Transform& b) noexcept {
    Surface& target = canvas.surface;
    Transform d = compose(device_transform(view), b);
    if (!L.has_stroke() && target.format == rgbx32 && std::fabs(d.xy) <= 1e-12 && std::fabs(d.yx) <= 1e-12) {
        double sx = std::fabs(d.xx), sy = std::fabs(d.yy);
        for (size_t i = 0; i < L.rec.count; ++i) {
            double cx = L.field(i, 0), cy = L.field(i, 1), w = L.field(i, 2), h = L.field(i, 3);
            uint32_t colour = L.fill_colour(i);
            if ((colour >> 24) == 0) continue;
            double dx, dy;
            d.apply(cx, cy, dx, dy);
            paint_box_rgbx(target, dx, dy, 0.5 * sx * w, 0.5 * sy * h, colour);
        }
        return Error::None;
    }
    for (size_t i = 0; i < L.rec.count; ++i) {
        if (const size_t next = i + kPrefetchAhead; next < L.rec.count)
            prefetch_element(target, d, L.field(next, 0), L.field(next, 1), 0.5 * L.field(next, 2),
                             0.5 * L.field(next, 3));
        double cx = L.field(i, 0), cy = L.field(i, 1), w = L.field(i, 2), h = L.field(i, 3);
        if (!(w > 0) || !(h > 0)) return Error::InvalidSize;
        ShapeGeometry g = centred_geometry(VOKRI_SHAPE_RECTANGLE, b, cx, cy);
        g.params[0] = w;
        g.params[1] = h;
        g.has_fill = true;
        g.fill_color = L.fill_colour(i);
        L.set_stroke(i, g);
        VOKRI_TRY(draw_shape_geometry(canvas, view, g));
    }
    return Error::None;
}

Error draw_segments(Canvas& canvas, const FrameView& view, const BatchLists& L, const Transform& b) noexcept {
    Surface& target = canvas.surface;
    const BatchRecord& rec = L.rec;
    const Transform d = compose(device_transform(view), b);
    if (target.format == rgbx32) {
        for (size_t i = 0; i < rec.count; ++i) {
            double w = L.width(i);
            uint32_t colour = L.stroke_colour(i);
            if ((colour >> 24) == 0) continue;
            double x0 = L.field(i, 0), y0 = L.field(i, 1), x1 = L.field(i, 2), y1 = L.field(i, 3);
            double wd = w * view.scale;
            if (wd <= 1) {
                double dx0, dy0, dx1, dy1;
                d.apply(x0, y0, dx0, dy0);
                d.apply(x1, y1, dx1, dy1);
                paint_hairline_rgbx(target, dx0, dy0, dx1, dy1, wd, colour);
                continue;
            }
            VOKRI_TRY(draw_shape_geometry(canvas, view, line_geometry(b, x0, y0, x1, y1, colour, w)));
        }
        return Error::None;
    }
    // Other formats draw the first lists as they are: no blend, no opacity.
    if (!rec.stroke_widths || !rec.stroke_colors) return Error::InvalidBatch;
    for (size_t i = 0; i < rec.count; ++i) {
        if (const size_t next = i + kPrefetchAhead; next < rec.count) {
            const double* n = rec.elements + next * 4;
            double x0, y0, x1, y1;
            d.apply(n[0], n[1], x0, y0);
            d.apply(n[2], n[3], x1, y1);
            target.prefetch_segment(x0, y0, x1, y1);
        }
        const double* e = rec.elements + i * 4;
        VOKRI_TRY(draw_shape_geometry(
            canvas, view,
            line_geometry(b, e[0], e[1], e[2], e[3], scene_to_rgba(rec.stroke_colors[i]), rec.stroke_widths[i])));
    }
    return Error::None;
}

}  // namespace

Error draw_batch_item(Canvas& canvas, const FrameView& view, const BatchRecord& rec) noexcept {
    if (rec.count == 0 || !rec.elements) return Error::InvalidBatch;
    if (rec.mode > VOKRI_BATCH_RECTANGLES) return Error::InvalidBatch;
    BatchLists L{rec, rec.mode == VOKRI_BATCH_CIRCLES ? size_t{3} : size_t{4}, clamp_unit_nan_one(rec.t),
                 clamp_unit_nan_one(rec.opacity)};
    Transform b = Transform::from_array(rec.transform);
    if (rec.mode == VOKRI_BATCH_SEGMENTS) {
        if (!L.has_stroke() || !L.has_width()) return Error::InvalidBatch;
        return draw_segments(canvas, view, L, b);
    }
    if (!rec.fill_colors) return Error::InvalidBatch;
    // A stroke colour list needs a width list to give the stroke its width.
    if (L.has_stroke() && !L.has_width()) return Error::InvalidBatch;
    if (rec.mode == VOKRI_BATCH_CIRCLES) return draw_circles(canvas, view, L, b);
    return draw_rectangles(canvas, view, L, b);
}

}  // namespace vokri
