#include "items/fields/complex_grid_field.h"

#include <algorithm>
#include <cmath>

#include "common/numeric.h"

namespace vokri {

namespace {

constexpr double kPi = 3.141592653589793;

inline Complex add(Complex a, Complex b) noexcept { return {a.re + b.re, a.im + b.im}; }
inline Complex sub(Complex a, Complex b) noexcept { return {a.re - b.re, a.im - b.im}; }
inline Complex mul(Complex a, Complex b) noexcept {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex scale(double k, Complex a) noexcept { return {k * a.re, k * a.im}; }
inline double norm2(Complex a) noexcept { return a.re * a.re + a.im * a.im; }
inline Complex div(Complex a, Complex b) noexcept {
    double den = norm2(b);
    return {(a.re * b.re + a.im * b.im) / den, (a.im * b.re - a.re * b.im) / den};
}
inline double modulus(Complex a) noexcept { return std::sqrt(norm2(a)); }

// Principal square root. The sign of the imaginary part follows Im q, with
// both zeros counting as positive, so the root of a negative real is +i*r.
inline Complex csqrt(Complex q) noexcept {
    double r = modulus(q);
    double re = std::sqrt(std::max((r + q.re) / 2.0, 0.0));
    double im = std::sqrt(std::max((r - q.re) / 2.0, 0.0));
    return {re, q.im < 0.0 ? -im : im};
}

// Principal logarithm ln|u| + i*atan2(Im u, Re u).
inline Complex clog(Complex u) noexcept { return {std::log(modulus(u)), std::atan2(u.im, u.re)}; }

inline bool finite(Complex a) noexcept { return std::isfinite(a.re) && std::isfinite(a.im); }

inline int keep(GridBranch out[2], int n, Complex z, Complex dz) noexcept {
    if (!finite(z) || !finite(dz)) return n;
    out[n].z = z;
    out[n].dz = dz;
    return n + 1;
}

// Distance from v to the nearest grid value origin + k*spacing, measured
// in the z-plane.
inline double axis_distance(double v, double origin, double spacing) noexcept {
    double u = (v - origin) / spacing;
    return spacing * std::fabs(u - round_half_away(u));
}

inline double coverage_of(double distance, const ComplexGridParams& p) noexcept {
    if (!std::isfinite(distance)) return 0.0;
    double k = (p.reach - distance) / p.pixel;
    if (!(k > 0.0)) return 0.0;  // also NaN
    return k > 1.0 ? 1.0 : k;
}

// Mapping 4: the parameters P1..P4 once per item.
Error prepare_moebius(const InfiniteGeometryRecord& rec, ComplexGridParams& p) noexcept {
    Complex p1{rec.p1[0], rec.p1[1]}, p2{rec.p2[0], rec.p2[1]}, p3{rec.p3[0], rec.p3[1]},
        p4{rec.p4[0], rec.p4[1]};
    double t = p.t;
    if (t >= 0.999999999999) {
        if (norm2(p4) > 1e-24) {
            p.P1 = div(p1, p4);
            p.P2 = div(p2, p4);
            p.P3 = div(p3, p4);
            p.P4 = {1.0, 0.0};
        } else {
            p.P1 = p1;
            p.P2 = p2;
            p.P3 = p3;
            p.P4 = p4;
        }
        return Error::None;
    }
    double n4 = norm2(p4);
    if (!(n4 > 1e-300) || !std::isfinite(n4)) return Error::InvalidComplexGrid;
    Complex q1 = div(p1, p4), q2 = div(p2, p4), q3 = div(p3, p4);
    Complex D = sub(q1, mul(q2, q3));
    double nd = norm2(D);
    if (!(nd > 1e-300) || !std::isfinite(nd)) return Error::InvalidComplexGrid;
    double mag = std::pow(std::sqrt(nd), t);
    double angle = t * std::atan2(D.im, D.re);
    Complex Dt{mag * std::cos(angle), mag * std::sin(angle)};
    p.P2 = scale(t, q2);
    p.P3 = scale(t, q3);
    p.P1 = add(mul(p.P2, p.P3), Dt);
    p.P4 = {1.0, 0.0};
    return Error::None;
}

}  // namespace

Error prepare_complex_grid(const InfiniteGeometryRecord& rec, const InfiniteColours& colours,
                           const FrameView& view, ComplexGridParams& p) noexcept {
    if (!(rec.a2 > 0.0) || !(rec.a3 > 0.0)) return Error::InvalidComplexGrid;
    if (rec.variant < 1 || rec.variant > 4) return Error::InvalidComplexGrid;
    p.origin_re = rec.a0;
    p.origin_im = rec.a1;
    p.spacing_re = rec.a2;
    p.spacing_im = rec.a3;
    p.mapping = rec.variant;
    p.t = clamp(rec.t, 0.0, 1.0);  // a NaN t stays NaN and every branch is dropped
    p.one_minus_t = 1.0 - p.t;
    p.two_t = 2.0 * p.t;
    p.four_t = 4.0 * p.t;
    p.d = scale(p.one_minus_t, Complex{rec.p1[0], rec.p1[1]});
    double T = p.t * kPi / 2.0;
    p.cos_t = std::cos(T);
    p.sin_t = std::sin(T);
    if (p.mapping == 4) VOKRI_TRY(prepare_moebius(rec, p));

    const double* m = rec.transform;
    double det;
    if (!invertible_transform(m, det)) return Error::InvalidComplexGrid;
    for (int k = 0; k < 6; ++k) p.m[k] = p.inverse.m[k] = m[k];
    p.inverse.det = det;

    double c = 1.0 / view.scale;
    p.reach = 0.75 * c + rec.line_width / 2.0;
    p.pixel = c > 1e-12 ? c : 1e-12;
    p.rgb1 = colours.rgb1;
    p.alpha1 = colours.alpha1;
    p.rgb2 = colours.rgb2;
    p.alpha2 = colours.alpha2;
    return Error::None;
}

int grid_branches(const ComplexGridParams& p, Complex w, GridBranch out[2]) noexcept {
    int n = 0;
    switch (p.mapping) {
        case 1: {
            if (p.t <= 1e-10) return keep(out, 0, w, Complex{1.0, 0.0});
            const double omt = p.one_minus_t;
            Complex q = csqrt(Complex{omt * omt + p.four_t * w.re, p.four_t * w.im});
            Complex z1{(q.re - omt) / p.two_t, q.im / p.two_t};
            n = keep(out, n, z1, Complex{p.two_t * z1.re + omt, p.two_t * z1.im});
            if (norm2(q) > 1e-24) {
                Complex z2{(-q.re - omt) / p.two_t, -q.im / p.two_t};
                n = keep(out, n, z2, Complex{p.two_t * z2.re + omt, p.two_t * z2.im});
            }
            return n;
        }
        case 2: {
            Complex a{w.re + 1.0, w.im};
            if (norm2(p.d) <= 1e-24) {
                if (norm2(a) > 1e-300) n = keep(out, n, clog(a), a);
                return n;
            }
            Complex q = csqrt(sub(mul(a, a), scale(4.0, p.d)));
            Complex e[2] = {{(a.re + q.re) / 2.0, (a.im + q.im) / 2.0}, {(a.re - q.re) / 2.0, (a.im - q.im) / 2.0}};
            int count = norm2(q) > 1e-24 ? 2 : 1;
            for (int k = 0; k < count; ++k) {
                if (norm2(e[k]) > 1e-300) n = keep(out, n, clog(e[k]), sub(e[k], div(p.d, e[k])));
            }
            return n;
        }
        case 3: {
            const double c = p.cos_t, s = p.sin_t;
            Complex num{w.re * c, w.im * c - s};
            Complex den{c + w.im * s, -(w.re * s)};
            if (!(norm2(den) > 1e-300)) return 0;
            Complex z = div(num, den);
            Complex v{c - z.im * s, z.re * s};  // i*z*sin T + cos T
            return keep(out, 0, z, div(Complex{1.0, 0.0}, mul(v, v)));
        }
        default: {
            Complex num = sub(mul(p.P4, w), p.P2);
            Complex den = sub(p.P1, mul(p.P3, w));
            if (!(norm2(den) > 1e-300)) return 0;
            Complex z = div(num, den);
            Complex v = add(mul(p.P3, z), p.P4);
            Complex dz = div(sub(mul(p.P1, p.P4), mul(p.P2, p.P3)), mul(v, v));
            return keep(out, 0, z, dz);
        }
    }
}

void grid_coverage(const ComplexGridParams& p, double x, double y, double& k1, double& k2) noexcept {
    k1 = 0.0;
    k2 = 0.0;
    Complex w;
    p.inverse.apply(x, y, w.re, w.im);
    GridBranch branches[2];
    int n = grid_branches(p, w, branches);
    const double* m = p.m;
    for (int b = 0; b < n; ++b) {
        const double Dr = branches[b].dz.re, Di = branches[b].dz.im;
        double P = m[0] * Dr + m[1] * Di;
        double T = m[1] * Dr - m[0] * Di;
        double R = m[2] * Dr + m[3] * Di;
        double Q = m[3] * Dr - m[2] * Di;
        double S = P * Q - T * R;
        double dr = axis_distance(branches[b].z.re, p.origin_re, p.spacing_re);
        double di = axis_distance(branches[b].z.im, p.origin_im, p.spacing_im);
        double ur, ui;
        if (std::fabs(S) <= 1e-20) {
            ur = dr <= 1e-12 ? 0.0 : INFINITY;
            ui = di <= 1e-12 ? 0.0 : INFINITY;
        } else {
            double gx = Q / S, gy = -T / S;
            double lr = std::sqrt(gx * gx + gy * gy);
            ur = (lr <= 1e-20 || !std::isfinite(lr)) ? INFINITY : dr / lr;
            double hx = -R / S, hy = P / S;
            double li = std::sqrt(hx * hx + hy * hy);
            ui = (li <= 1e-20 || !std::isfinite(li)) ? INFINITY : di / li;
        }
        k1 = std::max(k1, coverage_of(ur, p));
        k2 = std::max(k2, coverage_of(ui, p));
    }
}

void render_complex_grid(const ComplexGridParams& p, const FrameView& view, Surface& target) noexcept {
    const bool has_alpha = target.format == rgba32;
    const uint32_t width = static_cast<uint32_t>(target.width);
    const uint32_t height = static_cast<uint32_t>(target.height);
    if (p.alpha1 == 0 && p.alpha2 == 0) return;  // nothing can be blended
    for (uint32_t py = 0; py < height; ++py) {
        uint32_t* row = target.row(static_cast<int32_t>(py));
        double y = pixel_user_y(view, py);
        for (uint32_t px = 0; px < width; ++px) {
            double k1, k2;
            grid_coverage(p, pixel_user_x(view, px), y, k1, k2);
            if (k1 > 0.0) {
                double a = round_half_away(k1 * static_cast<double>(p.alpha1));
                if (a != 0.0) row[px] = blend_pixel(row[px], p.rgb1, static_cast<uint32_t>(a), has_alpha);
            }
            if (k2 > 0.0) {
                double a = round_half_away(k2 * static_cast<double>(p.alpha2));
                if (a != 0.0) row[px] = blend_pixel(row[px], p.rgb2, static_cast<uint32_t>(a), has_alpha);
            }
        }
    }
}

Error draw_complex_grid(const InfiniteGeometryRecord& rec, const InfiniteColours& colours, const FrameView& view,
                        Surface& target) noexcept {
    ComplexGridParams p;
    VOKRI_TRY(prepare_complex_grid(rec, colours, view, p));
    if (target.format != rgba32 && target.format != rgbx32) return Error::UnsupportedComplexGridSurface;
    if (view.width == 0 || view.height == 0 || target.width <= 0 || target.height <= 0) return Error::None;
    render_complex_grid(p, view, target);
    return Error::None;
}

}  // namespace vokri
