#include "png/rows.h"

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

namespace vokri {

void rgbx_to_rgb_scalar(const uint32_t* src, size_t n, uint8_t* dst) noexcept {
    for (size_t x = 0; x < n; ++x) {
        uint32_t p = src[x];
        dst[0] = static_cast<uint8_t>(p);
        dst[1] = static_cast<uint8_t>(p >> 8);
        dst[2] = static_cast<uint8_t>(p >> 16);
        dst += 3;
    }
}

#if VOKRI_X86_64
namespace {

// Sixteen pixels at a time: each shuffle packs four pixels into twelve bytes.
__attribute__((target("ssse3"))) void rgbx_to_rgb_ssse3(const uint32_t* src, size_t n, uint8_t* dst) noexcept {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    size_t x = 0;
    // The last store of a block writes 16 bytes for 12: two more pixels (six
    // bytes) must follow the block so the store stays inside the row.
    for (; x + 18 <= n; x += 16) {
        for (int k = 0; k < 4; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x + 4 * k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 12 * k), _mm_shuffle_epi8(v, pack));
        }
        dst += 48;
    }
    rgbx_to_rgb_scalar(src + x, n - x, dst);
}

}  // namespace
#endif

void rgbx_to_rgb(const uint32_t* src, size_t n, uint8_t* dst) noexcept {
    static constexpr cpu::Forms<void (*)(const uint32_t*, size_t, uint8_t*) noexcept> kForms{
        .scalar = rgbx_to_rgb_scalar, .ssse3 = VOKRI_X86_FORM(rgbx_to_rgb_ssse3)};
    kForms.pick()(src, n, dst);
}

}  // namespace vokri
