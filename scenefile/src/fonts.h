// Fonts for text items: families found through fontconfig, font files
// opened with HarfBuzz (shaping) and FreeType (outlines), the fallback font
// for a character the chosen one lacks, and glyph outlines cached per font
// and glyph. One process-wide library, safe to use from several threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "outline.h"

struct hb_font_t;
struct FT_FaceRec_;
struct _FcConfig;
typedef struct _FcConfig FcConfig;

namespace vokri_scenefile {

class Font {
public:
    Font(std::string file, int index, hb_font_t* hb, FT_FaceRec_* ft);
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    ~Font();

    const std::string& file() const { return file_; }
    int index() const { return index_; }
    hb_font_t* hb() const { return hb_; }  // scaled to font units: positions come in font units
    double units_per_em() const { return upem_; }
    double ascender() const { return ascender_; }    // font units, above the baseline
    double descender() const { return descender_; }  // font units, below it (negative)
    bool has_character(char32_t c) const;
    // The glyph's outline in font units, y up; made once, then shared.
    std::shared_ptr<const Outline> outline(uint32_t glyph) const;

private:
    std::string file_;
    int index_;
    hb_font_t* hb_;
    FT_FaceRec_* ft_;
    double upem_ = 1000, ascender_ = 800, descender_ = -200;
    mutable std::mutex mutex_;  // FreeType faces are not for several threads at once
    mutable std::map<uint32_t, std::shared_ptr<const Outline>> outlines_;
};

class FontLibrary {
public:
    static FontLibrary& instance();

    // The font of a family name ("DejaVu Sans", "DejaVu Serif:bold") as
    // fontconfig resolves it; null with `error` set when no installed font
    // has that family.
    std::shared_ptr<const Font> family(const std::string& name, std::string& error);
    // A font file (TrueType, OpenType, ...); null with `error` set.
    std::shared_ptr<const Font> file(const std::string& path, std::string& error);
    // An installed font with the character `c`, preferring ones like
    // `family`; null when no installed font has it.
    std::shared_ptr<const Font> fallback(char32_t c, const std::string& family);

    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

private:
    FontLibrary();
    // Releases the fonts and the fontconfig configuration (at exit).
    void release();
    std::shared_ptr<const Font> open(const std::string& path, int index, std::string& error);

    // A fontconfig configuration of the library's own, apart from any the
    // host program uses.
    FcConfig* config_ = nullptr;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Font>> by_key_;
};

}  // namespace vokri_scenefile
