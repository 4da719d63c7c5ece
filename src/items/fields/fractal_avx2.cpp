// The AVX2 colouring kernels of the fractal's block renderer: cosines and
// logarithms in four lanes, close enough to std::cos and std::log that the
// palette_band check tells where they cannot change a byte.
#include "items/fields/fractal_palette.h"

#if VOKRI_X86_64
#include <immintrin.h>

#include <cmath>

namespace vokri::fractal_detail {

namespace {

// The byte of amplitude * (0.5 + 0.5c) when no value within `band` of it
// rounds differently (it lies farther than `band` from every half integer;
// 0 and 255 lie inside runs of one byte), or -1.
inline int byte_if_clear(double amplitude, double c, double band) noexcept {
    const double value = amplitude * (0.5 + 0.5 * c);
    if (!(value >= 0.0 && value < 256.0)) return -1;
    const double fraction = value - static_cast<double>(static_cast<int64_t>(value));
    if (!(std::fabs(fraction - 0.5) >= band)) return -1;
    return static_cast<int>(colour_byte(value));
}

// The palette bytes from cosines `c` near the true cosines of the
// arguments, when none of them can round differently (see byte_if_clear);
// -1 otherwise.
inline int64_t palette_if_clear(const double amplitude[3], const double c[3], double band) noexcept {
    uint32_t out = 0;
    for (int ch = 0; ch < 3; ++ch) {
        const int byte = byte_if_clear(amplitude[ch], c[ch], band);
        if (byte < 0) return -1;
        out |= static_cast<uint32_t>(byte) << (8 * ch);
    }
    return out;
}

}  // namespace

VOKRI_AVX2_BEGIN

// One Horner step: coefficient + z * acc.
inline __m256d step(__m256d acc, __m256d z, double coefficient) noexcept {
    return _mm256_add_pd(_mm256_set1_pd(coefficient), _mm256_mul_pd(z, acc));
}

// Four cosines within 1e-15 of the true cosine for |a| <= 2^20 (NaN beyond):
// a = k pi/2 + r with |r| <= pi/4, pi/2 split in three parts of 33 bits so
// that k times each of the first two is exact (Cody and Waite), then the
// sine and cosine kernels of fdlibm (below one unit in the last place for
// |r| <= pi/4) chosen by the quadrant. Plain IEEE operations in every lane,
// no fused multiply-add.
__m256d cos_close_avx2(__m256d a) noexcept {
    const __m256d magic = _mm256_set1_pd(6755399441055744.0);  // 1.5 * 2^52
    const __m256d t = _mm256_mul_pd(a, _mm256_set1_pd(6.36619772367581382433e-01));
    const __m256d km = _mm256_add_pd(t, magic);
    const __m256d k = _mm256_sub_pd(km, magic);
    __m256d r = _mm256_sub_pd(a, _mm256_mul_pd(k, _mm256_set1_pd(1.57079632673412561417e+00)));
    r = _mm256_sub_pd(r, _mm256_mul_pd(k, _mm256_set1_pd(6.07710050630396597660e-11)));
    r = _mm256_sub_pd(r, _mm256_mul_pd(k, _mm256_set1_pd(2.02226624871116645580e-21)));
    const __m256d z = _mm256_mul_pd(r, r);
    __m256d sp = _mm256_set1_pd(1.58969099521155010221e-10);
    sp = step(sp, z, -2.50507602534068634195e-08);
    sp = step(sp, z, 2.75573137070700676789e-06);
    sp = step(sp, z, -1.98412698298579493134e-04);
    sp = step(sp, z, 8.33333333332248946124e-03);
    sp = step(sp, z, -1.66666666666666324348e-01);
    const __m256d s = _mm256_add_pd(r, _mm256_mul_pd(_mm256_mul_pd(r, z), sp));
    __m256d cp = _mm256_set1_pd(-1.13596475577881948265e-11);
    cp = step(cp, z, 2.08757232129817482790e-09);
    cp = step(cp, z, -2.75573143513906633035e-07);
    cp = step(cp, z, 2.48015872894767294178e-05);
    cp = step(cp, z, -1.38888888888741095749e-03);
    cp = step(cp, z, 4.16666666666666019037e-02);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d hz = _mm256_mul_pd(_mm256_set1_pd(0.5), z);
    const __m256d w = _mm256_sub_pd(one, hz);
    const __m256d c = _mm256_add_pd(
        w, _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(one, w), hz), _mm256_mul_pd(z, _mm256_mul_pd(z, cp))));
    // Quadrant 0: c, 1: -s, 2: -c, 3: s.
    const __m256i q = _mm256_castpd_si256(km);
    const __m256i odd = _mm256_cmpeq_epi64(_mm256_and_si256(q, _mm256_set1_epi64x(1)), _mm256_set1_epi64x(1));
    const __m256d v = _mm256_blendv_pd(c, s, _mm256_castsi256_pd(odd));
    const __m256i sign = _mm256_slli_epi64(_mm256_and_si256(_mm256_add_epi64(q, _mm256_set1_epi64x(1)),
                                                            _mm256_set1_epi64x(2)), 62);
    const __m256d out = _mm256_xor_pd(v, _mm256_castsi256_pd(sign));
    const __m256d in_range = _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), a),
                                           _mm256_set1_pd(1048576.0), _CMP_LE_OQ);
    return _mm256_blendv_pd(_mm256_set1_pd(std::numeric_limits<double>::quiet_NaN()), out, in_range);
}

// The palette at exact arguments through cos_close_avx2. The cosines differ
// from std::cos by less than 2e-15 (the bound plus one unit in the last
// place of std::cos), the values then by less than 255 * 0.5 * 2e-15 plus
// three roundings below 2^-45: a band of 1e-12.
uint32_t palette_avx2(const double amplitude[3], const double argument[3]) noexcept {
    alignas(32) double c[4];
    _mm256_store_pd(c, cos_close_avx2(_mm256_setr_pd(argument[0], argument[1], argument[2], 0.0)));
    const int64_t bytes = palette_if_clear(amplitude, c, 1e-12);
    return bytes >= 0 ? static_cast<uint32_t>(bytes) : palette_plain(amplitude, argument);
}

// Four logarithms of finite x >= 1 within two units in the last place of
// the true ones (fdlibm's log: x = 2^k (1 + f) with 1 + f in [sqrt(2)/2,
// sqrt(2)), log(1 + f) from s = f / (2 + f); below one unit in the last
// place), so within three of std::log.
__m256d log_close_avx2(__m256d x) noexcept {
    const __m256i bits = _mm256_castpd_si256(x);
    __m256i k = _mm256_sub_epi64(_mm256_srli_epi64(bits, 52), _mm256_set1_epi64x(1023));
    __m256d m = _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi64x(0x000FFFFFFFFFFFFFll)),
                                                    _mm256_set1_epi64x(0x3FF0000000000000ll)));
    const __m256d big = _mm256_cmp_pd(m, _mm256_set1_pd(1.41421356237309504880), _CMP_GT_OQ);
    m = _mm256_blendv_pd(m, _mm256_mul_pd(m, _mm256_set1_pd(0.5)), big);
    k = _mm256_sub_epi64(k, _mm256_castpd_si256(big));  // a true lane is all ones: k + 1
    // k to double (|k| < 2^51): the bits of 1.5 * 2^52 + k, less 1.5 * 2^52.
    const __m256d magic = _mm256_set1_pd(6755399441055744.0);
    const __m256d dk = _mm256_sub_pd(
        _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(magic), k)), magic);
    const __m256d f = _mm256_sub_pd(m, _mm256_set1_pd(1.0));
    const __m256d s = _mm256_div_pd(f, _mm256_add_pd(_mm256_set1_pd(2.0), f));
    const __m256d z = _mm256_mul_pd(s, s);
    const __m256d w = _mm256_mul_pd(z, z);
    __m256d t1 = _mm256_set1_pd(1.531383769920937332e-01);
    t1 = step(t1, w, 2.222219843214978396e-01);
    t1 = step(t1, w, 3.999999999940941908e-01);
    t1 = _mm256_mul_pd(w, t1);
    __m256d t2 = _mm256_set1_pd(1.479819860511658591e-01);
    t2 = step(t2, w, 1.818357216161805012e-01);
    t2 = step(t2, w, 2.857142874366239149e-01);
    t2 = step(t2, w, 6.666666666666735130e-01);
    t2 = _mm256_mul_pd(z, t2);
    const __m256d r = _mm256_add_pd(t2, t1);
    const __m256d hfsq = _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(0.5), f), f);
    // k ln2_hi - ((hfsq - (s (hfsq + R) + k ln2_lo)) - f)
    const __m256d inner = _mm256_add_pd(_mm256_mul_pd(s, _mm256_add_pd(hfsq, r)),
                                        _mm256_mul_pd(dk, _mm256_set1_pd(1.90821492927058770002e-10)));
    return _mm256_sub_pd(_mm256_mul_pd(dk, _mm256_set1_pd(6.93147180369123816490e-01)),
                         _mm256_sub_pd(_mm256_sub_pd(hfsq, inner), f));
}

// escape_phase in four lanes with log_close_avx2 (mag2 finite, above 1).
__m256d escape_phase_avx2(const FractalParams& p, __m256d iteration, __m256d mag2) noexcept {
    const __m256d l = _mm256_mul_pd(_mm256_set1_pd(0.5),
                                    log_close_avx2(_mm256_max_pd(mag2, _mm256_set1_pd(1.0000000001))));
    const __m256d ln2 = _mm256_set1_pd(kLn2);
    const __m256d nu = _mm256_sub_pd(_mm256_add_pd(iteration, _mm256_set1_pd(1.0)),
                                     _mm256_div_pd(log_close_avx2(_mm256_div_pd(l, ln2)), ln2));
    return _mm256_add_pd(_mm256_set1_pd(p.phase),
                         _mm256_mul_pd(_mm256_set1_pd(p.speed), _mm256_mul_pd(nu, _mm256_set1_pd(0.021))));
}

// The colours of the escaped lanes of a block (iteration > 0), the others
// left alone: every phase and every cosine of the block in four lanes, then
// the bytes, each checked against `band` (see palette_band).
void escaped_colours_avx2(const FractalParams& p, const double* iteration, const double* mag2, uint32_t lanes,
                          double band, uint32_t* colour) noexcept {
    constexpr uint32_t kMost = 8;
    alignas(32) double it[kMost + 4], m2[kMost + 4], phase[kMost + 4];
    alignas(32) double argument[3 * kMost + 4];
    alignas(32) double c[3 * kMost + 4];
    uint32_t lane_of[kMost], n = 0;
    for (uint32_t k = 0; k < lanes && k < kMost; ++k) {
        if (!(iteration[k] > 0.0)) continue;
        if (!std::isfinite(mag2[k])) {  // the phase of the definition, exactly
            colour[k] = escaped_colour(p, iteration[k], mag2[k]);
            continue;
        }
        it[n] = iteration[k];
        m2[n] = mag2[k];
        lane_of[n++] = k;
    }
    for (uint32_t i = n; i < n + 4; ++i) it[i] = m2[i] = 4.0;
    for (uint32_t i = 0; i < n; i += 4)
        _mm256_store_pd(phase + i, escape_phase_avx2(p, _mm256_load_pd(it + i), _mm256_load_pd(m2 + i)));
    for (uint32_t j = 0; j < n; ++j)
        for (int ch = 0; ch < 3; ++ch) argument[3 * j + ch] = kTwoPi * (phase[j] + kChannelOffset[ch]);
    for (uint32_t i = 3 * n; i < 3 * n + 4; ++i) argument[i] = 0.0;
    for (uint32_t i = 0; i < 3 * n; i += 4) _mm256_store_pd(c + i, cos_close_avx2(_mm256_load_pd(argument + i)));
    for (uint32_t j = 0; j < n; ++j) {
        const int64_t bytes = palette_if_clear(p.amplitude, c + 3 * j, band);
        colour[lane_of[j]] = bytes >= 0 ? (p.base & 0xFF000000u) | static_cast<uint32_t>(bytes)
                                        : escaped_colour(p, it[j], m2[j]);
    }
}

// The complex points of pixels x0 .. x0 + 7 of the row at user y: the
// arithmetic of pixel_user_x and InverseMap::apply, lane by lane.
void block_points_avx2(const FrameView& view, const InverseMap& inv, double y, uint32_t x0, double* re,
                       double* im) noexcept {
    const __m256d dy = _mm256_sub_pd(_mm256_set1_pd(y), _mm256_set1_pd(inv.m[5]));
    for (uint32_t half = 0; half < kBlock; half += 4) {
        const double px = static_cast<double>(x0 + half);
        __m256d x = _mm256_add_pd(_mm256_setr_pd(px, px + 1.0, px + 2.0, px + 3.0), _mm256_set1_pd(0.5));
        x = _mm256_div_pd(_mm256_sub_pd(x, _mm256_set1_pd(view.origin_x)), _mm256_set1_pd(view.scale));
        const __m256d dx = _mm256_sub_pd(x, _mm256_set1_pd(inv.m[4]));
        const __m256d r = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(inv.m[3]), dx),
                                        _mm256_mul_pd(_mm256_set1_pd(inv.m[1]), dy));
        const __m256d i = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(inv.m[0]), dy),
                                        _mm256_mul_pd(_mm256_set1_pd(inv.m[2]), dx));
        _mm256_store_pd(re + half, _mm256_div_pd(r, _mm256_set1_pd(inv.det)));
        _mm256_store_pd(im + half, _mm256_div_pd(i, _mm256_set1_pd(inv.det)));
    }
}

VOKRI_AVX2_END

}  // namespace vokri::fractal_detail

#endif  // VOKRI_X86_64
