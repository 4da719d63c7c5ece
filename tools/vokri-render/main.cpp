// vokri-render: renders a JSON scene file with vokri_core: one frame, the
// frames of an animation as files or a video, or the id under a pixel.
// Exit codes: exit_codes.h. Outputs appear whole or not at all.
#include <sched.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "exit_codes.h"
#include "failing_item.h"
#include "frame_run.h"
#include "frame_selection.h"
#include "interrupt.h"
#include "scene_json.h"
#include "video_encoder.h"
#include "vokri_core.h"

namespace {

using namespace vokri_tool;

const char kUsage[] =
    "usage: vokri-render [--rgba | --rgb | --alpha | --pick X,Y] [options] scene.json [out]\n"
    "       vokri-render [--alpha] [options] --video out.mp4|out.webm|out.gif scene.json\n"
    "       vokri-render --version | --help\n"
    "  (no mode)   PNG files through vokri_render_scene_frame\n"
    "  --alpha     straight-alpha RGBA PNG files (vokri_render_scene_rgba0), for compositing\n"
    "  --rgba      raw straight-alpha R, G, B, A bytes (vokri_render_scene_rgba0)\n"
    "  --rgb       raw R, G, B, 0 bytes (vokri_render_scene_rgb0)\n"
    "  --pick X,Y  print the id of the topmost item painting pixel (X, Y) (vokri_pick_scene_object)\n"
    "  out         a file, '-' for standard output (frames one after another), or for several frames a\n"
    "              pattern with a frame-number field: out/frame_%05d.png\n"
    "  --video F   stream the frames into ffmpeg, which writes F (.mp4 H.264, .webm VP9, .gif)\n"
    "  --frames A:B  render frames A up to, not including, B (default: every frame of the animation)\n"
    "  --shard K/N   render only the frames whose index is K modulo N (one worker of N)\n"
    "  --jobs N      frames rendered at once (default: the number of cores)\n"
    "  --resume      skip frames whose file already exists\n"
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

int default_jobs() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

int pick(const SceneDocument& document, int64_t frame, uint32_t x, uint32_t y) {
    const Scene scene = document.frame(frame);
    int32_t id = 0;
    const int32_t rc = scene.pick(scene.width, scene.height, scene.scale, x, y, &id);
    if (rc == VOKRI_ERROR)
        report_failing_item(scene, [&](uint32_t n) {
            return scene.pick(scene.width, scene.height, scene.scale, x, y, &id, n);
        });
    const int r = library_result(rc, "vokri_pick_scene_object");
    if (r == 0) std::printf("%d\n", id);
    return r;
}

struct Options {
    enum class Mode { Png, Alpha, Rgba, Rgb, Pick } mode = Mode::Png;
    bool mode_given = false;
    uint32_t pick_x = 0, pick_y = 0;
    ParseOptions parse;
    std::vector<std::string> positional;
    std::string frames, shard, video;
    int jobs = 0;
    bool resume = false;
};

// Parses argv into `o`; returns an exit code, or -1 to go on.
int parse_options(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto set_mode = [&](Options::Mode m) {
            if (o.mode_given) return false;
            o.mode = m;
            o.mode_given = true;
            return true;
        };
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("vokri-render %s (vokri_core ABI %u)\n", VOKRI_VERSION, vokri_abi_version());
            return 0;
        } else if (a == "--rgba" || a == "--rgb" || a == "--alpha") {
            if (!set_mode(a == "--rgba" ? Options::Mode::Rgba : a == "--rgb" ? Options::Mode::Rgb : Options::Mode::Alpha))
                return usage_error("choose one of --rgba, --rgb, --alpha and --pick");
        } else if (a == "--pick") {
            if (!set_mode(Options::Mode::Pick)) return usage_error("choose one of --rgba, --rgb, --alpha and --pick");
            v = value();
            if (!v || !parse_pick(v, o.pick_x, o.pick_y)) return usage_error("--pick expects X,Y (two unsigned integers)");
        } else if (a == "--width" || a == "--height") {
            v = value();
            int64_t n = 0;
            if (!v || !parse_int(v, n) || n < 1 || n > kMaxCanvasSide)
                return usage_error(a + " expects an integer from 1 to " + std::to_string(kMaxCanvasSide));
            (a == "--width" ? o.parse.width : o.parse.height) = n;
        } else if (a == "--scale") {
            v = value();
            double d = 0;
            if (!v || !parse_double(v, d) || !std::isfinite(d) || !(d > 0))
                return usage_error("--scale expects a finite number above 0");
            o.parse.scale = d;
        } else if (a == "--jobs") {
            v = value();
            int64_t n = 0;
            if (!v || !parse_int(v, n) || n < 1 || n > 1024) return usage_error("--jobs expects an integer from 1 to 1024");
            o.jobs = static_cast<int>(n);
        } else if (a == "--frames" || a == "--shard" || a == "--video") {
            v = value();
            if (!v) return usage_error(a + " expects a value");
            (a == "--frames" ? o.frames : a == "--shard" ? o.shard : o.video) = v;
        } else if (a == "--resume") {
            o.resume = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else {
            o.positional.push_back(a);
        }
    }
    return -1;
}

// The combinations that cannot work, before the scene is read.
int check_combinations(const Options& o) {
    const bool pick_mode = o.mode == Options::Mode::Pick;
    const size_t wanted = pick_mode || !o.video.empty() ? 1 : 2;
    if (o.positional.size() != wanted)
        return usage_error(pick_mode            ? "--pick takes the scene file and no output"
                           : !o.video.empty()   ? "--video takes the scene file and no other output"
                                                : "expected the scene file and the output path");
    if (!o.video.empty()) {
        if (o.mode == Options::Mode::Rgba || o.mode == Options::Mode::Rgb || pick_mode)
            return usage_error("--video takes PNG-style frames: leave out --rgba, --rgb and --pick");
        const auto format = video_format_of(o.video);
        if (!format) return usage_error("--video writes .mp4, .webm or .gif files");
        if (o.mode == Options::Mode::Alpha && *format == VideoFormat::mp4)
            return usage_error("--alpha: an .mp4 (H.264) video has no alpha channel; write .webm or .gif");
        if (!o.shard.empty()) return usage_error("--shard splits frame files across workers; it cannot write a video");
        if (o.resume) return usage_error("--resume needs frame files; a video is always written whole");
    }
    if (pick_mode && (!o.shard.empty() || o.resume || o.jobs))
        return usage_error("--pick reads one frame: --shard, --resume and --jobs do not apply");
    return -1;
}

PixelFormat pixel_format(Options::Mode m) {
    switch (m) {
    case Options::Mode::Alpha: return PixelFormat::png_alpha;
    case Options::Mode::Rgba: return PixelFormat::raw_rgba;
    case Options::Mode::Rgb: return PixelFormat::raw_rgb;
    default: return PixelFormat::png;
    }
}

// The frames to render, the output, and the checks that need the scene.
int settle(const Options& o, const SceneDocument& document, RunSettings& run) {
    const Animation& a = document.animation();
    std::string error;
    run.frames = FrameSelection{0, a.frame_count, 1};
    if (!o.frames.empty()) {
        const auto range = parse_frame_range(o.frames, a.frame_count, error);
        if (!range) return usage_error(error);
        run.frames = *range;
    }
    if (!o.shard.empty()) {
        const auto shard = parse_shard(o.shard, error);
        if (!shard) return usage_error(error);
        run.frames = apply_shard(run.frames, *shard);
    }
    run.format = pixel_format(o.mode);
    run.jobs = o.jobs > 0 ? o.jobs : default_jobs();
    run.resume = o.resume;
    run.animated = a.animated;
    run.video = o.video;
    if (!o.video.empty() || o.mode == Options::Mode::Pick) return -1;
    const auto pattern = FramePattern::parse(o.positional[1], error);
    if (!pattern) return usage_error(error);
    run.pattern = *pattern;
    const bool to_stdout = o.positional[1] == "-";
    if (!pattern->has_field() && !to_stdout && run.frames.count() > 1)
        return usage_error("output " + o.positional[1] + " has no frame-number field (such as %05d) but " +
                           std::to_string(run.frames.count()) + " frames are to be rendered");
    if (o.resume && (to_stdout || !pattern->has_field()))
        return usage_error("--resume needs a frame-file pattern such as out/frame_%05d.png");
    return -1;
}

int run(int argc, char** argv) {
    Options o;
    if (const int rc = parse_options(argc, argv, o); rc >= 0) return rc;
    if (const int rc = check_combinations(o); rc >= 0) return rc;

    const std::string scene_file = o.positional[0];
    try {
        const SceneDocument document = SceneDocument::load(scene_file, o.parse);
        RunSettings settings;
        if (const int rc = settle(o, document, settings); rc >= 0) return rc;
        // Every track is read (and checked) whenever a frame is built: a
        // fault anywhere in the file shows here, before anything renders.
        (void)document.frame(settings.frames.first);
        if (o.mode == Options::Mode::Pick) return pick(document, settings.frames.first, o.pick_x, o.pick_y);
        install_interrupt_handlers();
        return run_frames(document, settings);
    } catch (const SceneError& e) {
        std::fprintf(stderr, "vokri-render: %s: %s\n", scene_file.c_str(), e.what());
        return kExitScene;
    }
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
