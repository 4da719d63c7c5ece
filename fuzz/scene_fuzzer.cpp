// libFuzzer target: the input bytes become one Scene call (scene_codec.h),
// run through all four Scene exports. Besides the sanitizers' checks, the
// target checks what must hold between the exports:
//   - every call returns 0 or 1 (the harness never passes invalid arguments);
//   - the PNG export draws what rgb0 draws: same return code, and on success
//     the file decodes to rgb0's pixels;
//   - picking succeeds whenever rgba0 does (same surface format, same items).
// Run with -close_fd_mask=2 to keep the library's error lines out of the log.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "scene_codec.h"
#include "support/scene.h"

namespace {

#define VF_ARRAYS(c)                                                                                       \
    c.shapes.data(), uint32_t(c.shapes.size()), c.batches.data(), uint32_t(c.batches.size()),              \
        c.vectors.data(), uint32_t(c.vectors.size()), c.images.data(), uint32_t(c.images.size()),          \
        c.infinite.data(), uint32_t(c.infinite.size()), c.meshes.data(), uint32_t(c.meshes.size()),        \
        c.morphs.data(), uint32_t(c.morphs.size())

[[noreturn]] void fail(const char* what, int a, int b) {
    std::fprintf(stderr, "scene_fuzzer: %s (%d, %d)\n", what, a, b);
    std::abort();
}

const std::string& png_path() {
    static const std::string path = "/tmp/vokri-fuzz-" + std::to_string(getpid()) + ".png";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vfuzz::Call c;
    vfuzz::decode(data, size, c);
    const size_t n = size_t(c.width) * size_t(c.height);
    const uint32_t count = uint32_t(c.items.size());

    std::vector<uint32_t> rgba(n, 0xDEADBEEFu), rgb(n, 0xDEADBEEFu);
    int ra = vokri_render_scene_rgba0(c.width, c.height, c.scale, c.items.data(), count, VF_ARRAYS(c),
                                      rgba.data(), n);
    int rb = vokri_render_scene_rgb0(c.width, c.height, c.scale, c.items.data(), count, VF_ARRAYS(c),
                                     rgb.data(), n);
    int rf = vokri_render_scene_frame(png_path().c_str(), c.width, c.height, c.scale, c.items.data(), count,
                                      VF_ARRAYS(c));
    int32_t id = -1;
    int rp = vokri_pick_scene_object(c.width, c.height, c.scale, c.items.data(), c.ids.data(), count,
                                     VF_ARRAYS(c), c.probe_x, c.probe_y, &id);

    if (ra != 0 && ra != 1) fail("rgba0 return code", ra, 0);
    if (rb != 0 && rb != 1) fail("rgb0 return code", rb, 0);
    if (rf != 0 && rf != 1) fail("frame return code", rf, 0);
    if (rp != 0 && rp != 1) fail("pick return code", rp, 0);
    if (rf != rb) fail("frame and rgb0 disagree", rf, rb);
    if (ra == 0 && rp != 0) fail("pick failed where rgba0 succeeded", rp, ra);
    if (rp == 0 && (id < 0 || id > int32_t(count))) fail("pick id out of range", id, int(count));
    if (rf == 0) {
        vt::DecodedPng png = vt::decode_png(vt::read_file(png_path()));
        if (!png.ok) fail("PNG does not decode", 0, 0);
        if (png.width != uint32_t(c.width) || png.height != uint32_t(c.height)) fail("PNG size", int(png.width), int(png.height));
        for (size_t i = 0; i < n; ++i) {
            uint32_t p = rgb[i];
            if (png.rgb[3 * i] != uint8_t(p) || png.rgb[3 * i + 1] != uint8_t(p >> 8) ||
                png.rgb[3 * i + 2] != uint8_t(p >> 16))
                fail("PNG pixel differs from rgb0", int(i % size_t(c.width)), int(i / size_t(c.width)));
        }
    }
    unlink(png_path().c_str());
    return 0;
}
