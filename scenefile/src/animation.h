// Time in scene files: the frame clock of an animation and the evaluation of
// tracks (keyed values between which a field moves over time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vokri_scenefile {

// The frame clock: frame k is drawn at time k / fps. A scene without an
// animation block is one frame at time 0.
struct Animation {
    bool animated = false;
    double fps = 0.0;
    int64_t frame_count = 1;

    double time_of(int64_t frame) const { return animated ? static_cast<double>(frame) / fps : 0.0; }
};

// Longest animation a scene file may ask for.
inline constexpr int64_t kMaxFrames = int64_t{1} << 31;

enum class Ease { linear, smooth, hold };

// Where time t falls among the key times (strictly increasing, at least
// one): the value is mix(key[index], key[index + 1], u). u is 0 before the
// first key, after the last and at a key, so those give the key's own value.
struct TrackPosition {
    size_t index = 0;
    double u = 0.0;
};

TrackPosition locate(const std::vector<double>& times, double t, Ease ease);

// The values between two keys, for 0 < u < 1 (at u = 0 the value is the
// first key's own). These expressions are part of the format: the Python
// reader evaluates them in the same order, so both give the same doubles and
// therefore the same pixels.
inline double mix(double a, double b, double u) { return (1.0 - u) * a + u * b; }

// Colours 0xRRGGBBAA, channel by channel in straight alpha, rounded half up.
uint32_t mix_colour(uint32_t a, uint32_t b, double u);

}  // namespace vokri_scenefile
