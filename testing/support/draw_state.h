// A drawing state for raster tests: the settings a test changes between
// calls (paint, line width, join, miter limit, fill rule, transform) kept
// beside a Canvas and its Path, and fill, stroke and fill_box calls that pass
// them to the raster layer as values.
#pragma once

#include <cstdint>

#include "raster/canvas.h"
#include "raster/fill.h"
#include "raster/paint.h"
#include "raster/stroke.h"

namespace vt {

struct DrawState {
    vokri::Canvas canvas;
    vokri::Path& path;
    vokri::Pixel source{0xFF000000u, vokri::rgba32};  // premultiplied, opaque black
    double line_width = 2.0;
    double miter_limit = 10.0;
    uint8_t line_join = vokri::join_round;
    uint8_t fill_rule = vokri::fill_non_zero;
    vokri::Transform transform;
    double& tolerance;     // the canvas's
    bool& cull_outlines;   // the canvas's

    DrawState(vokri::Allocator& a, vokri::Surface& target, vokri::RasterOptions options = {}) noexcept
        : canvas(a, target, options),
          path(canvas.path),
          tolerance(canvas.options.tolerance),
          cull_outlines(canvas.options.cull_outlines) {}

    void set_transform(const vokri::Transform& t) noexcept {
        transform = t;
        path.transform = t;
    }
    void set_source_colour(uint32_t rgba_straight, double opacity = 1.0) noexcept {
        source = vokri::Paint::colour(rgba_straight, opacity).source;
    }
    void set_source_pixel(uint32_t premultiplied) noexcept { source = vokri::Pixel{premultiplied, vokri::rgba32}; }
    void release() noexcept { canvas.release(); }

    vokri::Paint paint() const noexcept { return vokri::Paint{source}; }
    vokri::StrokeStyle style() const noexcept { return {line_width, miter_limit, line_join}; }
};

inline vokri::Error fill(DrawState& d) noexcept {
    return vokri::fill(d.canvas, d.path, d.paint(), static_cast<vokri::FillRule>(d.fill_rule));
}
inline vokri::Error stroke(DrawState& d) noexcept { return vokri::stroke(d.canvas, d.path, d.paint(), d.style()); }
inline bool fill_box(DrawState& d, const vokri::Point (&c)[4]) noexcept {
    return vokri::fill_box(d.canvas, c, d.paint());
}

}  // namespace vt
