#include "items/fields/image_resample.h"

#include "common/cpu.h"
#include "common/numeric.h"
#include "raster/transform.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

namespace vokri::image {

namespace {

// The inverse map and the row's share of it.
struct Inverse {
    double ia, ib, ic, id;
    double u_max, v_max;

    Inverse(const Raster& raster, const Placement& p) noexcept {
        const double det = Transform{p.xx, p.xy, p.yx, p.yy, p.tx, p.ty}.determinant();
        ia = p.yy / det;
        ib = -p.xy / det;
        ic = -p.yx / det;
        id = p.xx / det;
        u_max = static_cast<double>(raster.width) + 0.5;
        v_max = static_cast<double>(raster.height) + 0.5;
    }
};

// round_half_away(clamp(v, 0, 255)) as a byte: on the clamped, non-negative
// value the truncation is the conversion itself (both zeros give 0).
inline uint32_t round_byte(double v) noexcept {
    return static_cast<uint32_t>(clamp(v, 0.0, 255.0) + 0.49999999999999994);
}

template <bool Rgba>
inline void resample_pixel(const Raster& raster, const Inverse& m, double op, double tx, double u_row,
                           double v_row, uint32_t* row, int64_t x) noexcept {
    const double dx = (static_cast<double>(x) + 0.5) - tx;
    const double u = m.ia * dx + u_row;
    const double v = m.ic * dx + v_row;
    if (!(u >= -0.5 && u <= m.u_max && v >= -0.5 && v <= m.v_max)) return;
    const Sample s = sample_bilinear(raster, u, v);
    if (!(s.a > 0)) return;
    const double opa = op * s.a;
    const double k = 1 - opa;
    const uint32_t d = row[x];
    uint32_t out = round_byte(op * s.c0 + k * static_cast<double>(d & 0xFF)) |
                   round_byte(op * s.c1 + k * static_cast<double>((d >> 8) & 0xFF)) << 8 |
                   round_byte(op * s.c2 + k * static_cast<double>((d >> 16) & 0xFF)) << 16;
    if constexpr (Rgba) out |= round_byte(255 * (opa + k * (static_cast<double>(d >> 24) / 255))) << 24;
    row[x] = out;
}

template <bool Rgba>
void scalar_rows(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
                 int64_t y0, int64_t y1) noexcept {
    const Inverse m(raster, p);
    for (int64_t y = y0; y < y1; ++y) {
        // The row's share of the inverse map, the same products for every
        // pixel of the row.
        const double dy = (static_cast<double>(y) + 0.5) - p.ty;
        const double u_row = m.ib * dy, v_row = m.id * dy;
        uint32_t* row = target.row(static_cast<int32_t>(y));
        for (int64_t x = x0; x < x1; ++x) resample_pixel<Rgba>(raster, m, op, p.tx, u_row, v_row, row, x);
    }
}

#if VOKRI_X86_64

// The AVX2 form is compiled for AVX2; it runs only where it is usable.
VOKRI_AVX2_BEGIN

// Channel c (0..3) of four pixels as f64.
inline __m256d channel(__m128i t, int c) noexcept {
    const __m128i v = _mm_and_si128(_mm_srli_epi32(t, 8 * c), _mm_set1_epi32(0xFF));
    return _mm256_cvtepi32_pd(v);
}

// round_byte of four lanes, as four 32-bit integers.
inline __m128i round_bytes(__m256d v) noexcept {
    v = _mm256_max_pd(v, _mm256_setzero_pd());  // v < 0 gives 0 (v is never NaN)
    v = _mm256_min_pd(v, _mm256_set1_pd(255.0));
    v = _mm256_add_pd(v, _mm256_set1_pd(0.49999999999999994));
    return _mm256_cvttpd_epi32(v);
}

// Every lane computes what resample_pixel computes, operation for operation
// (each an IEEE f64 operation, rounded the same way); the texel loads stay
// per lane.
template <bool Rgba>
void avx2_rows(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
               int64_t y0, int64_t y1) noexcept {
    const Inverse m(raster, p);
    const __m256d half = _mm256_set1_pd(0.5), one = _mm256_set1_pd(1.0);
    const __m256d lo = _mm256_set1_pd(-0.5), u_max = _mm256_set1_pd(m.u_max), v_max = _mm256_set1_pd(m.v_max);
    const __m256d ia = _mm256_set1_pd(m.ia), ic = _mm256_set1_pd(m.ic), tx = _mm256_set1_pd(p.tx);
    const __m256d opv = _mm256_set1_pd(op), c255 = _mm256_set1_pd(255.0);
    const __m256i low_halves = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    for (int64_t y = y0; y < y1; ++y) {
        const double dy = (static_cast<double>(y) + 0.5) - p.ty;
        const double u_row_s = m.ib * dy, v_row_s = m.id * dy;
        const __m256d u_row = _mm256_set1_pd(u_row_s), v_row = _mm256_set1_pd(v_row_s);
        uint32_t* row = target.row(static_cast<int32_t>(y));
        int64_t x = x0;
        for (; x + 4 <= x1; x += 4) {
            const __m256d xd = _mm256_setr_pd(static_cast<double>(x), static_cast<double>(x + 1),
                                              static_cast<double>(x + 2), static_cast<double>(x + 3));
            const __m256d dx = _mm256_sub_pd(_mm256_add_pd(xd, half), tx);
            const __m256d u = _mm256_add_pd(_mm256_mul_pd(ia, dx), u_row);
            const __m256d v = _mm256_add_pd(_mm256_mul_pd(ic, dx), v_row);
            const __m256d inside =
                _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(u, lo, _CMP_GE_OQ), _mm256_cmp_pd(u, u_max, _CMP_LE_OQ)),
                              _mm256_and_pd(_mm256_cmp_pd(v, lo, _CMP_GE_OQ), _mm256_cmp_pd(v, v_max, _CMP_LE_OQ)));
            const int inside_bits = _mm256_movemask_pd(inside);
            if (inside_bits == 0) continue;
            const __m256d uu = _mm256_sub_pd(u, half), vv = _mm256_sub_pd(v, half);
            const __m256d fi = _mm256_floor_pd(uu), fj = _mm256_floor_pd(vv);
            const __m256d fx = _mm256_sub_pd(uu, fi), fy = _mm256_sub_pd(vv, fj);
            alignas(32) double fi_s[4], fj_s[4];
            _mm256_store_pd(fi_s, fi);
            _mm256_store_pd(fj_s, fj);
            alignas(16) uint32_t tex[4][4] = {};  // [texel][lane]
            for (int l = 0; l < 4; ++l) {
                if (!(inside_bits >> l & 1)) continue;
                uint32_t t[4];
                load_footprint(raster, static_cast<int64_t>(fi_s[l]), static_cast<int64_t>(fj_s[l]), t);
                for (int q = 0; q < 4; ++q) tex[q][l] = t[q];
            }
            const __m128i t00 = _mm_load_si128(reinterpret_cast<const __m128i*>(tex[0]));
            const __m128i t10 = _mm_load_si128(reinterpret_cast<const __m128i*>(tex[1]));
            const __m128i t01 = _mm_load_si128(reinterpret_cast<const __m128i*>(tex[2]));
            const __m128i t11 = _mm_load_si128(reinterpret_cast<const __m128i*>(tex[3]));
            const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
            const __m256d w00 = _mm256_mul_pd(gx, gy), w10 = _mm256_mul_pd(fx, gy);
            const __m256d w01 = _mm256_mul_pd(gx, fy), w11 = _mm256_mul_pd(fx, fy);
            const __m256d a00 = _mm256_div_pd(channel(t00, 3), c255), a10 = _mm256_div_pd(channel(t10, 3), c255);
            const __m256d a01 = _mm256_div_pd(channel(t01, 3), c255), a11 = _mm256_div_pd(channel(t11, 3), c255);
            auto weighted = [&](int c) {
                __m256d s = _mm256_mul_pd(w00, _mm256_mul_pd(channel(t00, c), a00));
                s = _mm256_add_pd(s, _mm256_mul_pd(w10, _mm256_mul_pd(channel(t10, c), a10)));
                s = _mm256_add_pd(s, _mm256_mul_pd(w01, _mm256_mul_pd(channel(t01, c), a01)));
                return _mm256_add_pd(s, _mm256_mul_pd(w11, _mm256_mul_pd(channel(t11, c), a11)));
            };
            __m256d sa = _mm256_mul_pd(w00, a00);
            sa = _mm256_add_pd(sa, _mm256_mul_pd(w10, a10));
            sa = _mm256_add_pd(sa, _mm256_mul_pd(w01, a01));
            sa = _mm256_add_pd(sa, _mm256_mul_pd(w11, a11));
            const __m256d paint = _mm256_and_pd(inside, _mm256_cmp_pd(sa, _mm256_setzero_pd(), _CMP_GT_OQ));
            if (_mm256_movemask_pd(paint) == 0) continue;
            const __m256d opa = _mm256_mul_pd(opv, sa);
            const __m256d k = _mm256_sub_pd(one, opa);
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            auto blended = [&](int c) {
                return round_bytes(
                    _mm256_add_pd(_mm256_mul_pd(opv, weighted(c)), _mm256_mul_pd(k, channel(d, c))));
            };
            __m128i out = _mm_or_si128(blended(0), _mm_slli_epi32(blended(1), 8));
            out = _mm_or_si128(out, _mm_slli_epi32(blended(2), 16));
            if constexpr (Rgba) {
                const __m256d da = _mm256_div_pd(channel(d, 3), c255);
                const __m256d a = _mm256_mul_pd(c255, _mm256_add_pd(opa, _mm256_mul_pd(k, da)));
                out = _mm_or_si128(out, _mm_slli_epi32(round_bytes(a), 24));
            }
            // Lanes that paint nothing keep their pixel.
            const __m128i keep = _mm256_castsi256_si128(
                _mm256_permutevar8x32_epi32(_mm256_castpd_si256(paint), low_halves));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_blendv_epi8(d, out, keep));
        }
        for (; x < x1; ++x) resample_pixel<Rgba>(raster, m, op, p.tx, u_row_s, v_row_s, row, x);
    }
}

VOKRI_AVX2_END

#endif

}  // namespace

void resample_scalar(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
                     int64_t y0, int64_t y1) noexcept {
    if (target.format == rgba32)
        scalar_rows<true>(raster, p, op, target, x0, x1, y0, y1);
    else
        scalar_rows<false>(raster, p, op, target, x0, x1, y0, y1);
}

void resample_avx2(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
                   int64_t y0, int64_t y1) noexcept {
#if VOKRI_X86_64
    if (target.format == rgba32)
        avx2_rows<true>(raster, p, op, target, x0, x1, y0, y1);
    else
        avx2_rows<false>(raster, p, op, target, x0, x1, y0, y1);
#else
    resample_scalar(raster, p, op, target, x0, x1, y0, y1);
#endif
}

void resample(const Raster& raster, const Placement& p, double op, Surface& target, int64_t x0, int64_t x1,
              int64_t y0, int64_t y1) noexcept {
    static constexpr cpu::Forms<void (*)(const Raster&, const Placement&, double, Surface&, int64_t, int64_t, int64_t,
                                         int64_t) noexcept>
        kForms{.scalar = resample_scalar, .avx2 = VOKRI_X86_FORM(resample_avx2)};
    kForms.pick()(raster, p, op, target, x0, x1, y0, y1);
}

}  // namespace vokri::image
