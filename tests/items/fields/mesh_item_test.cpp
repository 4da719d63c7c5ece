// Mesh items through the exports: cubes under both projections, clipping at
// the near plane and back-face culling.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>

#include "items/fields/mesh_support.h"
#include "support/scene.h"

using namespace vt;
using namespace mt;

namespace {

constexpr uint32_t kColour = 0xC86432FFu;  // RR 200, GG 100, BB 50
constexpr uint32_t kBackground = 0x0018110Eu;

// A point projected by the camera in f64, to find pixels well inside faces.
struct Projector {
    double eye[3], s[3], u[3], f[3];
    double g = 1, aspect = 1, ortho_height = 0;
    bool ortho = false;
    uint32_t w, h;

    Projector(const VokriMeshRecord& r, uint32_t width, uint32_t height) : w(width), h(height) {
        double t[3], up[3] = {r.up[0], r.up[1], r.up[2]};
        double fl = 0, sl = 0;
        for (int k = 0; k < 3; ++k) eye[k] = r.eye[k], t[k] = r.target[k], f[k] = t[k] - eye[k], fl += f[k] * f[k];
        for (double& c : f) c /= std::sqrt(fl);
        s[0] = f[1] * up[2] - f[2] * up[1], s[1] = f[2] * up[0] - f[0] * up[2], s[2] = f[0] * up[1] - f[1] * up[0];
        for (double c : s) sl += c * c;
        for (double& c : s) c /= std::sqrt(sl);
        u[0] = s[1] * f[2] - s[2] * f[1], u[1] = s[2] * f[0] - s[0] * f[2], u[2] = s[0] * f[1] - s[1] * f[0];
        aspect = double(width) / double(height);
        ortho = r.projection != 0;
        ortho_height = r.ortho_height;
        g = 1.0 / std::tan(r.fov_y * M_PI / 360.0);
    }
    // Pixel (column, row) containing the projection of p.
    std::array<int, 2> pixel(double x, double y, double z) const {
        const double d[3] = {x - eye[0], y - eye[1], z - eye[2]};
        double vx = 0, vy = 0, vz = 0;
        for (int k = 0; k < 3; ++k) vx += s[k] * d[k], vy += u[k] * d[k], vz += f[k] * d[k];
        double nx, ny;
        if (ortho) {
            nx = vx * 2 / (ortho_height * aspect), ny = vy * 2 / ortho_height;
        } else {
            nx = g / aspect * vx / vz, ny = g * vy / vz;
        }
        return {int(std::floor((nx * 0.5 + 0.5) * w)), int(std::floor((0.5 - ny * 0.5) * h))};
    }
};

uint32_t at(const std::vector<uint32_t>& px, uint32_t w, int x, int y) { return px[size_t(y) * w + size_t(x)]; }

}  // namespace

TEST(MeshItem, LitColoursOfTheAxisFaces) {
    // I = max(n . L, 0) * 0.76 + 0.24, byte = round(255 clamp(I C / 255)).
    EXPECT_EQ(lit_rgb(kLz, kColour), rgba(101, 50, 25, 0));   // I = 0.50269765
    EXPECT_EQ(lit_rgb(kLx, kColour), rgba(171, 86, 43, 0));   // I = 0.85546302
    EXPECT_EQ(lit_rgb(kLy, kColour), rgba(120, 60, 30, 0));   // I = 0.60027104
    EXPECT_EQ(lit_rgb(-kLz, kColour), rgba(48, 24, 12, 0));   // facing away: I = 0.24
    EXPECT_EQ(lit_rgb(kLx, 0xFFFFFFFFu), rgba(218, 218, 218, 0));
}

TEST(MeshItem, OrthographicCubeFaceOn) {
    // Height 4 on 100 x 100: x_ndc = x / 2, so the front face [-1, 1]^2
    // covers device [25, 75] in both axes: pixels 25 to 74.
    MeshData m = cube(1);
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(100, 100, 1, px), 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool in = x >= 25 && x < 75 && y >= 25 && y < 75;
            ASSERT_EQ(at(px, 100, x, y), in ? rgba(101, 50, 25, 255) : 0u) << x << "," << y;
        }
    ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool in = x >= 25 && x < 75 && y >= 25 && y < 75;
            ASSERT_EQ(at(px, 100, x, y), in ? rgba(101, 50, 25, 0) : kBackground) << x << "," << y;
        }
}

TEST(MeshItem, PerspectiveCubeFaceOn) {
    // fov 90: g = 1; the front face at distance 4 spans x_ndc = +-0.25, that
    // is device 37.875 to 63.125 on 101 pixels: pixels 38 to 62. The side
    // faces turn their backs to the eye and are culled.
    MeshData m = cube(1);
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(101, 101, 1, px), 0);
    for (int y = 0; y < 101; ++y)
        for (int x = 0; x < 101; ++x) {
            const bool in = x >= 38 && x <= 62 && y >= 38 && y <= 62;
            ASSERT_EQ(at(px, 101, x, y), in ? rgba(101, 50, 25, 0) : kBackground) << x << "," << y;
        }
}

namespace {

// A cube seen from (4, 3, 5): exactly the +x, +y and +z faces are visible,
// each with its own lit colour; the face centres land on those colours.
void check_three_faces(uint32_t projection) {
    MeshData m = cube(1);
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    const float eye[3] = {4, 3, 5}, target[3] = {0, 0, 0};
    VokriMeshRecord rec = camera(eye, target, projection, layers);
    rec.ortho_height = 5;
    rec.fov_y = 40;
    TestScene s;
    s.add(rec);
    const uint32_t w = 160, h = 120;
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(int32_t(w), int32_t(h), 1, px), 0);
    const uint32_t cx = lit_rgb(kLx, kColour), cy = lit_rgb(kLy, kColour), cz = lit_rgb(kLz, kColour);
    const Projector p(rec, w, h);
    auto c = p.pixel(1, 0, 0);
    EXPECT_EQ(at(px, w, c[0], c[1]), cx);
    c = p.pixel(0, 1, 0);
    EXPECT_EQ(at(px, w, c[0], c[1]), cy);
    c = p.pixel(0, 0, 1);
    EXPECT_EQ(at(px, w, c[0], c[1]), cz);
    // Points a little inside each face, near its corners.
    for (double a : {-0.8, 0.8})
        for (double b : {-0.8, 0.8}) {
            c = p.pixel(1, a, b);
            EXPECT_EQ(at(px, w, c[0], c[1]), cx) << a << " " << b;
            c = p.pixel(a, 1, b);
            EXPECT_EQ(at(px, w, c[0], c[1]), cy) << a << " " << b;
            c = p.pixel(a, b, 1);
            EXPECT_EQ(at(px, w, c[0], c[1]), cz) << a << " " << b;
        }
    // Nothing but the three colours and the background; the image corners
    // stay empty.
    size_t counts[3] = {0, 0, 0};
    for (uint32_t v : px) {
        if (v == cx) ++counts[0];
        else if (v == cy) ++counts[1];
        else if (v == cz) ++counts[2];
        else ASSERT_EQ(v, kBackground);
    }
    for (size_t n : counts) EXPECT_GT(n, 200u);
    EXPECT_EQ(at(px, w, 0, 0), kBackground);
    EXPECT_EQ(at(px, w, w - 1, h - 1), kBackground);
}

}  // namespace

TEST(MeshItem, OrthographicCubeThreeFaces) { check_three_faces(VOKRI_PROJECTION_ORTHOGRAPHIC); }
TEST(MeshItem, PerspectiveCubeThreeFaces) { check_three_faces(VOKRI_PROJECTION_PERSPECTIVE); }
TEST(MeshItem, AnyNonZeroProjectionIsOrthographic) {
    MeshData m = cube(1);
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    TestScene a, b;
    a.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    b.add(front_camera(0xFFFFFFFFu, layers));
    std::vector<uint32_t> pa, pb;
    ASSERT_EQ(a.rgb0(50, 40, 1, pa), 0);
    ASSERT_EQ(b.rgb0(50, 40, 1, pb), 0);
    EXPECT_EQ(pa, pb);
}

TEST(MeshItem, ScaledAndTranslatedModel) {
    // Model scale 0.5 and translation (0.5, 0.1, 0): the front face covers
    // [0, 1] x [-0.4, 0.6], device x 50 to 75, y 35 to 60. The normal
    // matrix keeps +z normals at +z.
    MeshData m = cube(1);
    VokriMeshLayer l = layer(m, kColour);
    const float model[16] = {0.5f, 0, 0, 0.5f, 0, 0.5f, 0, 0.1f, 0, 0, 0.5f, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) l.model[i] = model[i];
    std::vector<VokriMeshLayer> layers{l};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool in = x >= 50 && x < 75 && y >= 35 && y < 60;
            ASSERT_EQ(at(px, 100, x, y), in ? rgba(101, 50, 25, 0) : kBackground) << x << "," << y;
        }
}

TEST(MeshItem, TriangleCrossingTheNearPlaneIsClippedAndDrawn) {
    // A floor triangle at y = -1 from z = -8 to z = +3 behind the eye at the
    // origin (w < 0 at that vertex). The clipped part is what a ray cast
    // from each pixel centre onto the floor finds inside the triangle.
    MeshData m;
    m.pos = {-3, -1, -8, 0, -1, 3, 3, -1, -8};
    m.nor = {0, 1, 0, 0, 1, 0, 0, 1, 0};
    m.idx = {0, 1, 2};
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    const float eye[3] = {0, 0, 0}, target[3] = {0, 0, -1};
    VokriMeshRecord rec = camera(eye, target, VOKRI_PROJECTION_PERSPECTIVE, layers);
    rec.near = 0.5f;
    rec.far = 50;
    TestScene s;
    s.add(rec);
    const int w = 80, h = 60;
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(w, h, 1, px), 0);
    const uint32_t floor = lit_rgb(kLy, kColour);
    const double aspect = double(w) / h;
    int inside = 0, outside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double nx = (x + 0.5) / w * 2 - 1, ny = 1 - (y + 0.5) / h * 2;
            const double dx = nx * aspect, dy = ny;  // g = 1, direction z = -1
            double margin = -1;                      // no floor hit: outside
            if (dy < 0) {
                const double t = -1 / dy, px_ = t * dx, pz = -t;
                // Inside the triangle (-3,-8), (0,3), (3,-8) in (x, z).
                const double e0 = pz + 8;
                const double e1 = (11 * (px_ + 3) - 3 * (pz + 8)) / std::hypot(11, 3);
                const double e2 = (11 * (3 - px_) - 3 * (pz + 8)) / std::hypot(11, 3);
                margin = std::fmin(e0, std::fmin(e1, e2)) / t;  // in screen-ish units
            }
            const uint32_t v = px[size_t(y) * w + x];
            if (margin > 0.05) {
                ++inside;
                ASSERT_EQ(v, floor) << x << "," << y;
            } else if (margin < -0.05) {
                ++outside;
                ASSERT_EQ(v, kBackground) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 800);
    EXPECT_GT(outside, 1500);
    // The triangle reaches the bottom row under the eye.
    EXPECT_EQ(px[size_t(h - 1) * w + w / 2], floor);
}

TEST(MeshItem, TriangleEntirelyBehindTheEyeDrawsNothing) {
    MeshData m;
    m.pos = {-1, -1, 3, 1, -1, 3, 0, 1, 3};
    m.nor = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    m.idx = {0, 1, 2, 0, 2, 1};  // both windings
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    const float eye[3] = {0, 0, 0}, target[3] = {0, 0, -1};
    TestScene s;
    s.add(camera(eye, target, VOKRI_PROJECTION_PERSPECTIVE, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(40, 30, 1, px), 0);
    for (uint32_t v : px) ASSERT_EQ(v, 0u);
}

TEST(MeshItem, ClockwiseTrianglesAreCulled) {
    // The same triangle in both windings: counter-clockwise in NDC (y up) is
    // drawn, clockwise is not.
    MeshData ccw;
    ccw.pos = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    ccw.nor = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    ccw.idx = {0, 1, 2};
    MeshData cw = ccw;
    cw.idx = {0, 2, 1};
    for (int drawn = 0; drawn < 2; ++drawn) {
        std::vector<VokriMeshLayer> layers{layer(drawn ? ccw : cw, kColour)};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgba0(100, 100, 1, px), 0);
        size_t n = 0;
        for (uint32_t v : px) {
            if (v != 0) {
                ASSERT_EQ(v, rgba(101, 50, 25, 255));
                ++n;
            }
        }
        // Device triangle (25, 75), (75, 75), (50, 25): area 1250.
        if (drawn) {
            EXPECT_NEAR(double(n), 1250.0, 60.0);
            EXPECT_EQ(px[50 * 100 + 50], rgba(101, 50, 25, 255));
        } else {
            EXPECT_EQ(n, 0u);
        }
    }
}

TEST(MeshItem, BackFacesOfAClosedCubeNeverShow) {
    // From inside the cube every face turns its back to the eye.
    MeshData m = cube(3);
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    const float eye[3] = {0.5f, 0.2f, 0.1f}, target[3] = {0, 0, -1};
    VokriMeshRecord rec = camera(eye, target, VOKRI_PROJECTION_PERSPECTIVE, layers);
    rec.near = 0.1f;
    TestScene s;
    s.add(rec);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(64, 48, 1, px), 0);
    for (uint32_t v : px) ASSERT_EQ(v, 0u);
}

TEST(MeshItem, EmptyLayerListDrawsNothing) {
    std::vector<VokriMeshLayer> none;
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_PERSPECTIVE, none));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(8, 8, 1, px), 0);
    for (uint32_t v : px) EXPECT_EQ(v, kBackground);
}

TEST(MeshItem, FieldOfViewIsNotValidated) {
    // fov 0 gives g = infinity: nothing finite to draw, but no error.
    MeshData m = cube(1);
    std::vector<VokriMeshLayer> layers{layer(m, kColour)};
    for (float fov : {0.0f, 180.0f, -90.0f, NAN}) {
        VokriMeshRecord rec = front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers);
        rec.fov_y = fov;
        TestScene s;
        s.add(rec);
        std::vector<uint32_t> px;
        EXPECT_EQ(s.rgb0(16, 16, 1, px), 0) << fov;
    }
}
