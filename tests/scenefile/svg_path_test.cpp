// SVG path data, randomized: generated commands of every kind but the arc
// (absolute and relative, implicit repeats, numbers written every way the
// grammar allows: "1e-3", ".5.5", "-1-2", "+3") parse to the cubics
// computed here from the same commands; arcs end exactly where they should.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "svg_path_data.h"

namespace {

struct Writer {
    std::mt19937& rng;
    std::string text;
    bool dot_in_last = false;  // the number just written has a '.' (".5.5" then reads as two)
    bool after_command = true;  // only whitespace may follow a command letter

    void number(double v) {
        std::string s;
        const int style = static_cast<int>(rng() % 4);
        char buf[64];
        if (style == 0 || v == 0) std::snprintf(buf, sizeof buf, "%g", v);
        else if (style == 1) std::snprintf(buf, sizeof buf, "%ge-1", v * 10);
        else if (style == 2) std::snprintf(buf, sizeof buf, "%+g", v);
        else std::snprintf(buf, sizeof buf, "%.3e", v);
        s = buf;
        if (std::fabs(v) < 1 && v != 0 && rng() % 2) {  // ".5", "-.5"
            const size_t zero = s.find("0.");
            if (zero != std::string::npos && zero <= 1 && s.find('e') == std::string::npos) s.erase(zero, 1);
        }
        const bool glued = !after_command && (s[0] == '-' || s[0] == '+' || (s[0] == '.' && dot_in_last)) &&
                           std::isdigit(static_cast<unsigned char>(text.back()));
        if (after_command) text += rng() % 2 ? " " : "";
        else if (!glued) text += rng() % 3 == 0 ? "," : rng() % 2 ? " " : " ,\n";
        text += s;
        after_command = false;
        dot_in_last = s.find('.') != std::string::npos && s.find('e') == std::string::npos;
    }
    void command(char c) {
        if (!text.empty() && rng() % 2) text += ' ';
        text += c;
        dot_in_last = false;
        after_command = true;
    }
};

struct Expect {
    std::vector<VokriCubicSegment> segments;
    double x = 0, y = 0, sx = 0, sy = 0;          // current point, subpath start
    double cx = 0, cy = 0;                         // last control point, for S and T
    char last = 0;

    void cubic(double x1, double y1, double x2, double y2, double x3, double y3) {
        segments.push_back({x, y, x1, y1, x2, y2, x3, y3});
        cx = x2, cy = y2, x = x3, y = y3;
    }
    void line(double x3, double y3) {
        segments.push_back({x, y, x + (x3 - x) / 3, y + (y3 - y) / 3, x + 2 * (x3 - x) / 3, y + 2 * (y3 - y) / 3, x3, y3});
        x = x3, y = y3;
    }
    void quad(double qx, double qy, double x3, double y3) {
        segments.push_back({x, y, x + 2 * (qx - x) / 3, y + 2 * (qy - y) / 3, x3 + 2 * (qx - x3) / 3,
                            y3 + 2 * (qy - y3) / 3, x3, y3});
        cx = qx, cy = qy, x = x3, y = y3;
    }
};

double value(std::mt19937& rng) { return static_cast<double>(static_cast<int>(rng() % 201) - 100) / 4; }

TEST(SvgPathData, RandomCommandsParseToTheirCubics) {
    std::mt19937 rng(11);
    const std::string kinds = "LHVCSQTZ";
    for (int round = 0; round < 300; ++round) {
        Writer w{rng, {}};
        Expect e;
        const bool rel0 = rng() % 2;
        const double mx = value(rng), my = value(rng);
        w.command(rel0 ? 'm' : 'M');
        w.number(mx), w.number(my);
        e.x = e.sx = mx, e.y = e.sy = my;  // a first relative moveto is absolute
        for (int n = 0; n < 8; ++n) {
            const char k = kinds[rng() % kinds.size()];
            const bool rel = rng() % 2;
            const int repeats = k == 'Z' ? 1 : 1 + static_cast<int>(rng() % 3);
            w.command(rel ? static_cast<char>(std::tolower(k)) : k);
            for (int r = 0; r < repeats; ++r) {
                const double ox = rel ? e.x : 0, oy = rel ? e.y : 0;
                const bool smooth_c = e.last == 'C' || e.last == 'S', smooth_q = e.last == 'Q' || e.last == 'T';
                double v[6];
                const int count = k == 'C' ? 6 : k == 'S' || k == 'Q' ? 4 : k == 'H' || k == 'V' ? 1 : k == 'Z' ? 0 : 2;
                for (int i = 0; i < count; ++i) w.number(v[i] = value(rng));
                switch (k) {
                case 'L': e.line(ox + v[0], oy + v[1]); break;
                case 'H': e.line(ox + v[0], e.y); break;
                case 'V': e.line(e.x, oy + v[0]); break;
                case 'C': e.cubic(ox + v[0], oy + v[1], ox + v[2], oy + v[3], ox + v[4], oy + v[5]); break;
                case 'S':
                    e.cubic(smooth_c ? 2 * e.x - e.cx : e.x, smooth_c ? 2 * e.y - e.cy : e.y, ox + v[0], oy + v[1],
                            ox + v[2], oy + v[3]);
                    break;
                case 'Q': e.quad(ox + v[0], oy + v[1], ox + v[2], oy + v[3]); break;
                case 'T':
                    e.quad(smooth_q ? 2 * e.x - e.cx : e.x, smooth_q ? 2 * e.y - e.cy : e.y, ox + v[0], oy + v[1]);
                    break;
                default:
                    if (e.x != e.sx || e.y != e.sy) e.line(e.sx, e.sy);
                    e.x = e.sx, e.y = e.sy;
                }
                e.last = k;
            }
        }
        const auto got = vokri_scenefile::parse_path_data(w.text);
        ASSERT_EQ(got.error_at, std::string_view::npos) << w.text;
        ASSERT_EQ(got.segments.size(), e.segments.size()) << w.text;
        for (size_t i = 0; i < e.segments.size(); ++i) {
            const double* a = &got.segments[i].x0;
            const double* b = &e.segments[i].x0;
            for (int j = 0; j < 8; ++j) ASSERT_NEAR(a[j], b[j], 1e-9) << w.text << " segment " << i << " value " << j;
        }
    }
}

TEST(SvgPathData, ArcsEndWhereTheyShouldAndErrorsKeepWhatCameBefore) {
    const auto arc = vokri_scenefile::parse_path_data("M10 10 a5 5 0 1110 10A3 4 30 0 0 -2-2");
    ASSERT_EQ(arc.error_at, std::string_view::npos);
    ASSERT_GE(arc.segments.size(), 3u);
    bool passed_first = false;
    for (const auto& s : arc.segments)
        if (s.x3 == 20 && s.y3 == 20) passed_first = true;
    EXPECT_TRUE(passed_first);
    EXPECT_EQ(arc.segments.back().x3, -2);
    EXPECT_EQ(arc.segments.back().y3, -2);
    const auto bad = vokri_scenefile::parse_path_data("M0 0 L1 1 L2 x");
    EXPECT_EQ(bad.segments.size(), 1u);
    EXPECT_EQ(bad.error_at, 13u);
}

}  // namespace
