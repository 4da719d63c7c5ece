// Inputs the fuzzer found, replayed through the fuzz checks, and the faults
// behind them restated as plain scenes with the results worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scene_checks.h"
#include "support/scene.h"

namespace {

std::vector<std::filesystem::path> regression_inputs() {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(VOKRI_SOURCE_DIR "/fuzz/regressions"))
        if (e.is_regular_file()) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(FuzzRegressions, EveryFoundInputPassesTheFuzzChecks) {
    const auto inputs = regression_inputs();
    ASSERT_GE(inputs.size(), 2u);
    for (const auto& path : inputs) {
        const std::vector<uint8_t> bytes = vt::read_file(path.string());
        ASSERT_FALSE(bytes.empty()) << path;
        vt::StderrCapture quiet;
        const std::string bad =
            vfuzz::check_scene_call(bytes.data(), bytes.size(), vt::temp_path("fuzz-regression.png"));
        quiet.text();
        EXPECT_EQ(bad, "") << path.filename();
    }
}

// Found as a timeout: a circle at a scale of 1e15 pixels a unit, stroked one
// unit wide, flattened into some 10^8 pieces each with its own round join.
// The canvas centre is the circle's centre, deep in the hole of the ring.
TEST(FuzzRegressions, CircleAtAHugeScaleLeavesTheCanvasInItsHole) {
    vt::TestScene s;
    VokriShapeRecord ring = vt::stroked(vt::shape(VOKRI_SHAPE_CIRCLE), 0xFF0000FFu, 1.0);
    ring.p0 = 1.0;
    s.add(ring);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(64, 48, 1e15, px), 0);
    for (uint32_t p : px) ASSERT_EQ(p, 0u);
    // Three units wide, the ring covers its centre: every pixel is the
    // opaque stroke colour, in rgba0, rgb0 and the picked object.
    s.shapes[0].stroke_width = 3.0;
    ASSERT_EQ(s.rgba0(64, 48, 1e15, px), 0);
    for (uint32_t p : px) ASSERT_EQ(p, vt::rgba(255, 0, 0, 255));
    ASSERT_EQ(s.rgb0(64, 48, 1e15, px), 0);
    for (uint32_t p : px) ASSERT_EQ(p, vt::rgba(255, 0, 0, 0));
    s.ids = {7};
    int32_t id = -1;
    ASSERT_EQ(s.pick(64, 48, 1e15, 10, 40, &id), 0);
    EXPECT_EQ(id, 7);
}

// Found as a slow input: the canvas inside a stroke whose pen is 1e38
// pixels wide, around a polygon whose corners lie far outside the canvas;
// every pixel row crossed some 10^5 outline edges.
TEST(FuzzRegressions, CanvasDeepInsideAHugePen) {
    vt::TestScene s;
    VokriShapeRecord poly = vt::stroked(vt::shape(VOKRI_SHAPE_POLYGON), 0x00FF00FFu, 1e37);
    const double pts[] = {-1e6, -1e6, 1e6, -1e6, 1e6, 1e6, -1e6, 1e6, 0, 3e6, -3e6, 0};
    poly.points = pts;
    poly.point_count = 6;
    s.add(poly);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(64, 48, 10, px), 0);
    for (uint32_t p : px) ASSERT_EQ(p, vt::rgba(0, 255, 0, 255));
}
