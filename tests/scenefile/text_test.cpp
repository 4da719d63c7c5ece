// Text layout against HarfBuzz's own hb-shape on the same font (kerning, a
// ligature, Arabic, Devanagari), and glyph outlines against FreeType's
// exact bounding boxes of the same glyphs.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fonts.h"
#include "text_layout.h"

namespace {

using vokri_scenefile::FontLibrary;

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kLohit[] = "/usr/share/fonts/truetype/lohit-devanagari/Lohit-Devanagari.ttf";

struct Expected {
    uint32_t glyph;
    double x, y;
};

// hb-shape's glyphs and pen positions at one unit per font unit.
std::vector<Expected> hb_shape(const std::string& font, const std::string& text) {
    const std::string cmd = "hb-shape --output-format=json --no-glyph-names --font-size=upem '" + font + "' '" +
                            text + "'";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    while (p && std::fgets(buf, sizeof buf, p)) out += buf;
    EXPECT_TRUE(p && pclose(p) == 0) << cmd;
    std::vector<Expected> glyphs;
    double pen = 0;
    for (const auto& g : nlohmann::json::parse(out)) {
        glyphs.push_back({g["g"].get<uint32_t>(), pen + g["dx"].get<double>(), g["dy"].get<double>()});
        pen += g["ax"].get<double>();
    }
    return glyphs;
}

void expect_layout_matches_hb_shape(const std::string& font_file, const std::string& text) {
    std::string error;
    const auto font = FontLibrary::instance().file(font_file, error);
    ASSERT_TRUE(font) << error;
    vokri_scenefile::TextRequest request;
    request.runs = {text};
    request.font = font_file;
    request.font_is_file = true;
    request.size = font->units_per_em();  // one user unit per font unit
    const auto layout = vokri_scenefile::lay_out_text(request);
    std::vector<Expected> want;
    for (const auto& e : hb_shape(font_file, text))
        if (!font->outline(e.glyph)->empty()) want.push_back(e);  // spaces draw nothing
    ASSERT_EQ(layout->glyphs.size(), want.size()) << text;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(layout->glyphs[i].glyph, want[i].glyph) << text << " glyph " << i;
        EXPECT_EQ(layout->glyphs[i].x, want[i].x) << text << " glyph " << i;
        EXPECT_EQ(layout->glyphs[i].y, want[i].y) << text << " glyph " << i;
    }
    EXPECT_TRUE(layout->warnings.empty());
}

TEST(TextLayout, GlyphsAndPositionsAreHarfBuzzs) {
    expect_layout_matches_hb_shape(kDejaVu, "AVATAR Wave, office");  // kerning, the ffi ligature
    expect_layout_matches_hb_shape(kDejaVu, "\u0645\u0631\u062d\u0628\u0627");  // Arabic, right to left
    expect_layout_matches_hb_shape(kLohit, "\u0928\u092e\u0938\u094d\u0924\u0947");  // Devanagari, reordered
}

TEST(TextLayout, OutlinesHaveFreeTypesExactBounds) {
    FT_Library ft = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&ft), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Face(ft, kDejaVu, 0, &face), 0);
    std::string error;
    const auto font = FontLibrary::instance().file(kDejaVu, error);
    ASSERT_TRUE(font) << error;
    for (const char c : std::string("gOS@&e")) {
        const FT_UInt glyph = FT_Get_Char_Index(face, static_cast<FT_ULong>(c));
        ASSERT_EQ(FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING), 0);
        FT_BBox box;
        FT_Outline_Get_BBox(&face->glyph->outline, &box);
        const auto outline = font->outline(glyph);
        double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
        for (const auto& s : outline->segments)
            for (int k = 0; k <= 256; ++k) {
                const double t = k / 256.0, u = 1 - t;
                const double x = u * u * u * s.x0 + 3 * u * u * t * s.x1 + 3 * u * t * t * s.x2 + t * t * t * s.x3;
                const double y = u * u * u * s.y0 + 3 * u * u * t * s.y1 + 3 * u * t * t * s.y2 + t * t * t * s.y3;
                lo_x = std::min(lo_x, x), hi_x = std::max(hi_x, x), lo_y = std::min(lo_y, y), hi_y = std::max(hi_y, y);
            }
        EXPECT_NEAR(lo_x, static_cast<double>(box.xMin), 0.5) << c;
        EXPECT_NEAR(hi_x, static_cast<double>(box.xMax), 0.5) << c;
        EXPECT_NEAR(lo_y, static_cast<double>(box.yMin), 0.5) << c;
        EXPECT_NEAR(hi_y, static_cast<double>(box.yMax), 0.5) << c;
        // Every contour is a closed subpath.
        EXPECT_EQ(outline->subpath_ends.size(), static_cast<size_t>(face->glyph->outline.n_contours)) << c;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(ft);
}

}  // namespace
