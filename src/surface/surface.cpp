#include "surface/surface.h"

#include <algorithm>
#include <cmath>

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

namespace vokri {

namespace {

// Exact ⌊x / a⌋ for x <= 65025 and 1 <= a <= 255: m = ⌊2^32 / a⌋ + 1 gives
// x·m / 2^32 within 1/a of x / a from above, which never crosses an integer
// for x below 2^32 / 255.
struct Reciprocals {
    uint64_t m[256];
    constexpr Reciprocals() : m{} {
        m[0] = 0;
        for (uint32_t a = 1; a < 256; ++a) m[a] = (uint64_t{1} << 32) / a + 1;
    }
};
constexpr Reciprocals kRecip{};

inline uint32_t demultiply_fast(uint32_t p) noexcept {
    uint32_t a = p >> 24;
    if (a == 255) return p;
    if (a == 0) return 0;
    uint64_t m = kRecip.m[a];
    uint32_t r = saturate_byte(static_cast<uint32_t>(((p & 0xFF) * 255u * m) >> 32));
    uint32_t g = saturate_byte(static_cast<uint32_t>((((p >> 8) & 0xFF) * 255u * m) >> 32));
    uint32_t b = saturate_byte(static_cast<uint32_t>((((p >> 16) & 0xFF) * 255u * m) >> 32));
    return r | g << 8 | b << 16 | a << 24;
}

}  // namespace

void fill_pixels(uint32_t* dst, size_t count, uint32_t value) noexcept {
#if VOKRI_X86_64
    // Unaligned stores at both ends, which may overlap the aligned ones
    // between (they write the same value), instead of pixel-by-pixel steps
    // to the alignment (SSE2 belongs to x86-64 itself).
    if (count >= 4) {
        const __m128i v = _mm_set1_epi32(static_cast<int>(value));
        uint32_t* const end = dst + count;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
        if (count >= 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4), v);
            // From the first 32-byte boundary after dst, eight pixels per step.
            uint32_t* p = reinterpret_cast<uint32_t*>((reinterpret_cast<uintptr_t>(dst) + 32) & ~uintptr_t{31});
            for (; p + 8 <= end; p += 8) {
                _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
                _mm_store_si128(reinterpret_cast<__m128i*>(p + 4), v);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(end - 8), v);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(end - 4), v);
        return;
    }
#endif
    for (size_t i = 0; i < count; ++i) dst[i] = value;
}

void Surface::prefetch(double x0, double y0, double x1, double y1) const noexcept {
    constexpr double kMaxRows = 64;
    if (!(x0 < width) || !(x1 >= 0) || !(y0 < height) || !(y1 >= 0) || !(y1 - y0 < kMaxRows)) return;
    const size_t left = x0 > 0 ? static_cast<size_t>(x0) : 0;
    const size_t right = x1 < width - 1 ? static_cast<size_t>(x1) : static_cast<size_t>(width - 1);
    const int32_t top = y0 > 0 ? static_cast<int32_t>(y0) : 0;
    const int32_t bottom = y1 < height - 1 ? static_cast<int32_t>(y1) : height - 1;
    constexpr size_t kLine = 16;  // pixels per 64-byte cache line
    for (int32_t y = top; y <= bottom; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        __builtin_prefetch(row + left, 1);
        if (right - left < 3 * kLine)
            for (size_t x = left + kLine; x < right; x += kLine) __builtin_prefetch(row + x, 1);
        __builtin_prefetch(row + right, 1);
    }
}

void Surface::prefetch_segment(double x0, double y0, double x1, double y1) const noexcept {
    constexpr double kMaxSteps = 128;
    const double dx = x1 - x0, dy = y1 - y0;
    const double steps = std::ceil(std::max(std::fabs(dy), std::fabs(dx) / 16));
    if (!(steps < kMaxSteps)) return;  // long or not finite: not worth a hint
    const int n = static_cast<int>(steps);
    for (int k = 0; k <= n; ++k) {
        const double t = n == 0 ? 0.0 : static_cast<double>(k) / steps;
        const double x = x0 + t * dx, y = y0 + t * dy;
        if (!(x >= 0 && x < width && y >= 0 && y < height)) continue;
        __builtin_prefetch(pixels + static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x), 1);
    }
}

namespace {

#if VOKRI_X86_64
// Four pixels at a time: groups that are all opaque stay, groups that are
// all transparent become 0 (without a store when they already are).
size_t demultiply_sse2(uint32_t* px, size_t count) noexcept {
    size_t i = 0;
    const __m128i alpha_mask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= count; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i));
        __m128i a = _mm_and_si128(v, alpha_mask);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, alpha_mask)) == 0xFFFF) continue;
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128())) == 0xFFFF) {
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_setzero_si128())) != 0xFFFF)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(px + i), _mm_setzero_si128());
            continue;
        }
        px[i] = demultiply_fast(px[i]);
        px[i + 1] = demultiply_fast(px[i + 1]);
        px[i + 2] = demultiply_fast(px[i + 2]);
        px[i + 3] = demultiply_fast(px[i + 3]);
    }
    return i;
}

VOKRI_AVX2_BEGIN

// Eight pixels at a time. Runs of eight opaque or eight transparent pixels
// pass as in the SSE2 form; others divide in f32 lanes. For n = channel * 255
// (below 2^16) and alpha a, the correctly rounded f32 quotient lies within
// (n / a) 2^-24 < 1 / a of n / a, and a quotient that is not an integer lies
// at least 1 / a below the next one: the truncation is the integer quotient
// of demultiply (an integer quotient is exact in f32).
size_t demultiply_avx2(uint32_t* px, size_t count) noexcept {
    size_t i = 0;
    const __m256i alpha_mask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256 k255 = _mm256_set1_ps(255.0f);
    for (; i + 8 <= count; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px + i));
        const __m256i a_bits = _mm256_and_si256(v, alpha_mask);
        const __m256i opaque = _mm256_cmpeq_epi32(a_bits, alpha_mask);
        const __m256i clear = _mm256_cmpeq_epi32(a_bits, _mm256_setzero_si256());
        if (_mm256_movemask_epi8(opaque) == -1) continue;
        if (_mm256_movemask_epi8(clear) == -1) {
            if (!_mm256_testz_si256(v, v)) _mm256_storeu_si256(reinterpret_cast<__m256i*>(px + i), _mm256_setzero_si256());
            continue;
        }
        const __m256i a = _mm256_srli_epi32(v, 24);
        const __m256 af = _mm256_cvtepi32_ps(_mm256_max_epi32(a, _mm256_set1_epi32(1)));
        __m256i out = _mm256_slli_epi32(a, 24);
        for (int shift = 0; shift < 24; shift += 8) {
            const __m256i c = _mm256_and_si256(_mm256_srli_epi32(v, shift), byte);
            const __m256 q = _mm256_div_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(c), k255), af);
            const __m256i qi = _mm256_min_epi32(_mm256_cvttps_epi32(q), byte);
            out = _mm256_or_si256(out, _mm256_slli_epi32(qi, shift));
        }
        out = _mm256_blendv_epi8(out, v, opaque);
        out = _mm256_andnot_si256(clear, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px + i), out);
    }
    return i;
}

VOKRI_AVX2_END
#endif

// The plain form of the wide kernels' lead: none of the pixels.
size_t demultiply_none(uint32_t*, size_t) noexcept { return 0; }

}  // namespace

void demultiply_pixels(uint32_t* px, size_t count) noexcept {
    // The wide forms convert a lead of the pixels and say how many.
    static constexpr cpu::Forms<size_t (*)(uint32_t*, size_t) noexcept> kForms{
        .scalar = demultiply_none, .sse2 = VOKRI_X86_FORM(demultiply_sse2), .avx2 = VOKRI_X86_FORM(demultiply_avx2)};
    size_t i = kForms.pick()(px, count);
    for (; i < count; ++i) px[i] = demultiply_fast(px[i]);
}

}  // namespace vokri
