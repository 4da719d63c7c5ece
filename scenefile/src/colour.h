// Colour notations shared by scene files and every front: "#RGB", "#RGBA",
// "#RRGGBB", "#RRGGBBAA" (hex digits in either case; the short forms repeat
// each digit) and the CSS colour names ("rebeccapurple", "transparent"),
// case-insensitive. The result is 0xRRGGBBAA, straight alpha; the forms
// without alpha are opaque.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vokri_scenefile {

std::optional<uint32_t> parse_colour_text(std::string_view text);

}  // namespace vokri_scenefile
