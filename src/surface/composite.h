// Painting runs of pixels: fills, the per-pixel direct path and the span
// compositor that evaluates a chain of operations over 16-pixel planar
// batches (source-over and dst-in, integer arithmetic).
#pragma once

#include <cstddef>
#include <cstdint>

#include "surface/surface.h"

namespace vokri {

inline constexpr uint8_t kOpSrcOver = 3;
inline constexpr uint8_t kOpDstIn = 6;

// One pixel as four 16-bit lanes: red, green, blue, alpha.
struct WidePixel {
    uint16_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const WidePixel&) const = default;
};

enum OperandKind : uint8_t { operand_target = 0, operand_pixel = 3 };

struct Operand {
    uint8_t kind = operand_target;
    Pixel pixel;  // for operand_pixel
};

struct Operation {
    Operand destination;
    Operand source;
    uint8_t op = kOpSrcOver;
};

inline constexpr size_t kBatchPixels = 16;

// 16 pixels in planar form: planes red, green, blue, alpha of 16 lanes.
struct alignas(32) Batch {
    uint16_t plane[4][kBatchPixels];
};

// ⌊x / 255⌋ without division: for 16-bit products (x <= 65025) and for any
// 32-bit x.
inline uint32_t div255_product16(uint32_t x) noexcept { return (x * 32897u) >> 23; }
inline uint32_t div255_product32(uint32_t x) noexcept {
    return static_cast<uint32_t>((static_cast<uint64_t>(x) * 0x80808081u) >> 39);
}

// Source-over of a constant colour onto one pixel, with the division-free
// forms (the same lanes as the batch operators).
inline uint32_t over_pixel(uint32_t d, uint32_t k, uint8_t format) noexcept {
    const uint32_t sa = k >> 24, inv = 255u - sa;
    const uint32_t da = format == rgbx32 ? 255u : d >> 24;
    uint32_t r = ((k & 0xFF) + div255_product16((d & 0xFF) * inv)) & 0xFF;
    uint32_t g = (((k >> 8) & 0xFF) + div255_product16(((d >> 8) & 0xFF) * inv)) & 0xFF;
    uint32_t b = (((k >> 16) & 0xFF) + div255_product16(((d >> 16) & 0xFF) * inv)) & 0xFF;
    uint32_t a = (sa + da - div255_product16(sa * da)) & 0xFF;
    return rgba_to_format(r | g << 8 | b << 16 | a << 24, format);
}

// Runs shorter than this are blended pixel by pixel.
inline constexpr size_t kShortRun = 8;

// One operation on wide pixels (src_over or dst_in; any other code acts as
// src_over, the only operator the drawing state carries). Lanes keep their
// low 8 bits.
WidePixel composite_pixel(WidePixel dst, WidePixel src, uint8_t op) noexcept;

// Writes `pixel`, converted to the Surface's format, into the run.
void fill_span(Surface& surface, int64_t x, int64_t y, size_t length, Pixel pixel) noexcept;

// Runs the chain `ops[0..count)` over `target` and stores the last result.
void composite_span(Span target, const Operation* ops, size_t count) noexcept;

// The run (x, y) .. (x + length - 1, y) fully covered with `source`.
void paint_run(uint8_t op, Surface& surface, Pixel source, int64_t x, int64_t y, size_t length) noexcept;

// The same run covered with the constant mask value `alpha`.
void paint_run_alpha(uint8_t op, Surface& surface, Pixel source, int64_t x, int64_t y, size_t length,
                     uint8_t alpha) noexcept;

// The constant that paint_run (coverage 16) or paint_run_alpha (coverage c,
// mask 16c - 1) blends for the common colour `source` at coverage c.
uint32_t coverage_colour(uint32_t source, unsigned c) noexcept;

// Those constants for one source, each worked out when a fill first needs
// it, and the run painter that uses them: a run painted this way gets
// exactly the bytes of the two calls above.
struct CoverageColours {
    uint32_t colour[17];     // [c]: the premultiplied colour blended at coverage c (1..16)
    uint32_t known = 0;      // bit c: colour[c] is set
    uint32_t source = 0;     // the common colour...
    bool opaque = false;     // ...written as is at coverage 16 when opaque

    explicit CoverageColours(Pixel p = Pixel{}) noexcept : source(pixel_to_rgba(p)), opaque((source >> 24) == 255) {}
    // Every colour, with colour[0] = 0 (a pixel blended with it is left
    // as it is), for fills that look colours up pixel by pixel.
    void all() noexcept {
        colour[0] = 0;
        for (unsigned c = 1; c <= 16; ++c)
            if (!(known >> c & 1)) colour[c] = coverage_colour(source, c);
        known = (1u << 17) - 1;
    }
    [[gnu::always_inline]] uint32_t at(unsigned c) noexcept {
        if (!(known >> c & 1)) {
            colour[c] = coverage_colour(source, c);
            known |= 1u << c;
        }
        return colour[c];
    }
};

// `length` pixels from `px` (a row of a Surface of `format`) at coverage c
// (1..16).
[[gnu::always_inline]] inline void paint_coverage_run(uint32_t* px, size_t length, uint8_t format, CoverageColours& k,
                               unsigned c) noexcept;

// Source-over of the constant premultiplied common colour `colour` onto
// `count` pixels of `format`: the arithmetic of a one-operation chain, picked
// for the fastest instruction set of the processor.
void blend_over_constant(uint32_t* pixels, size_t count, uint32_t colour, uint8_t format) noexcept;

// A run of `count` pixels of `format` at coverages 0 to 16, one per pixel:
// the bytes that paint_coverage_run paints for each stretch of equal
// coverage with the colours colour[1..16] of a CoverageColours (colour[16]
// written as it is when `opaque`), pixels at coverage 0 left as they are
// (colour[0] is 0). In the batch kernels' widest usable form.
void blend_coverage_row(uint32_t* pixels, const uint8_t* coverage, size_t count, const uint32_t colour[17],
                        bool opaque, uint8_t format) noexcept;

// The source scaled by a mask value (the dst_in of a pixel by an alpha8
// pixel): every channel becomes ⟨channel * mask⟩.
inline uint32_t scale_colour(uint32_t c, uint32_t mask) noexcept {
    uint32_t r = div255_product16((c & 0xFF) * mask);
    uint32_t g = div255_product16(((c >> 8) & 0xFF) * mask);
    uint32_t b = div255_product16(((c >> 16) & 0xFF) * mask);
    uint32_t a = div255_product16((c >> 24) * mask);
    return r | g << 8 | b << 16 | a << 24;
}

[[gnu::always_inline]] inline void paint_coverage_run(uint32_t* px, size_t length, uint8_t format, CoverageColours& k,
                               unsigned c) noexcept {
    if (c >= 16 && k.opaque) {
        fill_pixels(px, length, rgba_to_format(k.source, format));
        return;
    }
    const uint32_t colour = k.at(c < 16 ? c : 16);
    if (length < kShortRun) {  // most runs at an outline: blended here, as blend_over_constant would
        for (size_t i = 0; i < length; ++i) px[i] = over_pixel(px[i], colour, format);
    } else {
        blend_over_constant(px, length, colour, format);
    }
}

namespace composite_testing {
// The batch kernels of composite_span and blend_over_constant, without the
// shortcuts in front of them, in the form cpu::usable selects (tests cap it
// with test_hooks::IsaCap to compare the forms).
void composite_span_kernel(Span target, const Operation* ops, size_t count) noexcept;
void blend_over_constant_kernel(uint32_t* pixels, size_t count, uint32_t colour, uint8_t format) noexcept;
}  // namespace composite_testing

}  // namespace vokri
