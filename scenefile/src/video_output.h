// A video file written frame by frame through ffmpeg, appearing whole or not
// at all, and checked once complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "failure.h"
#include "output_file.h"
#include "video_encoder.h"

namespace vokri_scenefile {

class VideoOutput {
public:
    // Returns the status; on failure fills `f`.
    int32_t open(const std::string& path, int32_t width, int32_t height, double fps, bool alpha, Failure& f);
    int32_t write(const uint32_t* pixels, size_t pixel_count, Failure& f);
    // Ends the stream, checks the file and puts it in place.
    int32_t finish(Failure& f);

private:
    std::string path_;
    std::string ffmpeg_;
    size_t frame_pixels_ = 0;
    bool alpha_ = false;
    bool failed_ = false;  // a frame could not be written: nothing more is
    std::unique_ptr<OutputFile> file_;
    VideoEncoder encoder_;
};

}  // namespace vokri_scenefile
