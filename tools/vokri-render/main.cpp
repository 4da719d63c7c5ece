// vokri-render: renders a JSON scene file through the scene library: one
// frame, the frames of an animation as files or a video, or the id under a
// pixel. Exit codes: exit_codes.h. Outputs appear whole or not at all.
#include <sched.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "exit_codes.h"
#include "frame_run.h"
#include "frame_selection.h"
#include "handles.h"
#include "interrupt.h"
#include "vokri_scenefile.h"

namespace {

using namespace vokri_tool;

constexpr int64_t kMaxCanvasSide = 32768;

const char kUsage[] =
    "usage: vokri-render [--png | --alpha | --rgba | --rgb | --pick X,Y] [options] scene.json [out]\n"
    "       vokri-render [--alpha] [options] --video out.mp4|out.webm|out.mov|out.gif scene.json\n"
    "       vokri-render --version | --help\n"
    "  (no mode)   PNG files (.png) through the renderer's PNG export\n"
    "  --png       the same, whatever the output's extension\n"
    "  --alpha     straight-alpha RGBA PNG files, for compositing\n"
    "  --rgba      raw straight-alpha R, G, B, A bytes\n"
    "  --rgb       raw R, G, B, 0 bytes\n"
    "  --pick X,Y  print the id of the topmost item painting pixel (X, Y) (with --frames: one line per frame)\n"
    "  out         a file, '-' for standard output (frames one after another), or for several frames a\n"
    "              pattern with a frame-number field: out/frame_%05d.png (missing folders are created)\n"
    "  --video F   stream the frames into ffmpeg, which writes F (.mp4 H.264, .webm VP9, .mov ProRes 4444,\n"
    "              .gif)\n"
    "  --frames K | A:B | A:B:S  frame K, or frames A up to, not including, B, every S-th (default: all)\n"
    "  --shard K/N   render only the frames whose index is K modulo N (one worker of N)\n"
    "  --jobs N      frames rendered at once (default: the number of cores)\n"
    "  --resume      skip frames whose file already exists (and remove what a killed run left)\n"
    "  --width W, --height H, --scale S  override the scene file's canvas\n"
    "  --            ends the options\n"
    "  scene.json may be '-' for standard input. The format is described in docs/scene-format.md.\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "vokri-render: %s (vokri-render --help shows the usage)\n", message.c_str());
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

bool has_extension(const std::string& path, const char* ext) {
    const size_t n = std::strlen(ext);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
    return true;
}

int default_jobs() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

struct Options {
    enum class Mode { Png, Alpha, Rgba, Rgb, Pick } mode = Mode::Png;
    bool mode_given = false;
    uint32_t pick_x = 0, pick_y = 0;
    VokriSceneOptions canvas{};
    std::vector<std::string> positional;
    std::string frames, shard, video;
    int jobs = 0;
    bool resume = false;
};

// Parses argv into `o`; returns an exit code, or -1 to go on.
int parse_options(int argc, char** argv, Options& o) {
    bool options_ended = false;
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
        if (options_ended || a == "-" || a.empty() || a[0] != '-') {
            o.positional.push_back(a);
        } else if (a == "--") {
            options_ended = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("vokri-render %s (vokri_core ABI %u, vokri_scenefile ABI %u)\n", VOKRI_VERSION,
                        vokri_scenefile_core_abi_version(), vokri_scenefile_abi_version());
            return 0;
        } else if (a == "--png" || a == "--rgba" || a == "--rgb" || a == "--alpha") {
            const Options::Mode m = a == "--png"    ? Options::Mode::Png
                                    : a == "--rgba" ? Options::Mode::Rgba
                                    : a == "--rgb"  ? Options::Mode::Rgb
                                                    : Options::Mode::Alpha;
            if (!set_mode(m)) return usage_error("choose one of --png, --alpha, --rgba, --rgb and --pick");
        } else if (a == "--pick") {
            if (!set_mode(Options::Mode::Pick))
                return usage_error("choose one of --png, --alpha, --rgba, --rgb and --pick");
            v = value();
            if (!v || !parse_pick(v, o.pick_x, o.pick_y)) return usage_error("--pick expects X,Y (two unsigned integers)");
        } else if (a == "--width" || a == "--height") {
            v = value();
            int64_t n = 0;
            if (!v || !parse_int(v, n) || n < 1 || n > kMaxCanvasSide)
                return usage_error(a + " expects an integer from 1 to " + std::to_string(kMaxCanvasSide));
            (a == "--width" ? o.canvas.width : o.canvas.height) = n;
        } else if (a == "--scale") {
            v = value();
            double d = 0;
            if (!v || !parse_double(v, d) || !std::isfinite(d) || !(d > 0))
                return usage_error("--scale expects a finite number above 0");
            o.canvas.scale = d;
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
        } else {
            return usage_error("unknown option " + a);
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
        const int kind = vokri_scenefile_video_kind(o.video.c_str());
        if (kind == 0) return usage_error("--video writes .mp4, .webm, .mov or .gif files, not " + o.video);
        if (o.mode == Options::Mode::Alpha && kind == 1)
            return usage_error("--alpha: an .mp4 (H.264) video has no alpha channel; write .webm, .mov or .gif");
        if (!o.shard.empty()) return usage_error("--shard splits frame files across workers; it cannot write a video");
        if (o.resume) return usage_error("--resume needs frame files; a video is always written whole");
    }
    if (pick_mode && (!o.shard.empty() || o.resume || o.jobs))
        return usage_error("--pick reads frames one by one: --shard, --resume and --jobs do not apply");
    if (o.video.empty() && !pick_mode) {
        const std::string& out = o.positional[1];
        if (!o.mode_given && out != "-" && !has_extension(out, ".png"))
            return usage_error("output " + out + ": vokri-render writes PNG files (.png) here" +
                               (vokri_scenefile_video_kind(out.c_str()) ? "; for a video use --video" : "") +
                               "; give --png, --alpha, --rgba or --rgb to write this name anyway");
    }
    return -1;
}

int32_t mode_of(Options::Mode m) {
    switch (m) {
    case Options::Mode::Alpha: return VOKRI_SCENEFILE_PNG_ALPHA;
    case Options::Mode::Rgba: return VOKRI_SCENEFILE_RGBA0;
    case Options::Mode::Rgb: return VOKRI_SCENEFILE_RGB0;
    default: return VOKRI_SCENEFILE_PNG;
    }
}

// The frames to render, the output, and the checks that need the scene.
int settle(const Options& o, const VokriSceneInfo& info, RunSettings& run) {
    std::string error, note;
    run.frames = FrameSelection{0, info.frame_count, 1};
    if (!o.frames.empty()) {
        const auto range = parse_frame_range(o.frames, info.frame_count, error, note);
        if (!range) return usage_error(error);
        if (!note.empty()) std::fprintf(stderr, "vokri-render: %s\n", note.c_str());
        run.frames = *range;
    }
    if (!o.shard.empty()) {
        const auto shard = parse_shard(o.shard, error);
        if (!shard) return usage_error(error);
        if (run.frames.step != 1) return usage_error("--shard takes a range without a step (A:B)");
        run.frames = apply_shard(run.frames, *shard);
    }
    run.mode = mode_of(o.mode);
    run.jobs = o.jobs > 0 ? o.jobs : default_jobs();
    run.resume = o.resume;
    run.animated = info.animated != 0;
    run.video = o.video;
    if (!o.video.empty() && !info.animated)
        std::fprintf(stderr, "vokri-render: the scene has no animation block: writing a one-frame video\n");
    if (!o.video.empty() || o.mode == Options::Mode::Pick) return -1;
    const auto pattern = FramePattern::parse(o.positional[1], error);
    if (!pattern) return usage_error(error);
    run.pattern = *pattern;
    const bool to_stdout = o.positional[1] == "-";
    if (!pattern->has_field() && !to_stdout && run.frames.count() > 1)
        return usage_error("output " + o.positional[1] + " has no frame-number field (such as %05d) but " +
                           frames_text(run.frames.count()) + " are to be rendered");
    if (o.resume && (to_stdout || !pattern->has_field()))
        return usage_error("--resume needs a frame-file pattern such as out/frame_%05d.png");
    return -1;
}

// Prints the id under the pixel, for one frame or (with --frames) for each.
int pick(const VokriSceneDocument& document, const FrameSelection& frames, bool per_frame, uint32_t x, uint32_t y) {
    for (int64_t i = 0; i < frames.count(); ++i) {
        const int64_t k = frames.at(i);
        VokriSceneFileError* error = nullptr;
        const Frame frame(vokri_scenefile_frame(&document, k, &error));
        int32_t id = 0;
        const int status = frame ? vokri_scenefile_pick(vokri_scenefile_frame_records(frame.get()),
                                                        vokri_scenefile_frame_number(frame.get()), x, y, &id, &error)
                                 : VOKRI_SCENEFILE_BAD_SCENE;
        if (frame)
            for (const std::string& w : frame_warnings(frame.get()))
                std::fprintf(stderr, "vokri-render: warning: %s\n", w.c_str());
        if (status != 0) {
            const Fault f = take_fault(status, error);
            std::fprintf(stderr, "vokri-render: %s\n", f.text.c_str());
            return f.status;
        }
        if (per_frame) std::printf("frame %lld: %d\n", static_cast<long long>(k), id);
        else std::printf("%d\n", id);
    }
    return 0;
}

int run(int argc, char** argv) {
    Options o;
    if (const int rc = parse_options(argc, argv, o); rc >= 0) return rc;
    if (const int rc = check_combinations(o); rc >= 0) return rc;

    VokriSceneFileError* error = nullptr;
    // Every track is read (and checked) here, when frame 0 is built: a fault
    // anywhere in the file shows before anything renders.
    const Document document(vokri_scenefile_open(o.positional[0].c_str(), &o.canvas, &error));
    if (!document) {
        const Fault f = take_fault(VOKRI_SCENEFILE_BAD_SCENE, error);
        std::fprintf(stderr, "vokri-render: %s\n", f.text.c_str());
        return f.status;
    }
    VokriSceneInfo info{};
    vokri_scenefile_info(document.get(), &info);
    RunSettings settings;
    if (const int rc = settle(o, info, settings); rc >= 0) return rc;
    if (o.mode == Options::Mode::Pick) {
        // Without --frames, the first frame alone, and the id alone.
        const bool per_frame = !o.frames.empty();
        const FrameSelection frames =
            per_frame ? settings.frames : FrameSelection{settings.frames.first, settings.frames.first + 1, 1};
        return pick(*document, frames, per_frame, o.pick_x, o.pick_y);
    }
    install_interrupt_handlers();
    return run_frames(*document, settings);
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
