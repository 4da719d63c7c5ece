// The scene library through its C API: structured errors for every kind of
// fault (scene, render, arguments, output), each with its one-line text,
// and nothing printed on standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <string>
#include <vector>

#include "support/scene.h"
#include "vokri_scenefile.h"

namespace {

struct Outcome {
    int32_t status = 0;
    std::string text, file, json_path, error_name, item_kind;
    int64_t item_index = -1, frame = -1;
};

// The outcome of a call that has returned `status` and stored `e`. Called
// as take(call(..., &e), e): `e` is passed by reference, so it is read
// after the call.
Outcome take(int32_t status, VokriSceneFileError*& e) {
    Outcome o;
    o.status = status;
    EXPECT_EQ(status == 0, e == nullptr);
    if (e) {
        EXPECT_EQ(e->status, status);
        o = Outcome{status, e->text, e->file, e->json_path, e->error_name, e->item_kind, e->item_index, e->frame};
    }
    vokri_scenefile_error_free(e);
    return o;
}

VokriSceneDocument* parse(const std::string& text, Outcome& o, const char* name = "scene.json") {
    VokriSceneFileError* e = nullptr;
    VokriSceneDocument* d = vokri_scenefile_parse(text.data(), text.size(), nullptr, name, nullptr, &e);
    o = take(d ? 0 : e->status, e);
    return d;
}

TEST(SceneFileApi, SceneFaultsNameTheFileAndThePath) {
    vt::StderrCapture capture;
    Outcome o;
    EXPECT_EQ(parse(R"({"width": 8, "height": 8, "scale": 1, "items": [{"kind": "shape", "p0": "x"}]})", o),
              nullptr);
    EXPECT_EQ(o.status, VOKRI_SCENEFILE_BAD_SCENE);
    EXPECT_EQ(o.file, "scene.json");
    EXPECT_EQ(o.json_path, "items[0].p0");
    EXPECT_EQ(o.text, "scene.json: items[0].p0: expected a number, got the string \"x\"");
    // Bytes that are not UTF-8 are a syntax error of the document, not a crash.
    EXPECT_EQ(parse("{\"width\": 8, \"height\": 8, \"scale\": 1, \"items\": [{\"kind\": \"\xff\"}]}", o), nullptr);
    EXPECT_EQ(o.status, VOKRI_SCENEFILE_BAD_SCENE);
    EXPECT_NE(o.text.find("scene.json: "), std::string::npos);
    EXPECT_NE(o.text.find("UTF-8"), std::string::npos) << o.text;
    // A byte-order mark is skipped.
    VokriSceneDocument* bom = parse("\xef\xbb\xbf{\"width\": 8, \"height\": 8, \"scale\": 1}", o);
    EXPECT_NE(bom, nullptr) << o.text;
    vokri_scenefile_close(bom);
    EXPECT_EQ(capture.text(), "");
}

TEST(SceneFileApi, RenderFaultsNameTheItemWithoutPrinting) {
    Outcome o;
    VokriSceneDocument* d = parse(R"({"width": 8, "height": 6, "scale": 1, "animation": {"fps": 10, "frames": 3},
        "items": [{"kind": "line", "a2": 1, "colour1": "#fff"},
                  {"kind": "shape", "shape_type": "polygon", "points": [[0, 0], [1, 1]], "fill_color": "red"}]})",
                                  o);
    ASSERT_NE(d, nullptr) << o.text;
    vt::StderrCapture capture;
    VokriSceneFileError* e = nullptr;
    VokriSceneFrame* f = vokri_scenefile_frame(d, 2, &e);
    ASSERT_NE(f, nullptr);
    const VokriSceneRecords* r = vokri_scenefile_frame_records(f);
    std::vector<uint32_t> px(48);
    o = take(vokri_scenefile_render(r, VOKRI_SCENEFILE_RGB0, 2, px.data(), px.size(), &e), e);
    EXPECT_EQ(o.status, VOKRI_SCENEFILE_RENDER_FAILED);
    EXPECT_EQ(o.text, "frame 2: items[1] (shape): TooFewPoints");
    EXPECT_EQ((std::tuple{o.item_index, o.item_kind, o.error_name, o.frame}),
              (std::tuple{int64_t{1}, std::string("shape"), std::string("TooFewPoints"), int64_t{2}}));
    o = take(vokri_scenefile_render(r, VOKRI_SCENEFILE_RGB0, 2, px.data(), 47, &e), e);
    EXPECT_EQ(o.status, VOKRI_SCENEFILE_BAD_ARGUMENTS);
    EXPECT_EQ(o.text, "frame 2: the pixel buffer holds 47 pixels; a canvas of 8 x 6 needs 48");
    int32_t id = 0;
    o = take(vokri_scenefile_pick(r, 2, 8, 0, &id, &e), e);
    EXPECT_EQ(o.status, VOKRI_SCENEFILE_BAD_ARGUMENTS);
    vokri_scenefile_frame_free(f);
    EXPECT_EQ(vokri_scenefile_frame(d, 3, &e), nullptr);
    o = take(e->status, e);
    EXPECT_EQ(o.text, "frame 3 is outside the 3 frames of scene.json (0 to 2)");
    vokri_scenefile_close(d);

    // A canvas too large for memory fails in the renderer, with no item.
    VokriSceneRecords huge{};
    huge.width = huge.height = 100000;
    huge.scale = 1;
    const std::string path = vt::temp_path("huge.png");
    o = take(vokri_scenefile_render_file(&huge, VOKRI_SCENEFILE_PNG, -1, path.c_str(), &e), e);
    EXPECT_EQ(o.status, VOKRI_SCENEFILE_RENDER_FAILED);
    EXPECT_EQ((std::tuple{o.item_index, o.error_name}), (std::tuple{int64_t{-1}, std::string("OutOfMemory")}));
    EXPECT_EQ(o.text, path + ": OutOfMemory");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(capture.text(), "");
}

TEST(SceneFileApi, StaleTemporariesOfOneOutputAreRemoved) {
    const std::filesystem::path dir = vt::temp_path("stale");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const char* name : {".f_1.png.tmp.AbC123", ".f_1.png.tmp.xyz789", ".f_2.png.tmp.AbC123", "f_1.png"})
        std::ofstream(dir / name) << "x";
    EXPECT_EQ(vokri_scenefile_remove_stale_temporaries((dir / "f_1.png").c_str()), 2);
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".f_2.png.tmp.AbC123", "f_1.png"}));
    std::filesystem::remove_all(dir);
}

}  // namespace
