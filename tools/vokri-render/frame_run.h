// Rendering the frames of a scene file: each frame is built and rendered on
// a worker thread (the scene library's calls are thread-safe and each is
// independent), and the results are delivered in frame order with a bounded
// number in flight, so memory does not grow with the length of the run.
#pragma once

#include <cstdint>
#include <string>

#include "frame_selection.h"
#include "vokri_scenefile.h"

namespace vokri_tool {

struct RunSettings {
    FrameSelection frames;
    int32_t mode = VOKRI_SCENEFILE_PNG;  // what each frame becomes
    // Frame files (or "-" for standard output, frames one after another)...
    FramePattern pattern;
    // ...or a video file written by ffmpeg (modes PNG and PNG_ALPHA only).
    std::string video;
    int jobs = 1;
    bool resume = false;  // skip frames whose file exists
    // An animation run: show progress and summarize.
    bool animated = false;
};

// Returns the exit code; every message is on standard error.
int run_frames(const VokriSceneDocument& document, const RunSettings& settings);

}  // namespace vokri_tool
