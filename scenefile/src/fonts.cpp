#include "fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace vokri_scenefile {

namespace {

// One FreeType library for the process, used under its own lock (faces are
// created and destroyed through it).
std::mutex g_freetype_mutex;
FT_Library freetype() {
    static FT_Library library = [] {
        FT_Library l = nullptr;
        return FT_Init_FreeType(&l) == 0 ? l : nullptr;
    }();
    return library;
}

// FreeType's outline decomposition into cubic segments.
struct Decomposer {
    Outline out;
    double x = 0, y = 0, start_x = 0, start_y = 0;
    bool open = false;

    void close() {
        if (!open) return;
        if (x != start_x || y != start_y) out.segments.push_back(straight(x, y, start_x, start_y));
        out.end_subpath(true);
        open = false;
    }
};

double d(FT_Pos v) { return static_cast<double>(v); }

int move_to(const FT_Vector* to, void* user) {
    auto& s = *static_cast<Decomposer*>(user);
    s.close();
    s.x = s.start_x = d(to->x);
    s.y = s.start_y = d(to->y);
    s.open = true;
    return 0;
}

int line_to(const FT_Vector* to, void* user) {
    auto& s = *static_cast<Decomposer*>(user);
    s.out.segments.push_back(straight(s.x, s.y, d(to->x), d(to->y)));
    s.x = d(to->x);
    s.y = d(to->y);
    return 0;
}

int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto& s = *static_cast<Decomposer*>(user);
    s.out.segments.push_back(raised_quadratic(s.x, s.y, d(control->x), d(control->y), d(to->x), d(to->y)));
    s.x = d(to->x);
    s.y = d(to->y);
    return 0;
}

int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto& s = *static_cast<Decomposer*>(user);
    s.out.segments.push_back(VokriCubicSegment{s.x, s.y, d(c1->x), d(c1->y), d(c2->x), d(c2->y), d(to->x), d(to->y)});
    s.x = d(to->x);
    s.y = d(to->y);
    return 0;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return s;
}

// The file and face index fontconfig matched for `pattern`, and its family.
bool matched_file(FcConfig* config, FcPattern* pattern, std::string& file, int& index, std::string& family) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    if (!match) return false;
    FcChar8* path = nullptr;
    FcChar8* fam = nullptr;
    const bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
    if (ok) file = reinterpret_cast<const char*>(path);
    if (FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch) family = reinterpret_cast<const char*>(fam);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    FcPatternDestroy(match);
    return ok;
}

}  // namespace

Font::Font(std::string file, int index, hb_font_t* hb, FT_FaceRec_* ft)
    : file_(std::move(file)), index_(index), hb_(hb), ft_(ft) {
    upem_ = ft->units_per_EM > 0 ? ft->units_per_EM : 1000;
    ascender_ = ft->ascender;
    descender_ = ft->descender;
    if (ascender_ <= 0) ascender_ = 0.8 * upem_;
    if (descender_ >= 0) descender_ = -0.2 * upem_;
    const int scale = static_cast<int>(upem_);
    hb_font_set_scale(hb_, scale, scale);
    hb_font_make_immutable(hb_);
}

Font::~Font() {
    hb_font_destroy(hb_);
    const std::lock_guard lock(g_freetype_mutex);
    FT_Done_Face(ft_);
}

bool Font::has_character(char32_t c) const {
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(hb_, c, &glyph) && glyph != 0;
}

std::shared_ptr<const Outline> Font::outline(uint32_t glyph) const {
    const std::lock_guard lock(mutex_);
    if (auto it = outlines_.find(glyph); it != outlines_.end()) return it->second;
    Decomposer s;
    if (FT_Load_Glyph(ft_, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
        ft_->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        const FT_Outline_Funcs funcs{move_to, line_to, conic_to, cubic_to, 0, 0};
        FT_Outline_Decompose(&ft_->glyph->outline, &funcs, &s);
        s.close();
    }
    auto outline = std::make_shared<const Outline>(std::move(s.out));
    outlines_.emplace(glyph, outline);
    return outline;
}

FontLibrary& FontLibrary::instance() {
    // Never destroyed (a host's threads may still lay out text while the
    // process exits); its fontconfig configuration is released at exit,
    // under the lock, after which lookups fail cleanly.
    static FontLibrary* library = [] {
        auto* l = new FontLibrary;
        std::atexit([] { FontLibrary::instance().release(); });
        return l;
    }();
    return *library;
}

FontLibrary::FontLibrary() : config_(FcInitLoadConfigAndFonts()) {}

void FontLibrary::release() {
    const std::lock_guard lock(mutex_);
    by_key_.clear();
    if (config_) FcConfigDestroy(config_);
    config_ = nullptr;
}



std::shared_ptr<const Font> FontLibrary::open(const std::string& path, int index, std::string& error) {
    const std::string key = path + "#" + std::to_string(index);
    if (auto it = by_key_.find(key); it != by_key_.end()) return it->second;
    FT_Face ft = nullptr;
    {
        const std::lock_guard lock(g_freetype_mutex);
        if (!freetype() || FT_New_Face(freetype(), path.c_str(), index, &ft) != 0) {
            error = "cannot open the font file " + path;
            return nullptr;
        }
    }
    if (!FT_IS_SCALABLE(ft)) {
        const std::lock_guard lock(g_freetype_mutex);
        FT_Done_Face(ft);
        error = path + " is not an outline font";
        return nullptr;
    }
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(path.c_str());
    hb_face_t* face = blob ? hb_face_create(blob, static_cast<unsigned>(index)) : nullptr;
    hb_blob_destroy(blob);
    if (!face) {
        const std::lock_guard lock(g_freetype_mutex);
        FT_Done_Face(ft);
        error = "cannot read the font file " + path;
        return nullptr;
    }
    hb_font_t* hb = hb_font_create(face);
    hb_face_destroy(face);
    auto font = std::make_shared<const Font>(path, index, hb, ft);  // sets the scale, then makes it immutable
    by_key_.emplace(key, font);
    return font;
}

std::shared_ptr<const Font> FontLibrary::family(const std::string& name, std::string& error) {
    const std::lock_guard lock(mutex_);
    if (!config_) {
        error = "fontconfig could not be set up (no font configuration)";
        return nullptr;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
    if (!pattern) {
        error = "cannot read the font name \"" + name + "\"";
        return nullptr;
    }
    FcChar8* wanted = nullptr;
    const std::string asked =
        FcPatternGetString(pattern, FC_FAMILY, 0, &wanted) == FcResultMatch ? reinterpret_cast<const char*>(wanted)
                                                                              : name;
    std::string file, found;
    int index = 0;
    const bool ok = config_ && matched_file(config_, pattern, file, index, found);
    FcPatternDestroy(pattern);
    if (!ok || lower(found) != lower(asked)) {
        error = "no installed font has the family \"" + asked + "\"" +
                (found.empty() ? "" : " (the closest is \"" + found + "\")") + "; fc-list lists the families";
        return nullptr;
    }
    return open(file, index, error);
}

std::shared_ptr<const Font> FontLibrary::file(const std::string& path, std::string& error) {
    const std::lock_guard lock(mutex_);
    return open(path, 0, error);
}

std::shared_ptr<const Font> FontLibrary::fallback(char32_t c, const std::string& family) {
    const std::lock_guard lock(mutex_);
    if (!config_) return nullptr;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (!pattern) return nullptr;
    FcCharSet* set = FcCharSetCreate();
    FcCharSetAddChar(set, c);
    FcPatternAddCharSet(pattern, FC_CHARSET, set);
    FcCharSetDestroy(set);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* fonts = config_ ? FcFontSort(config_, pattern, FcFalse, nullptr, &result) : nullptr;
    FcPatternDestroy(pattern);
    std::shared_ptr<const Font> found;
    for (int i = 0; fonts && i < fonts->nfont && !found; ++i) {
        FcCharSet* chars = nullptr;
        FcChar8* path = nullptr;
        int index = 0;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch ||
            !FcCharSetHasChar(chars, c) || FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &path) != FcResultMatch)
            continue;
        if (FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        std::string error;
        found = open(reinterpret_cast<const char*>(path), index, error);
        if (found && !found->has_character(c)) found = nullptr;
    }
    if (fonts) FcFontSetDestroy(fonts);
    return found;
}

}  // namespace vokri_scenefile
