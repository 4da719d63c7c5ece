// The fractal field written out from its formula, pixel by pixel with the
// standard functions: the reference of the fractal tests and the plain loop
// the fractal benchmarks measure against.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "vokri_core.h"

namespace vt {

// The palette bytes of a point that escaped at iteration i with squared
// modulus m2.
inline void fractal_palette(double i, double m2, double t, double speed, const uint32_t base[3], uint32_t out[3]) {
    const double ln2 = 0.6931471805599453;
    const double l = 0.5 * std::log(std::max(m2, 1.0000000001));
    double nu = i;
    if (l > 0 && std::isfinite(l)) {
        nu = i + 1 - std::log(l / ln2) / ln2;
        if (!std::isfinite(nu)) nu = i;
    }
    const double phase = t + speed * (nu * 0.021);
    const double offsets[3] = {0, 0.12, 0.24};
    for (int k = 0; k < 3; ++k) {
        const double amplitude = ((base[k] / 255.0) * 0.65 + 0.35) * 255.0;
        double v = amplitude * (0.5 + 0.5 * std::cos(6.283185307179586 * (phase + offsets[k])));
        v = std::min(std::max(v, 0.0), 255.0);
        out[k] = static_cast<uint32_t>(std::trunc(v + 0.49999999999999994));
    }
}

// The rgb0 frame of one fractal record on a w x h canvas at scale s, into
// px (w * h pixels).
inline void fractal_reference_rgb0(const VokriInfiniteGeometryRecord& r, int w, int h, double s, uint32_t* px) {
    std::fill(px, px + static_cast<size_t>(w) * h, 0x0018110Eu);
    const double* m = r.transform;
    const double det = m[0] * m[3] - m[1] * m[2];
    const uint32_t n = static_cast<uint32_t>(std::trunc(r.a0 + 0.49999999999999994));
    const uint32_t base[3] = {r.colour2 >> 24, (r.colour2 >> 16) & 0xFF, (r.colour2 >> 8) & 0xFF};
    const uint32_t inner[3] = {r.colour1 >> 24, (r.colour1 >> 16) & 0xFF, (r.colour1 >> 8) & 0xFF};
    auto effective = [&](uint32_t a) {
        const double o = std::isnan(r.opacity) ? 1.0 : std::min(std::max(r.opacity, 0.0), 1.0);
        return static_cast<uint32_t>(std::trunc(o * a + 0.49999999999999994));
    };
    const uint32_t a_in = effective(r.colour1 & 0xFF), a_out = effective(r.colour2 & 0xFF);
    for (int py = 0; py < h; ++py) {
        for (int pxi = 0; pxi < w; ++pxi) {
            const double x = (pxi + 0.5 - w / 2.0) / s, y = -(py + 0.5 - h / 2.0) / s;
            const double re = (m[3] * (x - m[4]) - m[1] * (y - m[5])) / det;
            const double im = (m[0] * (y - m[5]) - m[2] * (x - m[4])) / det;
            double zr = 0, zi = 0, cr = re, ci = im;
            bool interior = false;
            if (r.variant == VOKRI_FRACTAL_MANDELBROT) {
                const double q = (re - 0.25) * (re - 0.25) + im * im;
                interior = (re + 1) * (re + 1) + im * im <= 0.0625 || q * (q + (re - 0.25)) <= 0.25 * (im * im);
            } else {
                zr = re;
                zi = im;
                cr = r.a2;
                ci = r.a3;
            }
            uint32_t esc = 0;
            double mag = 0;
            for (uint32_t i = 1; !interior && i <= n; ++i) {
                const double nr = zr * zr - zi * zi + cr;
                const double ni = 2.0 * zr * zi + ci;
                zr = nr;
                zi = ni;
                mag = zr * zr + zi * zi;
                if (mag > r.a1 * r.a1) {
                    esc = i;
                    break;
                }
            }
            uint32_t rgb[3], a = a_in;
            if (esc == 0) {
                std::copy(inner, inner + 3, rgb);
            } else {
                fractal_palette(esc, mag, r.t, r.p1[0], base, rgb);
                a = a_out;
            }
            if (a == 0) continue;
            uint32_t& d = px[size_t(py) * w + pxi];
            uint32_t out = 0;
            for (int k = 0; k < 3; ++k)
                out |= (rgb[k] * a / 255 + ((d >> (8 * k)) & 0xFF) * (255 - a) / 255) << (8 * k);
            d = out;
        }
    }
}

}  // namespace vt
