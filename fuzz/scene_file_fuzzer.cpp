// libFuzzer target for the scene-file reader of vokri-render: the input is
// the text of a scene file. Whatever it holds, reading it either fails with
// a SceneError or gives a Scene whose lists match the counts its records
// claim; such a Scene is then rendered (on a canvas of at most 128 x 128
// pixels, through the rgba0 export), which must return 0 or 1. An animation
// is read at a frame chosen by the input's size, so tracks are read between
// and beyond their keys.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scene_json.h"
#include "vokri_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vokri_tool::ParseOptions options;
    options.base_dir = "/nonexistent-vokri-fuzz";  // image files resolve to nothing
    options.width = 1 + int64_t(size % 128);
    options.height = 1 + int64_t(size / 128 % 128);
    vokri_tool::Scene s;
    try {
        const auto doc = vokri_tool::SceneDocument::parse(text, options);
        s = doc.frame(int64_t(size * 7919 % 4096) % doc.animation().frame_count);
    } catch (const vokri_tool::SceneError&) {
        return 0;
    }
    const size_t n = size_t(s.width) * size_t(s.height);
    std::vector<uint32_t> px(n);
    const int rc = vokri_render_scene_rgba0(
        s.width, s.height, s.scale, s.items.data(), uint32_t(s.items.size()), s.shapes.data(),
        uint32_t(s.shapes.size()), s.batches.data(), uint32_t(s.batches.size()), s.vectors.data(),
        uint32_t(s.vectors.size()), s.images.data(), uint32_t(s.images.size()), s.infinite.data(),
        uint32_t(s.infinite.size()), s.meshes.data(), uint32_t(s.meshes.size()), s.morphs.data(),
        uint32_t(s.morphs.size()), px.data(), n);
    if (rc != 0 && rc != 1) {
        std::fprintf(stderr, "scene_file_fuzzer: rgba0 returned %d\n", rc);
        std::abort();
    }
    return 0;
}
