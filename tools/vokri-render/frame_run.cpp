#include "frame_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "built_frames.h"
#include "exit_codes.h"
#include "handles.h"
#include "interrupt.h"
#include "progress.h"
#include "worker_pool.h"

namespace vokri_tool {

namespace {

constexpr int kCancelled = -1;

struct FrameResult {
    int64_t frame = 0;
    int status = 0;  // 0, kCancelled or an exit code
    std::string message;
    std::vector<uint32_t> pixels;  // frames kept in memory
    std::string staged;            // PNG frames for standard output: the file to copy
    std::vector<std::string> warnings;
    int64_t copy_of = -1;  // a frame that draws what this earlier frame drew
};

bool uses_rgba(int32_t mode) { return mode == VOKRI_SCENEFILE_PNG_ALPHA || mode == VOKRI_SCENEFILE_RGBA0; }

// Copies `path` to standard output.
bool copy_to_stdout(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    bool ok = in != nullptr;
    std::vector<char> buf(1 << 16);
    while (ok)
        if (const size_t n = std::fread(buf.data(), 1, buf.size(), in); n == 0) break;
        else ok = std::fwrite(buf.data(), 1, n, stdout) == n;
    if (in) ok = !std::ferror(in) && std::fclose(in) == 0 && ok;
    return std::fflush(stdout) == 0 && ok;
}

std::string staging_path(int64_t k) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/vokri-render-" + std::to_string(::getpid()) + "-" +
           std::to_string(k) + ".png";
}

class FrameRun {
public:
    FrameRun(const VokriSceneDocument& document, const RunSettings& settings) : doc_(document), s_(settings) {}
    FrameRun(const FrameRun&) = delete;
    FrameRun& operator=(const FrameRun&) = delete;
    ~FrameRun() { forget_staged(); }
    int run();

private:
    int fail(int code, const std::string& message) {
        progress_->clear();
        std::fprintf(stderr, "vokri-render: %s\n", message.c_str());
        return code;
    }
    int open_video();
    // Frame k, or a copy of frame `previous` (-1: none) when it draws the same.
    FrameResult render(int64_t k, int64_t previous);
    int deliver(FrameResult& r);
    int send_last(const FrameResult& r);
    int write_stdout();
    void forget_staged() {
        if (!last_staged_.empty()) ::unlink(last_staged_.c_str());
        last_staged_.clear();
    }
    // Frames that go to a video or, as raw pixels, to standard output are
    // kept in memory until their turn; PNG frames for standard output wait
    // in a file of their own; others are written as files by the workers.
    bool in_memory() const { return !s_.video.empty() || (to_stdout() && !is_png()); }
    bool to_stdout() const { return s_.video.empty() && s_.pattern.path(0) == "-"; }
    bool is_png() const { return s_.mode == VOKRI_SCENEFILE_PNG || s_.mode == VOKRI_SCENEFILE_PNG_ALPHA; }
    bool already_there(int64_t k) const {
        struct stat st {};
        return s_.resume && ::stat(s_.pattern.path(k).c_str(), &st) == 0;
    }

    const VokriSceneDocument& doc_;
    const RunSettings& s_;
    std::unique_ptr<Progress> progress_;
    Video video_;
    std::atomic<bool> cancel_{false};
    BuiltFrames built_;
    // The last frame delivered, what a copy of it repeats.
    std::vector<uint32_t> last_pixels_;
    std::string last_staged_;
};

FrameResult FrameRun::render(int64_t k, int64_t previous) {
    FrameResult r;
    r.frame = k;
    if (cancel_) {
        built_.put(k, nullptr);
        r.status = kCancelled;
        return r;
    }
    VokriSceneFileError* error = nullptr;
    const BuiltFrames::Shared frame(vokri_scenefile_frame(&doc_, k, &error), FrameDeleter{});
    built_.put(k, frame);
    int status = frame ? 0 : VOKRI_SCENEFILE_BAD_SCENE;
    if (frame) {
        r.warnings = frame_warnings(frame.get());
        const VokriSceneRecords* records = vokri_scenefile_frame_records(frame.get());
        if (previous >= 0)
            if (const BuiltFrames::Shared before = built_.take(previous);
                before && vokri_scenefile_same_drawing(records, vokri_scenefile_frame_records(before.get())) == 1) {
                r.copy_of = previous;
                return r;
            }
        const int64_t number = vokri_scenefile_frame_number(frame.get());
        if (in_memory()) {
            r.pixels.resize(static_cast<size_t>(records->width) * static_cast<size_t>(records->height));
            status = vokri_scenefile_render(records, uses_rgba(s_.mode) ? VOKRI_SCENEFILE_RGBA0 : VOKRI_SCENEFILE_RGB0,
                                            number, r.pixels.data(), r.pixels.size(), &error);
        } else {
            const std::string path = to_stdout() ? staging_path(k) : s_.pattern.path(k);
            status = vokri_scenefile_render_file(records, s_.mode, number, path.c_str(), &error);
            if (to_stdout()) r.staged = path;
        }
    }
    if (status != 0) {
        const Fault f = take_fault(status, error);
        r.status = f.status;
        r.message = f.text;
    }
    return r;
}

int FrameRun::write_stdout() {
    const bool ok = !last_staged_.empty()
                        ? copy_to_stdout(last_staged_)
                        : std::fwrite(last_pixels_.data(), sizeof(uint32_t), last_pixels_.size(), stdout) ==
                                  last_pixels_.size() &&
                              std::fflush(stdout) == 0;
    return ok ? 0 : fail(kExitOutput, std::string("cannot write standard output: ") + std::strerror(errno));
}

// The last frame rendered, sent where frame `r` goes: to standard output or
// the video, or, for a frame that draws the same, copied into its file (a
// rendered frame's file is already written).
int FrameRun::send_last(const FrameResult& r) {
    if (to_stdout()) return write_stdout();
    VokriSceneFileError* error = nullptr;
    int status = 0;
    if (video_)
        status = vokri_scenefile_video_write(video_.get(), last_pixels_.data(), last_pixels_.size(), &error);
    else if (r.copy_of >= 0)
        status = vokri_scenefile_copy_file(s_.pattern.path(r.copy_of).c_str(), s_.pattern.path(r.frame).c_str(),
                                           &error);
    if (status == 0) return 0;
    const Fault f = take_fault(status, error);
    if (video_ && interrupt_signal() != 0) return 0;  // reported as an interrupt
    return fail(f.status, f.text);
}

int FrameRun::deliver(FrameResult& r) {
    if (!r.warnings.empty()) progress_->clear();
    for (const std::string& w : r.warnings) std::fprintf(stderr, "vokri-render: warning: %s\n", w.c_str());
    const bool copy = r.copy_of >= 0;
    if (!copy && !r.staged.empty()) {
        forget_staged();
        last_staged_ = std::move(r.staged);
    }
    if (!copy && in_memory()) last_pixels_ = std::move(r.pixels);
    if (const int rc = send_last(r); rc != 0) return rc;
    progress_->frame_done(copy);
    return 0;
}

// Before the first frame: ffmpeg missing or a video that cannot be created
// shows now, not after the first render.
int FrameRun::open_video() {
    VokriSceneInfo info{};
    vokri_scenefile_info(&doc_, &info);
    VokriSceneFileError* error = nullptr;
    video_.reset(vokri_scenefile_video_open(s_.video.c_str(), info.width, info.height,
                                            info.animated ? info.fps : 30.0, uses_rgba(s_.mode) ? 1 : 0, &error));
    if (!video_) {
        const Fault f = take_fault(VOKRI_SCENEFILE_OUTPUT_FAILED, error);
        return fail(f.status, f.text);
    }
    return 0;
}

int FrameRun::run() {
    const int64_t total = s_.frames.count();
    int64_t skipped = 0;
    if (s_.resume) {
        for (int64_t i = 0; i < total; ++i) {
            const int64_t k = s_.frames.at(i);
            // What a killed run left behind, of this run's own files only.
            vokri_scenefile_remove_stale_temporaries(s_.pattern.path(k).c_str());
            skipped += already_there(k) ? 1 : 0;
        }
    }
    progress_ = std::make_unique<Progress>(total - skipped, skipped, s_.animated);
    if (!s_.video.empty())
        if (const int rc = open_video(); rc != 0) return rc;

    int exit_code = 0;
    std::optional<FrameResult> failed;
    {
        WorkerPool<FrameResult> pool(s_.jobs);
        std::deque<std::future<FrameResult>> in_flight;
        const size_t window = 2 * static_cast<size_t>(s_.jobs);
        int64_t next = 0;
        int64_t previous = -1;  // the frame submitted last
        bool stopping = false;
        for (;;) {
            while (!stopping && in_flight.size() < window && next < total) {
                const int64_t k = s_.frames.at(next++);
                if (already_there(k)) {
                    previous = -1;
                    continue;
                }
                in_flight.push_back(pool.submit([this, k, previous] { return render(k, previous); }));
                previous = k;
            }
            if (in_flight.empty()) break;
            while (in_flight.front().wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
                if (interrupt_signal() != 0) stopping = true;
            FrameResult r = in_flight.front().get();
            in_flight.pop_front();
            if (interrupt_signal() != 0) stopping = true;
            // Frames that finished are kept even when the run stops, except
            // in a video, which ends at the first fault.
            const bool keep = r.status == 0 && !(stopping && video_) && exit_code == 0;
            if (keep) {
                exit_code = deliver(r);
            } else {
                if (!r.staged.empty()) ::unlink(r.staged.c_str());
                if (r.status > 0 && exit_code == 0 && interrupt_signal() == 0) {
                    exit_code = r.status;
                    failed = std::move(r);
                }
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
    if (failed) return fail(failed->status, failed->message);
    if (exit_code != 0) return exit_code;
    if (video_) {
        VokriSceneFileError* error = nullptr;
        if (const int status = vokri_scenefile_video_finish(video_.release(), &error); status != 0) {
            const Fault f = take_fault(status, error);
            return fail(f.status, f.text);
        }
    }
    if (s_.animated) progress_->summary();
    return 0;
}

}  // namespace

int run_frames(const VokriSceneDocument& document, const RunSettings& settings) {
    return FrameRun(document, settings).run();
}

}  // namespace vokri_tool
