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
// The same bytes eight pixels at a time; only where cpu::usable(avx2) (the
// plain form elsewhere).
void blend_exact_avx2(const uint8_t* src, uint32_t* dst, size_t count, uint32_t o, bool rgba) noexcept;
// Picks the widest usable form.
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

// The four texels of the bilinear footprint whose top-left texel is (i, j):
// t[0] = (i, j), t[1] = (i + 1, j), t[2] = (i, j + 1), t[3] = (i + 1, j + 1).
// Texels outside the raster are transparent: all bytes zero give a zero
// contribution, the same as leaving them out of the sum. Requires
// -1 <= i <= width and -1 <= j <= height.
inline void load_footprint(const Raster& r, int64_t i, int64_t j, uint32_t t[4]) noexcept {
    const int64_t w = r.width, h = r.height;
    const size_t stride = static_cast<size_t>(r.width) * 4;
    t[0] = t[1] = t[2] = t[3] = 0;
    if (i >= 0 && i + 1 < w && j >= 0 && j + 1 < h) {
        const uint8_t* p = r.pixels + static_cast<size_t>(j) * stride + static_cast<size_t>(i) * 4;
        t[0] = load_u32(p);
        t[1] = load_u32(p + 4);
        t[2] = load_u32(p + stride);
        t[3] = load_u32(p + stride + 4);
        return;
    }
    const bool c0 = i >= 0 && i < w, c1 = i + 1 >= 0 && i + 1 < w;
    if (j >= 0 && j < h) {
        const uint8_t* row0 = r.pixels + static_cast<size_t>(j) * stride;
        if (c0) t[0] = load_u32(row0 + static_cast<size_t>(i) * 4);
        if (c1) t[1] = load_u32(row0 + static_cast<size_t>(i + 1) * 4);
    }
    if (j + 1 >= 0 && j + 1 < h) {
        const uint8_t* row1 = r.pixels + static_cast<size_t>(j + 1) * stride;
        if (c0) t[2] = load_u32(row1 + static_cast<size_t>(i) * 4);
        if (c1) t[3] = load_u32(row1 + static_cast<size_t>(i + 1) * 4);
    }
}

// Bilinear sample at (u, v) in raster pixel space (pixel (i, j) centred at
// (i + 0.5, j + 0.5)); texels outside the raster count as transparent.
// Requires -0.5 <= u <= width + 0.5 and -0.5 <= v <= height + 0.5.
inline Sample sample_bilinear(const Raster& r, double u, double v) noexcept {
    const double uu = u - 0.5, vv = v - 0.5;
    // -1 <= i <= width and -1 <= j <= height by the caller's bounds.
    const int64_t i = floor_to_int(uu), j = floor_to_int(vv);
    const double fx = uu - static_cast<double>(i), fy = vv - static_cast<double>(j);
    uint32_t tex[4];
    load_footprint(r, i, j, tex);
    const uint32_t t00 = tex[0], t10 = tex[1], t01 = tex[2], t11 = tex[3];
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
