#include "video_output.h"

#include <cmath>

#include "outputs.h"
#include "video_probe.h"

namespace vokri_scenefile {

int32_t VideoOutput::open(const std::string& path, int32_t width, int32_t height, double fps, bool alpha,
                          Failure& f) {
    const auto format = video_format_of(path);
    if (!format) {
        f = bad_arguments(path + ": a video is .mp4 (H.264), .webm (VP9), .mov (ProRes 4444) or .gif");
        return f.status;
    }
    if (alpha && !keeps_alpha(*format)) {
        f = bad_arguments(path + ": an .mp4 (H.264) video has no alpha channel; write .webm, .mov or .gif");
        return f.status;
    }
    if (width < 1 || height < 1 || !(std::isfinite(fps) && fps > 0)) {
        f = bad_arguments("a video needs a canvas of at least 1 x 1 pixels and a frame rate above 0");
        return f.status;
    }
    ffmpeg_ = find_ffmpeg();
    if (ffmpeg_.empty()) {
        f = output_failed(path, "writing a video needs ffmpeg, which was not found (install it: apt-get install "
                                "ffmpeg; or set VOKRI_FFMPEG to its path)");
        return f.status;
    }
    std::string error;
    if (!make_parent_folders(path, error)) {
        f = output_failed(path, error);
        return f.status;
    }
    path_ = path;
    file_ = std::make_unique<OutputFile>(path);
    if (!file_->open(error)) {
        f = output_failed(path, error);
        return f.status;
    }
    alpha_ = alpha;
    frame_pixels_ = static_cast<size_t>(width) * static_cast<size_t>(height);
    const VideoSettings v{ffmpeg_, file_->temp_path(), *format, width, height, fps, alpha};
    if (!encoder_.start(v, error)) {
        f = output_failed(path, error);
        return f.status;
    }
    return VOKRI_SCENEFILE_OK;
}

int32_t VideoOutput::write(const uint32_t* pixels, size_t pixel_count, Failure& f) {
    if (failed_) return (f = output_failed(path_, path_ + ": the video failed before this frame")).status;
    if (!pixels || pixel_count != frame_pixels_) {
        f = bad_arguments("a video frame has " + std::to_string(frame_pixels_) + " pixels, not " +
                          std::to_string(pixel_count));
        return f.status;
    }
    std::string error;
    if (!encoder_.write_frame(pixels, pixel_count * sizeof(uint32_t), error)) {
        failed_ = true;
        f = output_failed(path_, path_ + ": " + error);
        return f.status;
    }
    return VOKRI_SCENEFILE_OK;
}

int32_t VideoOutput::finish(Failure& f) {
    std::string error;
    if (failed_) return (f = output_failed(path_, path_ + ": the video failed; it is not written")).status;
    if (!encoder_.finish(error)) {
        f = output_failed(path_, path_ + ": " + error);
        return f.status;
    }
    if (alpha_) {
        const std::string ffprobe = find_ffprobe(ffmpeg_);
        if (!ffprobe.empty() && video_has_alpha(ffprobe, file_->temp_path()) == false) {
            f = output_failed(path_, path_ + ": ffmpeg wrote the video without its alpha channel (ffprobe shows no alpha "
                                     "plane); is this ffmpeg built with the encoder's alpha support?");
            return f.status;
        }
    }
    if (!file_->commit(error)) {
        f = output_failed(path_, error);
        return f.status;
    }
    return VOKRI_SCENEFILE_OK;
}

}  // namespace vokri_scenefile
