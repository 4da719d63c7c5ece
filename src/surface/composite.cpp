#include "surface/composite.h"

#include <cstring>

#include "common/cpu.h"

#if VOKRI_X86_64
#include <immintrin.h>
#endif

namespace vokri {

namespace {

// The plain definition: one lane after another, exact division by 255.
struct ScalarLanes {
    struct P {
        uint16_t v[kBatchPixels];
    };
    static P zero() noexcept { return splat(0); }
    static P splat(uint16_t x) noexcept {
        P p;
        for (auto& e : p.v) e = x;
        return p;
    }
    static void load(const uint32_t* px, uint8_t format, P out[4]) noexcept {
        for (size_t i = 0; i < kBatchPixels; ++i) {
            uint32_t c = px[i];
            out[0].v[i] = static_cast<uint16_t>(c & 0xFF);
            out[1].v[i] = static_cast<uint16_t>((c >> 8) & 0xFF);
            out[2].v[i] = static_cast<uint16_t>((c >> 16) & 0xFF);
            out[3].v[i] = format == rgbx32 ? uint16_t{255} : static_cast<uint16_t>(c >> 24);
        }
    }
    static void store(uint32_t* px, uint8_t format, const P in[4]) noexcept {
        for (size_t i = 0; i < kBatchPixels; ++i) {
            uint32_t c = (in[0].v[i] & 0xFFu) | (in[1].v[i] & 0xFFu) << 8 | (in[2].v[i] & 0xFFu) << 16 |
                         (in[3].v[i] & 0xFFu) << 24;
            px[i] = rgba_to_format(c, format);
        }
    }
    static P over_colour(const P& s, const P& d, const P& sa) noexcept {
        P r;
        for (size_t i = 0; i < kBatchPixels; ++i)
            r.v[i] = static_cast<uint16_t>((s.v[i] + d.v[i] * (255u - sa.v[i]) / 255u) & 0xFF);
        return r;
    }
    static P over_alpha(const P& sa, const P& da) noexcept {
        P r;
        for (size_t i = 0; i < kBatchPixels; ++i)
            r.v[i] = static_cast<uint16_t>((sa.v[i] + da.v[i] - sa.v[i] * da.v[i] / 255u) & 0xFF);
        return r;
    }
    static P mul_div(const P& a, const P& b) noexcept {
        P r;
        for (size_t i = 0; i < kBatchPixels; ++i) r.v[i] = static_cast<uint16_t>((a.v[i] * b.v[i] / 255u) & 0xFF);
        return r;
    }
};

namespace scalar_isa {
using V = ScalarLanes;
#include "surface/composite_kernels.inc"
}  // namespace scalar_isa

#if VOKRI_X86_64

// SSE2 (every x86-64): a plane is two vectors of eight lanes.
struct Sse2Lanes {
    struct P {
        __m128i lo, hi;
    };
    static P zero() noexcept { return P{_mm_setzero_si128(), _mm_setzero_si128()}; }
    static P splat(uint16_t x) noexcept {
        __m128i v = _mm_set1_epi16(static_cast<short>(x));
        return P{v, v};
    }
    static __m128i div255(__m128i x) noexcept {
        return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(32897))), 7);
    }
    static void load(const uint32_t* px, uint8_t format, P out[4]) noexcept {
        const __m128i m = _mm_set1_epi32(0xFF);
        __m128i q[4];
        for (int k = 0; k < 4; ++k) q[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 4 * k));
        for (int c = 0; c < 3; ++c) {
            __m128i a0 = _mm_and_si128(_mm_srli_epi32(q[0], 8 * c), m);
            __m128i a1 = _mm_and_si128(_mm_srli_epi32(q[1], 8 * c), m);
            __m128i a2 = _mm_and_si128(_mm_srli_epi32(q[2], 8 * c), m);
            __m128i a3 = _mm_and_si128(_mm_srli_epi32(q[3], 8 * c), m);
            out[c] = P{_mm_packs_epi32(a0, a1), _mm_packs_epi32(a2, a3)};
        }
        if (format == rgbx32) {
            out[3] = splat(255);
        } else {
            out[3] = P{_mm_packs_epi32(_mm_srli_epi32(q[0], 24), _mm_srli_epi32(q[1], 24)),
                       _mm_packs_epi32(_mm_srli_epi32(q[2], 24), _mm_srli_epi32(q[3], 24))};
        }
    }
    static void store(uint32_t* px, uint8_t format, const P in[4]) noexcept {
        const __m128i m = _mm_set1_epi16(0xFF);
        __m128i r[2] = {_mm_and_si128(in[0].lo, m), _mm_and_si128(in[0].hi, m)};
        __m128i g[2] = {_mm_and_si128(in[1].lo, m), _mm_and_si128(in[1].hi, m)};
        __m128i b[2] = {_mm_and_si128(in[2].lo, m), _mm_and_si128(in[2].hi, m)};
        __m128i a[2] = {_mm_and_si128(in[3].lo, m), _mm_and_si128(in[3].hi, m)};
        for (int h = 0; h < 2; ++h) {
            // Low 8 bits per lane: red | green << 8 in 16-bit lanes, then
            // blue | alpha << 8, interleaved into 32-bit pixels.
            __m128i rg = _mm_or_si128(r[h], _mm_slli_epi16(g[h], 8));
            __m128i ba = format == rgbx32 ? b[h] : _mm_or_si128(b[h], _mm_slli_epi16(a[h], 8));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 8 * h), _mm_unpacklo_epi16(rg, ba));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 8 * h + 4), _mm_unpackhi_epi16(rg, ba));
        }
    }
    static __m128i over_colour1(__m128i s, __m128i d, __m128i sa) noexcept {
        __m128i inv = _mm_sub_epi16(_mm_set1_epi16(255), sa);
        return _mm_and_si128(_mm_add_epi16(s, div255(_mm_mullo_epi16(d, inv))), _mm_set1_epi16(0xFF));
    }
    static P over_colour(const P& s, const P& d, const P& sa) noexcept {
        return P{over_colour1(s.lo, d.lo, sa.lo), over_colour1(s.hi, d.hi, sa.hi)};
    }
    static __m128i over_alpha1(__m128i sa, __m128i da) noexcept {
        __m128i t = _mm_sub_epi16(_mm_add_epi16(sa, da), div255(_mm_mullo_epi16(sa, da)));
        return _mm_and_si128(t, _mm_set1_epi16(0xFF));
    }
    static P over_alpha(const P& sa, const P& da) noexcept {
        return P{over_alpha1(sa.lo, da.lo), over_alpha1(sa.hi, da.hi)};
    }
    static P mul_div(const P& a, const P& b) noexcept {
        return P{_mm_and_si128(div255(_mm_mullo_epi16(a.lo, b.lo)), _mm_set1_epi16(0xFF)),
                 _mm_and_si128(div255(_mm_mullo_epi16(a.hi, b.hi)), _mm_set1_epi16(0xFF))};
    }
};

namespace sse2_isa {
using V = Sse2Lanes;
#include "surface/composite_kernels.inc"
}  // namespace sse2_isa

// The AVX2 kernels below are compiled for AVX2.
VOKRI_AVX2_BEGIN

// AVX2: a plane is one 256-bit vector. Packing and unpacking work within
// 128-bit halves, so the lanes hold the pixels in a fixed permutation that
// store undoes exactly; every operator is lane by lane.
struct Avx2Lanes {
    using P = __m256i;
    static P zero() noexcept { return _mm256_setzero_si256(); }
    static P splat(uint16_t x) noexcept { return _mm256_set1_epi16(static_cast<short>(x)); }
    static __m256i div255(__m256i x) noexcept {
        return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(32897))), 7);
    }
    static void load(const uint32_t* px, uint8_t format, P out[4]) noexcept {
        unpack(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(px)),
               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px + 8)), format, out);
    }
    static void store(uint32_t* px, uint8_t format, const P in[4]) noexcept {
        __m256i q0, q1;
        pack(in, format, q0, q1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px), q0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px + 8), q1);
    }
    // The first n < 16 pixels as load and store take 16, through lane masks:
    // the lanes past n read as 0 and are not written.
    static void load_part(const uint32_t* px, size_t n, uint8_t format, P out[4]) noexcept {
        __m256i m0, m1;
        part_masks(n, m0, m1);
        unpack(_mm256_maskload_epi32(reinterpret_cast<const int*>(px), m0),
               _mm256_maskload_epi32(reinterpret_cast<const int*>(px + 8), m1), format, out);
    }
    static void store_part(uint32_t* px, size_t n, uint8_t format, const P in[4]) noexcept {
        __m256i m0, m1, q0, q1;
        part_masks(n, m0, m1);
        pack(in, format, q0, q1);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(px), m0, q0);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(px + 8), m1, q1);
    }
    static void part_masks(size_t n, __m256i& m0, __m256i& m1) noexcept {
        const __m256i count = _mm256_set1_epi32(static_cast<int>(n));
        m0 = _mm256_cmpgt_epi32(count, _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        m1 = _mm256_cmpgt_epi32(count, _mm256_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15));
    }
    // Pixels 0..7 in q0 and 8..15 in q1 into planes, and back.
    static void unpack(__m256i q0, __m256i q1, uint8_t format, P out[4]) noexcept {
        const __m256i m = _mm256_set1_epi32(0xFF);
        out[0] = _mm256_packs_epi32(_mm256_and_si256(q0, m), _mm256_and_si256(q1, m));
        out[1] = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(q0, 8), m),
                                    _mm256_and_si256(_mm256_srli_epi32(q1, 8), m));
        out[2] = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(q0, 16), m),
                                    _mm256_and_si256(_mm256_srli_epi32(q1, 16), m));
        out[3] = format == rgbx32 ? splat(255)
                                  : _mm256_packs_epi32(_mm256_srli_epi32(q0, 24), _mm256_srli_epi32(q1, 24));
    }
    static void pack(const P in[4], uint8_t format, __m256i& q0, __m256i& q1) noexcept {
        const __m256i m = _mm256_set1_epi16(0xFF);
        __m256i rg = _mm256_or_si256(_mm256_and_si256(in[0], m), _mm256_slli_epi16(in[1], 8));
        __m256i ba = _mm256_and_si256(in[2], m);
        if (format != rgbx32) ba = _mm256_or_si256(ba, _mm256_slli_epi16(in[3], 8));
        q0 = _mm256_unpacklo_epi16(rg, ba);
        q1 = _mm256_unpackhi_epi16(rg, ba);
    }
    static P over_colour(P s, P d, P sa) noexcept {
        __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(255), sa);
        return _mm256_and_si256(_mm256_add_epi16(s, div255(_mm256_mullo_epi16(d, inv))), _mm256_set1_epi16(0xFF));
    }
    static P over_alpha(P sa, P da) noexcept {
        __m256i t = _mm256_sub_epi16(_mm256_add_epi16(sa, da), div255(_mm256_mullo_epi16(sa, da)));
        return _mm256_and_si256(t, _mm256_set1_epi16(0xFF));
    }
    static P mul_div(P a, P b) noexcept {
        return _mm256_and_si256(div255(_mm256_mullo_epi16(a, b)), _mm256_set1_epi16(0xFF));
    }
};

namespace avx2_isa {
using V = Avx2Lanes;
#include "surface/composite_kernels.inc"

void composite_span_entry(Span target, const Operation* ops, size_t count) noexcept {
    composite_span_impl(target, ops, count);
}
void blend_entry(uint32_t* px, size_t n, uint32_t colour, uint8_t format) noexcept {
    blend_over_constant_impl(px, n, colour, format);
}
void coverage_row_entry(uint32_t* px, const uint8_t* coverage, size_t n, const uint32_t* colour, bool opaque,
                        uint8_t format) noexcept {
    blend_coverage_row_impl(px, coverage, n, colour, opaque, format);
}
}  // namespace avx2_isa

VOKRI_AVX2_END
#endif  // VOKRI_X86_64

// The widest usable form of the batch kernels.
void composite_span_kernels(Span target, const Operation* ops, size_t count) noexcept {
    static constexpr cpu::Forms<void (*)(Span, const Operation*, size_t) noexcept> kForms{
        .scalar = scalar_isa::composite_span_impl, .sse2 = VOKRI_X86_FORM(sse2_isa::composite_span_impl),
        .avx2 = VOKRI_X86_FORM(avx2_isa::composite_span_entry)};
    kForms.pick()(target, ops, count);
}

void blend_over_constant_kernels(uint32_t* px, size_t n, uint32_t colour, uint8_t format) noexcept {
    static constexpr cpu::Forms<void (*)(uint32_t*, size_t, uint32_t, uint8_t) noexcept> kForms{
        .scalar = scalar_isa::blend_over_constant_impl, .sse2 = VOKRI_X86_FORM(sse2_isa::blend_over_constant_impl),
        .avx2 = VOKRI_X86_FORM(avx2_isa::blend_entry)};
    kForms.pick()(px, n, colour, format);
}

inline WidePixel to_wide(uint32_t c) noexcept {
    return WidePixel{static_cast<uint16_t>(c & 0xFF), static_cast<uint16_t>((c >> 8) & 0xFF),
                     static_cast<uint16_t>((c >> 16) & 0xFF), static_cast<uint16_t>(c >> 24)};
}
inline uint32_t from_wide(WidePixel w) noexcept {
    return (w.r & 0xFFu) | (w.g & 0xFFu) << 8 | (w.b & 0xFFu) << 16 | (w.a & 0xFFu) << 24;
}

}  // namespace

WidePixel composite_pixel(WidePixel d, WidePixel s, uint8_t op) noexcept {
    WidePixel r;
    if (op == kOpDstIn) {
        r.r = static_cast<uint16_t>(div255_product16(d.r * s.a) & 0xFF);
        r.g = static_cast<uint16_t>(div255_product16(d.g * s.a) & 0xFF);
        r.b = static_cast<uint16_t>(div255_product16(d.b * s.a) & 0xFF);
        r.a = static_cast<uint16_t>(div255_product16(d.a * s.a) & 0xFF);
    } else {
        const uint32_t inv = 255u - s.a;
        r.r = static_cast<uint16_t>((s.r + div255_product16(d.r * inv)) & 0xFF);
        r.g = static_cast<uint16_t>((s.g + div255_product16(d.g * inv)) & 0xFF);
        r.b = static_cast<uint16_t>((s.b + div255_product16(d.b * inv)) & 0xFF);
        r.a = static_cast<uint16_t>((s.a + d.a - div255_product16(static_cast<uint32_t>(s.a) * d.a)) & 0xFF);
    }
    return r;
}

void fill_span(Surface& surface, int64_t x, int64_t y, size_t length, Pixel pixel) noexcept {
    Span span = surface.span_at(x, y, length);
    if (span.empty()) return;
    fill_pixels(span.pixels, span.count, rgba_to_format(pixel_to_rgba(pixel), span.format));
}

void composite_span(Span target, const Operation* ops, size_t count) noexcept {
    if (target.count == 0 || count == 0) return;
    // The chains of the run painters end in a source-over of a colour that is
    // the same in every lane onto the target: a constant first operation
    // (both operands pixels) is evaluated once, on wide pixels with the same
    // lane arithmetic, and the source-over goes straight to the batch blend.
    if (count == 1 && ops[0].destination.kind == operand_target && ops[0].source.kind == operand_pixel &&
        ops[0].op != kOpDstIn) {
        blend_over_constant(target.pixels, target.count, pixel_to_rgba(ops[0].source.pixel), target.format);
        return;
    }
    if (count == 2 && ops[0].destination.kind == operand_pixel && ops[0].source.kind == operand_pixel &&
        ops[1].destination.kind == operand_target && ops[1].source.kind == operand_target &&
        ops[1].op != kOpDstIn) {
        WidePixel k = composite_pixel(to_wide(pixel_to_rgba(ops[0].destination.pixel)),
                                      to_wide(pixel_to_rgba(ops[0].source.pixel)), ops[0].op);
        blend_over_constant(target.pixels, target.count, from_wide(k), target.format);
        return;
    }
    composite_span_kernels(target, ops, count);
}

void blend_over_constant(uint32_t* px, size_t n, uint32_t colour, uint8_t format) noexcept {
    if (n < kShortRun) {
        for (size_t i = 0; i < n; ++i) px[i] = over_pixel(px[i], colour, format);
        return;
    }
    blend_over_constant_kernels(px, n, colour, format);
}

void blend_coverage_row(uint32_t* px, const uint8_t* coverage, size_t n, const uint32_t* colour, bool opaque,
                        uint8_t format) noexcept {
    static constexpr cpu::Forms<void (*)(uint32_t*, const uint8_t*, size_t, const uint32_t*, bool, uint8_t) noexcept>
        kForms{.scalar = scalar_isa::blend_coverage_row_impl, .sse2 = VOKRI_X86_FORM(sse2_isa::blend_coverage_row_impl),
               .avx2 = VOKRI_X86_FORM(avx2_isa::coverage_row_entry)};
    kForms.pick()(px, coverage, n, colour, opaque, format);
}

void paint_run(uint8_t op, Surface& surface, Pixel source, int64_t x, int64_t y, size_t length) noexcept {
    if (length == 0) return;
    if ((pixel_to_rgba(source) >> 24) == 255) {
        fill_span(surface, x, y, length, source);
        return;
    }
    Span span = surface.span_at(x, y, length);
    if (span.empty()) return;
    Operation chain[1];
    chain[0].destination.kind = operand_target;
    chain[0].source = Operand{operand_pixel, source};
    chain[0].op = op == kOpDstIn ? kOpSrcOver : op;
    composite_span(span, chain, 1);
}

void paint_run_alpha(uint8_t op, Surface& surface, Pixel source, int64_t x, int64_t y, size_t length,
                     uint8_t alpha) noexcept {
    (void)op;  // always src_over
    if (length == 0) return;
    Span span = surface.span_at(x, y, length);
    if (span.empty()) return;
    uint32_t c = pixel_to_rgba(source);
    if ((c >> 24) == 255) {
        // Direct path: the colour scaled by the mask, then source-over pixel
        // by pixel (the same lanes as composite_pixel).
        if (alpha != 255) {
            uint32_t r = (c & 0xFF) * alpha / 255, g = ((c >> 8) & 0xFF) * alpha / 255;
            uint32_t b = ((c >> 16) & 0xFF) * alpha / 255, a = (c >> 24) * alpha / 255;
            c = r | g << 8 | b << 16 | a << 24;
        }
        blend_over_constant(span.pixels, span.count, c, span.format);
        return;
    }
    Operation chain[2];
    chain[0].destination = Operand{operand_pixel, source};
    chain[0].source = Operand{operand_pixel, Pixel{alpha, alpha8}};
    chain[0].op = kOpDstIn;
    chain[1].destination.kind = operand_target;
    chain[1].source.kind = operand_target;
    chain[1].op = kOpSrcOver;
    composite_span(span, chain, 2);
}

uint32_t coverage_colour(uint32_t c, unsigned coverage) noexcept {
    if (coverage >= 16) return c;  // paint_run's source-over
    const uint32_t alpha = 16 * coverage - 1;
    if ((c >> 24) == 255) {  // paint_run_alpha's direct path
        const uint32_t r = (c & 0xFF) * alpha / 255, g = ((c >> 8) & 0xFF) * alpha / 255;
        const uint32_t b = ((c >> 16) & 0xFF) * alpha / 255, a = (c >> 24) * alpha / 255;
        return r | g << 8 | b << 16 | a << 24;
    }
    // Its chain: the source dst_in the mask, evaluated once as composite_span does.
    return from_wide(composite_pixel(to_wide(c), to_wide(alpha << 24), kOpDstIn));
}

namespace composite_testing {

void composite_span_kernel(Span target, const Operation* ops, size_t count) noexcept {
    composite_span_kernels(target, ops, count);
}

void blend_over_constant_kernel(uint32_t* px, size_t n, uint32_t colour, uint8_t format) noexcept {
    blend_over_constant_kernels(px, n, colour, format);
}

}  // namespace composite_testing

}  // namespace vokri
