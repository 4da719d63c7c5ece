// Picking through vokri_pick_scene_object, with image items.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "items/fields/image_support.h"
#include "items/fields/mesh_support.h"
#include "scene/frame.h"
#include "scene/pick.h"

using namespace vt;

namespace {

const std::vector<uint8_t>& opaque4() {
    static const std::vector<uint8_t> px = raster(std::vector<uint32_t>(16, rgba(90, 140, 30, 255)));
    return px;
}

// A 4 x 4 opaque raster covering pixels [left, left + 4) x [top, top + 4) of
// an 8 x 8 canvas at scale 1.
VokriImageRecord square(int left, int top) {
    return placed(image(opaque4(), 4, 4, 4, 4), 1, 0, 0, 1, left - 2.0, 2.0 - top);
}

struct PickOutcome {
    int32_t rc;
    int32_t id;
    std::string message;
};

PickOutcome pick_at(const TestScene& s, uint32_t x, uint32_t y, int32_t w = 8, int32_t h = 8) {
    PickOutcome o{0, -12345, ""};
    StderrCapture cap;
    o.rc = s.pick(w, h, 1, x, y, &o.id);
    o.message = cap.text();
    return o;
}

}  // namespace

TEST(Pick, NoItemsGivesZero) {
    TestScene s;
    PickOutcome o = pick_at(s, 3, 4);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.id, 0);
    EXPECT_EQ(o.message, "");
}

TEST(Pick, TopmostItemWinsOverlappingIdsSevenAndNine) {
    TestScene s;
    s.add(square(0, 0), 7);  // pixels 0..3
    s.add(square(2, 2), 9);  // pixels 2..5
    EXPECT_EQ(pick_at(s, 3, 3).id, 9);  // inside both
    EXPECT_EQ(pick_at(s, 2, 2).id, 9);
    EXPECT_EQ(pick_at(s, 0, 0).id, 7);  // inside the first only
    EXPECT_EQ(pick_at(s, 3, 1).id, 7);
    EXPECT_EQ(pick_at(s, 5, 5).id, 9);  // inside the second only
    PickOutcome none = pick_at(s, 7, 7);  // outside both
    EXPECT_EQ(none.rc, 0);
    EXPECT_EQ(none.id, 0);
}

TEST(Pick, PartialCoverageHits) {
    // A 2 x 2 raster on a 4 x 4 canvas shifted right by 0.99: pixel (1, 1)
    // samples texel (0, 0) with weight 0.01, alpha byte round(2.55) = 3.
    auto bytes = raster(std::vector<uint32_t>(4, rgba(255, 255, 255, 255)));
    TestScene s;
    s.add(placed(image(bytes, 2, 2, 2, 2), 1, 0, 0, 1, 0.99, 0), 4);
    std::vector<uint32_t> px;
    ASSERT_EQ(s.rgba0(4, 4, 1, px), 0);
    ASSERT_EQ(byte_of(px[1 * 4 + 1], 3), 3u);
    EXPECT_EQ(pick_at(s, 1, 1, 4, 4).id, 4);
    // Weight 0.001 leaves an alpha byte of round(0.255) = 0: not a hit.
    s.images[0].transform[4] = 0.999;
    ASSERT_EQ(s.rgba0(4, 4, 1, px), 0);
    ASSERT_EQ(byte_of(px[1 * 4 + 1], 3), 0u);
    EXPECT_EQ(pick_at(s, 1, 1, 4, 4).id, 0);
}

TEST(Pick, AlphaZeroNeverHits) {
    auto clear = raster(std::vector<uint32_t>(16, rgba(255, 0, 0, 0)));
    TestScene s;
    s.add(square(0, 0), 1);
    s.add(placed(image(clear, 4, 4, 4, 4), 1, 0, 0, 1, -2, 2), 2);  // transparent raster
    VokriImageRecord faded = square(0, 0);
    faded.opacity = 0;
    s.add(faded, 3);
    faded.opacity = -4;
    s.add(faded, 4);
    EXPECT_EQ(pick_at(s, 1, 1).id, 1);
    // A full-canvas raster on the exact path whose opacity rounds to 0.
    auto full = raster(std::vector<uint32_t>(64, rgba(1, 2, 3, 255)));
    VokriImageRecord faint = image(full, 8, 8, 8, 8);
    faint.opacity = 0.001;  // o = round(0.255) = 0
    s.add(faint, 5);
    EXPECT_EQ(pick_at(s, 1, 1).id, 1);
    s.images.back().opacity = 0.5;
    EXPECT_EQ(pick_at(s, 1, 1).id, 5);
    EXPECT_EQ(pick_at(s, 7, 0).id, 5);
}

TEST(Pick, IdZeroCoveringIsIndistinguishableFromNoHit) {
    TestScene s;
    s.add(square(0, 0), 8);
    s.add(square(0, 0), 0);
    PickOutcome o = pick_at(s, 1, 1);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.id, 0);
}

TEST(Pick, FailingItemEndsThePickOnlyWithoutAHitAbove) {
    {
        // Top item misses, the next one is invalid: its error, even though
        // the bottom item covers the pixel; nothing is stored.
        TestScene s;
        s.add(square(0, 0), 1);
        s.add_item(VOKRI_ITEM_IMAGE, 99, 2);
        s.add(square(4, 4), 3);
        PickOutcome o = pick_at(s, 1, 1);
        EXPECT_EQ(o.rc, 1);
        EXPECT_EQ(o.id, -12345);
        EXPECT_EQ(o.message, "vokri scene pick error: InvalidDrawItem\n");
        // The probe under the top item: found before the invalid one.
        EXPECT_EQ(pick_at(s, 5, 5).id, 3);
    }
    {
        // The topmost item is invalid: the pick fails.
        TestScene s;
        s.add(square(0, 0), 1);
        VokriImageRecord bad = square(0, 0);
        bad.pixels = nullptr;
        s.add(bad, 2);
        PickOutcome o = pick_at(s, 1, 1);
        EXPECT_EQ(o.rc, 1);
        EXPECT_EQ(o.message, "vokri scene pick error: InvalidRaster\n");
    }
    {
        // Invalid items below the hit are never dispatched.
        TestScene s;
        s.add_item(7, 0, 1);
        s.add_item(VOKRI_ITEM_SHAPE, 0, 2);
        VokriImageRecord bad = square(0, 0);
        bad.display_width = 0;
        s.add(bad, 3);
        s.add(square(0, 0), 5);
        PickOutcome o = pick_at(s, 1, 1);
        EXPECT_EQ(o.rc, 0);
        EXPECT_EQ(o.id, 5);
        EXPECT_EQ(o.message, "");
    }
}

TEST(Pick, AgreesWithRenderingEachItemAlone) {
    // For every probe pixel the result is the id of the topmost item whose
    // own frame has a non-zero alpha there.
    std::mt19937 rng(99);
    auto bytes = raster({rgba(10, 20, 30, 255), rgba(200, 0, 0, 40), rgba(0, 0, 0, 0), rgba(5, 250, 5, 180),
                         rgba(1, 1, 1, 1), rgba(90, 90, 90, 255)});
    std::uniform_real_distribution<double> pos(-4, 4), turn(-3.2, 3.2), size(0.5, 5);
    for (int round = 0; round < 6; ++round) {
        TestScene s;
        for (int i = 0; i < 6; ++i) {
            double a = turn(rng), c = std::cos(a), sn = std::sin(a);
            VokriImageRecord r = placed(image(bytes, 3, 2, size(rng), size(rng)), c, -sn, sn, c, pos(rng), pos(rng));
            r.opacity = i == 3 ? 0.02 : 1;
            s.add(r, 10 + i);
        }
        std::vector<std::vector<uint32_t>> alone;
        for (size_t i = 0; i < s.items.size(); ++i) {
            TestScene one = s;
            one.items = {s.items[i]};
            one.ids = {s.ids[i]};
            std::vector<uint32_t> px;
            ASSERT_EQ(one.rgba0(9, 7, 1, px), 0);
            alone.push_back(px);
        }
        int hits = 0;
        for (uint32_t y = 0; y < 7; ++y) {
            for (uint32_t x = 0; x < 9; ++x) {
                int32_t want = 0;
                for (size_t i = s.items.size(); i-- > 0;) {
                    if (alone[i][y * 9 + x] >= 0x01000000u) {
                        want = s.ids[i];
                        break;
                    }
                }
                hits += want != 0;
                EXPECT_EQ(pick_at(s, x, y, 9, 7).id, want) << round << " " << x << "," << y;
            }
        }
        EXPECT_GT(hits, 0);
    }
}

TEST(Pick, ScratchAllocationFailureIsOutOfMemoryAndEveryPathReleases) {
    TestScene s;
    s.add(square(0, 0), 1);
    s.add(square(2, 2), 2);
    bool succeeded = false;
    for (int64_t n = 1; n < 1000 && !succeeded; ++n) {
        int32_t id = -1;
        StderrCapture cap;
        vokri::test_hooks::fail_allocations_after(n);
        int32_t rc = s.pick(8, 8, 1, 1, 1, &id);
        vokri::test_hooks::fail_allocations_after(-1);
        std::string text = cap.text();
        if (rc == 0) {
            succeeded = true;
            EXPECT_EQ(id, 1);
            EXPECT_EQ(text, "");
        } else {
            EXPECT_EQ(rc, 1) << n;
            EXPECT_EQ(id, -1) << n;
            EXPECT_EQ(text, "vokri scene pick error: OutOfMemory\n") << n;
        }
    }
    EXPECT_TRUE(succeeded);
    // The same with a pick that ends in an item error.
    s.add_item(VOKRI_ITEM_IMAGE, 50, 3);
    vokri::test_hooks::fail_allocations_after(1);
    int32_t id = -1;
    StderrCapture cap;
    EXPECT_EQ(s.pick(8, 8, 1, 1, 1, &id), 1);
    vokri::test_hooks::fail_allocations_after(-1);
    EXPECT_EQ(cap.text(), "vokri scene pick error: OutOfMemory\n");
}

TEST(Pick, MeshItemsAllocateAndReleaseOnEveryPath) {
    // An orthographic cube face-on covers pixels 2..5 of the 8 x 8 canvas;
    // its pass allocates working memory. Every failing allocation ends the
    // pick with OutOfMemory, and ASan checks that nothing is left behind.
    mt::MeshData cube = mt::cube(1);
    std::vector<VokriMeshLayer> layers{mt::layer(cube, 0xC86432FFu)};
    TestScene s;
    s.add(mt::front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, layers), 20);
    s.add(square(4, 4), 1);  // above the mesh, away from the probe
    s.add(mt::front_camera(VOKRI_PROJECTION_ORTHOGRAPHIC, {}), 21);  // no layers: draws nothing
    EXPECT_EQ(pick_at(s, 2, 2).id, 20);
    EXPECT_EQ(pick_at(s, 5, 5).id, 1);
    EXPECT_EQ(pick_at(s, 0, 7).id, 0);
    int failures = 0;
    bool succeeded = false;
    for (int64_t n = 1; n < 10000 && !succeeded; ++n) {
        int32_t id = -1;
        StderrCapture cap;
        vokri::test_hooks::fail_allocations_after(n);
        int32_t rc = s.pick(8, 8, 1, 3, 2, &id);
        vokri::test_hooks::fail_allocations_after(-1);
        std::string text = cap.text();
        if (rc == 0) {
            succeeded = true;
            EXPECT_EQ(id, 20);
        } else {
            ++failures;
            EXPECT_EQ(rc, 1) << n;
            EXPECT_EQ(id, -1) << n;
            EXPECT_EQ(text, "vokri scene pick error: OutOfMemory\n") << n;
        }
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 1);  // the scratch Surface and the mesh's own memory
}

TEST(Pick, InnerChecksInOrder) {
    // The export rules these out; the pick itself still reports them.
    TestScene t;
    t.add(square(0, 0), 1);
    vokri::Scene scene;
    scene.items = t.items.data();
    scene.item_count = 1;
    scene.images = {t.images.data(), 1};
    const int32_t ids[1] = {1};
    EXPECT_EQ(vokri::pick(8, 8, 1, scene, ids, 2, 1, 1).error, vokri::Error::InvalidPickMetadata);
    EXPECT_EQ(vokri::pick(8, 8, 1, scene, ids, 2, 9, 1).error, vokri::Error::InvalidPickMetadata);
    EXPECT_EQ(vokri::pick(8, 8, 1, scene, ids, 1, 8, 1).error, vokri::Error::InvalidPickCoordinate);
    EXPECT_EQ(vokri::pick(8, 8, 1, scene, ids, 1, 1, 8).error, vokri::Error::InvalidPickCoordinate);
    // Coordinate errors come before any allocation.
    vokri::test_hooks::fail_allocations_after(1);
    EXPECT_EQ(vokri::pick(8, 8, 1, scene, ids, 1, 8, 8).error, vokri::Error::InvalidPickCoordinate);
    EXPECT_EQ(vokri::pick(8, 8, 0, scene, ids, 1, 1, 1).error, vokri::Error::OutOfMemory);
    vokri::test_hooks::fail_allocations_after(-1);
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL})
        EXPECT_EQ(vokri::pick(8, 8, bad, scene, ids, 1, 1, 1).error, vokri::Error::InvalidUnitSize) << bad;
    vokri::PickResult r = vokri::pick(8, 8, 1, scene, ids, 1, 1, 1);
    EXPECT_EQ(r.error, vokri::Error::None);
    EXPECT_EQ(r.id, 1);
}
