// What went wrong in a call of the library, before it becomes the C API's
// VokriSceneFileError: the status, the frame, and for each kind of fault its
// own fields.
#pragma once

#include <cstdint>
#include <string>

#include "vokri_scenefile.h"

namespace vokri_scenefile {

struct Failure {
    int32_t status = VOKRI_SCENEFILE_OK;
    int64_t frame = -1;
    // RENDER_FAILED
    int32_t render_error = 0;
    std::string error_name;
    int64_t item_index = -1;
    std::string item_kind;
    // BAD_SCENE: the file and the JSON path; OUTPUT_FAILED: the file.
    std::string file;
    std::string json_path;
    std::string message;

    // The one-line description: "frame 6: items[38] (shape): TooFewPoints",
    // "scene.json: items[3].points[2][1]: expected a number, got a string".
    std::string text() const;
};

// Failures of the kinds that need no more than a message.
Failure bad_arguments(std::string message);
Failure output_failed(std::string file, std::string message);

// A copy for the caller, released with vokri_scenefile_error_free: one
// block holding the struct and its strings. Null when there is no memory.
VokriSceneFileError* to_c_error(const Failure& f) noexcept;

}  // namespace vokri_scenefile
