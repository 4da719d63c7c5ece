// Item kind 6: the record's header check and dispatch, infinite lines and
// line grids. Lines are clipped to the view and stroked through the shape
// items' segment stroker; fractals and complex grids write pixels directly.
#include <cmath>
#include <cstdint>
#include <utility>

#include "common/numeric.h"
#include "items/fields/infinite_geometry.h"
#include "items/shapes/shape_geometry.h"
#include "raster/fill.h"
#include "items/drawers.h"

namespace vokri {

namespace {

// Index ranges beyond this are refused so that every index is exact in f64.
constexpr double kMaxLineIndex = 9e15;

inline double half_width(const FrameView& v) noexcept { return static_cast<double>(v.width) / (2.0 * v.scale); }
inline double half_height(const FrameView& v) noexcept {
    return static_cast<double>(v.height) / (2.0 * v.scale);
}

// A stroke wider than four view diagonals looks exactly like one of that
// width inside the view (its long edges lie more than a diagonal outside),
// so wider ones are narrowed to it: the stroker's pen and outline then stay
// proportional to the view, whatever width the record asks for.
inline double useful_width(const FrameView& v, double width) noexcept {
    double w = static_cast<double>(v.width), h = static_cast<double>(v.height);
    double limit = 4.0 * std::sqrt(w * w + h * h) / v.scale;
    return width > limit ? limit : width;
}

// Clips the user-space line and strokes what is visible.
Error stroke_line(Canvas& canvas, const FrameView& view, double px, double py, double dx, double dy,
                  uint32_t rgba, double width) noexcept {
    Point a, b;
    if (!clip_line_to_view(view, px, py, dx, dy, a, b)) return Error::None;
    return stroke_segment(canvas, device_transform(view), a.x, a.y, b.x, b.y, rgba, useful_width(view, width));
}

Error draw_line(Canvas& canvas, const FrameView& view, const InfiniteGeometryRecord& rec,
                const InfiniteColours& colours) noexcept {
    const double* m = rec.transform;
    double px = m[0] * rec.a0 + m[1] * rec.a1 + m[4];
    double py = m[2] * rec.a0 + m[3] * rec.a1 + m[5];
    double dx = m[0] * rec.a2 + m[1] * rec.a3;
    double dy = m[2] * rec.a2 + m[3] * rec.a3;
    if (colours.alpha1 == 0) return Error::None;
    return stroke_line(canvas, view, px, py, dx, dy, colours.rgba1(), rec.line_width);
}

// Fills the whole view rectangle with colour1 at alpha `alpha`.
Error fill_view(Canvas& canvas, const FrameView& view, uint32_t rgb, uint32_t alpha) noexcept {
    if (alpha == 0) return Error::None;
    const double hx = half_width(view), hy = half_height(view);
    Path& path = canvas.path;
    path.transform = device_transform(view);
    path.reset();
    VOKRI_TRY(path.move_to(-hx, -hy));
    VOKRI_TRY(path.line_to(hx, -hy));
    VOKRI_TRY(path.line_to(hx, hy));
    VOKRI_TRY(path.line_to(-hx, hy));
    VOKRI_TRY(path.close_path());
    return fill(canvas, path, Paint::colour(rgb | alpha << 24));
}

struct GridFamily {
    bool vertical;     // lines x = a0 + i*a2 (else y = a1 + j*a3)
    double origin;     // a0 or a1
    double spacing;    // a2 or a3
    double b0, b1;     // local bounds of the view along the step
};

Error draw_family(Canvas& canvas, const FrameView& view, const InfiniteGeometryRecord& rec,
                  const InfiniteColours& colours, const GridFamily& f, double det) noexcept {
    const double* m = rec.transform;
    const double s = view.scale;
    // Direction of the family's lines in user space.
    double dx = f.vertical ? m[1] : m[0];
    double dy = f.vertical ? m[3] : m[2];
    double len = std::sqrt(dx * dx + dy * dy);
    if (!(len > 1e-14)) return Error::None;
    // Perpendicular distance in pixels between neighbouring lines.
    double P = s * f.spacing * std::fabs(det) / len;
    if (!(P > 1e-12) || !std::isfinite(P)) return Error::None;
    double F = rec.line_width * s;
    if (F >= P) return fill_view(canvas, view, colours.rgb1, colours.alpha1);

    double first = std::ceil((f.b0 - f.origin) / f.spacing - 1e-10);
    double last = std::floor((f.b1 - f.origin) / f.spacing + 1e-10);
    if (!std::isfinite(first) || !std::isfinite(last)) return Error::None;
    if (std::fabs(first) > kMaxLineIndex || std::fabs(last) > kMaxLineIndex || first > last) return Error::None;

    // Thinning: below 0.9 pixels between lines only every n-th line is drawn,
    // n times as wide, so the strokes stay near the pixels across the view.
    // n keeps growing with the density (it is not capped), which bounds the
    // number of strokes at any spacing.
    double nd = std::ceil(0.9 / P);
    int64_t n = nd > 1.0 ? static_cast<int64_t>(nd) : 1;
    double width = n >= 2 ? rec.line_width * static_cast<double>(n) : rec.line_width;
    int64_t lo = static_cast<int64_t>(first), hi = static_cast<int64_t>(last);
    // Smallest multiple of n that is >= lo.
    int64_t q = lo / n;
    if (q * n < lo) ++q;
    const uint32_t rgba = colours.rgba1();
    for (int64_t k = q * n; k <= hi; k += n) {
        double kd = static_cast<double>(k);
        double lx = f.vertical ? rec.a0 + kd * rec.a2 : rec.a0;
        double ly = f.vertical ? rec.a1 : rec.a1 + kd * rec.a3;
        double px = m[0] * lx + m[1] * ly + m[4];
        double py = m[2] * lx + m[3] * ly + m[5];
        VOKRI_TRY(stroke_line(canvas, view, px, py, dx, dy, rgba, width));
    }
    return Error::None;
}

Error draw_line_grid(Canvas& canvas, const FrameView& view, const InfiniteGeometryRecord& rec,
                     const InfiniteColours& colours) noexcept {
    if (!(rec.a2 > 0.0) || !(rec.a3 > 0.0)) return Error::InvalidInfiniteGeometry;
    const double* m = rec.transform;
    // A transform with a non-finite entry places no line anywhere.
    if (!Transform::from_array(m).finite()) return Error::None;
    if (colours.alpha1 == 0) return Error::None;
    const uint32_t rgba = colours.rgba1();
    double det = determinant(m);
    if (std::fabs(det) <= 1e-12) {
        // The lattice collapses onto at most two lines through the origin.
        double px = m[0] * rec.a0 + m[1] * rec.a1 + m[4];
        double py = m[2] * rec.a0 + m[3] * rec.a1 + m[5];
        if (std::sqrt(m[0] * m[0] + m[2] * m[2]) > 1e-12) {
            VOKRI_TRY(stroke_line(canvas, view, px, py, m[0], m[2], rgba, rec.line_width));
        }
        if (std::sqrt(m[1] * m[1] + m[3] * m[3]) > 1e-12) {
            VOKRI_TRY(stroke_line(canvas, view, px, py, m[1], m[3], rgba, rec.line_width));
        }
        return Error::None;
    }
    // Bounding box of the view's corners in the local plane.
    InverseMap inv;
    for (int k = 0; k < 6; ++k) inv.m[k] = m[k];
    inv.det = det;
    const double hx = half_width(view), hy = half_height(view);
    const double cx[4] = {-hx, hx, hx, -hx}, cy[4] = {-hy, -hy, hy, hy};
    double bx0 = INFINITY, bx1 = -INFINITY, by0 = INFINITY, by1 = -INFINITY;
    for (int k = 0; k < 4; ++k) {
        double lx, ly;
        inv.apply(cx[k], cy[k], lx, ly);
        bx0 = std::fmin(bx0, lx);
        bx1 = std::fmax(bx1, lx);
        by0 = std::fmin(by0, ly);
        by1 = std::fmax(by1, ly);
    }
    VOKRI_TRY(draw_family(canvas, view, rec, colours, GridFamily{true, rec.a0, rec.a2, bx0, bx1}, det));
    return draw_family(canvas, view, rec, colours, GridFamily{false, rec.a1, rec.a3, by0, by1}, det);
}

}  // namespace

uint32_t effective_alpha(uint32_t alpha, double opacity) noexcept {
    double a = round_half_away(clamp_unit_nan_one(opacity) * static_cast<double>(alpha));
    return a <= 0.0 ? 0u : (a >= 255.0 ? 255u : static_cast<uint32_t>(a));
}

Error check_infinite_header(const InfiniteGeometryRecord& rec, InfiniteColours& colours) noexcept {
    if (rec.geometry_kind > kGeometryFractal) return Error::InvalidInfiniteGeometry;
    if (!std::isfinite(rec.line_width) || !(rec.line_width > 0.0)) return Error::InvalidInfiniteGeometry;
    uint32_t c1 = scene_to_rgba(rec.colour1), c2 = scene_to_rgba(rec.colour2);
    colours.rgb1 = c1 & 0x00FFFFFFu;
    colours.alpha1 = effective_alpha(c1 >> 24, rec.opacity);
    colours.rgb2 = c2 & 0x00FFFFFFu;
    colours.alpha2 = effective_alpha(c2 >> 24, rec.opacity);
    return Error::None;
}

bool clip_line_to_view(const FrameView& view, double px, double py, double dx, double dy, Point& a,
                       Point& b) noexcept {
    if (!std::isfinite(px) || !std::isfinite(py) || !std::isfinite(dx) || !std::isfinite(dy)) return false;
    if (!(std::sqrt(dx * dx + dy * dy) > 1e-14)) return false;
    const double h[2] = {half_width(view), half_height(view)};
    const double p[2] = {px, py}, d[2] = {dx, dy};
    double u0 = -INFINITY, u1 = INFINITY;
    bool bounded = false;
    for (int axis = 0; axis < 2; ++axis) {
        if (std::fabs(d[axis]) <= 1e-14) {
            if (p[axis] < -h[axis] || p[axis] > h[axis]) return false;
            continue;
        }
        double ua = (-h[axis] - p[axis]) / d[axis];
        double ub = (h[axis] - p[axis]) / d[axis];
        if (ua > ub) std::swap(ua, ub);
        if (ua > u0) u0 = ua;
        if (ub < u1) u1 = ub;
        bounded = true;
    }
    // Both components at most 1e-14 although |d| is above it: the parameter
    // interval stays unbounded, and such a line counts as degenerate.
    if (!bounded || !(u0 <= u1)) return false;
    a = Point{px + u0 * dx, py + u0 * dy};
    b = Point{px + u1 * dx, py + u1 * dy};
    // Parameters that overflowed: no usable segment.
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y);
}

Error draw_infinite_item(Canvas& canvas, const FrameView& view, const InfiniteGeometryRecord& rec) noexcept {
    InfiniteColours colours;
    VOKRI_TRY(check_infinite_header(rec, colours));
    switch (rec.geometry_kind) {
        case kGeometryLine:
            return draw_line(canvas, view, rec, colours);
        case kGeometryLineGrid:
            return draw_line_grid(canvas, view, rec, colours);
        case kGeometryComplexGrid:
            return draw_complex_grid(rec, colours, view, canvas.surface);
        default:
            return draw_fractal(rec, colours, view, canvas.surface);
    }
}

}  // namespace vokri
