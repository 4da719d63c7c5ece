#include "shape_outline.h"

#include <vector>

#include "common/alloc.h"
#include "items/fields/morph_outline.h"
#include "items/shapes/shape_geometry.h"

namespace vokri_scenefile {

namespace {

VokriCubicSegment mapped(const VokriCubicSegment& c, const double t[6]) {
    VokriCubicSegment out = c;
    double* v = &out.x0;
    for (int k = 0; k < 8; k += 2) {
        const double x = v[k], y = v[k + 1];
        v[k] = t[0] * x + t[1] * y + t[4];
        v[k + 1] = t[2] * x + t[3] * y + t[5];
    }
    return out;
}

// Polylines and polygons, point by point.
void point_outline(const vokri::ShapeGeometry& g, bool closed, Outline& out) {
    for (uint32_t i = 0; i + 1 < g.point_count; ++i)
        out.segments.push_back(straight(g.points[i].x, g.points[i].y, g.points[i + 1].x, g.points[i + 1].y));
    if (closed) {
        const auto& a = g.points[g.point_count - 1];
        const auto& b = g.points[0];
        out.segments.push_back(straight(a.x, a.y, b.x, b.y));
    }
    out.end_subpath(closed);
}

}  // namespace

bool shape_outline(const VokriShapeRecord& r, Outline& out) {
    vokri::Allocator alloc;
    vokri::ShapeGeometry g;
    if (vokri::build_shape_geometry(r, alloc, g) != vokri::Error::None) return false;
    const bool polyline = r.shape_type == VOKRI_SHAPE_POLYLINE, polygon = r.shape_type == VOKRI_SHAPE_POLYGON;
    if (polyline || polygon) {
        point_outline(g, polygon, out);
    } else {
        std::vector<vokri::CubicSegment> pieces(vokri::kMorphSegments);
        const bool closed = vokri::morph_outline(g, vokri::kMorphSegments, pieces.data());
        for (const auto& p : pieces) out.segments.push_back(VokriCubicSegment{p.x0, p.y0, p.x1, p.y1, p.x2, p.y2, p.x3, p.y3});
        out.end_subpath(closed);
    }
    vokri::release_shape_geometry(g, alloc);
    for (auto& c : out.segments) c = mapped(c, r.transform);
    return true;
}

std::optional<DrawnShape> drawn_shape(const VokriVectorShape& s) {
    DrawnShape d;
    if (s.segment_count > 0 || s.subpath_count > 0) {
        if (!s.segments || !s.subpath_ends || !s.subpath_closed) return std::nullopt;
        uint32_t previous = 0;
        for (uint32_t k = 0; k < s.subpath_count; ++k) {
            const uint32_t end = s.subpath_ends[k];
            if (end < previous || end > s.segment_count) return std::nullopt;
            previous = end;
        }
        d.outline.segments.assign(s.segments, s.segments + s.segment_count);
        d.outline.subpath_ends.assign(s.subpath_ends, s.subpath_ends + s.subpath_count);
        for (uint32_t k = 0; k < s.subpath_count; ++k) d.outline.subpath_closed.push_back(s.subpath_closed[k] ? 1 : 0);
    }
    d.fill = s.fill_enabled != 0;
    d.fill_color = s.fill_color;
    d.stroke = s.stroke_enabled != 0;
    d.stroke_color = s.stroke_color;
    d.stroke_width = s.stroke_width;
    d.reveal_order = s.reveal_order;
    return d;
}

}  // namespace vokri_scenefile
