// Which frames a run renders and where each one goes: the --frames range,
// the --shard split, and output patterns such as "out/frame_%05d.png".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vokri_tool {

// Frames first, first + step, ... below end.
struct FrameSelection {
    int64_t first = 0;
    int64_t end = 1;
    int64_t step = 1;

    int64_t count() const { return first >= end ? 0 : (end - first - 1) / step + 1; }
    int64_t at(int64_t i) const { return first + i * step; }
};

// "K" (one frame), "A:B" or "A:B:S" (half-open, every S-th frame; A and B
// may be left out: "10:", ":50", "::2") against an animation of
// `frame_count` frames. An end beyond the animation is clamped, and `note`
// says so. nullopt with `error` set when malformed or empty.
std::optional<FrameSelection> parse_frame_range(const std::string& text, int64_t frame_count, std::string& error,
                                                std::string& note);

// "K/N": keeps the frames whose index is K modulo N.
struct Shard {
    int64_t index = 0;
    int64_t count = 1;
};
std::optional<Shard> parse_shard(const std::string& text, std::string& error);
FrameSelection apply_shard(FrameSelection s, Shard shard);

// An output path with at most one frame-number field: %d, or %0Nd for
// zero-padded numbers N digits wide; %% is a literal percent sign.
class FramePattern {
public:
    // nullopt with `error` set when the pattern has another % conversion or
    // more than one field.
    static std::optional<FramePattern> parse(const std::string& text, std::string& error);

    bool has_field() const { return has_field_; }
    std::string path(int64_t frame) const;

private:
    std::string before_, after_;
    int width_ = 0;
    bool has_field_ = false;
};

// "1 frame", "12 frames".
std::string frames_text(int64_t n);

}  // namespace vokri_tool
