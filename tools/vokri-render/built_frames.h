// Frames as the workers built them, each kept until the worker of the frame
// after it has compared its own with it: a frame that draws what the frame
// before it drew is a copy of that frame, not a render.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "vokri_scenefile.h"

namespace vokri_tool {

class BuiltFrames {
public:
    using Shared = std::shared_ptr<const VokriSceneFrame>;

    // Every task gives its frame, null when it built none, so that the
    // task after it never waits in vain.
    void put(int64_t k, Shared frame) {
        {
            const std::lock_guard lock(mutex_);
            frames_[k] = std::move(frame);
        }
        given_.notify_all();
    }

    // Waits for frame k and takes it. Tasks start in submission order, so
    // the task of k has started and gives it soon.
    Shared take(int64_t k) {
        std::unique_lock lock(mutex_);
        given_.wait(lock, [&] { return frames_.count(k) != 0; });
        Shared frame = std::move(frames_[k]);
        frames_.erase(k);
        return frame;
    }

private:
    std::mutex mutex_;
    std::condition_variable given_;
    std::map<int64_t, Shared> frames_;
};

}  // namespace vokri_tool
