#include "frame_selection.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace vokri_tool {

namespace {

bool parse_count(const std::string& s, int64_t& out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    out = std::strtoll(s.c_str(), nullptr, 10);
    return errno == 0;
}

}  // namespace

std::optional<FrameSelection> parse_frame_range(const std::string& text, int64_t frame_count, std::string& error,
                                                std::string& note) {
    FrameSelection s{0, frame_count, 1};
    const size_t c1 = text.find(':');
    const size_t c2 = c1 == std::string::npos ? std::string::npos : text.find(':', c1 + 1);
    bool ok;
    if (c1 == std::string::npos) {
        ok = parse_count(text, s.first);
        s.end = s.first < frame_count ? s.first + 1 : frame_count;
    } else {
        const std::string a = text.substr(0, c1);
        const std::string b = text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
        const std::string st = c2 == std::string::npos ? "" : text.substr(c2 + 1);
        ok = (a.empty() || parse_count(a, s.first)) && (b.empty() || parse_count(b, s.end)) &&
             (c2 == std::string::npos || (parse_count(st, s.step) && s.step >= 1)) &&
             (c2 == std::string::npos || st.find(':') == std::string::npos);
    }
    if (!ok) {
        error = "--frames expects K, A:B or A:B:S (frames A up to, not including, B, every S-th; A and B may be "
                "left out)";
        return std::nullopt;
    }
    s.step = std::min(s.step, std::max<int64_t>(frame_count, 1));  // a step past the end takes one frame
    if (s.end > frame_count) {
        if (c1 != std::string::npos && s.first < frame_count)
            note = "--frames " + text + ": the animation has " + frames_text(frame_count) + ", so the range ends at " +
                   std::to_string(frame_count);
        s.end = frame_count;
    }
    if (s.first >= s.end) {
        error = "--frames " + text + " selects no frames of the " + frames_text(frame_count) + " (0 to " +
                std::to_string(frame_count - 1) + ")";
        return std::nullopt;
    }
    return s;
}

std::optional<Shard> parse_shard(const std::string& text, std::string& error) {
    const size_t slash = text.find('/');
    Shard s;
    if (slash == std::string::npos || !parse_count(text.substr(0, slash), s.index) ||
        !parse_count(text.substr(slash + 1), s.count) || s.count < 1 || s.index >= s.count) {
        error = "--shard expects K/N with 0 <= K < N";
        return std::nullopt;
    }
    return s;
}

FrameSelection apply_shard(FrameSelection s, Shard shard) {
    // Shards count frame indices; a shard count past the animation keeps at
    // most one frame each, so the step is bounded by the range.
    int64_t offset = (shard.index - s.first) % shard.count;
    if (offset < 0) offset += shard.count;
    const int64_t range = s.end - s.first;
    if (offset >= range) return FrameSelection{s.end, s.end, 1};  // no frame of this shard in the range
    const int64_t step = s.step > range / shard.count ? range + 1 : s.step * shard.count;
    return FrameSelection{s.first + offset, s.end, std::max<int64_t>(step, 1)};
}

std::optional<FramePattern> FramePattern::parse(const std::string& text, std::string& error) {
    FramePattern p;
    std::string* part = &p.before_;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *part += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        const std::string digits = text.substr(i + 1, j - i - 1);
        if (j >= text.size() || text[j] != 'd' || digits.size() > 3 || (!digits.empty() && digits[0] != '0')) {
            error = "output " + text + ": the frame-number field must be %d or %0Nd (%% for a percent sign)";
            return std::nullopt;
        }
        if (p.has_field_) {
            error = "output " + text + ": more than one frame-number field";
            return std::nullopt;
        }
        p.has_field_ = true;
        p.width_ = digits.empty() ? 0 : std::atoi(digits.c_str());
        part = &p.after_;
        i = j;
    }
    return p;
}

std::string frames_text(int64_t n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); }

std::string FramePattern::path(int64_t frame) const {
    if (!has_field_) return before_;
    std::string n = std::to_string(frame);
    if (n.size() < static_cast<size_t>(width_)) n.insert(0, static_cast<size_t>(width_) - n.size(), '0');
    return before_ + n + after_;
}

}  // namespace vokri_tool
