// Rendering the frames of a scene file: each frame is built and rendered on
// a worker thread (the exports are thread-safe and each call is
// independent), and the results are delivered in frame order with a bounded
// number in flight, so memory does not grow with the length of the run.
#pragma once

#include <cstdint>
#include <string>

#include "frame_selection.h"
#include "scene_json.h"

namespace vokri_tool {

enum class PixelFormat { png, png_alpha, raw_rgba, raw_rgb };

struct RunSettings {
    FrameSelection frames;
    PixelFormat format = PixelFormat::png;
    // Frame files (or "-" for standard output, frames one after another)...
    FramePattern pattern;
    // ...or a video file written by ffmpeg (format png or png_alpha only).
    std::string video;
    int jobs = 1;
    bool resume = false;  // skip frames whose file exists
    // An animation run: name frames in messages, show progress, summarize.
    bool animated = false;
};

// Returns the exit code; every message is on standard error.
int run_frames(const SceneDocument& document, const RunSettings& settings);

}  // namespace vokri_tool
