// Checking a finished video with ffprobe: whether its first video stream
// kept an alpha plane (a pixel format with alpha, or VP9's alpha_mode tag).
#pragma once

#include <optional>
#include <string>

namespace vokri_scenefile {

// nullopt when ffprobe could not be run or said nothing useful.
std::optional<bool> video_has_alpha(const std::string& ffprobe, const std::string& file);

}  // namespace vokri_scenefile
