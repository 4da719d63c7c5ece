#include "items/fields/fractal_field.h"

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/numeric.h"
#include "items/fields/fractal_palette.h"

namespace vokri {

namespace {

using namespace fractal_detail;

// Mandelbrot points inside the period-2 bulb or the main cardioid never
// escape; they are interior without iterating.
inline bool mandelbrot_interior(double re, double im) noexcept {
    double bx = re + 1.0;
    if (bx * bx + im * im <= 0.0625) return true;
    double cx = re - 0.25;
    double q = cx * cx + im * im;
    return q * (q + cx) <= 0.25 * (im * im);
}

inline void blend_into(uint32_t& dst, uint32_t rgba, bool has_alpha) noexcept {
    uint32_t a = rgba >> 24;
    if (a == 0) return;
    // At alpha 255 the blend keeps the colour bytes (c * 255 / 255 + d * 0 /
    // 255) and gives alpha 255 (255 + d - d * 255 / 255): no arithmetic.
    if (a == 255) {
        dst = has_alpha ? rgba : rgba & 0x00FFFFFFu;
        return;
    }
    dst = blend_pixel(dst, rgba & 0x00FFFFFFu, a, has_alpha);
}

#if VOKRI_X86_64

// The escape loop in vector lanes (fractal_iterate.inc), once per
// instruction set: SSE2, two lanes a register (lanes are selected with
// and/andnot/or, SSE2 having no blend), and AVX2, four.
struct Sse2Doubles {
    using D = __m128d;
    static constexpr int kWidth = 2;
    static D load(const double* p) noexcept { return _mm_load_pd(p); }
    static D load_mask(const int64_t* p) noexcept {
        return _mm_castsi128_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static void store(double* p, D v) noexcept { _mm_store_pd(p, v); }
    static D set1(double v) noexcept { return _mm_set1_pd(v); }
    static D zero() noexcept { return _mm_setzero_pd(); }
    static D add(D a, D b) noexcept { return _mm_add_pd(a, b); }
    static D sub(D a, D b) noexcept { return _mm_sub_pd(a, b); }
    static D mul(D a, D b) noexcept { return _mm_mul_pd(a, b); }
    static D greater(D a, D b) noexcept { return _mm_cmpgt_pd(a, b); }
    static D both(D a, D b) noexcept { return _mm_and_pd(a, b); }
    static D either(D a, D b) noexcept { return _mm_or_pd(a, b); }
    static D and_not(D mask, D a) noexcept { return _mm_andnot_pd(mask, a); }
    // mask ? b : a, lane by lane (masks all ones or all zeros).
    static D select(D a, D b, D mask) noexcept { return _mm_or_pd(_mm_and_pd(mask, b), _mm_andnot_pd(mask, a)); }
    static bool none(D mask) noexcept { return _mm_movemask_pd(mask) == 0; }
};

namespace sse2_lanes {
using V = Sse2Doubles;
#include "items/fields/fractal_iterate.inc"
}  // namespace sse2_lanes

VOKRI_AVX2_BEGIN

struct Avx2Doubles {
    using D = __m256d;
    static constexpr int kWidth = 4;
    static D load(const double* p) noexcept { return _mm256_load_pd(p); }
    static D load_mask(const int64_t* p) noexcept {
        return _mm256_castsi256_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(p)));
    }
    static void store(double* p, D v) noexcept { _mm256_store_pd(p, v); }
    static D set1(double v) noexcept { return _mm256_set1_pd(v); }
    static D zero() noexcept { return _mm256_setzero_pd(); }
    static D add(D a, D b) noexcept { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) noexcept { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) noexcept { return _mm256_mul_pd(a, b); }
    static D greater(D a, D b) noexcept { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static D both(D a, D b) noexcept { return _mm256_and_pd(a, b); }
    static D either(D a, D b) noexcept { return _mm256_or_pd(a, b); }
    static D and_not(D mask, D a) noexcept { return _mm256_andnot_pd(mask, a); }
    static D select(D a, D b, D mask) noexcept { return _mm256_blendv_pd(a, b, mask); }
    static bool none(D mask) noexcept { return _mm256_movemask_pd(mask) == 0; }
};

namespace avx2_lanes {
using V = Avx2Doubles;
#include "items/fields/fractal_iterate.inc"
}  // namespace avx2_lanes

VOKRI_AVX2_END

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
    double det;
    if (!invertible_transform(m, det)) return Error::InvalidFractalTransform;

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

namespace fractal_testing {
uint32_t palette(const double amplitude[3], const double argument[3]) noexcept {
    static constexpr cpu::Forms<uint32_t (*)(const double*, const double*) noexcept> kForms{
        .scalar = palette_plain, .avx2 = VOKRI_X86_FORM(palette_avx2)};
    return kForms.pick()(amplitude, argument);
}

uint32_t escaped_colour(const FractalParams& p, double iteration, double mag2) noexcept {
#if VOKRI_X86_64
    if (cpu::usable(cpu::Isa::avx2)) {
        uint32_t colour = p.interior;
        escaped_colours_avx2(p, &iteration, &mag2, 1, palette_band(p), &colour);
        return colour;
    }
#endif
    return vokri::escaped_colour(p, iteration, mag2);
}
}  // namespace fractal_testing

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
    const bool wide_palette = cpu::usable(cpu::Isa::avx2);
    const double band = palette_band(p);
    Block b;
    for (uint32_t py = 0; py < height; ++py) {
        uint32_t* row = target.row(static_cast<int32_t>(py));
        double y = pixel_user_y(view, py);
        for (uint32_t x0 = 0; x0 < width; x0 += kBlock) {
            uint32_t lanes = std::min(kBlock, width - x0);
            bool any = false;
            alignas(32) double point_re[kBlock], point_im[kBlock];
            if (wide_palette && lanes == kBlock) {
                block_points_avx2(view, inverse, y, x0, point_re, point_im);
            } else {
                for (uint32_t k = 0; k < lanes; ++k)
                    inverse.apply(pixel_user_x(view, x0 + k), y, point_re[k], point_im[k]);
            }
            for (uint32_t k = 0; k < kBlock; ++k) {
                bool live = k < lanes;
                const double re = live ? point_re[k] : 0.0, im = live ? point_im[k] : 0.0;
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
            uint32_t colour[kBlock];
            for (uint32_t k = 0; k < lanes; ++k) colour[k] = p.interior;
            if (wide_palette) {
                escaped_colours_avx2(p, b.iteration, b.z_re, lanes, band, colour);
            } else {
                for (uint32_t k = 0; k < lanes; ++k)
                    if (b.iteration[k] > 0.0) colour[k] = escaped_colour(p, b.iteration[k], b.z_re[k]);
            }
            for (uint32_t k = 0; k < lanes; ++k) blend_into(row[x0 + k], colour[k], has_alpha);
        }
    }
}
void render_sse2(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target) noexcept {
    render_blocks(p, inverse, view, target, sse2_lanes::iterate);
}

void render_avx2(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target) noexcept {
    render_blocks(p, inverse, view, target, avx2_lanes::iterate);
}
#endif

}  // namespace

void render_fractal(const FractalParams& p, const InverseMap& inverse, const FrameView& view, Surface& target) noexcept {
    static constexpr cpu::Forms<void (*)(const FractalParams&, const InverseMap&, const FrameView&, Surface&) noexcept>
        kForms{.scalar = render_scalar, .sse2 = VOKRI_X86_FORM(render_sse2), .avx2 = VOKRI_X86_FORM(render_avx2)};
    kForms.pick()(p, inverse, view, target);
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
