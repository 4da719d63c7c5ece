// The text syntax shared by SVG attributes: spaces, and the numbers of path
// data, transforms, lengths and number lists: sign? (digits ('.' digits?)? | '.' digits)
// (('e' | 'E') sign? digits)?, read without the locale.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vokri_scenefile::svg {

// Numbers of larger magnitude are refused in coordinates, sizes and
// transforms.
inline constexpr double kMaxSvgMagnitude = 1e15;

struct ScannedNumber {
    double value = 0;
    size_t end = 0;        // one past the number's last character
    bool in_range = true;  // finite, with a magnitude of at most kMaxSvgMagnitude
};

// The number that starts at text[pos], or nullopt when none does. An 'e'
// belongs to the number only when digits follow it, so "2em" scans as 2.
std::optional<ScannedNumber> scan_number(std::string_view text, size_t pos);

// Space, tab, line feed, carriage return and form feed.
bool is_svg_space(char c);
size_t skip_spaces(std::string_view text, size_t pos);
// Skips spaces, at most one comma and the spaces after it; tells in
// `comma` whether there was one.
size_t skip_separator(std::string_view text, size_t pos, bool* comma = nullptr);
std::string_view trim_spaces(std::string_view text);

char ascii_lower(char c);
bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace vokri_scenefile::svg
