// TeX formulas end to end: the tex kind draws exactly the SVG that the
// converter script makes, read by the SVG import; the converter answers
// random input with a drawing or a message, in bounded time; a formula
// found in the disk cache never starts Node; TeX errors and a missing Node
// through vokri-render.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/scene.h"
#include "vokri_scenefile.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A folder of this test process, removed at the end of the test.
struct TempDir {
    fs::path path = fs::path(vt::temp_path("tex"));
    TempDir() { fs::create_directories(path); }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// Formulas are converted into an empty cache of the test's own.
struct FreshCache {
    TempDir dir;
    FreshCache() { ::setenv("XDG_CACHE_HOME", dir.path.c_str(), 1); }
};

struct Rendered {
    int32_t status = 0;
    std::string text, json_path;
    std::vector<uint32_t> pixels;
};

Rendered render(const std::string& scene, const std::string& base_dir = "") {
    Rendered r;
    VokriSceneFileError* e = nullptr;
    VokriSceneDocument* d = vokri_scenefile_parse(scene.data(), scene.size(),
                                                  base_dir.empty() ? nullptr : base_dir.c_str(), "scene.json",
                                                  nullptr, &e);
    if (!d) {
        r = Rendered{e->status, e->text, e->json_path, {}};
        vokri_scenefile_error_free(e);
        return r;
    }
    VokriSceneFrame* f = vokri_scenefile_frame(d, 0, &e);
    EXPECT_NE(f, nullptr);
    if (f) {
        const VokriSceneRecords* rec = vokri_scenefile_frame_records(f);
        r.pixels.resize(size_t(rec->width) * size_t(rec->height));
        r.status = vokri_scenefile_render(rec, VOKRI_SCENEFILE_RGBA0, 0, r.pixels.data(), r.pixels.size(), &e);
        vokri_scenefile_frame_free(f);
    }
    vokri_scenefile_error_free(e);
    vokri_scenefile_close(d);
    return r;
}

std::string scene_of(const nlohmann::json& item) {
    return nlohmann::json{{"width", 320}, {"height", 120}, {"scale", 0.08}, {"items", {item}}}.dump();
}

// What the converter script itself answers to one request.
nlohmann::json ask_converter(const nlohmann::json& request, const TempDir& dir) {
    const std::string in = (dir.path / "request").string(), out = (dir.path / "reply").string();
    std::ofstream(in) << request.dump() << '\n';
    const std::string cmd = "node '" VOKRI_SOURCE_DIR "/scenefile/tex/convert.mjs' <'" + in + "' >'" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::string reply = slurp(out);  // {"ready": true}, then the answer
    reply.erase(0, reply.find('\n') + 1);
    return nlohmann::json::parse(reply);
}

TEST(Tex, DrawsTheConvertersSvgThroughTheSvgImport) {
    FreshCache cache;
    const char* formulas[] = {R"(\frac{a+b}{c})", R"(\sqrt[3]{x^2+1})", R"(x_i^2 + e^{-t_0})",
                              R"(\begin{pmatrix}1&0\\0&1\end{pmatrix})", R"(\color{red}{y} = \int_0^1 f)"};
    for (const char* tex : formulas) {
        SCOPED_TRACE(tex);
        const nlohmann::json reply = ask_converter({{"tex", tex}, {"display", true}}, cache.dir);
        ASSERT_TRUE(reply.contains("svg")) << reply.dump();
        const fs::path svg = cache.dir.path / "formula.svg";
        std::ofstream(svg) << reply["svg"].get<std::string>();
        // One MathJax unit (a thousandth of an em) per user unit at size
        // 1000, the top left corner at the origin both ways.
        const Rendered as_tex = render(scene_of({{"kind", "tex"}, {"tex", tex}, {"size", 1000}, {"align", "left"},
                                                 {"baseline", "top"}, {"fill_color", "black"},
                                                 {"transform", {1, 0, 0, 1, -1900, 700}}}));
        const Rendered as_svg = render(scene_of({{"kind", "svg"}, {"file", svg.string()}, {"align", "top_left"},
                                                 {"transform", {1, 0, 0, 1, -1900, 700}}}));
        ASSERT_EQ(as_tex.status, 0) << as_tex.text;
        ASSERT_EQ(as_svg.status, 0) << as_svg.text;
        EXPECT_EQ(as_tex.pixels, as_svg.pixels);
        size_t inked = 0;
        for (uint32_t p : as_tex.pixels) inked += (p >> 24) != 0;
        EXPECT_GT(inked, 200u);
    }
    // A definition in one formula never reaches another.
    const nlohmann::json two = {{"width", 40}, {"height", 20}, {"scale", 10},
                                {"items", {{{"kind", "tex"}, {"tex", R"(\def\foo{x}\foo)"}},
                                           {{"kind", "tex"}, {"tex", R"(\foo)"}}}}};
    const Rendered defined = render(two.dump());
    EXPECT_EQ(defined.status, VOKRI_SCENEFILE_BAD_SCENE);
    EXPECT_EQ(defined.json_path, "items[1].tex") << defined.text;
}

// Random token soup, with the characters a line protocol could trip on.
std::string random_formula(std::mt19937& rng) {
    static const char* tokens[] = {
        "x", "2", "+", "=", "^", "_", "{", "}", "\\frac", "\\sqrt", "\\left(", "\\right)", "\\begin{matrix}",
        "\\end{matrix}", "&", "\\\\", "\\alpha", "\\color{blue}", "\\undefinedmacro", "\\text{é ü}", "\"", "\n",
        "%", "#", "\\", " ", "\u2028", "\\int", "\\sum_{k}", "\\mathbb{R}", "\\over", "$", "\\hat", "\\overbrace",
        "\\cr", "'", "<", ">", "</svg>", "\t", "\\displaystyle", "\\operatorname{f}", "}}}", "{{{"};
    std::uniform_int_distribution<size_t> pick(0, std::size(tokens) - 1), length(0, 24);
    std::string out;
    for (size_t i = length(rng); i > 0; --i) out += tokens[pick(rng)];
    return out;
}

TEST(Tex, RandomFormulasGiveADrawingOrAMessageInBoundedTime) {
    FreshCache cache;
    const auto seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    size_t drawn = 0, refused = 0;
    for (int i = 0; i < 250; ++i) {
        const std::string tex = random_formula(rng);
        SCOPED_TRACE(tex);
        const auto start = std::chrono::steady_clock::now();
        const Rendered r = render(scene_of({{"kind", "tex"}, {"tex", tex}, {"display", i % 2 == 0}}));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
        if (r.status == 0) {
            ++drawn;
            continue;
        }
        ++refused;
        EXPECT_EQ(r.status, VOKRI_SCENEFILE_BAD_SCENE) << r.text;
        EXPECT_EQ(r.json_path, "items[0].tex") << r.text;
        EXPECT_GT(r.text.size(), std::string("scene.json: items[0].tex: ").size()) << r.text;
    }
    EXPECT_GT(drawn, 0u);
    EXPECT_GT(refused, 0u);
    // The converter is still there for the next formula.
    EXPECT_EQ(render(scene_of({{"kind", "tex"}, {"tex", "a^2 + b^2 = c^2"}})).status, 0);
}

#ifdef VOKRI_RENDER_TOOL

struct RunResult {
    int code = -1;
    std::string err;
};

RunResult run_tool(const std::string& env, const std::string& args, const TempDir& dir) {
    const std::string err = (dir.path / "tool.err").string();
    const std::string cmd = env + " '" VOKRI_RENDER_TOOL "' " + args + " 2>'" + err + "' >/dev/null";
    const int status = std::system(cmd.c_str());
    return RunResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(err)};
}

TEST(Tex, TheCommandLineReportsTexErrorsAndNeedsNodeOnlyForNewFormulas) {
    TempDir dir;
    const std::string scene = (dir.path / "f.json").string(), cache = "XDG_CACHE_HOME='" + dir.path.string() + "'";
    const std::string no_node = " VOKRI_NODE=/nonexistent/node";
    std::ofstream(scene) << scene_of({{"kind", "tex"}, {"tex", R"(\sum_{n=1}^\infty \frac{1}{n^2})"}});
    const std::string a = (dir.path / "a.png").string(), b = (dir.path / "b.png").string();
    ASSERT_EQ(run_tool(cache, "'" + scene + "' '" + a + "'", dir).code, 0);
    // Cached now: the same frame without Node.
    const RunResult cached = run_tool(cache + no_node, "'" + scene + "' '" + b + "'", dir);
    EXPECT_EQ(cached.code, 0) << cached.err;
    EXPECT_EQ(slurp(a), slurp(b));
    // A new formula needs Node, and says so.
    std::ofstream(scene) << scene_of({{"kind", "tex"}, {"tex", "x + y"}});
    const RunResult missing = run_tool(cache + no_node, "'" + scene + "' '" + b + "'", dir);
    EXPECT_EQ(missing.code, 3);
    EXPECT_NE(missing.err.find("items[0].tex: Node.js (/nonexistent/node) is not installed"), std::string::npos)
        << missing.err;
    EXPECT_NE(missing.err.find("apt-get install nodejs"), std::string::npos) << missing.err;
    std::ofstream(scene) << scene_of({{"kind", "tex"}, {"tex", R"(\frac{1}{2} + \nosuchmacro)"}});
    const RunResult bad = run_tool(cache, "'" + scene + "' '" + b + "'", dir);
    EXPECT_EQ(bad.code, 3);
    EXPECT_NE(bad.err.find("f.json: items[0].tex: Undefined control sequence \\nosuchmacro"), std::string::npos)
        << bad.err;
}

// A converter folder whose script does `script` instead of converting.
void fake_converter(const fs::path& dir, const std::string& script) {
    fs::create_directories(dir / "node_modules" / "mathjax-full");
    std::ofstream(dir / "node_modules" / "mathjax-full" / "package.json") << "{}";
    std::ofstream(dir / "package-lock.json") << "{}";
    std::ofstream(dir / "convert.mjs") << script;
}

TEST(Tex, AConverterThatStopsOrHangsIsReportedNotWaitedOn) {
    TempDir dir;
    const std::string scene = (dir.path / "f.json").string();
    std::ofstream(scene) << scene_of({{"kind", "tex"}, {"tex", "x"}});
    const std::string env = "XDG_CACHE_HOME='" + dir.path.string() + "' VOKRI_TEX_CONVERTER='";
    fake_converter(dir.path / "dies", "process.stderr.write('converter broke\\n'); process.exit(7);\n");
    const RunResult died = run_tool(env + (dir.path / "dies").string() + "'", "--png '" + scene + "' /dev/null", dir);
    EXPECT_EQ(died.code, 3);
    EXPECT_NE(died.err.find("items[0].tex: the TeX converter stopped (exit status 7): converter broke"),
              std::string::npos)
        << died.err;
    fake_converter(dir.path / "hangs", "process.stdout.write('{\"ready\": true}\\n'); setInterval(() => {}, 1000);\n");
    const auto start = std::chrono::steady_clock::now();
    const RunResult hung = run_tool(env + (dir.path / "hangs").string() + "'", "--png '" + scene + "' /dev/null", dir);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(hung.code, 3);
    EXPECT_NE(hung.err.find("items[0].tex: the TeX converter took longer than 10 s"), std::string::npos) << hung.err;
}

#endif

}  // namespace
