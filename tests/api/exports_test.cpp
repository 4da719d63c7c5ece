// Argument checks, return codes, the error line and the exported symbol set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <limits>
#include <memory>
#include <string>

#include "support/scene.h"

using namespace vt;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::string run(const std::string& cmd) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p.get())) out += buf;
    return out;
}

}  // namespace

TEST(Exports, AbiVersionIsThree) { EXPECT_EQ(vokri_abi_version(), 3u); }

TEST(Exports, BadCanvasOrScaleReturnsTwoSilently) {
    TestScene s;
    std::vector<uint32_t> px(16, 0x12345678u);
    StderrCapture cap;
    struct Case { int32_t w, h; double scale; } cases[] = {
        {0, 4, 1}, {4, 0, 1}, {4, -1, 1}, {-4, 4, 1}, {4, 4, 0}, {4, 4, -1}, {4, 4, kInf}, {4, 4, -kInf}, {4, 4, kNaN},
    };
    for (auto c : cases) {
        EXPECT_EQ(vokri_render_scene_rgba0(c.w, c.h, c.scale, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                           nullptr, 0, nullptr, 0, nullptr, 0, px.data(), px.size()), 2);
        EXPECT_EQ(vokri_render_scene_rgb0(c.w, c.h, c.scale, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                          nullptr, 0, nullptr, 0, nullptr, 0, px.data(), px.size()), 2);
        EXPECT_EQ(vokri_render_scene_frame("/tmp/vokri-never-written.png", c.w, c.h, c.scale, nullptr, 0, nullptr, 0,
                                           nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), 2);
        int32_t id = 77;
        EXPECT_EQ(vokri_pick_scene_object(c.w, c.h, c.scale, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                          nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0, &id), 2);
        EXPECT_EQ(id, 77);
    }
    EXPECT_EQ(cap.text(), "");
    for (uint32_t p : px) EXPECT_EQ(p, 0x12345678u);
    EXPECT_EQ(fopen("/tmp/vokri-never-written.png", "rb"), nullptr);
}

TEST(Exports, NullArrayWithCountReturnsTwoEvenWhenUnused) {
    std::vector<uint32_t> px(4);
    for (int which = 0; which < 8; ++which) {
        uint32_t c[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        c[which] = 1;
        EXPECT_EQ(vokri_render_scene_rgba0(2, 2, 1, nullptr, c[0], nullptr, c[1], nullptr, c[2], nullptr, c[3], nullptr,
                                           c[4], nullptr, c[5], nullptr, c[6], nullptr, c[7], px.data(), px.size()), 2)
            << which;
        EXPECT_EQ(vokri_render_scene_frame("/tmp/vokri-never-written.png", 2, 2, 1, nullptr, c[0], nullptr, c[1], nullptr,
                                           c[2], nullptr, c[3], nullptr, c[4], nullptr, c[5], nullptr, c[6], nullptr, c[7]), 2);
        int32_t id = 5;
        EXPECT_EQ(vokri_pick_scene_object(2, 2, 1, nullptr, nullptr, c[0], nullptr, c[1], nullptr, c[2], nullptr, c[3],
                                          nullptr, c[4], nullptr, c[5], nullptr, c[6], nullptr, c[7], 0, 0, &id), 2);
    }
}

TEST(Exports, PixelBufferChecks) {
    TestScene s;
    std::vector<uint32_t> px(6 * 4 + 3, 0xAAAAAAAAu);
    EXPECT_EQ(vokri_render_scene_rgba0(6, 4, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0, nullptr, 0, nullptr, 24), 2);
    EXPECT_EQ(vokri_render_scene_rgba0(6, 4, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0, nullptr, 0, px.data(), 23), 2);
    EXPECT_EQ(px[0], 0xAAAAAAAAu);
    // A longer buffer is accepted; pixels beyond width * height stay as they were.
    EXPECT_EQ(vokri_render_scene_rgb0(6, 4, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                      nullptr, 0, nullptr, 0, px.data(), px.size()), 0);
    for (size_t i = 0; i < 24; ++i) EXPECT_EQ(px[i], 0x0018110Eu);
    for (size_t i = 24; i < px.size(); ++i) EXPECT_EQ(px[i], 0xAAAAAAAAu);
    // width * height in 64 bits: no wrap-around for a huge canvas.
    EXPECT_EQ(vokri_render_scene_rgba0(65536, 65536, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0, nullptr, 0, nullptr, 0, px.data(), px.size()), 2);
}

TEST(Exports, PickArgumentChecks) {
    VokriDrawItem item{VOKRI_ITEM_SHAPE, 0};
    int32_t ids[1] = {4};
    int32_t id = 9;
    auto call = [&](int32_t w, int32_t h, const VokriDrawItem* it, const int32_t* idp, uint32_t n, uint32_t x,
                    uint32_t y, int32_t* out) {
        return vokri_pick_scene_object(w, h, 1, it, idp, n, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0, nullptr, 0, x, y, out);
    };
    EXPECT_EQ(call(4, 3, nullptr, nullptr, 0, 4, 0, &id), 2);  // x = width
    EXPECT_EQ(call(4, 3, nullptr, nullptr, 0, 0, 3, &id), 2);  // y = height
    EXPECT_EQ(call(4, 3, nullptr, nullptr, 0, 0, 0, nullptr), 2);
    EXPECT_EQ(call(4, 3, &item, nullptr, 1, 0, 0, &id), 2);
    EXPECT_EQ(call(4, 3, nullptr, ids, 1, 0, 0, &id), 2);
    EXPECT_EQ(id, 9);
    EXPECT_EQ(call(4, 3, nullptr, nullptr, 0, 3, 2, &id), 0);
    EXPECT_EQ(id, 0);
}

TEST(Exports, FrameWithNullPathReturnsTwo) {
    EXPECT_EQ(vokri_render_scene_frame(nullptr, 2, 2, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0, nullptr, 0, nullptr, 0), 2);
}

TEST(Exports, ItemErrorPrintsOneLinePerExport) {
    TestScene s;
    s.add_item(7, 0);
    std::vector<uint32_t> px;
    int32_t id = 3;
    std::string path = temp_path("never.png");
    StderrCapture cap;
    EXPECT_EQ(s.rgba0(3, 3, 1, px), 1);
    EXPECT_EQ(s.rgb0(3, 3, 1, px), 1);
    EXPECT_EQ(s.frame(path.c_str(), 3, 3, 1), 1);
    EXPECT_EQ(s.pick(3, 3, 1, 1, 1, &id), 1);
    EXPECT_EQ(cap.text(),
              "vokri scene rgba0 render error: InvalidDrawItem\n"
              "vokri scene rgb0 render error: InvalidDrawItem\n"
              "vokri scene render error: InvalidDrawItem\n"
              "vokri scene pick error: InvalidDrawItem\n");
    EXPECT_EQ(id, 3);
    EXPECT_TRUE(read_file(path).empty());
}

TEST(Exports, SharedLibraryExportsExactlyTheFiveFunctions) {
    std::string out = run(std::string("nm -D --defined-only ") + VOKRI_SHARED_LIBRARY + " 2>&1");
    ASSERT_FALSE(out.empty());
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        std::string line = out.substr(pos, end - pos);
        pos = end == std::string::npos ? out.size() : end + 1;
        size_t sp = line.rfind(' ');
        if (sp == std::string::npos) continue;
        std::string name = line.substr(sp + 1);
        if (name.rfind("_Z", 0) == 0) ADD_FAILURE() << "C++ symbol exported: " << name;
        if (name.rfind("vokri", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"vokri_abi_version", "vokri_pick_scene_object", "vokri_render_scene_frame",
                                               "vokri_render_scene_rgb0", "vokri_render_scene_rgba0"}));
    std::string soname = run(std::string("objdump -p ") + VOKRI_SHARED_LIBRARY + " | grep SONAME");
    EXPECT_NE(soname.find("libvokri_core.so.3"), std::string::npos) << soname;
    std::string needed = run(std::string("objdump -p ") + VOKRI_SHARED_LIBRARY + " | grep NEEDED");
    for (const char* lib : {"libz.so", "libc.so"}) EXPECT_NE(needed.find(lib), std::string::npos) << needed;
    size_t count = 0;
    for (size_t p = needed.find("NEEDED"); p != std::string::npos; p = needed.find("NEEDED", p + 1)) {
        size_t eol = needed.find('\n', p);
        std::string line = needed.substr(p, eol - p);
        // Sanitizer builds add their own runtimes.
        if (line.find("libasan") == std::string::npos && line.find("libubsan") == std::string::npos &&
            line.find("libtsan") == std::string::npos)
            ++count;
    }
    // zlib, libstdc++, libm, libgcc_s and libc at most.
    EXPECT_LE(count, 5u) << needed;
}

TEST(Exports, SharedLibraryLoadsAndRenders) {
    void* h = dlopen(VOKRI_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    auto version = reinterpret_cast<uint32_t (*)()>(dlsym(h, "vokri_abi_version"));
    auto rgb0 = reinterpret_cast<decltype(&vokri_render_scene_rgb0)>(dlsym(h, "vokri_render_scene_rgb0"));
    ASSERT_NE(version, nullptr);
    ASSERT_NE(rgb0, nullptr);
    EXPECT_EQ(version(), 3u);
    std::vector<uint32_t> px(5 * 3);
    EXPECT_EQ(rgb0(5, 3, 2, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                   0, px.data(), px.size()), 0);
    for (uint32_t p : px) EXPECT_EQ(p, 0x0018110Eu);
    dlclose(h);
}
