#include "items/fields/fractal_field.h"

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>

#include "common/numeric.h"

namespace vokri {

namespace {

constexpr double kLn2 = 0.6931471805599453;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kChannelOffset[3] = {0.0, 0.12, 0.24};

// Mandelbrot points inside the period-2 bulb or the main cardioid never
// escape; they are interior without iterating.
inline bool mandelbrot_interior(double re, double im) noexcept {
    double bx = re + 1.0;
    if (bx * bx + im * im <= 0.0625) return true;
    double cx = re - 0.25;
    double q = cx * cx + im * im;
    return q * (q + cx) <= 0.25 * (im * im);
}

inline uint32_t colour_byte(double value) noexcept {
    // A NaN value (from a non-finite colour phase) gives 0.
    if (!(value > 0.0)) return 0;
    if (value >= 255.0) return 255;
    return static_cast<uint32_t>(round_half_away(value));
}

inline void blend_into(uint32_t& dst, uint32_t rgba, bool has_alpha) noexcept {
    uint32_t a = rgba >> 24;
    if (a == 0) return;
    dst = blend_pixel(dst, rgba & 0x00FFFFFFu, a, has_alpha);
}

#if VOKRI_X86_64
// Lanes per block: the vector kernels run two registers side by side so that
// the multiplications of one overlap the additions of the other.
constexpr uint32_t kBlock = 8;

struct Block {
    alignas(32) double z_re[kBlock];
    alignas(32) double z_im[kBlock];
    alignas(32) double c_re[kBlock];
    alignas(32) double c_im[kBlock];
    alignas(32) int64_t active[kBlock];  // all ones: iterate this lane
    alignas(32) double iteration[kBlock];  // escape iteration, 0 when none
};

// Two lanes per register, two registers. SSE2 has no blend, so lanes are
// selected with and/andnot/or.
void iterate_sse2(Block& b, uint32_t limit, double escape2) noexcept {
    constexpr int U = kBlock / 2;
    __m128d zr[U], zi[U], cr[U], ci[U], act[U], it[U], em[U];
    for (int u = 0; u < U; ++u) {
        zr[u] = _mm_load_pd(b.z_re + 2 * u);
        zi[u] = _mm_load_pd(b.z_im + 2 * u);
        cr[u] = _mm_load_pd(b.c_re + 2 * u);
        ci[u] = _mm_load_pd(b.c_im + 2 * u);
        act[u] = _mm_castsi128_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(b.active + 2 * u)));
        it[u] = _mm_setzero_pd();
        em[u] = _mm_setzero_pd();
    }
    const __m128d two = _mm_set1_pd(2.0);
    const __m128d r2 = _mm_set1_pd(escape2);
    const __m128d one = _mm_set1_pd(1.0);
    __m128d iv = one;
    for (uint32_t i = 1; i <= limit; ++i) {
        __m128d any = _mm_setzero_pd();
        for (int u = 0; u < U; ++u) {
            __m128d nr = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(zr[u], zr[u]), _mm_mul_pd(zi[u], zi[u])), cr[u]);
            __m128d ni = _mm_add_pd(_mm_mul_pd(_mm_mul_pd(two, zr[u]), zi[u]), ci[u]);
            __m128d mag = _mm_add_pd(_mm_mul_pd(nr, nr), _mm_mul_pd(ni, ni));
            __m128d esc = _mm_and_pd(_mm_cmpgt_pd(mag, r2), act[u]);
            it[u] = _mm_or_pd(_mm_and_pd(esc, iv), _mm_andnot_pd(esc, it[u]));
            em[u] = _mm_or_pd(_mm_and_pd(esc, mag), _mm_andnot_pd(esc, em[u]));
            act[u] = _mm_andnot_pd(esc, act[u]);
            any = _mm_or_pd(any, act[u]);
            zr[u] = nr;
            zi[u] = ni;
        }
        if (_mm_movemask_pd(any) == 0) break;
        iv = _mm_add_pd(iv, one);
    }
    for (int u = 0; u < U; ++u) {
        _mm_store_pd(b.iteration + 2 * u, it[u]);
        _mm_store_pd(b.z_re + 2 * u, em[u]);
    }
}

// Four lanes per register, two registers.
__attribute__((target("avx2"))) void iterate_avx2(Block& b, uint32_t limit, double escape2) noexcept {
    constexpr int U = kBlock / 4;
    __m256d zr[U], zi[U], cr[U], ci[U], act[U], it[U], em[U];
    for (int u = 0; u < U; ++u) {
        zr[u] = _mm256_load_pd(b.z_re + 4 * u);
        zi[u] = _mm256_load_pd(b.z_im + 4 * u);
        cr[u] = _mm256_load_pd(b.c_re + 4 * u);
        ci[u] = _mm256_load_pd(b.c_im + 4 * u);
        act[u] = _mm256_castsi256_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(b.active + 4 * u)));
        it[u] = _mm256_setzero_pd();
        em[u] = _mm256_setzero_pd();
    }
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d r2 = _mm256_set1_pd(escape2);
    const __m256d one = _mm256_set1_pd(1.0);
    __m256d iv = one;
    for (uint32_t i = 1; i <= limit; ++i) {
        __m256d any = _mm256_setzero_pd();
        for (int u = 0; u < U; ++u) {
            __m256d nr =
                _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(zr[u], zr[u]), _mm256_mul_pd(zi[u], zi[u])), cr[u]);
            __m256d ni = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, zr[u]), zi[u]), ci[u]);
            __m256d mag = _mm256_add_pd(_mm256_mul_pd(nr, nr), _mm256_mul_pd(ni, ni));
            __m256d esc = _mm256_and_pd(_mm256_cmp_pd(mag, r2, _CMP_GT_OQ), act[u]);
            it[u] = _mm256_blendv_pd(it[u], iv, esc);
            em[u] = _mm256_blendv_pd(em[u], mag, esc);
            act[u] = _mm256_andnot_pd(esc, act[u]);
            any = _mm256_or_pd(any, act[u]);
            zr[u] = nr;
            zi[u] = ni;
        }
        if (_mm256_movemask_pd(any) == 0) break;
        iv = _mm256_add_pd(iv, one);
    }
    for (int u = 0; u < U; ++u) {
        _mm256_store_pd(b.iteration + 4 * u, it[u]);
        _mm256_store_pd(b.z_re + 4 * u, em[u]);
    }
}

#endif  // VOKRI_X86_64

}  // namespace

Error prepare_fractal(const InfiniteGeometryRecord& rec, const InfiniteColours& colours, FractalParams& p,
                      InverseMap& inverse) noexcept {
    if (!std::isfinite(rec.a0) || rec.a0 < 1.0 || rec.a0 > 100000.0) return Error::InvalidInfiniteGeometry;
    if (rec.variant != kFractalMandelbrot && rec.variant != kFractalJulia) return Error::InvalidFractalKind;
    double n = round_half_away(rec.a0);
    double speed = rec.p1[0];
    if (!(n >= 1.0 && n <= 100000.0) || !std::isfinite(rec.a1) || !(rec.a1 >= 2.0) || !std::isfinite(speed) ||
        !(speed > 0.0)) {
        return Error::InvalidFractal;
    }
    const double* m = rec.transform;
    double det = m[0] * m[3] - m[1] * m[2];
    // A transform with a non-finite entry has no usable inverse either.
    bool finite = true;
    for (int k = 0; k < 6; ++k) finite = finite && std::isfinite(m[k]);
    if (!finite || !(std::fabs(det) >= 1e-15)) return Error::InvalidFractalTransform;

    p.escape2 = rec.a1 * rec.a1;
    p.c_re = rec.a2;
    p.c_im = rec.a3;
    p.phase = rec.t;
    p.speed = speed;
    p.kind = rec.variant;
    p.limit = static_cast<uint32_t>(n);
    p.interior = colours.rgb1 | colours.alpha1 << 24;
    p.base = colours.rgb2 | colours.alpha2 << 24;
    for (int k = 0; k < 3; ++k) {
        double b = static_cast<double>((colours.rgb2 >> (8 * k)) & 0xFF);
        p.amplitude[k] = ((b / 255.0) * 0.65 + 0.35) * 255.0;
    }
    for (int k = 0; k < 6; ++k) inverse.m[k] = m[k];
    inverse.det = det;
    return Error::None;
}

uint32_t escaped_colour(const FractalParams& p, double iteration, double mag2) noexcept {
    double l = 0.5 * std::log(std::max(mag2, 1.0000000001));
    double nu = iteration;
    if (l > 0.0 && std::isfinite(l)) {
        nu = iteration + 1.0 - std::log(l / kLn2) / kLn2;
        if (!std::isfinite(nu)) nu = iteration;
    }
    double phase = p.phase + p.speed * (nu * 0.021);
    uint32_t out = p.base & 0xFF000000u;
    for (int k = 0; k < 3; ++k) {
        double value = p.amplitude[k] * (0.5 + 0.5 * std::cos(kTwoPi * (phase + kChannelOffset[k])));
        out |= colour_byte(value) << (8 * k);
    }
    return out;
}

uint32_t evaluate_fractal(const FractalParams& p, double re, double im) noexcept {
    double zr, zi, cr, ci;
    if (p.kind == kFractalMandelbrot) {
        if (mandelbrot_interior(re, im)) return p.interior;
        zr = 0.0;
        zi = 0.0;
        cr = re;
        ci = im;
    } else {
        zr = re;
        zi = im;
        cr = p.c_re;
        ci = p.c_im;
    }
    for (uint32_t i = 1; i <= p.limit; ++i) {
        double nr = zr * zr - zi * zi + cr;
        double ni = 2.0 * zr * zi + ci;
        zr = nr;
        zi = ni;
        double mag = zr * zr + zi * zi;
        if (mag > p.escape2) return escaped_colour(p, static_cast<double>(i), mag);
    }
    return p.interior;
}

namespace {

// The plain definition, one pixel after another.
void render_scalar(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target) noexcept {
    const bool has_alpha = target.format == rgba32;
    const uint32_t width = static_cast<uint32_t>(target.width);
    const uint32_t height = static_cast<uint32_t>(target.height);
    for (uint32_t py = 0; py < height; ++py) {
        uint32_t* row = target.row(static_cast<int32_t>(py));
        double y = pixel_user_y(view, py);
        for (uint32_t px = 0; px < width; ++px) {
            double re, im;
            inverse.apply(pixel_user_x(view, px), y, re, im);
            blend_into(row[px], evaluate_fractal(p, re, im), has_alpha);
        }
    }
}

#if VOKRI_X86_64
// Blocks of kBlock pixels iterated side by side; `iterate` is the SSE2 or
// the AVX2 form, both repeating the scalar arithmetic lane by lane.
void render_blocks(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target,
                   void (*iterate)(Block&, uint32_t, double) noexcept) noexcept {
    const bool has_alpha = target.format == rgba32;
    const uint32_t width = static_cast<uint32_t>(target.width);
    const uint32_t height = static_cast<uint32_t>(target.height);
    const bool mandelbrot = p.kind == kFractalMandelbrot;
    Block b;
    for (uint32_t py = 0; py < height; ++py) {
        uint32_t* row = target.row(static_cast<int32_t>(py));
        double y = pixel_user_y(view, py);
        for (uint32_t x0 = 0; x0 < width; x0 += kBlock) {
            uint32_t lanes = std::min(kBlock, width - x0);
            bool any = false;
            for (uint32_t k = 0; k < kBlock; ++k) {
                double re = 0, im = 0;
                bool live = k < lanes;
                if (live) inverse.apply(pixel_user_x(view, x0 + k), y, re, im);
                if (mandelbrot) {
                    live = live && !mandelbrot_interior(re, im);
                    b.z_re[k] = 0.0;
                    b.z_im[k] = 0.0;
                    b.c_re[k] = re;
                    b.c_im[k] = im;
                } else {
                    b.z_re[k] = re;
                    b.z_im[k] = im;
                    b.c_re[k] = p.c_re;
                    b.c_im[k] = p.c_im;
                }
                b.active[k] = live ? -1 : 0;
                any = any || live;
            }
            if (!any) {
                for (uint32_t k = 0; k < lanes; ++k) blend_into(row[x0 + k], p.interior, has_alpha);
                continue;
            }
            iterate(b, p.limit, p.escape2);
            for (uint32_t k = 0; k < lanes; ++k) {
                double it = b.iteration[k];
                uint32_t colour = it > 0.0 ? escaped_colour(p, it, b.z_re[k]) : p.interior;
                blend_into(row[x0 + k], colour, has_alpha);
            }
        }
    }
}
#endif

}  // namespace

void render_fractal(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target) noexcept {
#if VOKRI_X86_64
    if (cpu::usable(cpu::Isa::avx2)) return render_blocks(p, inverse, view, target, iterate_avx2);
    if (cpu::usable(cpu::Isa::sse2)) return render_blocks(p, inverse, view, target, iterate_sse2);
#endif
    render_scalar(p, inverse, view, target);
}

Error draw_fractal(const InfiniteGeometryRecord& rec, const InfiniteColours& colours, const FrameView& view,
                   Surface& target) noexcept {
    FractalParams p;
    InverseMap inverse;
    VOKRI_TRY(prepare_fractal(rec, colours, p, inverse));
    if (target.format != rgba32 && target.format != rgbx32) return Error::UnsupportedFractalSurface;
    if (view.width == 0 || view.height == 0 || target.width <= 0 || target.height <= 0) return Error::None;
    render_fractal(p, inverse, view, target);
    return Error::None;
}

}  // namespace vokri
