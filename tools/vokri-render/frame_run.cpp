#include "frame_run.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "exit_codes.h"
#include "failing_item.h"
#include "interrupt.h"
#include "output_file.h"
#include "png_write.h"
#include "progress.h"
#include "video_encoder.h"
#include "vokri_core.h"
#include "worker_pool.h"

namespace vokri_tool {

namespace {

constexpr int kCancelled = -1;

struct FrameResult {
    int64_t frame = 0;
    int status = 0;  // 0, kCancelled or an exit code
    int32_t library_rc = 0;
    std::string message;
    std::unique_ptr<OutputFile> file;  // frame files
    std::vector<uint32_t> pixels;      // video frames
};

bool uses_rgba(PixelFormat f) { return f == PixelFormat::png_alpha || f == PixelFormat::raw_rgba; }

int32_t render_pixels(const Scene& scene, bool rgba, std::vector<uint32_t>& pixels, std::optional<uint32_t> n = {}) {
    pixels.resize(static_cast<size_t>(scene.width) * static_cast<size_t>(scene.height));
    return rgba ? scene.rgba0(scene.width, scene.height, scene.scale, pixels.data(), pixels.size(), n)
                : scene.rgb0(scene.width, scene.height, scene.scale, pixels.data(), pixels.size(), n);
}

bool write_raw(const std::string& path, const std::vector<uint32_t>& pixels, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(pixels.data(), sizeof(uint32_t), pixels.size(), f) == pixels.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
    return ok;
}

const char* export_name(PixelFormat f) {
    switch (f) {
    case PixelFormat::png: return "vokri_render_scene_frame";
    case PixelFormat::raw_rgb: return "vokri_render_scene_rgb0";
    default: return "vokri_render_scene_rgba0";
    }
}

class FrameRun {
public:
    FrameRun(const SceneDocument& document, const RunSettings& settings) : doc_(document), s_(settings) {}
    int run();

private:
    std::string frame_prefix(int64_t k) const {
        return s_.animated ? "frame " + std::to_string(k) + ": " : std::string();
    }
    int fail(int code, const std::string& message) {
        progress_->clear();
        std::fprintf(stderr, "vokri-render: %s\n", message.c_str());
        return code;
    }
    int check_output();
    FrameResult render(int64_t k) const;
    void render_into(const Scene& scene, FrameResult& r) const;
    int deliver(FrameResult& r);
    int report(const FrameResult& r);
    // Frames that go to a video or, as raw pixels, to standard output are
    // kept in memory until their turn; others go through files.
    bool in_memory() const {
        return !s_.video.empty() || (s_.format != PixelFormat::png && s_.format != PixelFormat::png_alpha &&
                                     s_.pattern.path(0) == "-");
    }
    bool already_there(int64_t k) const {
        struct stat st {};
        return s_.resume && ::stat(s_.pattern.path(k).c_str(), &st) == 0;
    }

    const SceneDocument& doc_;
    const RunSettings& s_;
    std::unique_ptr<Progress> progress_;
    std::unique_ptr<OutputFile> video_file_;
    VideoEncoder encoder_;
    std::atomic<bool> cancel_{false};
};

void FrameRun::render_into(const Scene& scene, FrameResult& r) const {
    if (in_memory()) {
        r.library_rc = render_pixels(scene, uses_rgba(s_.format), r.pixels);
        return;
    }
    r.file = std::make_unique<OutputFile>(s_.pattern.path(r.frame));
    if (!r.file->open(r.message)) {
        r.status = kExitOutput;
        return;
    }
    const std::string& temp = r.file->temp_path();
    if (s_.format == PixelFormat::png) {
        r.library_rc = scene.frame(temp.c_str(), scene.width, scene.height, scene.scale);
        return;
    }
    std::vector<uint32_t> pixels;
    r.library_rc = render_pixels(scene, uses_rgba(s_.format), pixels);
    if (r.library_rc != VOKRI_OK) return;
    const bool ok = s_.format == PixelFormat::png_alpha
                        ? write_png_rgba(temp, static_cast<uint32_t>(scene.width),
                                         static_cast<uint32_t>(scene.height), pixels.data(), r.message)
                        : write_raw(temp, pixels, r.message);
    if (!ok) r.status = kExitOutput;
}

FrameResult FrameRun::render(int64_t k) const {
    FrameResult r;
    r.frame = k;
    if (cancel_) {
        r.status = kCancelled;
        return r;
    }
    try {
        const Scene scene = doc_.frame(k);
        render_into(scene, r);
    } catch (const SceneError& e) {
        r.status = kExitScene;
        r.message = e.what();
    } catch (const std::bad_alloc&) {
        r.status = kExitOutput;
        r.message = "out of memory";
    }
    if (r.status == 0 && r.library_rc != VOKRI_OK)
        r.status = r.library_rc == VOKRI_ERROR ? kExitLibraryError : kExitRejected;
    return r;
}

int FrameRun::deliver(FrameResult& r) {
    std::string error;
    if (r.file) {
        if (!r.file->commit(error)) return fail(kExitOutput, error);
    } else if (s_.video.empty()) {
        if (std::fwrite(r.pixels.data(), sizeof(uint32_t), r.pixels.size(), stdout) != r.pixels.size() ||
            std::fflush(stdout) != 0)
            return fail(kExitOutput, std::string("cannot write standard output: ") + std::strerror(errno));
    } else if (!encoder_.write_frame(r.pixels.data(), r.pixels.size() * sizeof(uint32_t), error)) {
        if (interrupt_signal() != 0) return 0;  // reported as an interrupt
        return fail(kExitOutput, frame_prefix(r.frame) + error);
    }
    progress_->frame_done();
    return 0;
}

// A failed frame, after every other frame in flight has ended: the
// library's own line is already on standard error; this names the frame and
// the item (found by rendering shorter item lists, alone).
int FrameRun::report(const FrameResult& r) {
    progress_->clear();
    if (r.status != kExitLibraryError && r.status != kExitRejected)
        return fail(r.status, frame_prefix(r.frame) + r.message);
    if (r.status == kExitRejected)
        return fail(kExitRejected, frame_prefix(r.frame) + export_name(s_.format) +
                                       " rejected the arguments (return code " + std::to_string(r.library_rc) +
                                       ")");
    const Scene scene = doc_.frame(r.frame);
    std::vector<uint32_t> pixels;
    const bool rgba = uses_rgba(s_.format);
    const bool named = report_failing_item(
        scene, [&](uint32_t n) { return render_pixels(scene, rgba, pixels, n); }, frame_prefix(r.frame));
    if (!named && s_.animated)
        std::fprintf(stderr, "vokri-render: the error came from frame %lld\n", static_cast<long long>(r.frame));
    return kExitLibraryError;
}

// Before the first frame: a folder that is missing or cannot be written
// shows now, not after the first render.
int FrameRun::check_output() {
    std::string error;
    if (!s_.video.empty()) {
        const std::string ffmpeg = find_ffmpeg();
        if (ffmpeg.empty())
            return fail(kExitOutput, "--video needs ffmpeg, which was not found (install it: apt-get install "
                                     "ffmpeg; or set VOKRI_FFMPEG to its path)");
        video_file_ = std::make_unique<OutputFile>(s_.video);
        if (!video_file_->open(error)) return fail(kExitOutput, error);
        const Animation& a = doc_.animation();
        const Scene first = doc_.frame(s_.frames.first);
        VideoSettings v{ffmpeg, video_file_->temp_path(), *video_format_of(s_.video), first.width, first.height,
                        a.animated ? a.fps : 30.0, uses_rgba(s_.format)};
        if (!encoder_.start(v, error)) return fail(kExitOutput, error);
        return 0;
    }
    if (s_.pattern.path(0) == "-") return 0;
    for (int64_t i = 0; i < s_.frames.count(); ++i)
        if (!already_there(s_.frames.at(i))) {
            OutputFile probe(s_.pattern.path(s_.frames.at(i)));
            if (!probe.open(error)) return fail(kExitOutput, error);
            break;
        }
    return 0;
}

int FrameRun::run() {
    const int64_t total = s_.frames.count();
    int64_t skipped = 0;
    if (s_.resume)
        for (int64_t i = 0; i < total; ++i) skipped += already_there(s_.frames.at(i)) ? 1 : 0;
    progress_ = std::make_unique<Progress>(total - skipped, skipped, s_.animated);
    if (const int rc = check_output(); rc != 0) return rc;

    int exit_code = 0;
    std::optional<FrameResult> failed;
    {
        WorkerPool<FrameResult> pool(s_.jobs);
        std::deque<std::future<FrameResult>> in_flight;
        const size_t window = 2 * static_cast<size_t>(s_.jobs);
        int64_t next = 0;
        bool stopping = false;
        for (;;) {
            while (!stopping && in_flight.size() < window && next < total) {
                const int64_t k = s_.frames.at(next++);
                if (!already_there(k)) in_flight.push_back(pool.submit([this, k] { return render(k); }));
            }
            if (in_flight.empty()) break;
            while (in_flight.front().wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
                if (interrupt_signal() != 0) stopping = true;
            FrameResult r = in_flight.front().get();
            in_flight.pop_front();
            if (interrupt_signal() != 0) stopping = true;
            // Frames that finished are kept even when the run stops, except
            // in a video, which ends at the first fault.
            const bool keep = r.status == 0 && !(stopping && !s_.video.empty()) && exit_code == 0;
            if (keep) {
                exit_code = deliver(r);
            } else if (r.status > 0 && exit_code == 0 && interrupt_signal() == 0) {
                exit_code = r.status;
                failed = std::move(r);
            }
            if (exit_code != 0) stopping = true;
            if (stopping) cancel_ = true;
        }
    }
    if (const int sig = interrupt_signal(); sig != 0) {
        progress_->clear();
        std::fprintf(stderr, "vokri-render: interrupted by signal %d%s\n", sig,
                     s_.video.empty() && s_.pattern.has_field() ? "; run the same command with --resume to render the rest"
                                                                 : "");
        return 128 + sig;
    }
    if (failed) return report(*failed);
    if (exit_code != 0) return exit_code;
    if (!s_.video.empty()) {
        std::string error;
        if (!encoder_.finish(error) || !video_file_->commit(error)) return fail(kExitOutput, error);
    }
    if (s_.animated) progress_->summary();
    return 0;
}

}  // namespace

int run_frames(const SceneDocument& document, const RunSettings& settings) {
    return FrameRun(document, settings).run();
}

}  // namespace vokri_tool
