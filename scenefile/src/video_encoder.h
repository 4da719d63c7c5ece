// Video output: frames streamed as raw pixels into an ffmpeg child process.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vokri_scenefile {

enum class VideoFormat { mp4, webm, mov, gif };

// Whether the format keeps an alpha channel.
inline bool keeps_alpha(VideoFormat f) { return f != VideoFormat::mp4; }

// By the file name's extension, in any case; nullopt for others.
std::optional<VideoFormat> video_format_of(const std::string& path);

// The ffmpeg to run: $VOKRI_FFMPEG, else "ffmpeg" found on $PATH; empty
// when there is none.
std::string find_ffmpeg();

// An executable `name` on $PATH; empty when there is none.
std::string find_program(const std::string& name);

// The ffprobe that comes with `ffmpeg` (beside it), else one on $PATH.
std::string find_ffprobe(const std::string& ffmpeg);

struct VideoSettings {
    std::string ffmpeg;
    std::string output;  // the file ffmpeg writes
    VideoFormat format = VideoFormat::mp4;
    int32_t width = 0;
    int32_t height = 0;
    double fps = 30.0;
    bool alpha = false;  // frames are straight RGBA rather than R, G, B, 0
};

class VideoEncoder {
public:
    VideoEncoder() = default;
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;
    // Stops a child still running (an interrupted or failed run).
    ~VideoEncoder();

    bool start(const VideoSettings& settings, std::string& error);
    // One frame of width * height pixels. False when ffmpeg stopped reading
    // (it failed) or the run was interrupted; `error` says which.
    bool write_frame(const void* pixels, size_t bytes, std::string& error);
    // Ends the stream and waits for ffmpeg; false with its exit status and
    // its last lines of output when it failed.
    bool finish(std::string& error);

private:
    // Closes the stream and waits for ffmpeg: "" when it succeeded, else
    // its exit status and last lines.
    std::string end_stream();
    int wait_child();
    void stop();

    pid_t child_ = -1;
    int pipe_ = -1;
    int log_ = -1;  // ffmpeg's standard error, kept for the report
};

}  // namespace vokri_scenefile
