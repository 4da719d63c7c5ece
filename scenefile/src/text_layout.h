// Text set in outlines: lines shaped with HarfBuzz in the font chosen (and
// in fallback fonts for characters it lacks), aligned at an anchor, each
// glyph placed as a cubic outline. Layouts are cached by their fields, so
// an animation lays out a text again only when the fields change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "outline.h"

namespace vokri_scenefile {

enum class TextAlign { left, center, right };
enum class TextBaseline { alphabetic, middle, top, bottom };

struct TextRequest {
    std::vector<std::string> runs;  // UTF-8; the text is their concatenation, '\n' breaks lines
    std::string font;               // a family name, or a font file (resolved already)
    bool font_is_file = false;
    double size = 0.5;              // the em size in user units
    TextAlign align = TextAlign::left;
    TextBaseline baseline = TextBaseline::alphabetic;
    double line_height = 1.2;       // in ems
};

struct PlacedGlyph {
    Outline outline;     // in user units, y up, relative to the anchor
    size_t run = 0;      // the run its characters come from
    uint32_t order = 0;  // its place in reading order among the drawn glyphs
    uint32_t glyph = 0;  // the glyph in its font
    double x = 0, y = 0; // its origin, in user units
    const void* font = nullptr;  // which font (glyphs of two fonts may wind their outlines oppositely)
};

struct TextLayout {
    std::vector<PlacedGlyph> glyphs;    // glyphs with an outline (spaces have none)
    std::vector<std::string> warnings;  // characters no installed font has
};

// Throws SceneError (with path "") naming the font that was looked for.
std::shared_ptr<const TextLayout> lay_out_text(const TextRequest& request);

}  // namespace vokri_scenefile
