#include "items/fields/fractal_field.h"

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

// The palette phase of a point that escaped at `iteration` with |z|^2 = mag2.
double escape_phase(const FractalParams& p, double iteration, double mag2) noexcept {
    double l = 0.5 * std::log(std::max(mag2, 1.0000000001));
    double nu = iteration;
    if (l > 0.0 && std::isfinite(l)) {
        nu = iteration + 1.0 - std::log(l / kLn2) / kLn2;
        if (!std::isfinite(nu)) nu = iteration;
    }
    return p.phase + p.speed * (nu * 0.021);
}

inline uint32_t channel_byte(double amplitude, double argument) noexcept {
    return colour_byte(amplitude * (0.5 + 0.5 * std::cos(argument)));
}

// The three channel bytes (red in bits 0-7) of the palette at the cosine
// arguments `argument`: the definition.
uint32_t palette_plain(const double amplitude[3], const double argument[3]) noexcept {
    uint32_t out = 0;
    for (int k = 0; k < 3; ++k) out |= channel_byte(amplitude[k], argument[k]) << (8 * k);
    return out;
}

#if VOKRI_X86_64
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

// How far the palette values of the four-lane path may lie from those of
// the definition, for one fractal. Its logarithms are within three units in
// the last place of std::log, so (with mag2 > 4, l = log(mag2) / 2 >= 0.69
// and l / ln 2 >= 1) log(l / ln 2) moves by less than 1e-14 and nu by less
// than 2e-14 plus a unit of nu, |nu| <= limit + 12 (log(mag2) <= 710). Each
// later step (nu * 0.021, times the speed, plus the phase, plus the channel
// offset, times 2 pi) carries that on and adds at most one unit of its own
// result; a unit of x is at most |x| 2^-52. The cosine then moves by at most
// the argument's change plus 2e-15 (cos_close_avx2 and std::cos), and the
// value, 127.5 times that plus three roundings below 2^-45.
double palette_band(const FractalParams& p) noexcept {
    const double u = 0x1p-52;
    const double nu_max = static_cast<double>(p.limit) + 12.0;
    const double d_nu = 2e-14 + nu_max * u;
    const double t1_max = nu_max * 0.021, d_t1 = 0.021 * d_nu + t1_max * u;
    const double t2_max = p.speed * t1_max, d_t2 = p.speed * d_t1 + t2_max * u;
    const double phase_max = std::fabs(p.phase) + t2_max, d_phase = d_t2 + phase_max * u;
    const double sum_max = phase_max + 0.24, d_sum = d_phase + sum_max * u;
    const double d_argument = kTwoPi * d_sum + kTwoPi * sum_max * u;
    const double band = 2.0 * (127.5 * (d_argument + 2e-15) + 1e-12);  // twice, for margin
    return std::isfinite(band) ? band : 1.0;  // 1: every value falls back
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
#endif  // VOKRI_X86_64

}  // namespace

uint32_t escaped_colour(const FractalParams& p, double iteration, double mag2) noexcept {
    const double phase = escape_phase(p, iteration, mag2);
    double argument[3];
    for (int k = 0; k < 3; ++k) argument[k] = kTwoPi * (phase + kChannelOffset[k]);
    return (p.base & 0xFF000000u) | palette_plain(p.amplitude, argument);
}

namespace {

#if VOKRI_X86_64
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

VOKRI_AVX2_END
#endif  // VOKRI_X86_64

#if VOKRI_X86_64
VOKRI_AVX2_BEGIN

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
#endif  // VOKRI_X86_64

}  // namespace

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
