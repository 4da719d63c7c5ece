// The progress line of a long run on standard error (only when standard
// error is a terminal) and the summary at its end.
#pragma once

#include <chrono>
#include <cstdint>

namespace vokri_tool {

class Progress {
public:
    // `total`: the frames this run renders; `skipped`: frames already there;
    // `show`: draw the line (on a terminal only).
    Progress(int64_t total, int64_t skipped, bool show);
    // One more frame done (`copy`: a copy of the frame before it);
    // redraws the line at most a few times a second.
    void frame_done(bool copy);
    // Removes the progress line before other output.
    void clear();
    // "N frames in S s (F frames/s)", with the copies among them.
    void summary();

private:
    double seconds() const;

    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_draw_{};
    int64_t total_;
    int64_t skipped_;
    int64_t done_ = 0;
    int64_t copies_ = 0;
    bool terminal_;
    bool drawn_ = false;
};

}  // namespace vokri_tool
