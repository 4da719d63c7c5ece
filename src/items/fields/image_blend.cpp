#include "items/fields/image_blend.h"

#include <cstring>

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

namespace vokri::image {

namespace {

}  // namespace

void blend_exact_scalar(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept {
    for (size_t k = 0; k < count; ++k) {
        uint32_t s = load_u32(src + 4 * k);
        uint32_t a = ((s >> 24) * o + 127) / 255;
        if (a == 0) continue;
        if (a == 255) {
            dst[k] = rgba ? (s | 0xFF000000u) : (s & 0x00FFFFFFu);
            continue;
        }
        uint32_t d = dst[k];
        uint32_t out = 0;
        for (int c = 0; c < 3; ++c) {
            uint32_t sc = (s >> (8 * c)) & 0xFF;
            uint32_t dc = (d >> (8 * c)) & 0xFF;
            out |= ((a * sc + (255 - a) * dc + 127) / 255) << (8 * c);
        }
        if (rgba) out |= (a + ((d >> 24) * (255 - a) + 127) / 255) << 24;
        dst[k] = out;
    }
}

// Eight pixels per step in 16-bit lanes. With n = a*s + (255 - a)*d + 127 at
// most 65152, n / 255 is (n * 0x8081) >> 23, taken as the high half of the
#if VOKRI_X86_64
VOKRI_AVX2_BEGIN

// 16-bit product shifted right by 7. The general formula also gives the
// a == 0 and a == 255 results of every colour channel and of the rgba32
// alpha byte, so only the rgbx32 pad byte of an untouched pixel needs a
// select.
void blend_exact_avx2(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i alpha_mask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i colour_mask = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i vo = _mm256_set1_epi32(static_cast<int>(o));
    const __m256i v127_32 = _mm256_set1_epi32(127);
    const __m256i vdiv_32 = _mm256_set1_epi32(0x8081);
    const __m256i splat = _mm256_set1_epi32(0x01010101);
    const __m256i v255 = _mm256_set1_epi16(255);
    const __m256i v127 = _mm256_set1_epi16(127);
    const __m256i vdiv = _mm256_set1_epi16(static_cast<short>(0x8081));
    size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * k));
        __m256i* dp = reinterpret_cast<__m256i*>(dst + k);
        if (o == 255) {
            __m256i opaque = _mm256_cmpeq_epi32(_mm256_and_si256(s, alpha_mask), alpha_mask);
            if (_mm256_movemask_epi8(opaque) == -1) {
                _mm256_storeu_si256(dp, rgba ? s : _mm256_and_si256(s, colour_mask));
                continue;
            }
        }
        __m256i d = _mm256_loadu_si256(dp);
        __m256i n32 = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(s, 24), vo), v127_32);
        __m256i a32 = _mm256_srli_epi32(_mm256_mullo_epi32(n32, vdiv_32), 23);
        __m256i a8 = _mm256_mullo_epi32(a32, splat);

        __m256i s_lo = _mm256_unpacklo_epi8(s, zero), s_hi = _mm256_unpackhi_epi8(s, zero);
        __m256i d_lo = _mm256_unpacklo_epi8(d, zero), d_hi = _mm256_unpackhi_epi8(d, zero);
        __m256i a_lo = _mm256_unpacklo_epi8(a8, zero), a_hi = _mm256_unpackhi_epi8(a8, zero);
        __m256i ia_lo = _mm256_sub_epi16(v255, a_lo), ia_hi = _mm256_sub_epi16(v255, a_hi);

        __m256i keep_lo = _mm256_add_epi16(_mm256_mullo_epi16(ia_lo, d_lo), v127);
        __m256i keep_hi = _mm256_add_epi16(_mm256_mullo_epi16(ia_hi, d_hi), v127);
        __m256i x_lo = _mm256_add_epi16(_mm256_mullo_epi16(a_lo, s_lo), keep_lo);
        __m256i x_hi = _mm256_add_epi16(_mm256_mullo_epi16(a_hi, s_hi), keep_hi);
        x_lo = _mm256_srli_epi16(_mm256_mulhi_epu16(x_lo, vdiv), 7);
        x_hi = _mm256_srli_epi16(_mm256_mulhi_epu16(x_hi, vdiv), 7);
        __m256i colour = _mm256_and_si256(_mm256_packus_epi16(x_lo, x_hi), colour_mask);

        __m256i out;
        if (rgba) {
            __m256i y_lo = _mm256_add_epi16(a_lo, _mm256_srli_epi16(_mm256_mulhi_epu16(keep_lo, vdiv), 7));
            __m256i y_hi = _mm256_add_epi16(a_hi, _mm256_srli_epi16(_mm256_mulhi_epu16(keep_hi, vdiv), 7));
            __m256i alpha = _mm256_and_si256(_mm256_packus_epi16(y_lo, y_hi), alpha_mask);
            out = _mm256_or_si256(colour, alpha);
        } else {
            // a == 0 keeps the whole pixel, pad byte included.
            __m256i untouched = _mm256_cmpeq_epi32(a32, zero);
            out = _mm256_or_si256(colour, _mm256_and_si256(d, _mm256_and_si256(untouched, alpha_mask)));
        }
        _mm256_storeu_si256(dp, out);
    }
    blend_exact_scalar(src + 4 * k, dst + k, count - k, o, rgba);
}

VOKRI_AVX2_END
#else
void blend_exact_avx2(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept {
    blend_exact_scalar(src, dst, count, o, rgba);
}
#endif

void blend_exact(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept {
    static constexpr cpu::Forms<void (*)(const uint8_t*, uint32_t*, size_t, uint32_t, bool) noexcept> kForms{
        .scalar = blend_exact_scalar, .avx2 = VOKRI_X86_FORM(blend_exact_avx2)};
    kForms.pick()(src, dst, count, o, rgba);
}

}  // namespace vokri::image
