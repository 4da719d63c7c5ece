// Pixel writers of the image item: the integer copy-and-blend of a raster
// that covers the canvas pixel for pixel, and the bilinear sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vokri::image {

// Blends `count` straight-alpha raster pixels (bytes R, G, B, A) at `src`
// onto `count` Surface pixels at `dst`, pixel k onto pixel k, with the
// integer opacity `o` (0..255). `rgba` selects the rgba32 alpha byte rule;
// otherwise the Surface is rgbx32.
//
// The plain definition, one pixel at a time.
void blend_exact_scalar(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept;
// The same bytes eight pixels at a time; only when avx2_available().
void blend_exact_avx2(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept;
bool avx2_available() noexcept;
// Picks the widest form the processor runs.
void blend_exact(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept;

// A raster as the sampler reads it.
struct Raster {
    const uint8_t* pixels = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
};

// Premultiplied channels 0..2 on the 0..255 scale and alpha on the 0..1
// scale.
struct Sample {
    double c0 = 0, c1 = 0, c2 = 0, a = 0;
};

inline uint32_t load_u32(const uint8_t* p) noexcept {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// t = alpha / 255 for every alpha byte, as the sampler uses it.
struct AlphaTable {
    double t[256];
    constexpr AlphaTable() : t() {
        for (int i = 0; i < 256; ++i) t[i] = static_cast<double>(i) / 255.0;
    }
};
inline constexpr AlphaTable kAlpha;

// floor(x) for |x| < 2^62, without a library call.
inline int64_t floor_to_int(double x) noexcept {
    auto i = static_cast<int64_t>(x);
    return static_cast<double>(i) > x ? i - 1 : i;
}

// Bilinear sample at (u, v) in raster pixel space (pixel (i, j) centred at
// (i + 0.5, j + 0.5)); texels outside the raster count as transparent.
// Requires -0.5 <= u <= width + 0.5 and -0.5 <= v <= height + 0.5.
inline Sample sample_bilinear(const Raster& r, double u, double v) noexcept {
    const double uu = u - 0.5, vv = v - 0.5;
    // -1 <= i <= width and -1 <= j <= height by the caller's bounds.
    const int64_t i = floor_to_int(uu), j = floor_to_int(vv);
    const double fx = uu - static_cast<double>(i), fy = vv - static_cast<double>(j);
    const int64_t w = r.width, h = r.height;
    uint32_t t00 = 0, t10 = 0, t01 = 0, t11 = 0;
    const size_t stride = static_cast<size_t>(r.width) * 4;
    if (i >= 0 && i + 1 < w && j >= 0 && j + 1 < h) {
        const uint8_t* p = r.pixels + static_cast<size_t>(j) * stride + static_cast<size_t>(i) * 4;
        t00 = load_u32(p);
        t10 = load_u32(p + 4);
        t01 = load_u32(p + stride);
        t11 = load_u32(p + stride + 4);
    } else {
        // A texel outside the raster is transparent: all bytes zero give a
        // zero contribution, the same as leaving it out of the sum.
        const bool c0 = i >= 0 && i < w, c1 = i + 1 >= 0 && i + 1 < w;
        if (j >= 0 && j < h) {
            const uint8_t* row0 = r.pixels + static_cast<size_t>(j) * stride;
            if (c0) t00 = load_u32(row0 + static_cast<size_t>(i) * 4);
            if (c1) t10 = load_u32(row0 + static_cast<size_t>(i + 1) * 4);
        }
        if (j + 1 >= 0 && j + 1 < h) {
            const uint8_t* row1 = r.pixels + static_cast<size_t>(j + 1) * stride;
            if (c0) t01 = load_u32(row1 + static_cast<size_t>(i) * 4);
            if (c1) t11 = load_u32(row1 + static_cast<size_t>(i + 1) * 4);
        }
    }
    const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
    const double a00 = kAlpha.t[t00 >> 24], a10 = kAlpha.t[t10 >> 24];
    const double a01 = kAlpha.t[t01 >> 24], a11 = kAlpha.t[t11 >> 24];
    auto ch = [](uint32_t t, int c) { return static_cast<double>((t >> (8 * c)) & 0xFF); };
    Sample out;
    out.c0 = w00 * (ch(t00, 0) * a00) + w10 * (ch(t10, 0) * a10) + w01 * (ch(t01, 0) * a01) +
             w11 * (ch(t11, 0) * a11);
    out.c1 = w00 * (ch(t00, 1) * a00) + w10 * (ch(t10, 1) * a10) + w01 * (ch(t01, 1) * a01) +
             w11 * (ch(t11, 1) * a11);
    out.c2 = w00 * (ch(t00, 2) * a00) + w10 * (ch(t10, 2) * a10) + w01 * (ch(t01, 2) * a01) +
             w11 * (ch(t11, 2) * a11);
    out.a = w00 * a00 + w10 * a10 + w01 * a01 + w11 * a11;
    return out;
}


}  // namespace vokri::image
