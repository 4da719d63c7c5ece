// Pixel formats, single-pixel values, Surfaces and row Spans.
//
// Every Surface holds premultiplied colour: a stored colour channel never
// exceeds the stored alpha of the same pixel. The "common colour" is a u32 in
// the rgba32 layout: red in bits 0-7, green 8-15, blue 16-23, alpha 24-31.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vokri {

enum PixelFormat : uint8_t {
    rgbx32 = 2,  // bytes R, G, B, X (X ignored on read, written as 0), opaque
    rgba32 = 3,  // bytes R, G, B, A
    alpha8 = 4,  // one alpha byte; only as a compositor operand
};

struct Pixel {
    uint32_t payload = 0;  // the u32 for rgbx32 / rgba32, the alpha for alpha8
    uint8_t format = rgba32;
};

struct Span {
    uint32_t* pixels = nullptr;
    size_t count = 0;
    uint8_t format = rgba32;
    bool empty() const noexcept { return count == 0; }
};

struct Surface {
    uint32_t* pixels = nullptr;
    size_t length = 0;  // in 32-bit elements, at least width * height
    int32_t width = 0;
    int32_t height = 0;
    uint8_t format = rgba32;
    // Optional, one byte per row: set to 1 for every row handed out for
    // writing (span_at, row, mark_all), so that a later pass over the
    // pixels can skip the rows nothing wrote. Writers that address `pixels`
    // directly call mark_all.
    uint8_t* row_marks = nullptr;

    // A Surface over a buffer the caller owns.
    static Surface wrap(uint32_t* pixels, int32_t width, int32_t height, uint8_t format) noexcept {
        Surface s;
        s.pixels = pixels;
        s.length = static_cast<size_t>(width) * static_cast<size_t>(height);
        s.width = width;
        s.height = height;
        s.format = format;
        return s;
    }

    // count pixels from (x, y); empty when (x, y) lies outside. The caller
    // keeps x + count <= width.
    Span span_at(int64_t x, int64_t y, size_t count) const noexcept {
        if (x < 0 || y < 0 || x >= width || y >= height) return Span{nullptr, 0, format};
        if (row_marks) row_marks[y] = 1;
        uint64_t i = static_cast<uint64_t>(y) * static_cast<uint64_t>(width) + static_cast<uint64_t>(x);
        return Span{pixels + i, count, format};
    }

    uint32_t* row(int32_t y) const noexcept {
        if (row_marks) row_marks[y] = 1;
        return pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
    }

    // Starts loading the pixels of columns x0..x1 on rows y0..y1 (device
    // coordinates, clipped to the Surface) for writing: a hint for drawers
    // that know where their next element lies. It changes no pixel, and
    // loads only both ends of each row of a wide area, and nothing of a
    // tall one.
    void prefetch(double x0, double y0, double x1, double y1) const noexcept;

    // The same hint for the pixels along the segment from (x0, y0) to
    // (x1, y1): a point of it on each row and every 16 columns.
    void prefetch_segment(double x0, double y0, double x1, double y1) const noexcept;

    // For writers that address `pixels` as a whole.
    void mark_all() const noexcept {
        if (row_marks)
            for (int32_t y = 0; y < height; ++y) row_marks[y] = 1;
    }
};

inline constexpr uint32_t kRgb0Background = 0x0018110Eu;

// The common colour of a Pixel.
inline uint32_t pixel_to_rgba(Pixel p) noexcept {
    switch (p.format) {
        case rgbx32:
            return p.payload | 0xFF000000u;
        case alpha8:
            return (p.payload & 0xFFu) << 24;
        default:
            return p.payload;
    }
}

// The stored form of a common colour in `format`.
inline uint32_t rgba_to_format(uint32_t c, uint8_t format) noexcept {
    return format == rgbx32 ? (c & 0x00FFFFFFu) : c;
}

// A straight colour byte: at most 255. Writers that round colour and alpha
// apart (the image item) can leave a colour byte one above its alpha, whose
// quotient would otherwise pass 255.
inline uint32_t saturate_byte(uint32_t v) noexcept { return v < 255u ? v : 255u; }

// Straight-alpha form of a common colour.
inline uint32_t demultiply(uint32_t c) noexcept {
    uint32_t a = c >> 24;
    if (a == 0) return 0;
    uint32_t r = saturate_byte((c & 0xFF) * 255 / a);
    uint32_t g = saturate_byte(((c >> 8) & 0xFF) * 255 / a);
    uint32_t b = saturate_byte(((c >> 16) & 0xFF) * 255 / a);
    return r | g << 8 | b << 16 | a << 24;
}

// Writes `value` into `count` pixels from `dst` (wide stores).
void fill_pixels(uint32_t* dst, size_t count, uint32_t value) noexcept;

// Converts `count` premultiplied rgba32 pixels in place to straight alpha.
void demultiply_pixels(uint32_t* px, size_t count) noexcept;

}  // namespace vokri
