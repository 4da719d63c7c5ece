// vokri-render: renders a JSON scene file with vokri_core.
//
//   vokri-render [options] scene.json out.png
//   vokri-render --rgba [options] scene.json out.rgba   (raw straight-alpha R, G, B, A bytes)
//   vokri-render --rgb [options] scene.json out.rgb     (raw R, G, B, 0 bytes)
//   vokri-render --pick X,Y [options] scene.json        (prints the id under pixel X, Y)
//
// Exit codes: 0 success; 1 the library reported an error (its line is on
// standard error, followed by the item that failed); 2 bad command line; 3
// bad scene file; 4 the library rejected the arguments; 5 the output could
// not be written. Outputs appear whole or not at all.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "failing_item.h"
#include "output_file.h"
#include "scene_json.h"
#include "vokri_core.h"

namespace {

constexpr int kExitLibraryError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitScene = 3;
constexpr int kExitRejected = 4;
constexpr int kExitOutput = 5;

const char kUsage[] =
    "usage: vokri-render [--rgba | --rgb | --pick X,Y] [--width W] [--height H] [--scale S] scene.json [out]\n"
    "       vokri-render --version | --help\n"
    "  (no mode)   render through vokri_render_scene_frame and write the PNG file `out` ('-' = stdout)\n"
    "  --rgba      write raw straight-alpha RGBA bytes (vokri_render_scene_rgba0) to `out` ('-' = stdout)\n"
    "  --rgb       write raw R, G, B, 0 bytes (vokri_render_scene_rgb0) to `out` ('-' = stdout)\n"
    "  --pick X,Y  print the id of the topmost item painting pixel (X, Y) (vokri_pick_scene_object)\n"
    "  --width W, --height H, --scale S  override the scene file's canvas\n"
    "  scene.json may be '-' for standard input. The format is described in docs/scene-format.md.\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "vokri-render: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

bool parse_int(const char* s, int64_t& out) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0') return false;
    out = v;
    return true;
}

bool parse_double(const char* s, double& out) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (errno != 0 || end == s || *end != '\0') return false;
    out = v;
    return true;
}

bool parse_pick(const char* s, uint32_t& x, uint32_t& y) {
    const char* comma = std::strchr(s, ',');
    if (!comma) return false;
    const std::string xs(s, comma);
    int64_t xv = 0, yv = 0;
    if (!parse_int(xs.c_str(), xv) || !parse_int(comma + 1, yv)) return false;
    if (xv < 0 || yv < 0 || xv > 0xFFFFFFFFll || yv > 0xFFFFFFFFll) return false;
    x = static_cast<uint32_t>(xv);
    y = static_cast<uint32_t>(yv);
    return true;
}

int library_result(int32_t rc, const char* function) {
    if (rc == VOKRI_OK) return 0;
    if (rc == VOKRI_ERROR) return kExitLibraryError;  // the library printed its line
    std::fprintf(stderr, "vokri-render: %s rejected the arguments (return code %d)\n", function, rc);
    return kExitRejected;
}

// After a library error: names the item that failed, found with `render`.
void report_failing_item(const vokri_tool::Scene& scene, const std::function<int32_t(uint32_t)>& render) {
    if (const auto f = vokri_tool::find_failing_item(scene, render))
        std::fprintf(stderr, "vokri-render: items[%zu] (%s): %s\n", f->index, f->kind.c_str(), f->error.c_str());
}

int output_error(const std::string& message) {
    std::fprintf(stderr, "vokri-render: %s\n", message.c_str());
    return kExitOutput;
}

bool write_file(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Renders the first n items into `pixels` as rgb0 or rgba0.
int32_t render_pixels(const vokri_tool::Scene& scene, uint32_t n, bool rgba, std::vector<uint32_t>& pixels) {
    return rgba ? scene.rgba0(scene.width, scene.height, scene.scale, pixels.data(), pixels.size(), n)
                : scene.rgb0(scene.width, scene.height, scene.scale, pixels.data(), pixels.size(), n);
}

int run(int argc, char** argv) {
    enum class Mode { Png, Rgba, Rgb, Pick } mode = Mode::Png;
    bool mode_given = false;
    uint32_t pick_x = 0, pick_y = 0;
    vokri_tool::ParseOptions options;
    std::vector<const char*> positional;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto set_mode = [&](Mode m) {
            if (mode_given) return false;
            mode = m;
            mode_given = true;
            return true;
        };
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)name;
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("vokri-render %s (vokri_core ABI %u)\n", VOKRI_VERSION, vokri_abi_version());
            return 0;
        } else if (a == "--rgba") {
            if (!set_mode(Mode::Rgba)) return usage_error("choose one of --rgba, --rgb and --pick");
        } else if (a == "--rgb") {
            if (!set_mode(Mode::Rgb)) return usage_error("choose one of --rgba, --rgb and --pick");
        } else if (a == "--pick") {
            if (!set_mode(Mode::Pick)) return usage_error("choose one of --rgba, --rgb and --pick");
            const char* v = value("--pick");
            if (!v || !parse_pick(v, pick_x, pick_y)) return usage_error("--pick expects X,Y (two unsigned integers)");
        } else if (a == "--width" || a == "--height") {
            const char* v = value(a.c_str());
            int64_t n = 0;
            if (!v || !parse_int(v, n) || n < 1 || n > vokri_tool::kMaxCanvasSide)
                return usage_error(a + " expects an integer from 1 to " + std::to_string(vokri_tool::kMaxCanvasSide));
            (a == "--width" ? options.width : options.height) = n;
        } else if (a == "--scale") {
            const char* v = value("--scale");
            double d = 0;
            if (!v || !parse_double(v, d) || !std::isfinite(d) || !(d > 0))
                return usage_error("--scale expects a finite number above 0");
            options.scale = d;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else {
            positional.push_back(argv[i]);
        }
    }
    const size_t wanted = mode == Mode::Pick ? 1 : 2;
    if (positional.size() != wanted)
        return usage_error(mode == Mode::Pick ? "--pick takes the scene file and no output"
                                              : "expected the scene file and the output path");

    const std::string scene_file = positional[0];
    vokri_tool::Scene scene;
    try {
        scene = vokri_tool::load_scene_file(scene_file, options);
    } catch (const vokri_tool::SceneError& e) {
        std::fprintf(stderr, "vokri-render: %s: %s\n", scene_file.c_str(), e.what());
        return kExitScene;
    }
    const auto item_count = static_cast<uint32_t>(scene.items.size());

    if (mode == Mode::Pick) {
        int32_t id = 0;
        const int32_t rc = scene.pick(scene.width, scene.height, scene.scale, pick_x, pick_y, &id);
        if (rc == VOKRI_ERROR)
            report_failing_item(scene, [&](uint32_t n) {
                return scene.pick(scene.width, scene.height, scene.scale, pick_x, pick_y, &id, n);
            });
        const int r = library_result(rc, "vokri_pick_scene_object");
        if (r == 0) std::printf("%d\n", id);
        return r;
    }

    vokri_tool::OutputFile out(positional[1]);
    std::string error;
    if (!out.open(error)) return output_error(error);
    std::vector<uint32_t> pixels;
    // Pixels for the item search of the PNG mode (the frame is rgb0) or for
    // the raw output.
    auto ensure_pixels = [&] { pixels.resize(static_cast<size_t>(scene.width) * static_cast<size_t>(scene.height)); };
    const bool rgba = mode == Mode::Rgba;
    if (mode == Mode::Png) {
        const int32_t rc = scene.frame(out.temp_path().c_str(), scene.width, scene.height, scene.scale);
        if (rc == VOKRI_ERROR) {
            ensure_pixels();
            report_failing_item(scene, [&](uint32_t n) { return render_pixels(scene, n, false, pixels); });
        }
        if (const int r = library_result(rc, "vokri_render_scene_frame"); r != 0) return r;
    } else {
        ensure_pixels();
        const int32_t rc = render_pixels(scene, item_count, rgba, pixels);
        if (rc == VOKRI_ERROR)
            report_failing_item(scene, [&](uint32_t n) { return render_pixels(scene, n, rgba, pixels); });
        if (const int r = library_result(rc, rgba ? "vokri_render_scene_rgba0" : "vokri_render_scene_rgb0"); r != 0)
            return r;
        if (!write_file(out.temp_path(), pixels.data(), pixels.size() * sizeof(uint32_t)))
            return output_error(std::string("cannot write ") + positional[1] + ": " + std::strerror(errno));
    }
    if (!out.commit(error)) return output_error(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("vokri-render: out of memory\n", stderr);
        return kExitScene;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vokri-render: %s\n", e.what());
        return kExitScene;
    }
}
