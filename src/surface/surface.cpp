#include "surface/surface.h"

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
    size_t i = 0;
#if VOKRI_X86_64
    // Scalar head up to a 32-byte boundary, then eight pixels per store
    // (SSE2 belongs to x86-64 itself).
    while (i < count && (reinterpret_cast<uintptr_t>(dst + i) & 31u) != 0) dst[i++] = value;
    __m128i v = _mm_set1_epi32(static_cast<int>(value));
    for (; i + 8 <= count; i += 8) {
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + i), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + i + 4), v);
    }
#endif
    for (; i < count; ++i) dst[i] = value;
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
#endif

}  // namespace

void demultiply_pixels(uint32_t* px, size_t count) noexcept {
    size_t i = 0;
#if VOKRI_X86_64
    if (cpu::usable(cpu::Isa::sse2)) i = demultiply_sse2(px, count);
#endif
    for (; i < count; ++i) px[i] = demultiply_fast(px[i]);
}

}  // namespace vokri
