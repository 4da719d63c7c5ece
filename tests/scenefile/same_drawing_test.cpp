// Frames that compare the same draw the same bytes: the fuzz corpus and
// random one-byte changes of it, each decoded into lists of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "support/scene.h"
#include "support/scene_codec.h"
#include "vokri_scenefile.h"

namespace {

VokriSceneRecords records_of(const vfuzz::Call& c) {
    VokriSceneRecords r{};
    r.width = c.width;
    r.height = c.height;
    r.scale = c.scale;
    r.items = c.items.data();
    r.item_count = c.item_count();
    r.shapes = c.shapes.data();
    r.shape_count = static_cast<uint32_t>(c.shapes.size());
    r.batches = c.batches.data();
    r.batch_count = static_cast<uint32_t>(c.batches.size());
    r.vectors = c.vectors.data();
    r.vector_count = static_cast<uint32_t>(c.vectors.size());
    r.images = c.images.data();
    r.image_count = static_cast<uint32_t>(c.images.size());
    r.infinite_geometry = c.infinite.data();
    r.infinite_geometry_count = static_cast<uint32_t>(c.infinite.size());
    r.meshes = c.meshes.data();
    r.mesh_count = static_cast<uint32_t>(c.meshes.size());
    r.morphs = c.morphs.data();
    r.morph_count = static_cast<uint32_t>(c.morphs.size());
    return r;
}

std::vector<uint32_t> pixels_of(const vfuzz::Call& c, int32_t& rc) {
    std::vector<uint32_t> px(static_cast<size_t>(c.width) * static_cast<size_t>(c.height));
    vt::StderrCapture quiet;
    rc = c.rgba0(c.width, c.height, c.scale, px.data(), px.size());
    quiet.text();
    return px;
}

}  // namespace

TEST(SameDrawing, OnlyFramesThatDrawTheSameBytesCompareTheSame) {
    std::mt19937 rng(20261209);
    int same = 0, different = 0;
    for (const auto& e : std::filesystem::directory_iterator(VOKRI_SOURCE_DIR "/fuzz/corpus")) {
        const std::vector<uint8_t> input = vt::read_file(e.path().string());
        vfuzz::Call a, copy;
        vfuzz::decode(input.data(), input.size(), a);
        vfuzz::decode(input.data(), input.size(), copy);
        const VokriSceneRecords ra = records_of(a), rcopy = records_of(copy);
        EXPECT_EQ(vokri_scenefile_same_drawing(&ra, &rcopy), 1) << e.path().filename();
        int32_t rc_a = 0;
        const std::vector<uint32_t> px_a = pixels_of(a, rc_a);
        for (int m = 0; m < 40 && !input.empty(); ++m) {
            std::vector<uint8_t> changed = input;
            changed[rng() % changed.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            vfuzz::Call b;
            vfuzz::decode(changed.data(), changed.size(), b);
            const VokriSceneRecords rb = records_of(b);
            if (vokri_scenefile_same_drawing(&ra, &rb) != 1) {
                ++different;
                continue;
            }
            ++same;
            int32_t rc_b = 0;
            EXPECT_EQ(pixels_of(b, rc_b), px_a) << e.path().filename() << " change " << m;
            EXPECT_EQ(rc_b, rc_a);
        }
    }
    EXPECT_GT(different, 500);  // the changes that reach the drawing are seen
    EXPECT_GT(same, 0);         // and those that do not (pick probes) are not
    EXPECT_EQ(vokri_scenefile_same_drawing(nullptr, nullptr), 0);
}
