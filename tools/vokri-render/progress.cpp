#include "progress.h"

#include <unistd.h>

#include <cstdio>

#include "frame_selection.h"

namespace vokri_tool {

Progress::Progress(int64_t total, int64_t skipped, bool show)
    : total_(total), skipped_(skipped), terminal_(show && ::isatty(2) == 1) {}

double Progress::seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void Progress::frame_done(bool copy) {
    ++done_;
    copies_ += copy ? 1 : 0;
    if (!terminal_) return;
    const auto now = Clock::now();
    if (done_ < total_ && now - last_draw_ < std::chrono::milliseconds(200)) return;
    last_draw_ = now;
    const double s = seconds();
    const double fps = s > 0 ? static_cast<double>(done_) / s : 0.0;
    const auto left = static_cast<long long>(fps > 0 ? static_cast<double>(total_ - done_) / fps + 0.5 : 0.0);
    std::fprintf(stderr, "\r\033[Kvokri-render: frame %lld of %lld, %.1f frames/s, %lld:%02lld left",
                 static_cast<long long>(done_), static_cast<long long>(total_), fps, left / 60, left % 60);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

void Progress::summary() {
    clear();
    const double s = seconds();
    std::fprintf(stderr, "vokri-render: %s in %.2f s (%.1f frames/s)", frames_text(done_).c_str(), s,
                 s > 0 ? static_cast<double>(done_) / s : 0.0);
    if (copies_ > 0)
        std::fprintf(stderr, ", %lld the same as the frame before", static_cast<long long>(copies_));
    if (skipped_ > 0) std::fprintf(stderr, ", %lld already there", static_cast<long long>(skipped_));
    std::fputc('\n', stderr);
}

}  // namespace vokri_tool
