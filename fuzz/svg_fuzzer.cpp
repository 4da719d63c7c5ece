// libFuzzer target for the SVG reader: the input is the text of an SVG
// file. Reading it either fails with a SceneError or gives a drawing, which
// then goes through the svg kind (placed, dashed) into a rendered frame of
// at most 64 x 64 pixels through the scene library's C API.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "scene_json.h"
#include "svg.h"
#include "vokri_scenefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)vokri_scenefile::parse_svg_text(text, "fuzz.svg");
    } catch (const vokri_scenefile::SceneError&) {
        return 0;
    }
    // The same file through a scene, with the item's own dashes half the time.
    static const std::string dir = "/tmp/vokri-svg-fuzzer-" + std::to_string(::getpid());
    static const bool made = std::system(("mkdir -p " + dir).c_str()) == 0;
    if (!made) return 0;
    std::ofstream(dir + "/in.svg", std::ios::binary) << text;
    const std::string scene = std::string(R"({"width": 64, "height": 48, "scale": 8, "items": [{"kind": "svg", "file": "in.svg",)") +
                              (size % 2 ? R"( "dash": [0.3, 0.1],)" : "") + R"( "height": 4}]})";
    VokriSceneFileError* error = nullptr;
    VokriSceneDocument* doc = vokri_scenefile_parse(scene.data(), scene.size(), dir.c_str(), "fuzz.json", nullptr, &error);
    if (doc) {
        VokriSceneFrame* frame = vokri_scenefile_frame(doc, 0, &error);
        if (frame) {
            std::vector<uint32_t> px(64 * 48);
            vokri_scenefile_render(vokri_scenefile_frame_records(frame), VOKRI_SCENEFILE_RGBA0, -1, px.data(),
                                   px.size(), &error);
            vokri_scenefile_frame_free(frame);
        }
        vokri_scenefile_close(doc);
    }
    vokri_scenefile_error_free(error);
    return 0;
}
