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

#include "common/numeric.h"
#include "items/fields/mesh_pipeline.h"

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

// Tests the pixels x0 .. x1 (inclusive) of row y exactly and writes those
// inside.
inline void test_run(const Edges& e, const PixelWriter& w, int64_t y, int64_t xa, int64_t xb) noexcept {
    const float py = static_cast<float>(y) + 0.5f;
    const float ry = py - e.y0;
    const float r1 = ry * e.dx20;
    const float r2 = e.dx10 * ry;
    const size_t row = static_cast<size_t>(y) * w.target.width;
    for (int64_t x = xa; x <= xb; ++x) {
        const float px = static_cast<float>(x) + 0.5f;
        const float rx = px - e.x0;
        const float e1 = rx * e.dy20 - r1;
        const float e2 = r2 - e.dy10 * rx;
        const float b1 = e1 / e.area;
        const float b2 = e2 / e.area;
        const float b0 = (1.0f - b1) - b2;
        if (b0 < kOutside || b1 < kOutside || b2 < kOutside) continue;
        w.write(row + static_cast<size_t>(x), b0, b1, b2);
    }
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
    double a[3], c1, c2;  // weight k = a[k] * px + c_k(py)
    double limit[3];      // tested where every weight >= limit[k]
};

inline bool row_span(const Edges& e, const SpanSetup& s, int64_t y, int64_t box_lo, int64_t box_hi,
                     int64_t& xa, int64_t& xb) noexcept {
    const float py = static_cast<float>(y) + 0.5f;
    const float ry = py - e.y0;
    const double r1 = static_cast<double>(ry * e.dx20);
    const double r2 = static_cast<double>(e.dx10 * ry);
    const double area = e.area;
    const double x0 = e.x0;
    // b1 = ((px - x0) dy20 - r1) / A, b2 = (r2 - dy10 (px - x0)) / A.
    const double c[3] = {0.0, (-x0 * e.dy20 - r1) / area, (r2 + e.dy10 * x0) / area};
    const double cc[3] = {1.0 - c[1] - c[2], c[1], c[2]};
    double lo = static_cast<double>(box_lo) + 0.5;
    double hi = static_cast<double>(box_hi) + 0.5;
    for (int k = 0; k < 3; ++k) {
        const double a = s.a[k];
        const double g = s.limit[k] - cc[k];
        if (a > 0.0) {
            const double p = g / a;
            if (p > lo) lo = p;
        } else if (a < 0.0) {
            const double p = g / a;
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

void raster_triangle(const Target& target, const ScreenTriangle& tri, const Shade& shade,
                     Walk walk) noexcept {
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
        for (int64_t y = ylo; y <= yhi; ++y) test_run(e, writer, y, xlo, xhi);
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
    s.limit[0] = t - eps0 - slack;
    s.limit[1] = t - eps1 - slack;
    s.limit[2] = t - eps2 - slack;
    for (int64_t y = ylo; y <= yhi; ++y) {
        int64_t xa, xb;
        if (row_span(e, s, y, xlo, xhi, xa, xb)) test_run(e, writer, y, xa, xb);
    }
}

}  // namespace vokri::mesh
