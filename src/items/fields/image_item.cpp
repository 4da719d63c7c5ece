// Image items: a straight-alpha RGBA raster placed by an affine transform,
// either blended pixel for pixel (when it covers the canvas exactly) or
// resampled bilinearly.
#include <cmath>

#include "common/numeric.h"
#include "items/fields/image_blend.h"
#include "items/fields/image_resample.h"
#include "items/drawers.h"

namespace vokri {

namespace {

using image::Placement;

// The three steps of the placement for one raster point: local, user, pixel.
void forward(const ImageRecord& rec, const FrameView& view, double sx, double sy, double u, double v,
             double& px, double& py) noexcept {
    const double* m = rec.transform;
    const double lx = -(rec.display_width * 0.5) + u * sx;
    const double ly = rec.display_height * 0.5 + v * sy;
    const double ux = m[0] * lx + m[1] * ly + m[4];
    const double uy = m[2] * lx + m[3] * ly + m[5];
    px = view.origin_x + view.scale * ux;
    py = view.origin_y - view.scale * uy;
}

Placement placement(const ImageRecord& rec, const FrameView& view, double sx, double sy) noexcept {
    const double* m = rec.transform;
    const double s = view.scale;
    Placement p;
    p.xx = s * (m[0] * sx);
    p.xy = s * (m[1] * sy);
    p.yx = -(s * (m[2] * sx));
    p.yy = -(s * (m[3] * sy));
    forward(rec, view, sx, sy, 0.0, 0.0, p.tx, p.ty);
    return p;
}

bool is_exact(const ImageRecord& rec, const FrameView& view, const Placement& p) noexcept {
    return rec.width == view.width && rec.height == view.height && std::fabs(p.xx - 1) <= 1e-9 &&
           std::fabs(p.yy - 1) <= 1e-9 && std::fabs(p.xy) <= 1e-9 && std::fabs(p.yx) <= 1e-9 &&
           std::fabs(p.tx) <= 1e-9 && std::fabs(p.ty) <= 1e-9;
}

}  // namespace

Error draw_image_item(Canvas& canvas, const FrameView& view, const ImageRecord& rec) noexcept {
    Surface& target = canvas.surface;
    if (rec.pixels == nullptr || rec.width == 0 || rec.height == 0) return Error::InvalidRaster;
    if (!(rec.display_width > 0) || !(rec.display_height > 0)) return Error::InvalidRaster;
    if (rec.opacity <= 0) return Error::None;
    const double op = clamp_unit_nan_one(rec.opacity);
    const double sx = rec.display_width / static_cast<double>(rec.width);
    const double sy = -(rec.display_height / static_cast<double>(rec.height));
    const Placement p = placement(rec, view, sx, sy);
    const bool supported = target.format == rgbx32 || target.format == rgba32;

    if (is_exact(rec, view, p)) {
        if (!supported) return Error::UnsupportedRasterSurface;
        const uint32_t o = static_cast<uint32_t>(round_half_away(op * 255));
        const size_t count = static_cast<size_t>(rec.width) * rec.height;
        target.mark_all();
        image::blend_exact(rec.pixels, target.pixels, count, o, target.format == rgba32);
        return Error::None;
    }

    const double det = Transform{p.xx, p.xy, p.yx, p.yy, p.tx, p.ty}.determinant();
    if (!(std::fabs(det) >= 1e-15)) {
        // Singular (or not a number: every pixel would map to NaN and be
        // skipped).
        return Error::None;
    }
    const double w = static_cast<double>(rec.width), h = static_cast<double>(rec.height);
    const double cu[4] = {0, w, 0, w}, cv[4] = {0, 0, h, h};
    double min_x = 0, max_x = 0, min_y = 0, max_y = 0;
    for (int c = 0; c < 4; ++c) {
        double px, py;
        forward(rec, view, sx, sy, cu[c], cv[c], px, py);
        // A corner that is not a number leaves no pixel whose centre maps
        // into the raster.
        if (std::isnan(px) || std::isnan(py)) return Error::None;
        if (c == 0 || px < min_x) min_x = px;
        if (c == 0 || px > max_x) max_x = px;
        if (c == 0 || py < min_y) min_y = py;
        if (c == 0 || py > max_y) max_y = py;
    }
    const double bx0 = std::fmax(std::floor(min_x), 0.0);
    const double by0 = std::fmax(std::floor(min_y), 0.0);
    const double bx1 = std::fmin(std::ceil(max_x), static_cast<double>(view.width));
    const double by1 = std::fmin(std::ceil(max_y), static_cast<double>(view.height));
    if (!(bx1 > bx0) || !(by1 > by0)) return Error::None;
    if (!supported) return Error::UnsupportedRasterSurface;

    const image::Raster raster{rec.pixels, rec.width, rec.height};
    const auto x0 = static_cast<int64_t>(bx0), x1 = static_cast<int64_t>(bx1);
    const auto y0 = static_cast<int64_t>(by0), y1 = static_cast<int64_t>(by1);
    image::resample(raster, p, op, target, x0, x1, y0, y1);
    return Error::None;
}

}  // namespace vokri
