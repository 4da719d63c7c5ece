// libFuzzer target for the scene library, through its C API: the input is
// the text of a scene file. Whatever it holds, opening it either fails with
// a structured error or gives a document; every frame asked for (a few,
// chosen by the input's size, and one outside the animation) is built and
// rendered on a canvas of at most 128 x 128 pixels, into pixels and as a
// PNG file, and picked. Every call must end in a known status, with an
// error exactly when it fails.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vokri_scenefile.h"

namespace {

void check(int32_t status, VokriSceneFileError* error, const char* call) {
    const bool known = status == VOKRI_SCENEFILE_OK || status == VOKRI_SCENEFILE_RENDER_FAILED ||
                       status == VOKRI_SCENEFILE_BAD_SCENE || status == VOKRI_SCENEFILE_BAD_ARGUMENTS ||
                       status == VOKRI_SCENEFILE_OUTPUT_FAILED;
    if (!known || (status == 0) != (error == nullptr) || (error && error->status != status)) {
        std::fprintf(stderr, "scene_file_fuzzer: %s returned %d\n", call, status);
        std::abort();
    }
    vokri_scenefile_error_free(error);
}

std::string png_path() {
    static const std::string path = "/tmp/vokri-scene-file-fuzzer-" + std::to_string(::getpid()) + ".png";
    return path;
}

void render_frame(const VokriSceneDocument* doc, int64_t k) {
    VokriSceneFileError* error = nullptr;
    VokriSceneFrame* frame = vokri_scenefile_frame(doc, k, &error);
    check(frame ? 0 : error ? error->status : -1, error, "frame");
    if (!frame) return;
    const VokriSceneRecords* r = vokri_scenefile_frame_records(frame);
    std::vector<uint32_t> px(size_t(r->width) * size_t(r->height));
    int32_t status = vokri_scenefile_render(r, VOKRI_SCENEFILE_RGBA0, k, px.data(), px.size(), &error);
    check(status, error, "render");
    status = vokri_scenefile_render_file(r, VOKRI_SCENEFILE_PNG, k, png_path().c_str(), &error);
    check(status, error, "render_file");
    int32_t id = 0;
    status = vokri_scenefile_pick(r, k, uint32_t(k) % 130, uint32_t(k) % 7, &id, &error);
    check(status, error, "pick");
    vokri_scenefile_frame_free(frame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VokriSceneOptions options{};
    options.width = 1 + int64_t(size % 128);
    options.height = 1 + int64_t(size / 128 % 128);
    VokriSceneFileError* error = nullptr;
    // Image files resolve to nothing.
    VokriSceneDocument* doc = vokri_scenefile_parse(reinterpret_cast<const char*>(data), size,
                                                    "/nonexistent-vokri-fuzz", "fuzz.json", &options, &error);
    check(doc ? 0 : error ? error->status : -1, error, "parse");
    if (!doc) return 0;
    VokriSceneInfo info{};
    vokri_scenefile_info(doc, &info);
    const int64_t n = info.frame_count;
    for (int64_t k : {int64_t(0), int64_t(size * 7919 % 4096) % n, n - 1, n}) render_frame(doc, k);
    vokri_scenefile_close(doc);
    std::remove(png_path().c_str());
    return 0;
}
