// The scene library's handles, owned: released when they go out of scope.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vokri_scenefile.h"

namespace vokri_tool {

struct DocumentDeleter {
    void operator()(VokriSceneDocument* d) const { vokri_scenefile_close(d); }
};
struct FrameDeleter {
    void operator()(VokriSceneFrame* f) const { vokri_scenefile_frame_free(f); }
};
struct VideoDeleter {
    void operator()(VokriSceneVideo* v) const { vokri_scenefile_video_free(v); }
};
struct ErrorDeleter {
    void operator()(VokriSceneFileError* e) const { vokri_scenefile_error_free(e); }
};

using Document = std::unique_ptr<VokriSceneDocument, DocumentDeleter>;
using Frame = std::unique_ptr<VokriSceneFrame, FrameDeleter>;
using Video = std::unique_ptr<VokriSceneVideo, VideoDeleter>;
using Error = std::unique_ptr<VokriSceneFileError, ErrorDeleter>;

// A failed call's status and its one-line description.
struct Fault {
    int status = 0;
    std::string text;
};

// Takes the error of a failed call: its own status, or `status` when the
// library had no memory left to describe it.
inline Fault take_fault(int status, VokriSceneFileError* raw) {
    const Error e(raw);
    return e ? Fault{e->status, e->text} : Fault{status, "out of memory"};
}

// The warnings the scene library gives with a frame.
inline std::vector<std::string> frame_warnings(const VokriSceneFrame* frame) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < vokri_scenefile_frame_warning_count(frame); ++i)
        out.emplace_back(vokri_scenefile_frame_warning(frame, i));
    return out;
}

}  // namespace vokri_tool
