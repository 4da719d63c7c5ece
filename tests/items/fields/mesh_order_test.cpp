// Mesh items: depth order, the translucent pass, opacity thresholds, separate
// depth buffers per item, every error in its order, and allocation failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "items/fields/mesh_support.h"
#include "raster/canvas.h"
#include "items/drawers.h"
#include "support/scene.h"

using namespace vt;
using namespace mt;

namespace {

constexpr uint32_t kBackground = 0x0018110Eu;
constexpr uint32_t kRed = 0xE02010FFu;
constexpr uint32_t kGreen = 0x20D040FFu;
constexpr uint32_t kBlue = 0x3040F0FFu;

uint32_t at(const std::vector<uint32_t>& px, uint32_t w, int x, int y) { return px[size_t(y) * w + size_t(x)]; }

// rgb0 on 100 x 100 (ortho front camera: device = 50 + 25 x, 50 - 25 y);
// returns the message line of a failure.
std::string render_error(const TestScene& s, std::vector<uint32_t>& px) {
    StderrCapture cap;
    const int32_t rc = s.rgb0(100, 100, 1, px);
    std::string text = cap.text();
    EXPECT_EQ(rc, text.empty() ? 0 : 1);
    return text;
}

std::string msg(const char* name) { return std::string("vokri scene rgb0 render error: ") + name + "\n"; }

std::string error_of(const VokriMeshRecord& rec) {
    TestScene s;
    s.add(rec);
    std::vector<uint32_t> px;
    return render_error(s, px);
}

}  // namespace

TEST(MeshOrder, OpaqueDepthDoesNotDependOnArrayOrder) {
    // Red at z = 0 and green at z = 1 (nearer) overlap on x in [0, 1].
    MeshData red = quad(-1, -1, 1, 1, 0), green = quad(0, -1, 2, 1, 1);
    std::vector<uint32_t> a, b;
    {
        std::vector<VokriMeshLayer> layers{layer(red, kRed), layer(green, kGreen)};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        ASSERT_EQ(s.rgb0(100, 100, 1, a), 0);
    }
    {
        std::vector<VokriMeshLayer> layers{layer(green, kGreen), layer(red, kRed)};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        ASSERT_EQ(s.rgb0(100, 100, 1, b), 0);
    }
    EXPECT_EQ(a, b);
    EXPECT_EQ(at(a, 100, 40, 50), lit_rgb(kLz, kRed));    // x = -0.38
    EXPECT_EQ(at(a, 100, 60, 50), lit_rgb(kLz, kGreen));  // overlap: green is nearer
    EXPECT_EQ(at(a, 100, 90, 50), lit_rgb(kLz, kGreen));
    EXPECT_EQ(at(a, 100, 10, 50), kBackground);
}

TEST(MeshOrder, EqualDepthPassesTheDepthTest) {
    // Coplanar layers: the second one's depth equals the stored one, so it
    // is drawn over the first.
    MeshData q = quad(-1, -1, 1, 1, 0);
    std::vector<VokriMeshLayer> layers{layer(q, kRed), layer(q, kGreen)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
    EXPECT_EQ(at(px, 100, 50, 50), lit_rgb(kLz, kGreen));
}

TEST(MeshOrder, TranslucentLayersBlendBackToFront) {
    // Near red (translation z = 0) listed before far blue (z = -2): blue is
    // blended first, then red, over the rgb0 background.
    MeshData q = quad(-1, -1, 1, 1, 0);
    const float a = 0.5f;
    for (int swap = 0; swap < 2; ++swap) {
        std::vector<VokriMeshLayer> layers{layer(q, kRed, a, 0, 0, 0), layer(q, kBlue, a, 0, 0, -2)};
        if (swap) std::swap(layers[0], layers[1]);
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
        const uint32_t want = blend_pixel(kLz, kRed, a, blend_pixel(kLz, kBlue, a, kBackground, false), false);
        EXPECT_EQ(at(px, 100, 50, 50), want) << swap;
        EXPECT_EQ(want, rgba(66, 21, 40, 0));  // blue gives (19, 25, 72), then red
    }
}

TEST(MeshOrder, TranslucentOverTransparentGivesStraightAlpha) {
    // rgba0: premultiplied blend over 0, then the straight-alpha conversion.
    MeshData q = quad(-1, -1, 1, 1, 0);
    const float a = 0.4f;
    std::vector<VokriMeshLayer> layers{layer(q, kRed, a)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(100, 100, 1, px), 0);
    const uint32_t pre = blend_pixel(kLz, kRed, a, 0, true);
    const uint32_t alpha = pre >> 24;
    EXPECT_EQ(alpha, 102u);  // round(255 * 0.4)
    uint32_t want = alpha << 24;
    for (int k = 0; k < 3; ++k) want |= (((pre >> (8 * k)) & 0xFF) * 255 / alpha) << (8 * k);
    EXPECT_EQ(at(px, 100, 50, 50), want);
    EXPECT_EQ(at(px, 100, 5, 5), 0u);
}

TEST(MeshOrder, EqualDistancesKeepArrayOrder) {
    // Both layers have translation 0: equal distance, so array order rules
    // and the blends do not commute.
    MeshData q = quad(-1, -1, 1, 1, 0), q2 = quad(-1, -1, 1, 1, -1);
    const float a = 0.6f;
    for (int swap = 0; swap < 2; ++swap) {
        std::vector<VokriMeshLayer> layers{layer(q, kRed, a), layer(q2, kGreen, a)};
        if (swap) std::swap(layers[0], layers[1]);
        const uint32_t first = swap ? kGreen : kRed, second = swap ? kRed : kGreen;
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
        const uint32_t want = blend_pixel(kLz, second, a, blend_pixel(kLz, first, a, kBackground, false), false);
        EXPECT_EQ(at(px, 100, 50, 50), want) << swap;
    }
}

TEST(MeshOrder, ManyTranslucentLayersSortStablyFarthestFirst) {
    // 23 layers over one pixel, translations on three distances with ties
    // and colours and alphas all different: the pixel equals the blends in
    // the order of a stable farthest-first sort.
    MeshData q = quad(-3, -3, 3, 3, 0);
    std::vector<VokriMeshLayer> layers;
    const float tz[] = {-1, -3, -2};
    for (uint32_t i = 0; i < 23; ++i) {
        const uint32_t colour = (40 + 9 * i) << 24 | (230 - 7 * i) << 16 | ((i * 53) % 256) << 8 | 0xFF;
        layers.push_back(layer(q, colour, 0.15f + 0.03f * float(i), float(i % 2) * 0.25f, 0, tz[(i * 7) % 3]));
    }
    std::vector<uint32_t> order(layers.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    auto dist = [&](uint32_t i) {
        const float dx = layers[i].model[3] - 0, dy = layers[i].model[7] - 0, dz = layers[i].model[11] - 5;
        return dx * dx + dy * dy + dz * dz;
    };
    std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return dist(x) > dist(y); });
    uint32_t want = kBackground;
    for (uint32_t i : order) want = blend_pixel(kLz, layers[i].colour, layers[i].opacity, want, false);
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
    EXPECT_EQ(at(px, 100, 50, 50), want);
}

TEST(MeshOrder, TranslucentLayersAreHiddenByNearerOpaqueOnes) {
    // A translucent layer listed first behind an opaque one: the opaque pass
    // runs first and its depth hides the translucent layer; in front of it
    // the translucent layer blends over the opaque colour.
    MeshData back = quad(-1, -1, 1, 1, -1), front = quad(-1, -1, 1, 1, 1), wall = quad(-2, -2, 2, 2, 0);
    std::vector<VokriMeshLayer> layers{layer(back, kBlue, 0.5f), layer(front, kRed, 0.5f), layer(wall, kGreen)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
    EXPECT_EQ(at(px, 100, 50, 50), blend_pixel(kLz, kRed, 0.5f, lit_rgb(kLz, kGreen), false));
    EXPECT_EQ(at(px, 100, 10, 10), lit_rgb(kLz, kGreen));
}

TEST(MeshOrder, OpacityThresholds) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    {
        // 0.9995 counts as opaque: the exact lit colour, alpha 255, and its
        // depth hides a farther opaque layer drawn after it.
        MeshData far = quad(-1, -1, 1, 1, -1);
        std::vector<VokriMeshLayer> layers{layer(q, kRed, 0.9995f), layer(far, kGreen)};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgba0(100, 100, 1, px), 0);
        EXPECT_EQ(at(px, 100, 50, 50), lit_rgb(kLz, kRed) | 0xFF000000u);
    }
    {
        // 0.0005 (and exactly 0.001) is never drawn, so not even checked:
        // null lists pass.
        VokriMeshLayer ghost = layer(q, kRed, 0.0005f);
        VokriMeshLayer none{};
        none.colour = kGreen;
        none.opacity = 0.0005f;
        VokriMeshLayer edge = layer(q, kBlue, 0.001f);
        VokriMeshLayer zero = layer(q, kBlue & 0xFFFFFF00u, 1.0f);  // alpha byte 0
        std::vector<VokriMeshLayer> layers{ghost, none, edge, zero};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgba0(100, 100, 1, px), 0);
        for (uint32_t v : px) ASSERT_EQ(v, 0u);
    }
    {
        // Alpha byte 128 with opacity 1: a = 0.502, translucent.
        std::vector<VokriMeshLayer> layers{layer(q, (kRed & 0xFFFFFF00u) | 0x80, 1.0f)};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
        const float a = (128.0f / 255.0f) * 1.0f;
        EXPECT_EQ(at(px, 100, 50, 50), blend_pixel(kLz, kRed, a, kBackground, false));
    }
}

TEST(MeshOrder, SecondItemHasItsOwnDepthBuffer) {
    // Item 1: a near quad; item 2: a farther quad. Within one item the far
    // one is hidden; as a second item it paints over the first.
    MeshData near = quad(-1, -1, 1, 1, 1), far = quad(0, -1, 2, 1, -1);
    std::vector<VokriMeshLayer> l1{layer(near, kRed)}, l2{layer(far, kGreen)}, both{layer(near, kRed), layer(far, kGreen)};
    std::vector<uint32_t> px;
    {
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_PERSPECTIVE, both));
        ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
        EXPECT_EQ(at(px, 100, 55, 50), lit_rgb(kLz, kRed));
    }
    {
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_PERSPECTIVE, l1));
        s.add(front_camera(VOKRI_PROJECTION_PERSPECTIVE, l2));
        ASSERT_EQ(s.rgb0(100, 100, 1, px), 0);
        EXPECT_EQ(at(px, 100, 55, 50), lit_rgb(kLz, kGreen));
        EXPECT_EQ(at(px, 100, 40, 50), lit_rgb(kLz, kRed));
    }
}

TEST(MeshErrors, LayerListAndCamera) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    std::vector<VokriMeshLayer> layers{layer(q, kRed)};
    VokriMeshRecord good = front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers);
    EXPECT_EQ(error_of(good), "");

    VokriMeshRecord r = good;
    r.layers = nullptr;  // count 1
    EXPECT_EQ(error_of(r), msg("InvalidMeshLayer"));
    r.eye[2] = 0;  // also degenerate: the layer list is checked first
    r.near = 0;
    EXPECT_EQ(error_of(r), msg("InvalidMeshLayer"));

    r = good;
    for (int k = 0; k < 3; ++k) r.target[k] = r.eye[k];
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
    r.near = -1;  // camera before projection
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
    r = good;
    r.up[0] = 0, r.up[1] = 0, r.up[2] = -3;  // parallel to the view direction
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
    r.up[2] = 2;  // anti-parallel
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
    r.up[2] = 0;  // zero
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
    r = good;
    r.eye[0] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
    r = good;
    r.target[2] = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));

    // An empty list with a null pointer is fine, but the camera is still
    // checked.
    std::vector<VokriMeshLayer> none;
    r = front_camera(VOKRI_PROJECTION_PERSPECTIVE, none);
    EXPECT_EQ(error_of(r), "");
    r.target[2] = 5;
    EXPECT_EQ(error_of(r), msg("DegenerateVector"));
}

TEST(MeshErrors, Projection) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    std::vector<VokriMeshLayer> layers{layer(q, kRed)};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (uint32_t proj : {VOKRI_PROJECTION_PERSPECTIVE, VOKRI_PROJECTION_ORTHOGRAPHIC}) {
        const VokriMeshRecord good = front_camera(proj, layers);
        struct Case { float near, far; } cases[] = {{2, 2}, {0, 10}, {-1, 10}, {5, 4}, {nan, 10}, {1, nan}, {-0.0f, 1}};
        for (auto c : cases) {
            VokriMeshRecord r = good;
            r.near = c.near, r.far = c.far;
            EXPECT_EQ(error_of(r), msg("InvalidProjection")) << proj << " " << c.near << " " << c.far;
        }
        VokriMeshRecord r = good;
        r.ortho_height = 0;
        EXPECT_EQ(error_of(r), proj ? msg("InvalidProjection") : "");
        r.ortho_height = -2;
        EXPECT_EQ(error_of(r), proj ? msg("InvalidProjection") : "");
        r.ortho_height = nan;
        EXPECT_EQ(error_of(r), proj ? msg("InvalidProjection") : "");
    }
}

TEST(MeshErrors, OpacityAfterEarlierLayersAreDrawn) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { uint32_t colour; float opacity; } bad[] = {
        {0xFFFFFFFFu, 1.2f}, {0xFFFFFFFFu, -0.1f}, {0xFFFFFFFFu, nan}, {0xFFFFFF00u, inf}, {0xFFFFFF80u, 2.0f},
    };
    for (auto b : bad) {
        // Opaque layer 0 is drawn before layer 1 fails; the buffer keeps it.
        std::vector<VokriMeshLayer> layers{layer(q, kRed), layer(q, b.colour, b.opacity)};
        TestScene s;
        s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
        std::vector<uint32_t> px;
        EXPECT_EQ(render_error(s, px), msg("InvalidOpacity")) << b.opacity;
        EXPECT_EQ(at(px, 100, 50, 50), lit_rgb(kLz, kRed));
    }
    // A translucent layer 0 is not drawn: pass 2 never starts.
    std::vector<VokriMeshLayer> layers{layer(q, kRed, 0.5f), layer(q, kRed, 1.5f)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    EXPECT_EQ(render_error(s, px), msg("InvalidOpacity"));
    EXPECT_EQ(at(px, 100, 50, 50), kBackground);
}

TEST(MeshErrors, MeshValidation) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    const VokriMeshLayer good = layer(q, kRed);
    std::vector<VokriMeshLayer> cases;
    VokriMeshLayer l = good;
    l.index_count = 4;
    cases.push_back(l);
    l = good, l.index_count = 0;
    cases.push_back(l);
    l = good, l.index_count = 2;
    cases.push_back(l);
    l = good, l.vertex_count = 2;
    cases.push_back(l);
    l = good, l.positions = nullptr;
    cases.push_back(l);
    l = good, l.normals = nullptr;
    cases.push_back(l);
    l = good, l.indices = nullptr;
    cases.push_back(l);
    l = good, l.indices = nullptr;
    for (int k = 0; k < 4; ++k) l.model[k] = 0;  // also singular: the lists come first
    cases.push_back(l);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<VokriMeshLayer> layers{cases[i]};
        EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers)), msg("InvalidMesh")) << i;
        // A translucent layer is checked when pass 2 reaches it.
        layers[0].opacity = 0.5f;
        EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers)), msg("InvalidMesh")) << i;
    }
}

TEST(MeshErrors, IndexOutOfRangeEndsTheLayerAfterEarlierTriangles) {
    // The second triangle names vertex 4 of 4: the first triangle (the lower
    // right half of the quad) stays drawn.
    MeshData q = quad(-1, -1, 1, 1, 0);
    q.idx = {0, 1, 2, 0, 2, 4};
    std::vector<VokriMeshLayer> layers{layer(q, kRed)};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    EXPECT_EQ(render_error(s, px), msg("InvalidMesh"));
    EXPECT_EQ(at(px, 100, 70, 70), lit_rgb(kLz, kRed));  // below the diagonal
    EXPECT_EQ(at(px, 100, 30, 30), kBackground);        // above it
    q.idx = {0, 1, 2, 0, 2, 3, 0xFFFFFFFFu, 0, 1};
    layers[0] = layer(q, kRed);
    TestScene t;
    t.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    EXPECT_EQ(render_error(t, px), msg("InvalidMesh"));
    EXPECT_EQ(at(px, 100, 30, 30), lit_rgb(kLz, kRed));
}

TEST(MeshErrors, SingularModelTransform) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    for (int row = 0; row < 3; ++row) {
        VokriMeshLayer l = layer(q, kRed);
        for (int c = 0; c < 3; ++c) l.model[row * 4 + c] = 0;
        std::vector<VokriMeshLayer> layers{l};
        EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers)), msg("SingularModelTransform"));
    }
    // Tiny but regular: det = 1e-3^3 = 1e-9 > 1e-12.
    VokriMeshLayer l = layer(q, kRed);
    l.model[0] = l.model[5] = l.model[10] = 1e-3f;
    std::vector<VokriMeshLayer> layers{l};
    EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers)), "");
    layers[0].model[0] = layers[0].model[5] = layers[0].model[10] = 1e-5f;  // det 1e-15
    EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_PERSPECTIVE, layers)), msg("SingularModelTransform"));
}

TEST(MeshErrors, ErrorsAcrossLayersInPassOrder) {
    MeshData q = quad(-1, -1, 1, 1, 0);
    VokriMeshLayer broken = layer(q, kRed);
    broken.index_count = 5;
    VokriMeshLayer bad_opacity = layer(q, kRed, 7.0f);
    std::vector<VokriMeshLayer> layers{broken, bad_opacity};
    EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers)), msg("InvalidMesh"));
    layers[0].opacity = 0.5f;  // now drawn only in pass 2, after every opacity check
    EXPECT_EQ(error_of(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers)), msg("InvalidOpacity"));
}

TEST(MeshErrors, SetUpOrderThroughTheDrawer) {
    // The surface and size checks cannot fail through the exports, which
    // always pass an rgba32 or rgbx32 surface of the canvas size.
    MeshData q = quad(-1, -1, 1, 1, 0);
    std::vector<VokriMeshLayer> layers{layer(q, kRed)};
    std::vector<uint32_t> px(16 * 16, 0);
    vokri::Allocator alloc;
    auto draw = [&](VokriMeshRecord rec, uint8_t format, size_t length, uint32_t w, uint32_t h) {
        vokri::Surface surface = vokri::Surface::wrap(px.data(), 16, 16, format);
        surface.length = length;
        vokri::Canvas ctx(alloc, surface);
        const vokri::FrameView view = vokri::FrameView::for_canvas(1, w, h);
        return vokri::draw_mesh_item(ctx, view, rec);
    };
    using vokri::Error;
    VokriMeshRecord good = front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers);
    VokriMeshRecord nolist = good;
    nolist.layers = nullptr;
    VokriMeshRecord degenerate = good;
    degenerate.target[2] = degenerate.eye[2];
    EXPECT_EQ(draw(good, vokri::rgba32, 256, 16, 16), Error::None);
    EXPECT_EQ(draw(good, vokri::rgbx32, 256, 16, 16), Error::None);
    EXPECT_EQ(draw(nolist, vokri::alpha8, 0, 16, 16), Error::InvalidMeshLayer);
    EXPECT_EQ(draw(good, vokri::alpha8, 0, 16, 16), Error::Unsupported3DSurface);
    EXPECT_EQ(draw(good, 0, 256, 16, 16), Error::Unsupported3DSurface);
    EXPECT_EQ(draw(degenerate, vokri::rgba32, 255, 16, 16), Error::InvalidOutputSize);
    EXPECT_EQ(draw(degenerate, vokri::rgba32, 256, 0, 16), Error::InvalidDimensions);
    EXPECT_EQ(draw(degenerate, vokri::rgba32, 256, 16, 0), Error::InvalidDimensions);
    EXPECT_EQ(draw(degenerate, vokri::rgba32, 256, 16, 16), Error::DegenerateVector);
    // The depth buffer is allocated before the camera is checked.
    vokri::test_hooks::fail_allocations_after(1);
    EXPECT_EQ(draw(degenerate, vokri::rgba32, 256, 16, 16), Error::OutOfMemory);
    vokri::test_hooks::fail_allocations_after(-1);
}

TEST(MeshErrors, EveryAllocationFailureIsOutOfMemory) {
    // Two items with opaque and translucent layers: depth buffers, vertex
    // memory, the translucent list and its sort scratch.
    MeshData c = cube(1), q = quad(-2, -2, 2, 2, -1.5f);
    std::vector<VokriMeshLayer> l1{layer(c, kRed, 0.5f, 0.5f, 0, 0), layer(q, kGreen), layer(c, kBlue, 0.3f, -0.5f, 0, 0),
                                   layer(c, kGreen, 0.7f, 0, 0.5f, -1)};
    std::vector<VokriMeshLayer> l2{layer(c, kBlue, 1.0f, 0, 0, 0.5f)};
    const float eye[3] = {3, 2, 5}, target[3] = {0, 0, 0};
    TestScene s;
    s.add(camera(eye, target, VOKRI_PROJECTION_PERSPECTIVE, l1));
    s.add(camera(eye, target, VOKRI_PROJECTION_ORTHOGRAPHIC, l2));
    std::vector<uint32_t> want, px;
    vokri::test_hooks::reset_allocation_count();
    ASSERT_EQ(s.rgba0(64, 48, 1, want), 0);
    EXPECT_GE(vokri::test_hooks::allocation_count(), 8u);
    bool succeeded = false;
    for (int64_t n = 1; n < 200 && !succeeded; ++n) {
        StderrCapture cap;
        vokri::test_hooks::fail_allocations_after(n);
        const int32_t rc = s.rgba0(64, 48, 1, px);
        vokri::test_hooks::fail_allocations_after(-1);
        const std::string text = cap.text();
        if (rc == 0) {
            succeeded = true;
            EXPECT_EQ(text, "");
            EXPECT_EQ(px, want);
        } else {
            ASSERT_EQ(rc, 1) << n;
            ASSERT_EQ(text, "vokri scene rgba0 render error: OutOfMemory\n") << n;
        }
    }
    EXPECT_TRUE(succeeded);
}

TEST(MeshErrors, VertexMemoryIsSizedFromTheFullCount) {
    // vertex_count 2^32 - 1 asks for 28 * (2^32 - 1) bytes before any
    // vertex is read; when that allocation fails the item is OutOfMemory
    // (the depth buffer, allocation 1, succeeds).
    MeshData q = quad(-1, -1, 1, 1, 0);
    VokriMeshLayer l = layer(q, kRed);
    l.vertex_count = 0xFFFFFFFFu;
    std::vector<VokriMeshLayer> layers{l};
    TestScene s;
    s.add(front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers));
    std::vector<uint32_t> px;
    StderrCapture cap;
    vokri::test_hooks::fail_allocations_after(2);
    const int32_t rc = s.rgb0(100, 100, 1, px);
    vokri::test_hooks::fail_allocations_after(-1);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(cap.text(), msg("OutOfMemory"));
    size_t bytes = 0;
    EXPECT_TRUE(vokri::checked_mul(size_t{0xFFFFFFFFu}, 28, bytes));
    EXPECT_EQ(bytes, 120259084260u);
}
