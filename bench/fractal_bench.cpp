// 1920x1080 fractal fields through the rgb0 export (vector lanes chosen at
// run time), each against a plain scalar loop of the same formula in the
// same run. Also the library's three lane widths on their own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/cpu.h"
#include "bench_pair.h"
#include "items/fields/fractal_field.h"
#include "vokri_core.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr size_t kN = size_t(kW) * kH;

VokriInfiniteGeometryRecord mandelbrot_record() {
    VokriInfiniteGeometryRecord r{};
    r.geometry_kind = VOKRI_GEOMETRY_FRACTAL;
    r.a0 = 256;  // iteration limit
    r.a1 = 2;    // escape radius
    r.variant = VOKRI_FRACTAL_MANDELBROT;
    r.t = 0.1;
    r.p1[0] = 1.0;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.transform[4] = 0.75;  // shows re in about [-2.5, 1]
    r.colour1 = 0x000000FFu;
    r.colour2 = 0x3060C0FFu;
    r.line_width = 1;
    r.opacity = 1;
    return r;
}

VokriInfiniteGeometryRecord julia_record() {
    VokriInfiniteGeometryRecord r = mandelbrot_record();
    r.variant = VOKRI_FRACTAL_JULIA;
    r.a2 = -0.8;
    r.a3 = 0.156;
    r.transform[4] = 0;
    return r;
}

// A view into the seahorse valley (centre -0.7435 + 0.1314i, 0.01 wide),
// where most pixels iterate long and the iteration outweighs the colouring.
VokriInfiniteGeometryRecord zoom_record() {
    VokriInfiniteGeometryRecord r = mandelbrot_record();
    r.transform[0] = r.transform[3] = 192000.0;  // local units to user units
    r.transform[4] = 0.7435 * 192000.0;
    r.transform[5] = -0.1314 * 192000.0;
    return r;
}

double scale_for(const VokriInfiniteGeometryRecord& r) { return r.variant == VOKRI_FRACTAL_JULIA ? 600.0 : 548.0; }

int render(const VokriInfiniteGeometryRecord& rec, double scale, uint32_t* px) {
    VokriDrawItem item{VOKRI_ITEM_INFINITE, 0};
    return vokri_render_scene_rgb0(kW, kH, scale, &item, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, &rec,
                                   1, nullptr, 0, nullptr, 0, px, kN);
}

// The formula written out as the plainest loop: one pixel at a time.
void plain_scalar(const VokriInfiniteGeometryRecord& r, double s, uint32_t* px) {
    std::fill(px, px + kN, 0x0018110Eu);
    const double* m = r.transform;
    const double det = m[0] * m[3] - m[1] * m[2];
    const uint32_t n = static_cast<uint32_t>(std::trunc(r.a0 + 0.49999999999999994));
    const double r2 = r.a1 * r.a1;
    const uint32_t base[3] = {r.colour2 >> 24, (r.colour2 >> 16) & 0xFF, (r.colour2 >> 8) & 0xFF};
    const uint32_t inner[3] = {r.colour1 >> 24, (r.colour1 >> 16) & 0xFF, (r.colour1 >> 8) & 0xFF};
    const uint32_t a_in = r.colour1 & 0xFF, a_out = r.colour2 & 0xFF;
    for (int py = 0; py < kH; ++py) {
        for (int pxi = 0; pxi < kW; ++pxi) {
            double x = (pxi + 0.5 - kW / 2.0) / s, y = -(py + 0.5 - kH / 2.0) / s;
            double re = (m[3] * (x - m[4]) - m[1] * (y - m[5])) / det;
            double im = (m[0] * (y - m[5]) - m[2] * (x - m[4])) / det;
            double zr, zi, cr, ci;
            bool interior = false;
            if (r.variant == VOKRI_FRACTAL_MANDELBROT) {
                double q = (re - 0.25) * (re - 0.25) + im * im;
                interior = (re + 1) * (re + 1) + im * im <= 0.0625 || q * (q + (re - 0.25)) <= 0.25 * (im * im);
                zr = zi = 0;
                cr = re;
                ci = im;
            } else {
                zr = re;
                zi = im;
                cr = r.a2;
                ci = r.a3;
            }
            uint32_t esc = 0;
            double mag = 0;
            for (uint32_t i = 1; !interior && i <= n; ++i) {
                double nr = zr * zr - zi * zi + cr;
                double ni = 2.0 * zr * zi + ci;
                zr = nr;
                zi = ni;
                mag = zr * zr + zi * zi;
                if (mag > r2) {
                    esc = i;
                    break;
                }
            }
            uint32_t rgb[3];
            uint32_t a;
            if (esc == 0) {
                std::copy(inner, inner + 3, rgb);
                a = a_in;
            } else {
                double l = 0.5 * std::log(std::max(mag, 1.0000000001));
                double nu = esc;
                if (l > 0 && std::isfinite(l)) {
                    nu = esc + 1 - std::log(l / 0.6931471805599453) / 0.6931471805599453;
                    if (!std::isfinite(nu)) nu = esc;
                }
                double ph = r.t + r.p1[0] * (nu * 0.021);
                const double off[3] = {0, 0.12, 0.24};
                for (int k = 0; k < 3; ++k) {
                    double amp = ((base[k] / 255.0) * 0.65 + 0.35) * 255.0;
                    double v = amp * (0.5 + 0.5 * std::cos(6.283185307179586 * (ph + off[k])));
                    v = std::clamp(v, 0.0, 255.0);
                    rgb[k] = static_cast<uint32_t>(std::trunc(v + 0.49999999999999994));
                }
                a = a_out;
            }
            if (a == 0) continue;
            uint32_t& d = px[size_t(py) * kW + pxi];
            uint32_t out = 0;
            for (int k = 0; k < 3; ++k) {
                uint32_t dk = (d >> (8 * k)) & 0xFF;
                out |= (rgb[k] * a / 255 + dk * (255 - a) / 255) << (8 * k);
            }
            d = out;
        }
    }
}

void run_vs_scalar(benchmark::State& state, const VokriInfiniteGeometryRecord& rec, double s = 0) {
    std::vector<uint32_t> px(kN), ref(kN);
    if (s == 0) s = scale_for(rec);
    vbench::run_pair(
        state, [&] { benchmark::DoNotOptimize(render(rec, s, px.data())); },
        [&] {
            plain_scalar(rec, s, ref.data());
            benchmark::ClobberMemory();
        });
    state.counters["same_bytes"] = px == ref ? 1 : 0;
}

void BM_MandelbrotVsPlainScalar(benchmark::State& state) { run_vs_scalar(state, mandelbrot_record()); }
BENCHMARK(BM_MandelbrotVsPlainScalar)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MandelbrotZoomVsPlainScalar(benchmark::State& state) { run_vs_scalar(state, zoom_record(), 1.0); }
BENCHMARK(BM_MandelbrotZoomVsPlainScalar)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_JuliaVsPlainScalar(benchmark::State& state) { run_vs_scalar(state, julia_record()); }
BENCHMARK(BM_JuliaVsPlainScalar)->UseManualTime()->Unit(benchmark::kMillisecond);

// The library's own lane widths: 0 scalar, 1 SSE2, 2 AVX2.
void BM_MandelbrotLanes(benchmark::State& state) {
    const vokri::cpu::Isa isas[3] = {vokri::cpu::Isa::scalar, vokri::cpu::Isa::sse2, vokri::cpu::Isa::avx2};
    const vokri::cpu::Isa isa = isas[state.range(0)];
    if (!vokri::cpu::usable(isa)) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    vokri::cpu::ScopedCap cap(isa);
    VokriInfiniteGeometryRecord rec = mandelbrot_record();
    vokri::InfiniteColours colours;
    if (!vokri::ok(vokri::check_infinite_header(rec, colours))) return;
    vokri::FractalParams params;
    vokri::InverseMap inverse;
    if (!vokri::ok(vokri::prepare_fractal(rec, colours, params, inverse))) return;
    std::vector<uint32_t> px(kN, 0x0018110Eu);
    vokri::Surface surface = vokri::Surface::wrap(px.data(), kW, kH, vokri::rgbx32);
    vokri::FrameView view = vokri::FrameView::for_canvas(scale_for(rec), kW, kH);
    for (auto _ : state) {
        vokri::render_fractal(params, inverse, view, surface);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MandelbrotLanes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
