#include "text_layout.h"

#include <hb.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "fonts.h"
#include "scene_json.h"

namespace vokri_scenefile {

namespace {

// A stretch of one line set in one font: bytes [begin, end) of the line.
struct Segment {
    std::shared_ptr<const Font> font;
    size_t begin = 0, end = 0;
};

// Decodes the UTF-8 character at s[i] (the JSON parser has checked the
// text), advancing i.
char32_t next_character(const std::string& s, size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t v = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (int k = 1; k < n && i + k < s.size(); ++k) v = v << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += static_cast<size_t>(n);
    return v;
}

bool is_mark(char32_t c) {
    const auto cat = hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
    return cat == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
           cat == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK || cat == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK ||
           c == 0x200D || c == 0x200C;
}

std::string codepoint_name(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

class Layouter {
public:
    explicit Layouter(const TextRequest& request) : request_(request) {
        std::string error;
        FontLibrary& fonts = FontLibrary::instance();
        primary_ = request.font_is_file ? fonts.file(request.font, error) : fonts.family(request.font, error);
        if (!primary_) throw SceneError("", error);
        for (const auto& r : request.runs) {
            run_starts_.push_back(text_.size());
            text_ += r;
        }
    }

    TextLayout run() {
        size_t begin = 0;
        std::vector<std::pair<size_t, size_t>> lines;
        for (size_t i = 0; i <= text_.size(); ++i)
            if (i == text_.size() || text_[i] == '\n') {
                lines.emplace_back(begin, i);
                begin = i + 1;
            }
        const double s = request_.size / primary_->units_per_em();
        const double asc = primary_->ascender() * s, desc = primary_->descender() * s;
        const double step = request_.line_height * request_.size;
        const double block = static_cast<double>(lines.size() - 1) * step;
        double y0 = 0;  // the first baseline
        switch (request_.baseline) {
        case TextBaseline::alphabetic: y0 = 0; break;
        case TextBaseline::top: y0 = -asc; break;
        case TextBaseline::bottom: y0 = block - desc; break;
        case TextBaseline::middle: y0 = (block - desc - asc) / 2; break;
        }
        for (size_t k = 0; k < lines.size(); ++k)
            line(lines[k].first, lines[k].second, y0 - static_cast<double>(k) * step);
        order_glyphs();
        return std::move(out_);
    }

private:
    struct Shaped {
        const Font* font;
        uint32_t glyph;
        double x, y;        // user units
        size_t cluster;     // byte offset in the text
    };

    // The font for character c: the primary one, else a fallback, else the
    // primary one again (its .notdef glyph) with a warning.
    std::shared_ptr<const Font> font_for(char32_t c) {
        if (primary_->has_character(c) || c == '\n' || c == '\t' || c == ' ') return primary_;
        if (auto f = FontLibrary::instance().fallback(c, request_.font_is_file ? "sans-serif" : request_.font)) return f;
        const std::string warning = "no installed font has the character " + codepoint_name(c) +
                                    "; it is drawn as the font's missing-glyph box";
        if (std::find(out_.warnings.begin(), out_.warnings.end(), warning) == out_.warnings.end())
            out_.warnings.push_back(warning);
        return primary_;
    }

    std::vector<Segment> segments(size_t begin, size_t end) {
        std::vector<Segment> out;
        for (size_t i = begin; i < end;) {
            const size_t at = i;
            const char32_t c = next_character(text_, i);
            auto f = !out.empty() && is_mark(c) ? out.back().font : font_for(c);
            if (out.empty() || out.back().font != f) out.push_back(Segment{f, at, at});
            out.back().end = i;
        }
        return out;
    }

    void line(size_t begin, size_t end, double baseline) {
        std::vector<Shaped> shaped;
        double pen = 0;
        for (const Segment& seg : segments(begin, end)) shape(seg, begin, end, pen, baseline, shaped);
        const double shift = request_.align == TextAlign::left ? 0 : request_.align == TextAlign::center ? -pen / 2 : -pen;
        for (const Shaped& g : shaped) place(g, shift);
    }

    void shape(const Segment& seg, size_t line_begin, size_t line_end, double& pen, double baseline,
               std::vector<Shaped>& out) {
        hb_buffer_t* buf = hb_buffer_create();
        hb_buffer_add_utf8(buf, text_.data() + line_begin, static_cast<int>(line_end - line_begin),
                           static_cast<unsigned>(seg.begin - line_begin), static_cast<int>(seg.end - seg.begin));
        hb_buffer_guess_segment_properties(buf);
        hb_shape(seg.font->hb(), buf, nullptr, 0);
        unsigned n = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &n);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf, &n);
        const double s = request_.size / seg.font->units_per_em();
        for (unsigned i = 0; i < n; ++i) {
            out.push_back(Shaped{seg.font.get(), info[i].codepoint, pen + pos[i].x_offset * s,
                                 baseline + pos[i].y_offset * s, line_begin + info[i].cluster});
            pen += pos[i].x_advance * s;
        }
        fonts_in_use_.push_back(seg.font);
        hb_buffer_destroy(buf);
    }

    void place(const Shaped& g, double shift) {
        const auto outline = g.font->outline(g.glyph);
        if (outline->empty()) return;
        const double s = request_.size / g.font->units_per_em();
        PlacedGlyph p;
        p.outline = *outline;
        p.glyph = g.glyph;
        p.font = g.font;
        p.x = g.x + shift;
        p.y = g.y;
        for (auto& c : p.outline.segments) {
            double* v = &c.x0;
            for (int k = 0; k < 8; k += 2) {
                v[k] = v[k] * s + g.x + shift;
                v[k + 1] = v[k + 1] * s + g.y;
            }
        }
        p.run = static_cast<size_t>(std::upper_bound(run_starts_.begin(), run_starts_.end(), g.cluster) -
                                    run_starts_.begin()) - 1;
        clusters_.push_back(g.cluster);
        out_.glyphs.push_back(std::move(p));
    }

    // Reading order: by the characters the glyphs come from, so that a
    // right-to-left line appears from its first character on.
    void order_glyphs() {
        std::vector<size_t> index(out_.glyphs.size());
        for (size_t i = 0; i < index.size(); ++i) index[i] = i;
        std::stable_sort(index.begin(), index.end(), [&](size_t a, size_t b) { return clusters_[a] < clusters_[b]; });
        for (size_t rank = 0; rank < index.size(); ++rank) out_.glyphs[index[rank]].order = static_cast<uint32_t>(rank);
    }

    const TextRequest& request_;
    std::shared_ptr<const Font> primary_;
    std::vector<std::shared_ptr<const Font>> fonts_in_use_;
    std::string text_;
    std::vector<size_t> run_starts_;
    std::vector<size_t> clusters_;
    TextLayout out_;
};

std::string cache_key(const TextRequest& request) {
    std::string key = request.font + (request.font_is_file ? "\x01" : "\x02");
    key += std::to_string(request.size) + "\x01" + std::to_string(static_cast<int>(request.align)) + "\x01" +
           std::to_string(static_cast<int>(request.baseline)) + "\x01" + std::to_string(request.line_height);
    char exact[64];
    std::snprintf(exact, sizeof exact, "\x01%a\x01%a", request.size, request.line_height);
    key += exact;
    for (const auto& r : request.runs) key += "\x03" + std::to_string(r.size()) + ":" + r;
    return key;
}

}  // namespace

std::shared_ptr<const TextLayout> lay_out_text(const TextRequest& request) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const TextLayout>> cache;
    const std::string key = cache_key(request);
    {
        const std::lock_guard lock(mutex);
        if (auto it = cache.find(key); it != cache.end()) return it->second;
    }
    auto layout = std::make_shared<const TextLayout>(Layouter(request).run());
    const std::lock_guard lock(mutex);
    if (cache.size() >= 512) cache.clear();  // bounded: an animation of changing texts starts afresh
    cache.emplace(key, layout);
    return layout;
}

}  // namespace vokri_scenefile
