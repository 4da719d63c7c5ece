// Rasterization of one screen-space mesh triangle.
//
// The pixel test is fixed: at the pixel centre (px, py) = (x + 0.5, y + 0.5),
//   e1 = (px - x0) * (y2 - y0) - (py - y0) * (x2 - x0)
//   e2 = (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0)
//   b1 = e1 / A, b2 = e2 / A, b0 = (1 - b1) - b2
// with A = (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0), all in f32, and
// the pixel lies outside when any weight is below -1e-6. The span walk only
// decides which pixels of a row need this test at all; see row_span.
#include <cmath>

#include "common/cpu.h"
#include "common/numeric.h"
#include "items/fields/mesh_pipeline.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

namespace vokri::mesh {

namespace {

constexpr float kLightX = 0.80981976f;
constexpr float kLightY = 0.47404084f;
constexpr float kLightZ = 0.3456548f;
constexpr float kOutside = -1e-6f;

inline float min3(float a, float b, float c) noexcept {
    float m = a < b ? a : b;
    return m < c ? m : c;
}
inline float max3(float a, float b, float c) noexcept {
    float m = a > b ? a : b;
    return m > c ? m : c;
}
inline float clamp_f(float v, float lo, float hi) noexcept { return v > lo ? (v < hi ? v : hi) : lo; }

// round(v) of a value already clamped to [0, 255].
inline uint32_t byte_of(float v) noexcept { return static_cast<uint32_t>(round_half_away_f(v)); }

// Per-triangle constants of the pixel test.
struct Edges {
    float x0, y0;
    float dx10, dy10, dx20, dy20;
    float area;
};

// Everything that happens to a pixel that passed the barycentric test.
struct PixelWriter {
    const Target& target;
    const ScreenTriangle& tri;
    const Shade& shade;

    inline void write(size_t i, float b0, float b1, float b2) const noexcept {
        const float z = b0 * tri.z[0] + b1 * tri.z[1] + b2 * tri.z[2];
        if (z < 0.0f || z > 1.0f) return;
        float* depth = target.depth;
        if (z > depth[i] + 1e-7f) return;

        float nx = b0 * tri.n[0][0] + b1 * tri.n[1][0] + b2 * tri.n[2][0];
        float ny = b0 * tri.n[0][1] + b1 * tri.n[1][1] + b2 * tri.n[2][1];
        float nz = b0 * tri.n[0][2] + b1 * tri.n[1][2] + b2 * tri.n[2][2];
        const float len2 = nx * nx + ny * ny + nz * nz;
        if (len2 > 1e-20f) {
            const float len = std::sqrt(len2);
            nx = nx / len;
            ny = ny / len;
            nz = nz / len;
        }
        const float d = nx * kLightX + ny * kLightY + nz * kLightZ;
        // A NaN product (from non-finite normals) counts as unlit.
        const float lit = (d > 0.0f ? d : 0.0f) * 0.76f + 0.24f;
        float c[3];
        for (int k = 0; k < 3; ++k) c[k] = clamp_f(lit * shade.colour[k] / 255.0f, 0.0f, 1.0f);

        uint32_t& px = target.pixels[i];
        if (shade.mode == Mode::opaque) {
            depth[i] = z;
            const uint32_t alpha = target.has_alpha ? 255u : 0u;
            px = byte_of(255.0f * c[0]) | byte_of(255.0f * c[1]) << 8 | byte_of(255.0f * c[2]) << 16 |
                 alpha << 24;
            return;
        }
        const float a = shade.alpha;
        const float keep = 1.0f - a;
        const uint32_t old = px;
        uint32_t out = 0;
        for (int k = 0; k < 3; ++k) {
            const float dst = static_cast<float>((old >> (8 * k)) & 0xFFu);
            out |= byte_of(clamp_f(255.0f * c[k] * a + keep * dst, 0.0f, 255.0f)) << (8 * k);
        }
        if (target.has_alpha) {
            const float dst = static_cast<float>(old >> 24);
            out |= byte_of(clamp_f(keep * dst + 255.0f * a, 0.0f, 255.0f)) << 24;
        }
        px = out;
    }
};

// Per-row constants of the pixel test.
struct Row {
    float ry;  // py - y0
    float r1;  // (py - y0) * (x2 - x0)
    float r2;  // (x1 - x0) * (py - y0)
    size_t base;
};

inline Row row_of(const Edges& e, const Target& t, int64_t y) noexcept {
    const float py = static_cast<float>(y) + 0.5f;
    const float ry = py - e.y0;
    return Row{ry, ry * e.dx20, e.dx10 * ry, static_cast<size_t>(y) * t.width};
}

// Tests the pixels xa .. xb (inclusive) of row y exactly and writes those
// inside.
inline void test_run_scalar(const Edges& e, const PixelWriter& w, const Row& r, int64_t xa,
                            int64_t xb) noexcept {
    for (int64_t x = xa; x <= xb; ++x) {
        const float px = static_cast<float>(x) + 0.5f;
        const float rx = px - e.x0;
        const float e1 = rx * e.dy20 - r.r1;
        const float e2 = r.r2 - e.dy10 * rx;
        const float b1 = e1 / e.area;
        const float b2 = e2 / e.area;
        const float b0 = (1.0f - b1) - b2;
        if (b0 < kOutside || b1 < kOutside || b2 < kOutside) continue;
        w.write(r.base + static_cast<size_t>(x), b0, b1, b2);
    }
}

#if VOKRI_X86_64
// The same test and writes, eight pixels at a time. Every lane performs the
// f32 operations of the scalar code in the same order (no fused
// multiply-add: only the AVX2 instruction set is enabled here), so the bytes
// and depths are identical.
VOKRI_AVX2_BEGIN

// The barycentric weights of eight pixel centres and the lanes outside the
// triangle (or beyond the run: `valid` clear).
struct LaneWeights {
    __m256 b0, b1, b2, out;
};

inline LaneWeights lane_weights(const Edges& e, const Row& r, __m256 px, __m256i valid) noexcept {
    const __m256 outside = _mm256_set1_ps(kOutside);
    const __m256 rx = _mm256_sub_ps(px, _mm256_set1_ps(e.x0));
    const __m256 e1 = _mm256_sub_ps(_mm256_mul_ps(rx, _mm256_set1_ps(e.dy20)), _mm256_set1_ps(r.r1));
    const __m256 e2 = _mm256_sub_ps(_mm256_set1_ps(r.r2), _mm256_mul_ps(_mm256_set1_ps(e.dy10), rx));
    LaneWeights w;
    w.b1 = _mm256_div_ps(e1, _mm256_set1_ps(e.area));
    w.b2 = _mm256_div_ps(e2, _mm256_set1_ps(e.area));
    w.b0 = _mm256_sub_ps(_mm256_sub_ps(_mm256_set1_ps(1.0f), w.b1), w.b2);
    w.out = _mm256_or_ps(
        _mm256_or_ps(_mm256_cmp_ps(w.b0, outside, _CMP_LT_OQ), _mm256_cmp_ps(w.b1, outside, _CMP_LT_OQ)),
        _mm256_or_ps(_mm256_cmp_ps(w.b2, outside, _CMP_LT_OQ),
                     _mm256_castsi256_ps(_mm256_xor_si256(valid, _mm256_set1_epi32(-1)))));
    return w;
}

// clamp_f(v, lo, hi): v > lo ? (v < hi ? v : hi) : lo
inline __m256 clamp_lanes(__m256 v, __m256 lo, __m256 hi) noexcept {
    const __m256 upper = _mm256_blendv_ps(hi, v, _mm256_cmp_ps(v, hi, _CMP_LT_OQ));
    return _mm256_blendv_ps(lo, upper, _mm256_cmp_ps(v, lo, _CMP_GT_OQ));
}

// round_half_away_f then the integer conversion (truncation).
inline __m256i round_lanes(__m256 v) noexcept {
    const __m256 h = _mm256_or_ps(_mm256_and_ps(v, _mm256_set1_ps(-0.0f)), _mm256_set1_ps(0.49999997f));
    return _mm256_cvttps_epi32(_mm256_add_ps(v, h));
}

// The lit colour channels in [0, 1]: the interpolated normal, normalised,
// against the light.
inline void lane_colours(const ScreenTriangle& tri, const Shade& shade, const LaneWeights& w,
                         __m256 out[3]) noexcept {
    const __m256 zero = _mm256_setzero_ps();
    __m256 n[3];
    for (int c = 0; c < 3; ++c) {
        n[c] = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(w.b0, _mm256_set1_ps(tri.n[0][c])),
                                           _mm256_mul_ps(w.b1, _mm256_set1_ps(tri.n[1][c]))),
                             _mm256_mul_ps(w.b2, _mm256_set1_ps(tri.n[2][c])));
    }
    const __m256 len2 = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(n[0], n[0]), _mm256_mul_ps(n[1], n[1])),
                                      _mm256_mul_ps(n[2], n[2]));
    const __m256 norm = _mm256_cmp_ps(len2, _mm256_set1_ps(1e-20f), _CMP_GT_OQ);
    const __m256 len = _mm256_sqrt_ps(len2);
    for (int c = 0; c < 3; ++c) n[c] = _mm256_blendv_ps(n[c], _mm256_div_ps(n[c], len), norm);
    const __m256 d = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(n[0], _mm256_set1_ps(kLightX)),
                                                 _mm256_mul_ps(n[1], _mm256_set1_ps(kLightY))),
                                   _mm256_mul_ps(n[2], _mm256_set1_ps(kLightZ)));
    const __m256 lit = _mm256_add_ps(
        _mm256_mul_ps(_mm256_and_ps(d, _mm256_cmp_ps(d, zero, _CMP_GT_OQ)), _mm256_set1_ps(0.76f)),
        _mm256_set1_ps(0.24f));
    const __m256 k255 = _mm256_set1_ps(255.0f);
    for (int k = 0; k < 3; ++k)
        out[k] = clamp_lanes(_mm256_div_ps(_mm256_mul_ps(lit, _mm256_set1_ps(shade.colour[k])), k255), zero,
                             _mm256_set1_ps(1.0f));
}

// The new pixel values: the lit colour, or its blend over `old`.
inline __m256i lane_values(const Shade& shade, bool has_alpha, const __m256 cl[3], __m256i old) noexcept {
    const __m256 k255 = _mm256_set1_ps(255.0f), zero = _mm256_setzero_ps();
    if (shade.mode == Mode::opaque) {
        __m256i value = _mm256_or_si256(_mm256_or_si256(round_lanes(_mm256_mul_ps(k255, cl[0])),
                                                        _mm256_slli_epi32(round_lanes(_mm256_mul_ps(k255, cl[1])), 8)),
                                        _mm256_slli_epi32(round_lanes(_mm256_mul_ps(k255, cl[2])), 16));
        if (has_alpha) value = _mm256_or_si256(value, _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u)));
        return value;
    }
    const __m256 a = _mm256_set1_ps(shade.alpha);
    const __m256 keep = _mm256_set1_ps(1.0f - shade.alpha);
    const __m256i byte = _mm256_set1_epi32(0xFF);
    __m256i value = _mm256_setzero_si256();
    for (int k = 0; k < 3; ++k) {
        const __m256 dst = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(old, 8 * k), byte));
        const __m256 v = _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(k255, cl[k]), a), _mm256_mul_ps(keep, dst));
        value = _mm256_or_si256(value, _mm256_slli_epi32(round_lanes(clamp_lanes(v, zero, k255)), 8 * k));
    }
    if (has_alpha) {
        const __m256 dst = _mm256_cvtepi32_ps(_mm256_srli_epi32(old, 24));
        const __m256 v = _mm256_add_ps(_mm256_mul_ps(keep, dst), _mm256_mul_ps(k255, a));
        value = _mm256_or_si256(value, _mm256_slli_epi32(round_lanes(clamp_lanes(v, zero, k255)), 24));
    }
    return value;
}

// Stores the lanes of a partial group whose bit in `skip_bits` is clear.
inline void store_partial(float* dst, __m256 value, int skip_bits) noexcept {
    alignas(32) float vs[8];
    _mm256_store_ps(vs, value);
    for (int k = 0; k < 8; ++k)
        if (!(skip_bits >> k & 1)) dst[k] = vs[k];
}

inline void store_partial(uint32_t* dst, __m256i value, int skip_bits) noexcept {
    alignas(32) uint32_t vs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(vs), value);
    for (int k = 0; k < 8; ++k)
        if (!(skip_bits >> k & 1)) dst[k] = vs[k];
}

void test_run_avx2(const Edges& e, const PixelWriter& w, const Row& r, int64_t xa, int64_t xb) noexcept {
    const ScreenTriangle& tri = w.tri;
    const __m256 one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps();
    const __m256 z0 = _mm256_set1_ps(tri.z[0]), z1 = _mm256_set1_ps(tri.z[1]), z2 = _mm256_set1_ps(tri.z[2]);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    float* depth = w.target.depth;
    uint32_t* pixels = w.target.pixels;
    for (int64_t x = xa; x <= xb; x += 8) {
        // The last group of a run may be partial: its missing lanes count as
        // outside and are neither loaded nor stored.
        const int64_t count = xb - x + 1 < 8 ? xb - x + 1 : 8;
        const bool full = count == 8;
        const __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int32_t>(count)), lane);
        const __m256i xi = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(x)), lane);
        const LaneWeights lw = lane_weights(e, r, _mm256_add_ps(_mm256_cvtepi32_ps(xi), _mm256_set1_ps(0.5f)), valid);
        if (_mm256_movemask_ps(lw.out) == 0xFF) continue;
        const __m256 z = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(lw.b0, z0), _mm256_mul_ps(lw.b1, z1)),
                                       _mm256_mul_ps(lw.b2, z2));
        const size_t i = r.base + static_cast<size_t>(x);
        const __m256 stored = full ? _mm256_loadu_ps(depth + i) : _mm256_maskload_ps(depth + i, valid);
        const __m256 skip = _mm256_or_ps(
            _mm256_or_ps(lw.out, _mm256_or_ps(_mm256_cmp_ps(z, zero, _CMP_LT_OQ), _mm256_cmp_ps(z, one, _CMP_GT_OQ))),
            _mm256_cmp_ps(z, _mm256_add_ps(stored, _mm256_set1_ps(1e-7f)), _CMP_GT_OQ));
        const int skip_bits = _mm256_movemask_ps(skip);
        if (skip_bits == 0xFF) continue;

        __m256 cl[3];
        lane_colours(tri, w.shade, lw, cl);
        const __m256i old = full ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + i))
                                 : _mm256_maskload_epi32(reinterpret_cast<const int*>(pixels + i), valid);
        if (w.shade.mode == Mode::opaque) {
            if (full)
                _mm256_storeu_ps(depth + i, _mm256_blendv_ps(z, stored, skip));
            else
                store_partial(depth + i, z, skip_bits);
        }
        const __m256i value = lane_values(w.shade, w.target.has_alpha, cl, old);
        if (full)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i),
                                _mm256_blendv_epi8(value, old, _mm256_castps_si256(skip)));
        else
            store_partial(pixels + i, value, skip_bits);
    }
}

VOKRI_AVX2_END
#endif  // VOKRI_X86_64

inline void test_run(const Edges& e, const PixelWriter& w, int64_t y, int64_t xa, int64_t xb,
                     bool simd) noexcept {
    const Row r = row_of(e, w.target, y);
#if VOKRI_X86_64
    // Lane indices are 32-bit.
    if (simd && xb < 0x7FFFFFF0) return test_run_avx2(e, w, r, xa, xb);
#else
    (void)simd;
#endif
    test_run_scalar(e, w, r, xa, xb);
}

// The columns of a row where the pixel test can pass.
//
// In exact arithmetic each weight is an affine function of px along a row
// (taking the f32 values x0, y0, the differences and the per-row products
// r1, r2 as given). The f32 evaluation differs from it by at most eps_k:
// for b1 = fl(fl(fl(px - x0) * dy20 - r1) / A) that is below
// 4u (|px - x0| |dy20| / |A| + |b1|) with u = 2^-24, bounded over the box by
// 8u S1 where S1 = (max|px - x0| |dy20| + max|py - y0| |dx20|) / |A|; b2
// alike with S2; b0 = fl(fl(1 - b1) - b2) adds the errors of b1 and b2 and
// 2u (1 + |b0| + |b1|) <= 4u (1 + S1 + S2). A pixel whose exact weight is
// below -1e-6 - eps_k therefore fails the f32 test, and only columns where
// every exact weight reaches that bound are tested. The bounds below use
// 10u instead of 8u, a relative slack for the f64 evaluation and one more
// column on each side.
struct SpanSetup {
    double a[3];          // weight k = a[k] * px + c_k(py)
    double inv_a[3];      // 1 / a[k] (0 where a[k] is 0)
    double inv_area;      // 1 / A
    double k1, k2;        // -x0 dy20 and dy10 x0
    double limit[3];      // tested where every weight >= limit[k]
};

inline bool row_span(const Edges& e, const SpanSetup& s, int64_t y, int64_t box_lo, int64_t box_hi,
                     int64_t& xa, int64_t& xb) noexcept {
    const float py = static_cast<float>(y) + 0.5f;
    const float ry = py - e.y0;
    const double r1 = static_cast<double>(ry * e.dx20);
    const double r2 = static_cast<double>(e.dx10 * ry);
    // b1 = ((px - x0) dy20 - r1) / A, b2 = (r2 - dy10 (px - x0)) / A.
    const double c1 = (s.k1 - r1) * s.inv_area, c2 = (r2 + s.k2) * s.inv_area;
    const double cc[3] = {1.0 - c1 - c2, c1, c2};
    double lo = static_cast<double>(box_lo) + 0.5;
    double hi = static_cast<double>(box_hi) + 0.5;
    for (int k = 0; k < 3; ++k) {
        const double a = s.a[k];
        const double g = s.limit[k] - cc[k];
        if (a > 0.0) {
            const double p = g * s.inv_a[k];
            if (p > lo) lo = p;
        } else if (a < 0.0) {
            const double p = g * s.inv_a[k];
            if (p < hi) hi = p;
        } else if (0.0 < g) {
            return false;
        }
    }
    if (!(lo <= hi)) return false;
    // px = x + 0.5; one extra column on each side.
    const double fa = std::floor(lo - 0.5) - 1.0;
    const double fb = std::ceil(hi - 0.5) + 1.0;
    xa = fa > static_cast<double>(box_lo) ? static_cast<int64_t>(fa) : box_lo;
    xb = fb < static_cast<double>(box_hi) ? static_cast<int64_t>(fb) : box_hi;
    return xa <= xb;
}

}  // namespace

void raster_triangle(const Target& target, const ScreenTriangle& tri, const Shade& shade, Walk walk) noexcept {
    const bool simd = cpu::usable(cpu::Isa::avx2);
    Edges e;
    e.x0 = tri.x[0];
    e.y0 = tri.y[0];
    e.dx10 = tri.x[1] - tri.x[0];
    e.dy10 = tri.y[1] - tri.y[0];
    e.dx20 = tri.x[2] - tri.x[0];
    e.dy20 = tri.y[2] - tri.y[0];
    e.area = e.dx10 * e.dy20 - e.dy10 * e.dx20;
    if (!(std::fabs(e.area) > 1e-12f)) return;  // also NaN coordinates

    // Pixel box, both ends included, clamped to the canvas.
    const double wmax = static_cast<double>(target.width) - 1.0;
    const double hmax = static_cast<double>(target.height) - 1.0;
    double bx0 = std::floor(static_cast<double>(min3(tri.x[0], tri.x[1], tri.x[2])));
    double bx1 = std::ceil(static_cast<double>(max3(tri.x[0], tri.x[1], tri.x[2])));
    double by0 = std::floor(static_cast<double>(min3(tri.y[0], tri.y[1], tri.y[2])));
    double by1 = std::ceil(static_cast<double>(max3(tri.y[0], tri.y[1], tri.y[2])));
    bx0 = bx0 > 0.0 ? bx0 : 0.0;
    by0 = by0 > 0.0 ? by0 : 0.0;
    bx1 = bx1 < wmax ? bx1 : wmax;
    by1 = by1 < hmax ? by1 : hmax;
    if (!(bx0 <= bx1 && by0 <= by1)) return;
    const int64_t xlo = static_cast<int64_t>(bx0), xhi = static_cast<int64_t>(bx1);
    const int64_t ylo = static_cast<int64_t>(by0), yhi = static_cast<int64_t>(by1);

    const PixelWriter writer{target, tri, shade};

    // The span bounds need finite coordinates and exact pixel centres
    // (x + 0.5 representable in f32).
    constexpr double kExactCentres = 4194304.0;  // 2^22
    bool spans = walk == Walk::spans && std::isfinite(e.area) && bx1 < kExactCentres &&
                 by1 < kExactCentres;
    for (int k = 0; k < 3 && spans; ++k) spans = std::isfinite(tri.x[k]) && std::isfinite(tri.y[k]);
    if (!spans) {
        for (int64_t y = ylo; y <= yhi; ++y) test_run(e, writer, y, xlo, xhi, simd);
        return;
    }

    SpanSetup s;
    const double area = e.area;
    const double abs_area = std::fabs(area);
    const double x0 = e.x0, y0 = e.y0;
    const double rx = std::fmax(std::fabs(bx0 + 0.5 - x0), std::fabs(bx1 + 0.5 - x0));
    const double ry = std::fmax(std::fabs(by0 + 0.5 - y0), std::fabs(by1 + 0.5 - y0));
    const double s1 = (rx * std::fabs(double(e.dy20)) + ry * std::fabs(double(e.dx20))) / abs_area;
    const double s2 = (ry * std::fabs(double(e.dx10)) + rx * std::fabs(double(e.dy10))) / abs_area;
    constexpr double u = 1.0 / 16777216.0;  // 2^-24
    const double eps1 = 10.0 * u * s1;
    const double eps2 = 10.0 * u * s2;
    const double eps0 = eps1 + eps2 + 10.0 * u * (1.0 + s1 + s2);
    const double slack = 1e-12 * (1.0 + s1 + s2);
    const double t = static_cast<double>(kOutside);
    s.a[1] = double(e.dy20) / area;
    s.a[2] = -double(e.dy10) / area;
    s.a[0] = -(s.a[1] + s.a[2]);
    for (int k = 0; k < 3; ++k) s.inv_a[k] = s.a[k] != 0.0 ? 1.0 / s.a[k] : 0.0;
    s.inv_area = 1.0 / area;
    s.k1 = -x0 * double(e.dy20);
    s.k2 = double(e.dy10) * x0;
    s.limit[0] = t - eps0 - slack;
    s.limit[1] = t - eps1 - slack;
    s.limit[2] = t - eps2 - slack;
    for (int64_t y = ylo; y <= yhi; ++y) {
        int64_t xa, xb;
        if (row_span(e, s, y, xlo, xhi, xa, xb)) test_run(e, writer, y, xa, xb, simd);
    }
}

}  // namespace vokri::mesh
