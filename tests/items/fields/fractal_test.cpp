// Fractal fields through the exports: validation order, hand-computed
// pixels, the palette range, and the vector lanes against the scalar
// definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/test_hooks.h"
#include "common/cpu.h"
#include "support/fractal_reference.h"
#include "items/fields/fractal_field.h"
#include "support/scene.h"
#include "vokri_core.h"

namespace {

using vt::byte_of;
using vt::TestScene;

constexpr double kNaN = __builtin_nan("");
constexpr double kInf = __builtin_inf();

VokriInfiniteGeometryRecord fractal(uint32_t kind = VOKRI_FRACTAL_MANDELBROT) {
    VokriInfiniteGeometryRecord r{};
    r.geometry_kind = VOKRI_GEOMETRY_FRACTAL;
    r.a0 = 50;
    r.a1 = 2;
    r.variant = kind;
    r.t = 0.3;
    r.p1[0] = 1.5;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.colour1 = 0xC86432FFu;  // (200, 100, 50)
    r.colour2 = 0x3C78B4FFu;  // (60, 120, 180)
    r.line_width = 1;
    r.opacity = 1;
    return r;
}

// A 1x1 canvas whose only pixel centre is the user origin; the transform's
// translation puts the complex point (re, im) there.
VokriInfiniteGeometryRecord at_point(VokriInfiniteGeometryRecord r, double re, double im) {
    r.transform[0] = 1;
    r.transform[1] = 0;
    r.transform[2] = 0;
    r.transform[3] = 1;
    r.transform[4] = -re;
    r.transform[5] = -im;
    return r;
}

// The error name printed for a failing rgba0 render, or "ok".
std::string error_of(const VokriInfiniteGeometryRecord& r, int w = 2, int h = 2) {
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    vt::StderrCapture cap;
    int32_t rc = s.rgba0(w, h, 1, px);
    std::string text = cap.text();
    if (rc == 0) return "ok";
    const std::string prefix = "vokri scene rgba0 render error: ";
    if (rc != 1 || text.rfind(prefix, 0) != 0 || text.back() != '\n') return "bad report: " + text;
    return text.substr(prefix.size(), text.size() - prefix.size() - 1);
}

uint32_t rgb0_single(const VokriInfiniteGeometryRecord& r) {
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    EXPECT_EQ(s.rgb0(1, 1, 1, px), 0);
    return px[0];
}

// The blend of straight bytes (r, g, b) with alpha a over the rgb0
// background (14, 17, 24), written out.
uint32_t over_background(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return vt::rgba(r * a / 255 + 14 * (255 - a) / 255, g * a / 255 + 17 * (255 - a) / 255,
                    b * a / 255 + 24 * (255 - a) / 255, 0);
}

void palette(double i, double m2, double t, double speed, const uint32_t base[3], uint32_t out[3]) {
    vt::fractal_palette(i, m2, t, speed, base, out);
}

TEST(FractalValidation, HeaderComesFirst) {
    VokriInfiniteGeometryRecord r = fractal();
    r.geometry_kind = 4;
    EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry");
    for (double w : {0.0, -1.0, kNaN, kInf}) {
        r = fractal();
        r.line_width = w;
        r.variant = 7;  // would be InvalidFractalKind
        EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry") << w;
    }
}

TEST(FractalValidation, IterationLimit) {
    for (double a0 : {0.5, 0.999, 100001.0, 100000.5, kNaN, kInf, -kInf}) {
        VokriInfiniteGeometryRecord r = fractal();
        r.a0 = a0;
        r.variant = 0;  // the limit is checked before the kind
        EXPECT_EQ(error_of(r), "InvalidInfiniteGeometry") << a0;
    }
    VokriInfiniteGeometryRecord r = fractal();
    r.a0 = 1;
    EXPECT_EQ(error_of(r), "ok");
    // 100000 iterations at a point of the period-3 bulb (no shortcut there).
    r = at_point(fractal(), -0.1225611668766536, 0.7448617666197442);
    r.a0 = 100000;
    EXPECT_EQ(error_of(r, 1, 1), "ok");
    EXPECT_EQ(rgb0_single(r), vt::rgba(200, 100, 50, 0));
}

TEST(FractalValidation, Kind) {
    for (uint32_t v : {0u, 3u, 0xFFFFFFFFu}) {
        VokriInfiniteGeometryRecord r = fractal();
        r.variant = v;
        r.a1 = 1;  // would be InvalidFractal
        EXPECT_EQ(error_of(r), "InvalidFractalKind") << v;
    }
    EXPECT_EQ(error_of(fractal(VOKRI_FRACTAL_JULIA)), "ok");
}

TEST(FractalValidation, RadiusAndSpeed) {
    auto with = [](double radius, double speed) {
        VokriInfiniteGeometryRecord r = fractal();
        r.a1 = radius;
        r.p1[0] = speed;
        r.transform[0] = 0;  // would be InvalidFractalTransform
        return error_of(r);
    };
    EXPECT_EQ(with(1.999, 1), "InvalidFractal");
    EXPECT_EQ(with(kNaN, 1), "InvalidFractal");
    EXPECT_EQ(with(kInf, 1), "InvalidFractal");
    EXPECT_EQ(with(2, 0), "InvalidFractal");
    EXPECT_EQ(with(2, -1), "InvalidFractal");
    EXPECT_EQ(with(2, kNaN), "InvalidFractal");
    EXPECT_EQ(with(2, kInf), "InvalidFractal");
    EXPECT_EQ(with(2, 1), "InvalidFractalTransform");
    VokriInfiniteGeometryRecord r = fractal();
    r.a1 = 2;
    EXPECT_EQ(error_of(r), "ok");
    r.a1 = 1e300;  // squared it overflows: nothing escapes, nothing breaks
    EXPECT_EQ(error_of(r), "ok");
}

TEST(FractalValidation, Transform) {
    VokriInfiniteGeometryRecord r = fractal();
    r.transform[0] = 2;
    r.transform[1] = 4;
    r.transform[2] = 1;
    r.transform[3] = 2;  // determinant 0
    EXPECT_EQ(error_of(r), "InvalidFractalTransform");
    r = fractal();
    r.transform[0] = r.transform[3] = 3e-8;  // determinant 9e-16
    EXPECT_EQ(error_of(r), "InvalidFractalTransform");
    r.transform[0] = r.transform[3] = 4e-8;  // 1.6e-15
    EXPECT_EQ(error_of(r), "ok");
    // Non-finite entries have no inverse either.
    for (int k = 0; k < 6; ++k) {
        for (double bad : {kNaN, kInf}) {
            r = fractal();
            r.transform[k] = bad;
            EXPECT_EQ(error_of(r), "InvalidFractalTransform") << k;
        }
    }
}

TEST(FractalValidation, UnsupportedSurface) {
    VokriInfiniteGeometryRecord r = fractal();
    vokri::InfiniteColours colours;
    ASSERT_EQ(vokri::check_infinite_header(r, colours), vokri::Error::None);
    uint32_t px[4] = {};
    vokri::Surface s = vokri::Surface::wrap(px, 2, 2, vokri::alpha8);
    vokri::FrameView view = vokri::FrameView::for_canvas(1, 2, 2);
    EXPECT_EQ(vokri::draw_fractal(r, colours, view, s), vokri::Error::UnsupportedFractalSurface);
    r.variant = 9;  // the record is checked before the surface
    EXPECT_EQ(vokri::draw_fractal(r, colours, view, s), vokri::Error::InvalidFractalKind);
}

TEST(FractalPixels, InteriorByBulbAndCardioid) {
    // (-1, 0): bulb; (0.25, 0): cardioid boundary; (0, 0.5): cardioid;
    // all take the interior colour at once even with a limit of 1.
    for (auto [re, im] : {std::pair{-1.0, 0.0}, {0.25, 0.0}, {0.0, 0.5}, {-1.2, 0.1}}) {
        VokriInfiniteGeometryRecord r = at_point(fractal(), re, im);
        r.a0 = 1;
        r.opacity = 0.5;  // a1' = round(127.5) = 128
        EXPECT_EQ(rgb0_single(r), over_background(200, 100, 50, 128)) << re << " " << im;
    }
    // Just outside the cardioid on the real axis the shortcut does not
    // apply: with one iteration (0.26, 0) has |z|^2 = 0.0676 and stays
    // interior by the limit, but escapes given enough iterations.
    VokriInfiniteGeometryRecord r = at_point(fractal(), 0.26, 0.0);
    r.a0 = 1;
    EXPECT_EQ(rgb0_single(r), over_background(200, 100, 50, 255));
    r.a0 = 1000;
    EXPECT_NE(rgb0_single(r), over_background(200, 100, 50, 255));
}

TEST(FractalPixels, MandelbrotEscapeAtIterationThree) {
    // c = 1: z1 = 1, z2 = 2 (|z|^2 = 4 is not above R^2 = 4), z3 = 5.
    VokriInfiniteGeometryRecord r = at_point(fractal(), 1.0, 0.0);
    const uint32_t base[3] = {60, 120, 180};
    uint32_t want[3];
    palette(3, 25, r.t, r.p1[0], base, want);
    EXPECT_EQ(rgb0_single(r), vt::rgba(want[0], want[1], want[2], 0));
    // The same with a partly transparent palette colour.
    r.colour2 = 0x3C78B480u;
    EXPECT_EQ(rgb0_single(r), over_background(want[0], want[1], want[2], 128));
    // Escape radius 3: z3 = 5 still escapes at 3 (25 > 9); radius 5 needs
    // z4 = 26 (|z|^2 = 676).
    r.colour2 = 0x3C78B4FFu;
    r.a1 = 5;
    palette(4, 676, r.t, r.p1[0], base, want);
    EXPECT_EQ(rgb0_single(r), vt::rgba(want[0], want[1], want[2], 0));
}

TEST(FractalPixels, JuliaEscapeAndInterior) {
    VokriInfiniteGeometryRecord r = at_point(fractal(VOKRI_FRACTAL_JULIA), 1.5, 0.0);
    r.a2 = 0.25;
    r.a3 = -0.5;
    // z1 = 1.5^2 + 0.25 - 0.5i = 2.5 - 0.5i: |z|^2 = 6.5 > 4.
    const uint32_t base[3] = {60, 120, 180};
    uint32_t want[3];
    palette(1, 2.5 * 2.5 + 0.25, r.t, r.p1[0], base, want);
    EXPECT_EQ(rgb0_single(r), vt::rgba(want[0], want[1], want[2], 0));
    // z = 0.1 with c = 0 converges to 0: interior.
    r = at_point(fractal(VOKRI_FRACTAL_JULIA), 0.1, 0.0);
    EXPECT_EQ(rgb0_single(r), vt::rgba(200, 100, 50, 0));
}

TEST(FractalPixels, BlackBasePaletteSpansZeroTo89) {
    VokriInfiniteGeometryRecord r = fractal();
    r.colour1 = 0xFFFFFF00u;  // interior left unchanged
    r.colour2 = 0x000000FFu;
    r.p1[0] = 40;  // fast colour cycling
    r.transform[4] = 0.75;
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(160, 90, 40, px), 0);
    uint32_t lo = 255, hi = 0, escaped = 0;
    for (uint32_t p : px) {
        if (p == 0) continue;  // interior
        ASSERT_EQ(byte_of(p, 3), 255u);
        ++escaped;
        for (int k = 0; k < 3; ++k) {
            lo = std::min(lo, byte_of(p, k));
            hi = std::max(hi, byte_of(p, k));
        }
    }
    EXPECT_GT(escaped, 8000u);
    EXPECT_EQ(lo, 0u);
    EXPECT_EQ(hi, 89u);  // round(0.35 * 255)
}

TEST(FractalPixels, OpacityZeroLeavesPixelsAlone) {
    VokriInfiniteGeometryRecord r = fractal();
    r.opacity = 0;
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(32, 16, 10, px), 0);
    for (uint32_t p : px) ASSERT_EQ(p, 0x0018110Eu);
    r.opacity = kNaN;  // counts as 1
    TestScene s2;
    s2.add(r);
    ASSERT_EQ(s2.rgb0(4, 4, 10, px), 0);
    EXPECT_NE(px[0], 0x0018110Eu);
}

TEST(FractalPixels, AlphaCompoundsOnRgba) {
    // Two half-transparent interior layers: alpha 128, then
    // 128 + 128 - (128 * 128) / 255 = 192.
    VokriInfiniteGeometryRecord r = at_point(fractal(), -1.0, 0.0);
    r.opacity = 0.5;
    TestScene s;
    s.add(r);
    s.add(r);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(1, 1, 1, px), 0);
    EXPECT_EQ(byte_of(px[0], 3), 192u);
    // Premultiplied red after both: 200*128/255 = 100, then
    // 100 + (100 * 127) / 255 = 149; straight: 149 * 255 / 192 = 197.
    EXPECT_EQ(byte_of(px[0], 0), 149u * 255u / 192u);
}

TEST(FractalPixels, NonFinitePhaseGivesZeroBytes) {
    VokriInfiniteGeometryRecord r = at_point(fractal(), 1.0, 0.0);
    r.t = kNaN;
    EXPECT_EQ(rgb0_single(r), vt::rgba(0, 0, 0, 0));
    r.t = kInf;
    EXPECT_EQ(rgb0_single(r), vt::rgba(0, 0, 0, 0));
}

std::vector<uint32_t> reference_rgb0(const VokriInfiniteGeometryRecord& r, int w, int h, double s) {
    std::vector<uint32_t> px(size_t(w) * h);
    vt::fractal_reference_rgb0(r, w, h, s, px.data());
    return px;
}

VokriInfiniteGeometryRecord random_fractal(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> u(-1, 1);
    VokriInfiniteGeometryRecord r = fractal(rng() % 2 ? VOKRI_FRACTAL_MANDELBROT : VOKRI_FRACTAL_JULIA);
    r.a0 = 1 + double(rng() % 120);
    r.a1 = 2 + 3 * (u(rng) + 1);
    r.a2 = 0.8 * u(rng);
    r.a3 = 0.8 * u(rng);
    r.t = 5 * u(rng);
    r.p1[0] = 0.1 + 10 * (u(rng) + 1);
    double zoom = std::exp(4 * u(rng));
    double angle = 3.14159 * u(rng);
    r.transform[0] = zoom * std::cos(angle);
    r.transform[1] = -zoom * std::sin(angle) * (1 + 0.3 * u(rng));
    r.transform[2] = zoom * std::sin(angle);
    r.transform[3] = zoom * std::cos(angle);
    r.transform[4] = 0.7 * u(rng);
    r.transform[5] = 0.7 * u(rng);
    r.colour1 = static_cast<uint32_t>(rng());
    r.colour2 = static_cast<uint32_t>(rng());
    r.opacity = 1.2 * (u(rng) + 1) / 2;
    return r;
}

TEST(FractalLanes, ExportsMatchTheFormulaOnRandomViews) {
    std::mt19937_64 rng(6);
    for (int trial = 0; trial < 60; ++trial) {
        VokriInfiniteGeometryRecord r = random_fractal(rng);
        int w = 1 + int(rng() % 37), h = 1 + int(rng() % 23);
        double s = 4 + double(rng() % 60);
        TestScene sc;
        sc.add(r);
        std::vector<uint32_t> px;
        ASSERT_EQ(sc.rgb0(w, h, s, px), 0);
        ASSERT_EQ(px, reference_rgb0(r, w, h, s)) << "trial " << trial;
    }
}

TEST(FractalLanes, EveryLaneWidthGivesTheScalarBytes) {
    using vokri::cpu::Isa;
    std::mt19937_64 rng(66);
    int compared = 0;
    for (int trial = 0; trial < 150; ++trial) {
        VokriInfiniteGeometryRecord r = random_fractal(rng);
        vokri::InfiniteColours colours;
        ASSERT_EQ(vokri::check_infinite_header(r, colours), vokri::Error::None);
        vokri::FractalParams params;
        vokri::InverseMap inverse;
        ASSERT_EQ(vokri::prepare_fractal(r, colours, params, inverse), vokri::Error::None);
        int32_t w = 1 + int32_t(rng() % 41), h = 1 + int32_t(rng() % 9);
        uint8_t format = rng() % 2 ? vokri::rgba32 : vokri::rgbx32;
        std::vector<uint32_t> start(size_t(w) * h);
        for (uint32_t& p : start) {
            uint32_t a = uint32_t(rng() % 256);
            p = format == vokri::rgba32 ? vt::rgba(rng() % (a + 1), rng() % (a + 1), rng() % (a + 1), a)
                                        : uint32_t(rng()) & 0xFFFFFFu;
        }
        vokri::FrameView view = vokri::FrameView::for_canvas(3 + double(rng() % 50), uint32_t(w), uint32_t(h));
        std::vector<uint32_t> scalar = start;
        vokri::Surface ss = vokri::Surface::wrap(scalar.data(), w, h, format);
        {
            vokri::test_hooks::IsaCap plain(Isa::scalar);
            vokri::render_fractal(params, inverse, view, ss);
        }
        for (Isa isa : {Isa::sse2, Isa::avx2}) {
            if (!vokri::cpu::usable(isa)) continue;
            vokri::test_hooks::IsaCap cap(isa);
            std::vector<uint32_t> lanes = start;
            vokri::Surface ls = vokri::Surface::wrap(lanes.data(), w, h, format);
            vokri::render_fractal(params, inverse, view, ls);
            ASSERT_EQ(lanes, scalar) << "trial " << trial << " " << vokri::cpu::name(isa);
            ++compared;
        }
    }
    // Every form the processor has was compared (none beyond scalar on
    // processors without x86 lanes).
    EXPECT_EQ(compared, 150 * (int(vokri::cpu::usable(Isa::sse2)) + int(vokri::cpu::usable(Isa::avx2))));
}

TEST(FractalLanes, EvaluateMatchesPixels) {
    // The point evaluator is the definition the row paths are held to.
    VokriInfiniteGeometryRecord r = at_point(fractal(), 1.0, 0.0);
    vokri::InfiniteColours colours;
    ASSERT_EQ(vokri::check_infinite_header(r, colours), vokri::Error::None);
    vokri::FractalParams params;
    vokri::InverseMap inverse;
    ASSERT_EQ(vokri::prepare_fractal(r, colours, params, inverse), vokri::Error::None);
    const uint32_t base[3] = {60, 120, 180};
    uint32_t want[3];
    palette(3, 25, r.t, r.p1[0], base, want);
    EXPECT_EQ(vokri::evaluate_fractal(params, 1.0, 0.0), vt::rgba(want[0], want[1], want[2], 255));
    EXPECT_EQ(vokri::evaluate_fractal(params, -1.0, 0.0), vt::rgba(200, 100, 50, 255));
}

}  // namespace

// The palette's four-lane cosine stands in for std::cos only where the byte
// cannot change: random arguments, arguments placed so that the value lands
// within 1e-13 of a half integer (where the guard must fall back), arguments
// beyond the cosine's range and non-finite ones.
TEST(FractalLanes, PaletteCosineKeepsTheBytesOfStdCos) {
    using vokri::cpu::Isa;
    if (!vokri::cpu::usable(Isa::avx2)) GTEST_SKIP() << "no four-lane cosine on this processor";
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> amplitude(89.25, 255.0), turn(-2000.0, 2000.0), unit(0.0, 1.0);
    const double kPi = 3.141592653589793;
    for (int trial = 0; trial < 200000; ++trial) {
        double amp[3], arg[3];
        for (int k = 0; k < 3; ++k) {
            amp[k] = amplitude(rng);
            switch (rng() % 8) {
            case 0: {  // value = amp * (0.5 + 0.5 cos) near m + 0.5
                const double m = std::floor(unit(rng) * (amp[k] - 1.0));
                const double c = std::clamp(((m + 0.5) / amp[k] - 0.5) / 0.5, -1.0, 1.0);
                const double j = std::round(turn(rng) / 10.0);
                arg[k] = (rng() % 2 ? 1.0 : -1.0) * std::acos(c) + 2.0 * kPi * j;
                break;
            }
            case 1: arg[k] = turn(rng) * 1e3; break;  // partly beyond the range
            case 2: arg[k] = rng() % 2 ? std::numeric_limits<double>::infinity() : std::nan(""); break;
            default: arg[k] = turn(rng); break;
            }
        }
        uint32_t plain;
        {
            vokri::test_hooks::IsaCap cap(Isa::scalar);
            plain = vokri::fractal_testing::palette(amp, arg);
        }
        ASSERT_EQ(vokri::fractal_testing::palette(amp, arg), plain)
            << "trial " << trial << " " << arg[0] << " " << arg[1] << " " << arg[2];
    }
}

// The colour stage of the block renderer (logarithms and cosines in four
// lanes) against the definition: random escapes, and escapes whose colour
// phase is placed so that a channel's value lands on a rounding boundary
// (where the lanes must fall back to the definition).
TEST(FractalLanes, EscapeColoursKeepTheBytesOfTheDefinition) {
    using vokri::cpu::Isa;
    if (!vokri::cpu::usable(Isa::avx2)) GTEST_SKIP() << "no four-lane colour stage on this processor";
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double kLn2 = 0.6931471805599453, kTwoPi = 6.283185307179586;
    for (int trial = 0; trial < 100000; ++trial) {
        vokri::FractalParams p;
        p.limit = 1 + uint32_t(rng() % 2000);
        p.escape2 = 4.0 + unit(rng) * (trial % 3 == 0 ? 1e6 : 60.0);
        p.speed = std::exp(unit(rng) * 12.0 - 4.0);
        p.phase = (unit(rng) - 0.5) * 200.0;
        p.base = uint32_t(rng());
        for (int k = 0; k < 3; ++k) p.amplitude[k] = ((double(rng() % 256) / 255.0) * 0.65 + 0.35) * 255.0;
        const double iteration = double(1 + rng() % p.limit);
        const double mag2 = p.escape2 * (1.0 + unit(rng) * (trial % 5 == 0 ? 1e6 : 8.0));
        if (trial % 2 == 0) {  // red exactly on m + 0.5
            const double l = 0.5 * std::log(mag2);
            const double nu = iteration + 1.0 - std::log(l / kLn2) / kLn2;
            const double m = std::floor(unit(rng) * (p.amplitude[0] - 1.0));
            const double target = std::acos(std::clamp(2.0 * (m + 0.5) / p.amplitude[0] - 1.0, -1.0, 1.0)) / kTwoPi;
            p.phase = target + std::round(p.phase) - p.speed * (nu * 0.021);
        }
        ASSERT_EQ(vokri::fractal_testing::escaped_colour(p, iteration, mag2), vokri::escaped_colour(p, iteration, mag2))
            << "trial " << trial;
    }
}
