// vokri-render: the scene-file parser (records built field by field), its
// error messages with JSON paths, the generated meshes, and the binary's exit
// codes and output against direct calls of the exports.
#ifdef VOKRI_RENDER_TOOL

#include <gtest/gtest.h>

#include <filesystem>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "mesh_gen.h"
#include "scene_json.h"
#include "support/scene.h"

namespace {

using vokri_scenefile::Scene;
using vokri_scenefile::SceneError;

Scene parse(const std::string& text, const vokri_scenefile::ParseOptions& o = {}) {
    return vokri_scenefile::parse_scene_text(text, o);
}

// A scene around one item given as JSON text.
Scene one(const std::string& item) {
    return parse(R"({"width": 40, "height": 30, "scale": 10, "items": [)" + item + "]}");
}

// The error a document raises: "path: message".
std::string error_of(const std::string& text) {
    try {
        parse(text);
    } catch (const SceneError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string item_error(const std::string& item) {
    return error_of(R"({"width": 40, "height": 30, "scale": 10, "items": [)" + item + "]}");
}

template <class T>
bool same_bytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

VokriShapeRecord base_shape(uint32_t type) {
    VokriShapeRecord r{};
    r.shape_type = type;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

// ---- colours and canvas ---------------------------------------------------

TEST(SceneJson, ColourNotations) {
    using nlohmann::json;
    EXPECT_EQ(vokri_scenefile::parse_colour(json("#11223344")), 0x11223344u);
    EXPECT_EQ(vokri_scenefile::parse_colour(json("#aAbBcC")), 0xAABBCCFFu);
    EXPECT_EQ(vokri_scenefile::parse_colour(json(4294967295u)), 0xFFFFFFFFu);
    EXPECT_EQ(vokri_scenefile::parse_colour(json(0)), 0u);
    EXPECT_FALSE(vokri_scenefile::parse_colour(json(-1)));
    EXPECT_FALSE(vokri_scenefile::parse_colour(json(4294967296ull)));
    EXPECT_FALSE(vokri_scenefile::parse_colour(json("#1122334")));
    EXPECT_FALSE(vokri_scenefile::parse_colour(json("112233")));
    EXPECT_FALSE(vokri_scenefile::parse_colour(json("#11223g")));
    EXPECT_FALSE(vokri_scenefile::parse_colour(json(1.5)));
}

TEST(SceneJson, CanvasAndOverrides) {
    Scene s = parse(R"({"width": 1280, "height": 720, "scale": 100})");
    EXPECT_EQ(s.width, 1280);
    EXPECT_EQ(s.height, 720);
    EXPECT_EQ(s.scale, 100.0);
    EXPECT_TRUE(s.items.empty());

    vokri_scenefile::ParseOptions o;
    o.width = 64;
    o.height = 32;
    o.scale = 2.5;
    Scene t = parse(R"({"width": 1280, "height": 720, "scale": 100})", o);
    EXPECT_EQ(t.width, 64);
    EXPECT_EQ(t.height, 32);
    EXPECT_EQ(t.scale, 2.5);
    // With overrides the document needs no canvas at all.
    EXPECT_EQ(parse("{}", o).width, 64);
}

TEST(SceneJson, CanvasErrors) {
    EXPECT_EQ(error_of(R"({"height": 2, "scale": 1})"), "width: missing (required)");
    EXPECT_EQ(error_of(R"({"width": 0, "height": 2, "scale": 1})"),
              "width: expected an integer from 1 to 32768, got 0");
    EXPECT_EQ(error_of(R"({"width": 2.5, "height": 2, "scale": 1})"),
              "width: expected an integer from 1 to 32768, got 2.5");
    EXPECT_EQ(error_of(R"({"width": 32768, "height": 32768, "scale": 1})"),
              "height: a canvas of 32768 x 32768 pixels is larger than the limit of 268435456 pixels");
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": 0})"), "scale: expected a finite number above 0");
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": "Infinity"})"),
              "scale: expected a finite number above 0");
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": 1, "itms": []})"), "itms: unknown field");
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": 1, "items": {}})"),
              "items: expected an array, got an object");
    EXPECT_EQ(error_of("[1, 2]"), "(document): expected an object, got an array");
    EXPECT_EQ(error_of(R"({"width": 2,)").rfind("parse error at line 1, column 13", 0), 0u);
    vokri_scenefile::ParseOptions o;
    o.scale = -1;
    EXPECT_THROW(parse(R"({"width": 2, "height": 2, "scale": 1})", o), SceneError);
}

TEST(SceneJson, CommentsAreIgnored) {
    Scene s = parse(R"({"_comment": "x", "width": 2, "height": 2, "scale": 1,
        "items": [{"kind": "shape", "_note": [1, 2], "shape_type": 5, "p0": 1}]})");
    EXPECT_EQ(s.shapes.size(), 1u);
}

TEST(SceneJson, NumbersBeyondTheDoubleRangeAreSceneErrors) {
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": 1e400})"), "number overflow parsing '1e400'");
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": 1, "_c": -1e99999})"),
              "number overflow parsing '-1e99999'");
}

TEST(SceneJson, DeepNestingIsRefusedBeforeParsing) {
    std::string text = R"({"width": 2, "height": 2, "scale": 1, "x": )" + std::string(100000, '[');
    EXPECT_EQ(error_of(text), "nested deeper than 64 levels at line 1");
    // Brackets inside strings do not count.
    EXPECT_EQ(error_of(R"({"width": 2, "height": 2, "scale": 1, "_c": ")" + std::string(1000, '[') + "\"}"),
              "(no error)");
}

// ---- shapes -----------------------------------------------------------------

TEST(SceneJson, ShapeFieldByField) {
    Scene s = one(R"({"kind": "shape", "shape_type": "polygon", "p0": 1, "p1": 2, "p2": 3, "p3": 4,
        "p4": 5, "p5": 6, "p6": 7, "p7": 8, "points": [[0, 0], [1, 0], [0.5, 1.5]],
        "transform": [2, 0.5, -0.5, 2, 10, -20], "fill_color": "#ff800040",
        "stroke_color": 305419896, "stroke_width": 0.25, "opacity": 0.5})");
    ASSERT_EQ(s.shapes.size(), 1u);
    ASSERT_EQ(s.items.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_SHAPE);
    EXPECT_EQ(s.items[0].index, 0u);
    EXPECT_EQ(s.ids[0], 1);
    const VokriShapeRecord& r = s.shapes[0];
    VokriShapeRecord want{};
    want.shape_type = VOKRI_SHAPE_POLYGON;
    want.p0 = 1, want.p1 = 2, want.p2 = 3, want.p3 = 4, want.p4 = 5, want.p5 = 6, want.p6 = 7, want.p7 = 8;
    want.points = r.points;
    want.point_count = 3;
    const double tr[6] = {2, 0.5, -0.5, 2, 10, -20};
    std::memcpy(want.transform, tr, sizeof tr);
    want.fill_enabled = 1;
    want.fill_color = 0xFF800040u;
    want.stroke_enabled = 1;
    want.stroke_color = 0x12345678u;
    want.stroke_width = 0.25;
    want.opacity = 0.5;
    EXPECT_TRUE(same_bytes(r, want));
    ASSERT_NE(r.points, nullptr);
    const double pts[6] = {0, 0, 1, 0, 0.5, 1.5};
    EXPECT_EQ(std::memcmp(r.points, pts, sizeof pts), 0);
}

TEST(SceneJson, ShapeDefaultsAndExplicitFlags) {
    Scene s = one(R"({"kind": "shape", "shape_type": 5, "p0": 1})");
    EXPECT_TRUE(same_bytes(s.shapes[0], [] {
        VokriShapeRecord r = base_shape(VOKRI_SHAPE_CIRCLE);
        r.p0 = 1;
        return r;
    }()));
    // Flags take booleans or integers; a colour without its flag enables it.
    Scene t = one(R"({"kind": "shape", "shape_type": "circle", "p0": 1, "fill_color": "#102030",
        "fill_enabled": false, "stroke_enabled": 7, "opacity": "NaN"})");
    EXPECT_EQ(t.shapes[0].fill_enabled, 0u);
    EXPECT_EQ(t.shapes[0].fill_color, 0x102030FFu);
    EXPECT_EQ(t.shapes[0].stroke_enabled, 7u);
    EXPECT_TRUE(std::isnan(t.shapes[0].opacity));
}

TEST(SceneJson, EveryShapeTypeName) {
    const char* names[] = {"line",    "polyline", "polygon", "rectangle",       "square",
                           "circle",  "ellipse",  "arc",     "regular_polygon", "cubic_bezier"};
    for (uint32_t k = 0; k < 10; ++k) {
        Scene s = one(std::string(R"({"kind": "shape", "shape_type": ")") + names[k] + "\"}");
        EXPECT_EQ(s.shapes[0].shape_type, k) << names[k];
    }
    // Values beyond the named ones go through for the library to judge.
    EXPECT_EQ(one(R"({"kind": "shape", "shape_type": 10})").shapes[0].shape_type, 10u);
}

TEST(SceneJson, PointCounts) {
    Scene flat = one(R"({"kind": "shape", "shape_type": 1, "points": [0, 1, 2, 3, 4, 5]})");
    EXPECT_EQ(flat.shapes[0].point_count, 3u);
    EXPECT_EQ(flat.shapes[0].points[5], 5.0);
    Scene fewer = one(R"({"kind": "shape", "shape_type": 1, "points": [[0, 1], [2, 3]], "point_count": 1})");
    EXPECT_EQ(fewer.shapes[0].point_count, 1u);
    Scene none = one(R"({"kind": "shape", "shape_type": 1})");
    EXPECT_EQ(none.shapes[0].points, nullptr);
    EXPECT_EQ(none.shapes[0].point_count, 0u);
    EXPECT_EQ(item_error(R"({"kind": "shape", "points": [[0, 1]], "point_count": 2})"),
              "items[0].point_count: 2 exceeds the 1 points given");
    EXPECT_EQ(item_error(R"({"kind": "shape", "point_count": 1})"),
              "items[0].point_count: 1 exceeds the 0 points given");
}

TEST(SceneJson, ErrorPaths) {
    EXPECT_EQ(item_error(R"({"kind": "shape", "points": [[0, 0], [1, "a"]]})"),
              "items[0].points[1][1]: expected a number, got the string \"a\"");
    EXPECT_EQ(item_error(R"({"kind": "shape", "points": [[0, 0], [1]]})"),
              "items[0].points[1]: expected 2 numbers (x, y), got 1");
    EXPECT_EQ(item_error(R"({"kind": "shape", "points": [0, 0, 1]})"),
              "items[0].points: a flat list of x, y needs a multiple of 2 numbers, got 3");
    EXPECT_EQ(item_error(R"({"kind": "shape", "transform": [1, 0, 0, 1, 0]})"),
              "items[0].transform: expected an array of 6 numbers, got 5 entries");
    EXPECT_EQ(item_error(R"({"kind": "shape", "transform": [1, 0, 0, 1, 0, null]})"),
              "items[0].transform[5]: expected a number, got null");
    EXPECT_EQ(item_error(R"({"kind": "shape", "fill_color": "reddish"})"),
              "items[0].fill_color: expected a colour (\"#RRGGBBAA\", \"#RRGGBB\", \"#RGB\" or a CSS name), got "
              "\"reddish\"");
    EXPECT_EQ(item_error(R"({"kind": "shape", "shape_type": -1})"),
              "items[0].shape_type: expected an integer from 0 to 4294967295, got -1");
    EXPECT_EQ(item_error(R"({"kind": "shape", "shape_type": "hexagon"})").substr(0, 48),
              "items[0].shape_type: unknown name \"hexagon\" (exp");
    EXPECT_EQ(item_error(R"({"kind": "shape", "stroke_enabled": "yes"})"),
              "items[0].stroke_enabled: expected true, false or an integer, got a string");
    EXPECT_EQ(item_error(R"({"kind": "shape", "strok_width": 1})"), "items[0].strok_width: unknown field");
    EXPECT_EQ(item_error(R"({"shape_type": 1})"), "items[0].kind: missing (required)");
    EXPECT_EQ(item_error(R"({"kind": "blob"})").substr(0, 32), "items[0].kind: unknown kind \"blo");
    EXPECT_EQ(item_error(R"({"kind": true})"), "items[0].kind: expected a kind name or an integer, got a boolean");
    EXPECT_EQ(item_error(R"(3)"), "items[0]: expected an object, got a number");
    EXPECT_EQ(item_error(R"({"kind": "shape"}, {"kind": "shape", "id": 2147483648})"),
              "items[1].id: expected an integer from -2147483648 to 2147483647, got 2147483648");
}

// ---- raw items and ids ----------------------------------------------------

TEST(SceneJson, RawDrawItemsAndIds) {
    Scene s = one(R"({"kind": "shape", "shape_type": 5, "p0": 1, "id": -7},
                     {"kind": 0, "index": 0}, {"kind": 7, "index": 4294967295}, {"kind": "shape"})");
    ASSERT_EQ(s.items.size(), 4u);
    EXPECT_EQ(s.shapes.size(), 2u);
    EXPECT_EQ(s.items[1].kind, 0u);
    EXPECT_EQ(s.items[1].index, 0u);
    EXPECT_EQ(s.items[2].kind, 7u);
    EXPECT_EQ(s.items[2].index, 0xFFFFFFFFu);
    EXPECT_EQ(s.items[3].kind, 0u);
    EXPECT_EQ(s.items[3].index, 1u);
    EXPECT_EQ(s.ids, (std::vector<int32_t>{-7, 2, 3, 4}));
    EXPECT_EQ(item_error(R"({"kind": "shape", "index": 0})"), "items[0].index: unknown field");
}

// ---- batches ------------------------------------------------------------------

TEST(SceneJson, BatchFieldByField) {
    Scene s = one(R"({"kind": "batch", "mode": "circles", "elements": [[0, 0, 1], [2, 3, 0.5]],
        "fill_colors": ["#ff0000", 255], "stroke_colors": "#00ff0080", "stroke_widths": [0.1, 0.2],
        "target_elements": [0, 1, 2, 3, 4, 5], "target_fill_colors": ["#0000ff", "#ffffff"],
        "target_stroke_colors": ["#000000", "#111111"], "target_stroke_widths": 0.3,
        "t": 0.25, "transform": [1, 0, 0, 1, 5, 6], "opacity": 0.75})");
    ASSERT_EQ(s.batches.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_BATCH);
    const VokriBatchRecord& r = s.batches[0];
    VokriBatchRecord want{};
    want.mode = VOKRI_BATCH_CIRCLES;
    want.count = 2;
    want.elements = r.elements;
    want.fill_colors = r.fill_colors;
    want.stroke_colors = r.stroke_colors;
    want.stroke_widths = r.stroke_widths;
    want.target_elements = r.target_elements;
    want.target_fill_colors = r.target_fill_colors;
    want.target_stroke_colors = r.target_stroke_colors;
    want.target_stroke_widths = r.target_stroke_widths;
    want.t = 0.25;
    const double tr[6] = {1, 0, 0, 1, 5, 6};
    std::memcpy(want.transform, tr, sizeof tr);
    want.opacity = 0.75;
    EXPECT_TRUE(same_bytes(r, want));
    const double el[6] = {0, 0, 1, 2, 3, 0.5};
    EXPECT_EQ(std::memcmp(r.elements, el, sizeof el), 0);
    const double tel[6] = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(r.target_elements, tel, sizeof tel), 0);
    EXPECT_EQ(r.fill_colors[0], 0xFF0000FFu);
    EXPECT_EQ(r.fill_colors[1], 255u);
    EXPECT_EQ(r.stroke_colors[0], 0x00FF0080u);  // one colour for every element
    EXPECT_EQ(r.stroke_colors[1], 0x00FF0080u);
    EXPECT_EQ(r.stroke_widths[1], 0.2);
    EXPECT_EQ(r.target_fill_colors[1], 0xFFFFFFFFu);
    EXPECT_EQ(r.target_stroke_colors[1], 0x111111FFu);
    EXPECT_EQ(r.target_stroke_widths[0], 0.3);
    EXPECT_EQ(r.target_stroke_widths[1], 0.3);
}

TEST(SceneJson, BatchListsAndCounts) {
    Scene s = one(R"({"kind": "batch", "elements": [[0, 0, 1, 1], [1, 1, 2, 2], [3, 3, 4, 4]],
        "stroke_colors": "#ffffff", "stroke_widths": 0.1})");
    const VokriBatchRecord& r = s.batches[0];
    EXPECT_EQ(r.mode, VOKRI_BATCH_SEGMENTS);
    EXPECT_EQ(r.count, 3u);
    EXPECT_EQ(r.fill_colors, nullptr);
    EXPECT_EQ(r.target_elements, nullptr);
    EXPECT_EQ(r.target_fill_colors, nullptr);
    EXPECT_EQ(r.target_stroke_colors, nullptr);
    EXPECT_EQ(r.target_stroke_widths, nullptr);
    EXPECT_EQ(r.opacity, 1.0);
    EXPECT_EQ(r.transform[0], 1.0);
    EXPECT_EQ(one(R"({"kind": "batch", "mode": 2, "elements": [0, 0, 1, 1, 2, 2, 3, 3]})").batches[0].count, 2u);
    EXPECT_EQ(one(R"({"kind": "batch", "count": 0})").batches[0].count, 0u);
    EXPECT_EQ(item_error(R"({"kind": "batch", "mode": 1, "elements": [[0, 0, 1, 1]]})"),
              "items[0].elements[0]: expected 3 numbers (cx, cy, r), got 4");
    EXPECT_EQ(item_error(R"({"kind": "batch", "mode": 1, "elements": [[0, 0, 1], [0, 0, 1]], "fill_colors": [1]})"),
              "items[0].fill_colors: has 1 entries but count is 2");
    EXPECT_EQ(item_error(R"({"kind": "batch", "elements": [[0, 0, 1, 1]], "count": 2})"),
              "items[0].count: 2 exceeds the 1 elements given");
    EXPECT_EQ(item_error(R"({"kind": "batch", "elements": [[0, 0, 1, 1]], "target_elements": []})"),
              "items[0].target_elements: has 0 elements but count is 1");
    EXPECT_EQ(item_error(R"({"kind": "batch", "elements": [[0, 0, 1, 1]], "stroke_widths": [true]})"),
              "items[0].stroke_widths[0]: expected a number, got a boolean");
}

// ---- vectors ------------------------------------------------------------------

TEST(SceneJson, VectorFieldByField) {
    Scene s = one(R"({"kind": "vector", "stagger_count": 4, "progress": 0.875,
        "transform": [1, 0, 0, 1, 0.5, 0], "opacity": 0.9, "shapes": [
          {"segments": [[0, 0, 1, 0, 1, 1, 0, 1], [0, 1, 0, 0.5, 0, 0.2, 0, 0]],
           "fill_color": "#336699cc", "stroke_color": "#ffffff", "stroke_width": 0.05, "reveal_order": 3},
          {"segments": [0, 0, 1, 1, 2, 2, 3, 3, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 9, 9],
           "subpath_ends": [1, 3], "subpath_closed": [true, 0], "stroke_color": 4294967295,
           "stroke_width": 0.1, "stroke_enabled": 0}]})");
    ASSERT_EQ(s.vectors.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_VECTOR);
    const VokriVectorRecord& r = s.vectors[0];
    VokriVectorRecord want{};
    want.shape_count = 2;
    want.shapes = r.shapes;
    want.stagger_count = 4;
    want.progress = 0.875;
    const double tr[6] = {1, 0, 0, 1, 0.5, 0};
    std::memcpy(want.transform, tr, sizeof tr);
    want.opacity = 0.9;
    EXPECT_TRUE(same_bytes(r, want));

    const VokriVectorShape& a = r.shapes[0];
    VokriVectorShape wa{};
    wa.segment_count = 2;
    wa.segments = a.segments;
    wa.subpath_count = 1;
    wa.subpath_ends = a.subpath_ends;
    wa.subpath_closed = a.subpath_closed;
    wa.fill_enabled = 1;
    wa.fill_color = 0x336699CCu;
    wa.stroke_enabled = 1;
    wa.stroke_color = 0xFFFFFFFFu;
    wa.stroke_width = 0.05;
    wa.reveal_order = 3;
    EXPECT_TRUE(same_bytes(a, wa));
    EXPECT_EQ(a.subpath_ends[0], 2u);  // one subpath of every segment, closed, by default
    EXPECT_EQ(a.subpath_closed[0], 1u);
    EXPECT_EQ(a.segments[1].x0, 0.0);
    EXPECT_EQ(a.segments[1].y0, 1.0);
    EXPECT_EQ(a.segments[1].y2, 0.2);
    EXPECT_EQ(a.segments[1].y3, 0.0);

    const VokriVectorShape& b = r.shapes[1];
    EXPECT_EQ(b.segment_count, 3u);
    EXPECT_EQ(b.subpath_count, 2u);
    EXPECT_EQ(b.subpath_ends[0], 1u);
    EXPECT_EQ(b.subpath_ends[1], 3u);
    EXPECT_EQ(b.subpath_closed[0], 1u);
    EXPECT_EQ(b.subpath_closed[1], 0u);
    EXPECT_EQ(b.fill_enabled, 0u);
    EXPECT_EQ(b.stroke_enabled, 0u);
    EXPECT_EQ(b.segments[2].x3, 9.0);
}

TEST(SceneJson, VectorEmptyAndErrors) {
    Scene s = one(R"({"kind": "vector"})");
    EXPECT_EQ(s.vectors[0].shape_count, 0u);
    EXPECT_EQ(s.vectors[0].shapes, nullptr);
    EXPECT_EQ(s.vectors[0].progress, 1.0);
    Scene e = one(R"({"kind": "vector", "shapes": [{}]})");
    EXPECT_EQ(e.vectors[0].shapes[0].segments, nullptr);
    EXPECT_EQ(e.vectors[0].shapes[0].subpath_ends, nullptr);
    EXPECT_EQ(e.vectors[0].shapes[0].subpath_closed, nullptr);
    EXPECT_EQ(item_error(R"({"kind": "vector", "shapes": [{}, {"segments": [[0, 0, 1, 1, 2, 2, 3]]}]})"),
              "items[0].shapes[1].segments[0]: expected 8 numbers (x0, y0, x1, y1, x2, y2, x3, y3), got 7");
    EXPECT_EQ(item_error(R"({"kind": "vector", "shapes": [{"subpath_ends": [1, -2]}]})"),
              "items[0].shapes[0].subpath_ends[1]: expected an integer from 0 to 4294967295, got -2");
    EXPECT_EQ(item_error(R"({"kind": "vector", "shapes": [{"subpath_ends": [1, 2], "subpath_closed": [1]}]})"),
              "items[0].shapes[0].subpath_closed: has 1 entries but there are 2 subpaths");
    EXPECT_EQ(item_error(R"({"kind": "vector", "shapes": [{"fill": 1}]})"), "items[0].shapes[0].fill: unknown field");
    EXPECT_EQ(item_error(R"({"kind": "vector", "shapes": [], "shape_count": 1})"),
              "items[0].shape_count: 1 exceeds the 0 shapes given");
}

// ---- morphs -------------------------------------------------------------------

TEST(SceneJson, MorphFieldByField) {
    Scene s = one(R"({"kind": "morph", "t": 0.4,
        "from": {"shape_type": "circle", "p0": 1, "fill_color": "#ff0000"},
        "to": {"shape_type": "polyline", "points": [[0, 0], [1, 1], [2, 0]], "stroke_color": "#00ff00",
               "stroke_width": 0.1, "transform": [1, 0, 0, 1, 3, 0]}})");
    ASSERT_EQ(s.morphs.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_MORPH);
    const VokriMorphRecord& r = s.morphs[0];
    VokriShapeRecord from = base_shape(VOKRI_SHAPE_CIRCLE);
    from.p0 = 1;
    from.fill_enabled = 1;
    from.fill_color = 0xFF0000FFu;
    EXPECT_TRUE(same_bytes(r.from, from));
    VokriShapeRecord to = base_shape(VOKRI_SHAPE_POLYLINE);
    to.points = r.to.points;
    to.point_count = 3;
    to.transform[4] = 3;
    to.stroke_enabled = 1;
    to.stroke_color = 0x00FF00FFu;
    to.stroke_width = 0.1;
    EXPECT_TRUE(same_bytes(r.to, to));
    EXPECT_EQ(r.to.points[4], 2.0);
    EXPECT_EQ(r.t, 0.4);
    EXPECT_EQ(item_error(R"({"kind": "morph", "from": {}})"), "items[0].to: missing (required)");
    EXPECT_EQ(item_error(R"({"kind": "morph", "from": {"kind": "shape"}, "to": {}})"),
              "items[0].from.kind: unknown field");
    EXPECT_EQ(item_error(R"({"kind": "morph", "from": {}, "to": {"points": [[1, 2, 3]]}})"),
              "items[0].to.points[0]: expected 2 numbers (x, y), got 3");
}

// ---- images -------------------------------------------------------------------

TEST(SceneJson, ImageInlinePixels) {
    Scene s = one(R"({"kind": "image", "width": 2, "height": 1, "pixels": ["#10203040", 4278190335],
        "display_width": 3, "display_height": 1.5, "transform": [0, 1, -1, 0, 1, 2], "opacity": 0.5})");
    ASSERT_EQ(s.images.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_IMAGE);
    const VokriImageRecord& r = s.images[0];
    VokriImageRecord want{};
    want.pixels = r.pixels;
    want.width = 2;
    want.height = 1;
    want.display_width = 3;
    want.display_height = 1.5;
    const double tr[6] = {0, 1, -1, 0, 1, 2};
    std::memcpy(want.transform, tr, sizeof tr);
    want.opacity = 0.5;
    EXPECT_TRUE(same_bytes(r, want));
    const uint8_t px[8] = {0x10, 0x20, 0x30, 0x40, 0xFF, 0x00, 0x00, 0xFF};
    EXPECT_EQ(std::memcmp(r.pixels, px, 8), 0);

    Scene h = one(R"({"kind": "image", "width": 1, "height": 2, "pixels": "01020304 a0B0c0D0"})");
    const uint8_t hp[8] = {1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0};
    EXPECT_EQ(std::memcmp(h.images[0].pixels, hp, 8), 0);
    EXPECT_EQ(h.images[0].display_width, 1.0);  // defaults to the raster size
    EXPECT_EQ(h.images[0].display_height, 2.0);

    Scene none = one(R"({"kind": "image"})");
    EXPECT_EQ(none.images[0].pixels, nullptr);
    EXPECT_EQ(none.images[0].width, 0u);

    EXPECT_EQ(item_error(R"({"kind": "image", "width": 2, "height": 2, "pixels": ["#000000"]})"),
              "items[0].pixels: width x height = 4 pixels, but 1 are given");
    EXPECT_EQ(item_error(R"({"kind": "image", "width": 1, "height": 1, "pixels": "0102030"})"),
              "items[0].pixels: the hex digits do not make whole pixels (8 digits, RRGGBBAA, per pixel)");
    EXPECT_EQ(item_error(R"({"kind": "image", "width": 1, "height": 1, "pixels": "0102030x"})"),
              "items[0].pixels: character 7 is not a hex digit");
    EXPECT_EQ(item_error(R"({"kind": "image", "height": 1, "pixels": []})"),
              "items[0].width: missing (required with inline pixels)");
    EXPECT_EQ(item_error(R"({"kind": "image", "width": 1, "height": 1, "pixels": [1, "#zz0000"]})"),
              "items[0].pixels[1]: expected a colour (\"#RRGGBBAA\", \"#RRGGBB\", \"#RGB\" or a CSS name), got "
              "\"#zz0000\"");
}

TEST(SceneJson, ImageFromPngFile) {
    // A PNG written by the library: 3 x 2 pixels of the opaque background.
    const std::string dir = vt::temp_path("imgdir");
    std::system(("mkdir -p " + dir).c_str());
    vt::TestScene empty;
    ASSERT_EQ(empty.frame((dir + "/bg.png").c_str(), 3, 2, 1.0), 0);
    vokri_scenefile::ParseOptions o;
    o.base_dir = dir;
    Scene s = parse(R"({"width": 4, "height": 4, "scale": 1, "items": [{"kind": "image", "file": "bg.png"}]})", o);
    const VokriImageRecord& r = s.images[0];
    EXPECT_EQ(r.width, 3u);
    EXPECT_EQ(r.height, 2u);
    EXPECT_EQ(r.display_width, 3.0);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(r.pixels[4 * k + 0], 14);
        EXPECT_EQ(r.pixels[4 * k + 1], 17);
        EXPECT_EQ(r.pixels[4 * k + 2], 24);
        EXPECT_EQ(r.pixels[4 * k + 3], 255);
    }
    // A smaller raster than the file is fine, a larger one is not.
    Scene part = parse(R"({"width": 4, "height": 4, "scale": 1,
        "items": [{"kind": "image", "file": "bg.png", "width": 2, "height": 2}]})", o);
    EXPECT_EQ(part.images[0].width, 2u);
    try {
        parse(R"({"width": 4, "height": 4, "scale": 1,
            "items": [{"kind": "image", "file": "bg.png", "width": 4}]})", o);
        ADD_FAILURE() << "no error";
    } catch (const SceneError& e) {
        EXPECT_EQ(e.path(), "items[0].width");
    }
    try {
        parse(R"({"width": 4, "height": 4, "scale": 1, "items": [{"kind": "image", "file": "missing.png"}]})", o);
        ADD_FAILURE() << "no error";
    } catch (const SceneError& e) {
        EXPECT_EQ(e.path(), "items[0].file");
        EXPECT_NE(e.message().find("missing.png"), std::string::npos);
    }
    std::ofstream(dir + "/bad.png") << "not a png";
    EXPECT_THROW(parse(R"({"width": 4, "height": 4, "scale": 1, "items": [{"kind": "image", "file": "bad.png"}]})", o),
                 SceneError);
    std::system(("rm -rf " + dir).c_str());
}

// ---- meshes -------------------------------------------------------------------

// Every triangle faces away from the mesh's centre line: its counter-clockwise
// normal points the way of its vertices' normals.
void expect_outward(const vokri_scenefile::MeshData& m, const char* name) {
    ASSERT_EQ(m.positions.size(), m.normals.size()) << name;
    ASSERT_EQ(m.indices.size() % 3, 0u) << name;
    const size_t vertices = m.positions.size() / 3;
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        const uint32_t a = m.indices[t], b = m.indices[t + 1], c = m.indices[t + 2];
        ASSERT_LT(a, vertices);
        ASSERT_LT(b, vertices);
        ASSERT_LT(c, vertices);
        double e1[3], e2[3], n[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            e1[k] = m.positions[3 * b + k] - m.positions[3 * a + k];
            e2[k] = m.positions[3 * c + k] - m.positions[3 * a + k];
            n[k] = m.normals[3 * a + k] + m.normals[3 * b + k] + m.normals[3 * c + k];
        }
        const double cr[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                              e1[0] * e2[1] - e1[1] * e2[0]};
        const double area2 = std::sqrt(cr[0] * cr[0] + cr[1] * cr[1] + cr[2] * cr[2]);
        ASSERT_GT(area2, 1e-9) << name << ": degenerate triangle " << t / 3;
        EXPECT_GT(cr[0] * n[0] + cr[1] * n[1] + cr[2] * n[2], 0.0) << name << ": triangle " << t / 3;
    }
    for (size_t v = 0; v < vertices; ++v) {
        const double len = std::hypot(m.normals[3 * v], m.normals[3 * v + 1], m.normals[3 * v + 2]);
        EXPECT_NEAR(len, 1.0, 1e-6) << name;
    }
}

TEST(MeshGen, CubeSphereTorusCountsAndWinding) {
    const auto cube = vokri_scenefile::make_cube(2.0);
    EXPECT_EQ(cube.positions.size(), 24u * 3);
    EXPECT_EQ(cube.indices.size(), 36u);
    for (float p : cube.positions) EXPECT_EQ(std::fabs(p), 1.0f);
    expect_outward(cube, "cube");

    const auto sphere = vokri_scenefile::make_uv_sphere(1.5, 12, 6);
    EXPECT_EQ(sphere.positions.size(), 12u * 7 * 3);
    EXPECT_EQ(sphere.indices.size(), 2u * 12 * 5 * 3);
    for (size_t v = 0; v < sphere.positions.size() / 3; ++v)
        EXPECT_NEAR(std::hypot(sphere.positions[3 * v], sphere.positions[3 * v + 1], sphere.positions[3 * v + 2]),
                    1.5, 1e-6);
    expect_outward(sphere, "sphere");

    const auto torus = vokri_scenefile::make_torus(1.0, 0.25, 16, 8);
    EXPECT_EQ(torus.positions.size(), 16u * 8 * 3);
    EXPECT_EQ(torus.indices.size(), 2u * 16 * 8 * 3);
    expect_outward(torus, "torus");
}

TEST(SceneJson, MeshFieldByField) {
    Scene s = one(R"({"kind": "mesh", "eye": [1, 2, 3], "target": [0, 0.5, 0], "up": [0, 0, 1],
        "fov_y": 60, "near": 0.5, "far": 50, "ortho_height": 4, "projection": "orthographic",
        "layers": [
          {"positions": [[0, 0, 0], [1, 0, 0], [0, 1, 0]], "normals": [0, 0, 1, 0, 0, 1, 0, 0, 1],
           "indices": [[0, 1, 2]], "model": [1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1],
           "colour": "#80c0ff80", "opacity": 0.5},
          {"primitive": {"type": "sphere", "radius": 2, "segments": 8, "rings": 4},
           "translate": [1, 2, 3], "scale": 2}]})");
    ASSERT_EQ(s.meshes.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_MESH);
    const VokriMeshRecord& r = s.meshes[0];
    VokriMeshRecord want{};
    want.eye[0] = 1, want.eye[1] = 2, want.eye[2] = 3;
    want.target[1] = 0.5f;
    want.up[2] = 1;
    want.fov_y = 60, want.near = 0.5f, want.far = 50, want.ortho_height = 4;
    want.projection = VOKRI_PROJECTION_ORTHOGRAPHIC;
    want.layers = r.layers;
    want.layer_count = 2;
    EXPECT_TRUE(same_bytes(r, want));

    const VokriMeshLayer& a = r.layers[0];
    VokriMeshLayer wa{};
    wa.vertex_count = 3;
    wa.positions = a.positions;
    wa.normals = a.normals;
    wa.index_count = 3;
    wa.indices = a.indices;
    const float model[16] = {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1};
    std::memcpy(wa.model, model, sizeof model);
    wa.colour = 0x80C0FF80u;
    wa.opacity = 0.5f;
    EXPECT_TRUE(same_bytes(a, wa));
    EXPECT_EQ(a.positions[3], 1.0f);
    EXPECT_EQ(a.normals[8], 1.0f);
    EXPECT_EQ(a.indices[2], 2u);

    const VokriMeshLayer& b = r.layers[1];
    const auto sphere = vokri_scenefile::make_uv_sphere(2, 8, 4);
    EXPECT_EQ(b.vertex_count, sphere.positions.size() / 3);
    EXPECT_EQ(b.index_count, sphere.indices.size());
    EXPECT_EQ(std::memcmp(b.positions, sphere.positions.data(), sphere.positions.size() * 4), 0);
    EXPECT_EQ(std::memcmp(b.indices, sphere.indices.data(), sphere.indices.size() * 4), 0);
    const float scaled[16] = {2, 0, 0, 1, 0, 2, 0, 2, 0, 0, 2, 3, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(b.model, scaled, sizeof scaled), 0);
    EXPECT_EQ(b.colour, 0xFFFFFFFFu);
    EXPECT_EQ(b.opacity, 1.0f);
}

TEST(SceneJson, MeshDefaultsRotationAndErrors) {
    Scene s = one(R"({"kind": "mesh", "layers": [{"primitive": {"type": "cube"}, "rotate": [0, 0, 90]}]})");
    const VokriMeshRecord& r = s.meshes[0];
    EXPECT_EQ(r.eye[2], 5.0f);
    EXPECT_EQ(r.up[1], 1.0f);
    EXPECT_EQ(r.fov_y, 45.0f);
    EXPECT_EQ(r.near, 0.1f);
    EXPECT_EQ(r.far, 100.0f);
    EXPECT_EQ(r.projection, 0u);
    const float* m = r.layers[0].model;  // a quarter turn about z: x goes to y
    EXPECT_NEAR(m[0], 0, 1e-7);
    EXPECT_NEAR(m[1], -1, 1e-7);
    EXPECT_NEAR(m[4], 1, 1e-7);
    EXPECT_NEAR(m[5], 0, 1e-7);
    EXPECT_EQ(m[10], 1.0f);
    EXPECT_EQ(m[15], 1.0f);
    EXPECT_EQ(r.layers[0].vertex_count, 24u);

    Scene none = one(R"({"kind": "mesh"})");
    EXPECT_EQ(none.meshes[0].layers, nullptr);
    EXPECT_EQ(none.meshes[0].layer_count, 0u);
    Scene big = one(R"({"kind": "mesh", "near": 1e300, "layers": [{"opacity": -1e300}]})");
    EXPECT_TRUE(std::isinf(big.meshes[0].near));
    EXPECT_TRUE(std::isinf(big.meshes[0].layers[0].opacity));

    EXPECT_EQ(item_error(R"({"kind": "mesh", "layers": [{"positions": [[0, 0, 0]], "normals": [],
                                                        "vertex_count": 1}]})"),
              "items[0].layers[0].vertex_count: 1 exceeds the 0 vertices (positions and normals) given");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "layers": [{"indices": [[0, 1]]}]})"),
              "items[0].layers[0].indices[0]: expected 3 integers, got 2");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "layers": [{"primitive": {"type": "cone"}}]})"),
              "items[0].layers[0].primitive.type: unknown primitive \"cone\" (expected \"cube\", \"sphere\" or "
              "\"torus\")");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "layers": [{"primitive": {"type": "sphere", "segments": 100000}}]})"),
              "items[0].layers[0].primitive.segments: expected an integer from 3 to 2048, got 100000");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "layers": [{"primitive": {"type": "cube"}, "positions": []}]})"),
              "items[0].layers[0].positions: not allowed together with \"primitive\"");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "layers": [{"model": [], "scale": 2}]})"),
              "items[0].layers[0].scale: not allowed together with \"model\"");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "eye": [0, 0]})"),
              "items[0].eye: expected an array of 3 numbers, got 2 entries");
    EXPECT_EQ(item_error(R"({"kind": "mesh", "projection": "fisheye"})").substr(0, 47),
              "items[0].projection: unknown name \"fisheye\" (ex");
}

// ---- infinite geometry ----------------------------------------------------------

TEST(SceneJson, InfiniteFieldByField) {
    Scene s = one(R"({"kind": "complex_grid", "a0": 0.1, "a1": 0.2, "a2": 0.5, "a3": 0.25, "variant": 4,
        "t": 0.75, "p1": [1, 0], "p2": [0, 1], "p3": [0.5, -0.5], "p4": [2, 0],
        "transform": [1, 0, 0, 1, -1, 1], "colour1": "#ff000080", "colour2": "#00ff00",
        "line_width": 0.02, "opacity": 0.6})");
    ASSERT_EQ(s.infinite.size(), 1u);
    EXPECT_EQ(s.items[0].kind, VOKRI_ITEM_INFINITE);
    const VokriInfiniteGeometryRecord& r = s.infinite[0];
    VokriInfiniteGeometryRecord want{};
    want.geometry_kind = VOKRI_GEOMETRY_COMPLEX_GRID;
    want.a0 = 0.1, want.a1 = 0.2, want.a2 = 0.5, want.a3 = 0.25;
    want.variant = 4;
    want.t = 0.75;
    want.p1[0] = 1;
    want.p2[1] = 1;
    want.p3[0] = 0.5, want.p3[1] = -0.5;
    want.p4[0] = 2;
    const double tr[6] = {1, 0, 0, 1, -1, 1};
    std::memcpy(want.transform, tr, sizeof tr);
    want.colour1 = 0xFF000080u;
    want.colour2 = 0x00FF00FFu;
    want.line_width = 0.02;
    want.opacity = 0.6;
    EXPECT_TRUE(same_bytes(r, want));
}

TEST(SceneJson, InfiniteSubKinds) {
    Scene s = one(R"({"kind": "line", "a2": 1}, {"kind": "grid", "a2": 1, "a3": 1},
        {"kind": "fractal", "variant": "julia", "a0": 100}, {"kind": "fractal", "variant": "mandelbrot"},
        {"kind": "infinite", "geometry_kind": "fractal", "variant": 2},
        {"kind": "infinite", "geometry_kind": 9}, {"kind": "line", "geometry_kind": 0})");
    ASSERT_EQ(s.infinite.size(), 7u);
    const auto& g = s.infinite;
    EXPECT_EQ(g[0].geometry_kind, VOKRI_GEOMETRY_LINE);
    EXPECT_EQ(g[1].geometry_kind, VOKRI_GEOMETRY_LINE_GRID);
    EXPECT_EQ(g[2].geometry_kind, VOKRI_GEOMETRY_FRACTAL);
    EXPECT_EQ(g[2].variant, VOKRI_FRACTAL_JULIA);
    EXPECT_EQ(g[2].a0, 100.0);
    EXPECT_EQ(g[3].variant, VOKRI_FRACTAL_MANDELBROT);
    EXPECT_EQ(g[4].geometry_kind, VOKRI_GEOMETRY_FRACTAL);
    EXPECT_EQ(g[4].variant, 2u);
    EXPECT_EQ(g[5].geometry_kind, 9u);
    for (const auto& r : g) {
        EXPECT_EQ(r.line_width, 0.1);  // one pixel at scale 10
        EXPECT_EQ(r.opacity, 1.0);
        EXPECT_EQ(r.transform[0], 1.0);
        EXPECT_EQ(r.transform[3], 1.0);
    }
    for (size_t i = 0; i < s.items.size(); ++i) {
        EXPECT_EQ(s.items[i].kind, VOKRI_ITEM_INFINITE);
        EXPECT_EQ(s.items[i].index, i);
    }
    EXPECT_EQ(item_error(R"({"kind": "grid", "geometry_kind": 3})"),
              "items[0].geometry_kind: contradicts kind \"grid\" (geometry_kind 1)");
    EXPECT_EQ(item_error(R"({"kind": "line", "p1": [1]})"),
              "items[0].p1: expected an array of 2 numbers, got 1 entries");
    EXPECT_EQ(item_error(R"({"kind": "complex_grid", "variant": "julia"})"),
              "items[0].variant: expected an integer from 0 to 4294967295, got a string");
}

// ---- the binary ---------------------------------------------------------------

struct RunResult {
    int code = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

RunResult run_tool(const std::string& args) {
    const std::string out = vt::temp_path("tool.out"), err = vt::temp_path("tool.err");
    const std::string cmd = std::string("'") + VOKRI_RENDER_TOOL + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

std::string write_scene(const std::string& name, const std::string& text) {
    const std::string path = vt::temp_path(name);
    std::ofstream(path) << text;
    return path;
}

TEST(VokriRender, ExitCodesAndMessages) {
    const std::string empty = write_scene("empty.json", R"({"width": 8, "height": 4, "scale": 1})");
    const std::string png = vt::temp_path("empty.png");
    RunResult ok = run_tool("'" + empty + "' '" + png + "'");
    EXPECT_EQ(ok.code, 0);
    EXPECT_EQ(ok.err, "");
    vt::DecodedPng d = vt::decode_png(vt::read_file(png));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.width, 8u);
    EXPECT_EQ(d.height, 4u);
    EXPECT_EQ(d.rgb[0], 14);
    EXPECT_EQ(d.rgb[1], 17);
    EXPECT_EQ(d.rgb[2], 24);

    RunResult help = run_tool("--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: vokri-render"), std::string::npos);
    EXPECT_EQ(run_tool("").code, 2);
    EXPECT_EQ(run_tool("'" + empty + "'").code, 2);
    EXPECT_EQ(run_tool("--frobnicate '" + empty + "' x.png").code, 2);
    EXPECT_EQ(run_tool("--rgba --rgb '" + empty + "' x").code, 2);
    EXPECT_EQ(run_tool("--pick 1 '" + empty + "'").code, 2);
    EXPECT_EQ(run_tool("--width abc '" + empty + "' x.png").code, 2);

    const std::string bad = write_scene("bad.json", R"({"width": 8, "height": 4, "scale": 1,
        "items": [{"kind": "shape"}, {"kind": "shape", "points": [[0, 0], [1, false]]}]})");
    RunResult b = run_tool("'" + bad + "' '" + png + "'");
    EXPECT_EQ(b.code, 3);
    EXPECT_EQ(b.err, "vokri-render: " + bad + ": items[1].points[1][1]: expected a number, got a boolean\n");

    RunResult missing = run_tool("/nonexistent/scene.json out.png");
    EXPECT_EQ(missing.code, 3);
    EXPECT_EQ(missing.err, "vokri-render: /nonexistent/scene.json: cannot open: No such file or directory\n");
    EXPECT_EQ(run_tool("/tmp out.png").err, "vokri-render: /tmp: is a directory\n");

    // A DrawItem of kind 7 fails inside the library: one line naming the
    // item that failed, exit 1, and no file.
    const std::string kind7 = write_scene("kind7.json", R"({"width": 8, "height": 4, "scale": 1,
        "items": [{"kind": 7, "index": 0}]})");
    const std::string none = vt::temp_path("none.png");
    std::remove(none.c_str());
    RunResult lib = run_tool("'" + kind7 + "' '" + none + "'");
    EXPECT_EQ(lib.code, 1);
    const std::string item = "vokri-render: items[0] (kind 7): InvalidDrawItem\n";
    EXPECT_EQ(lib.err, item);
    EXPECT_TRUE(vt::read_file(none).empty());
    RunResult raw = run_tool("--rgba '" + kind7 + "' -");
    EXPECT_EQ(raw.code, 1);
    EXPECT_EQ(raw.err, item);
    EXPECT_EQ(run_tool("--rgb '" + kind7 + "' -").err, item);
    EXPECT_EQ(run_tool("--pick 0,0 '" + kind7 + "'").err, item);

    // A missing folder is created; one that cannot be is reported.
    const std::string folder = vt::temp_path("made-folder");
    std::filesystem::remove_all(folder);
    EXPECT_EQ(run_tool("'" + empty + "' '" + folder + "/a/out.png'").code, 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/a/out.png"));
    std::filesystem::remove_all(folder);
    RunResult dir = run_tool("'" + empty + "' '" + empty + "/sub/out.png'");
    EXPECT_EQ(dir.code, 5);
    EXPECT_EQ(dir.err, "vokri-render: cannot create the folder " + empty + "/sub: Not a directory\n");

    // A pick outside the canvas names the canvas.
    RunResult outside = run_tool("--pick 8,0 '" + empty + "'");
    EXPECT_EQ(outside.code, 4);
    EXPECT_EQ(outside.err, "vokri-render: pixel (8, 0) is outside the canvas of 8 x 4 pixels (x from 0 to 7, y "
                           "from 0 to 3)\n");

    for (const auto& p : {empty, png, bad, kind7}) std::remove(p.c_str());
}

// What a new user runs into: frame ranges, output names, one-line usage
// errors, picks per frame, and --resume after a hard kill.
TEST(VokriRender, FrameRangesOutputNamesAndResume) {
    const std::string scene = write_scene("ten.json", R"({"width": 4, "height": 4, "scale": 1,
        "animation": {"fps": 10, "frames": 10},
        "items": [{"kind": "shape", "shape_type": "square", "p0": 2, "fill_color": "white", "visible": [0.5, 1]}]})");
    const std::string dir = vt::temp_path("cli-ranges");
    std::filesystem::remove_all(dir);
    RunResult clamped = run_tool("--frames 8:20 '" + scene + "' '" + dir + "/f_%02d.png'");
    EXPECT_EQ(clamped.code, 0) << clamped.err;
    EXPECT_NE(clamped.err.find("the animation has 10 frames, so the range ends at 10"), std::string::npos);
    EXPECT_NE(clamped.err.find("vokri-render: 2 frames in"), std::string::npos);
    RunResult one = run_tool("--frames 5 '" + scene + "' '" + dir + "/g_%d.png'");
    EXPECT_NE(one.err.find("vokri-render: 1 frame in"), std::string::npos) << one.err;
    EXPECT_EQ(run_tool("--frames 0:10:3 '" + scene + "' '" + dir + "/h_%d.png'").code, 0);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"f_08.png", "f_09.png", "g_5.png", "h_0.png", "h_3.png", "h_6.png",
                                               "h_9.png"}));
    EXPECT_EQ(run_tool("--frames 10:12 '" + scene + "' x_%d.png").code, 2);

    // Output names: PNG bytes only into .png unless the format is given.
    RunResult jpg = run_tool("'" + scene + "' '" + dir + "/x_%d.jpg'");
    EXPECT_EQ(jpg.code, 2);
    EXPECT_EQ(std::count(jpg.err.begin(), jpg.err.end(), '\n'), 1) << jpg.err;
    EXPECT_NE(jpg.err.find("--help"), std::string::npos);
    EXPECT_EQ(run_tool("--png --frames 0 '" + scene + "' '" + dir + "/x.jpg'").code, 0);
    EXPECT_EQ(run_tool("--frames 0 '" + scene + "' '" + dir + "/X.PNG'").code, 0);
    EXPECT_EQ(run_tool("--video '" + dir + "/v.avi' '" + scene + "'").code, 2);
    const std::string dashed = dir + "/-odd.json";
    std::filesystem::copy_file(scene, dashed);
    EXPECT_EQ(run_tool("--frames 0 -- '" + dashed + "' '" + dir + "/dash.png'").code, 0);

    // A pick per frame: the square shows from frame 5 on.
    RunResult picks = run_tool("--frames 3:7 --pick 2,2 '" + scene + "'");
    EXPECT_EQ(picks.out, "frame 3: 0\nframe 4: 0\nframe 5: 1\nframe 6: 1\n");

    // A hard kill leaves temporaries; --resume removes those of its own
    // pattern and renders what is missing.
    const std::string stale = dir + "/.f_03.png.tmp.Ab12Cd", other = dir + "/.other.png.tmp.Ab12Cd";
    std::ofstream(stale) << "x";
    std::ofstream(other) << "x";
    RunResult resumed = run_tool("--resume '" + scene + "' '" + dir + "/f_%02d.png'");
    EXPECT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("8 frames in"), std::string::npos) << resumed.err;
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(other));
    std::filesystem::remove_all(dir);
    std::remove(scene.c_str());
}

// A held frame is a copy of the frame before it: every output carries the
// bytes the frame has when it is rendered alone.
TEST(VokriRender, HeldFramesAreCopiesWithTheirOwnBytes) {
    const std::string scene = write_scene("hold.json", R"({"width": 12, "height": 8, "scale": 4,
        "animation": {"fps": 10, "frames": 12},
        "items": [{"kind": "shape", "shape_type": "circle", "p0": 0.6, "fill_color": "white",
                   "transform": [1, 0, 0, 1, {"keys": [[0, -1], [0.3, 0], [0.8, 0], [1.1, 1]]}, 0]}]})");
    const std::string dir = vt::temp_path("cli-hold");
    std::filesystem::remove_all(dir);
    std::string alone_png, alone_raw;
    for (int k = 0; k < 12; ++k) {
        const std::string name = dir + "/alone_" + std::to_string(k) + ".png";
        ASSERT_EQ(run_tool("--frames " + std::to_string(k) + " '" + scene + "' '" + name + "'").code, 0);
        alone_png += slurp(name);
        alone_raw += run_tool("--rgba --frames " + std::to_string(k) + " '" + scene + "' -").out;
    }
    RunResult files = run_tool("--jobs 3 '" + scene + "' '" + dir + "/f_%02d.png'");
    ASSERT_EQ(files.code, 0) << files.err;
    // Frames 4 to 8 hold the circle where frame 3 left it.
    EXPECT_NE(files.err.find("12 frames in"), std::string::npos) << files.err;
    EXPECT_NE(files.err.find(", 5 the same as the frame before"), std::string::npos) << files.err;
    std::string sequence;
    for (int k = 0; k < 12; ++k) sequence += slurp(dir + "/f_" + (k < 10 ? "0" : "") + std::to_string(k) + ".png");
    EXPECT_EQ(sequence, alone_png);
    EXPECT_EQ(run_tool("--jobs 2 '" + scene + "' -").out, alone_png);
    EXPECT_EQ(run_tool("--jobs 2 --rgba '" + scene + "' -").out, alone_raw);
    std::filesystem::remove_all(dir);
    std::remove(scene.c_str());
}

TEST(VokriRender, RawOutputAndPick) {
    const std::string scene = write_scene("raw.json", R"({"width": 5, "height": 3, "scale": 2})");
    RunResult rgba = run_tool("--rgba '" + scene + "' -");
    EXPECT_EQ(rgba.code, 0);
    EXPECT_EQ(rgba.out, std::string(5 * 3 * 4, '\0'));  // transparent black
    RunResult rgb = run_tool("--rgb --width 2 --height 1 '" + scene + "' -");
    EXPECT_EQ(rgb.code, 0);
    EXPECT_EQ(rgb.out, std::string("\x0e\x11\x18\0\x0e\x11\x18\0", 8));
    const std::string file = vt::temp_path("raw.rgba");
    EXPECT_EQ(run_tool("--rgba '" + scene + "' '" + file + "'").code, 0);
    EXPECT_EQ(vt::read_file(file).size(), 60u);
    RunResult pick = run_tool("--pick 4,2 '" + scene + "'");
    EXPECT_EQ(pick.code, 0);
    EXPECT_EQ(pick.out, "0\n");
    std::remove(scene.c_str());
    std::remove(file.c_str());
}

// Renders a scene with the tool and directly through the export with the
// records the parser builds: the same PNG bytes, or the same failure.
void expect_tool_matches_export(const std::string& text, const std::string& name) {
    const std::string scene_path = write_scene(name + ".json", text);
    const std::string tool_png = vt::temp_path(name + "-tool.png"), direct_png = vt::temp_path(name + "-direct.png");
    std::remove(tool_png.c_str());
    std::remove(direct_png.c_str());
    RunResult r = run_tool("'" + scene_path + "' '" + tool_png + "'");

    Scene s = vokri_scenefile::load_scene_file(scene_path);
    vt::StderrCapture capture;
    const int32_t rc = s.frame(direct_png.c_str(), s.width, s.height, s.scale);
    const std::string direct_err = capture.text();
    EXPECT_EQ(r.code, rc) << name;
    EXPECT_EQ(r.err, direct_err) << name;
    const auto a = vt::read_file(tool_png), b = vt::read_file(direct_png);
    EXPECT_EQ(a, b) << name;
    if (rc == 0) {
        EXPECT_FALSE(a.empty()) << name;
    }
    for (const auto& p : {scene_path, tool_png, direct_png}) std::remove(p.c_str());
}

TEST(VokriRender, PngEqualsDirectExportForEveryKind) {
    const std::string head = R"({"width": 48, "height": 32, "scale": 8, "items": [)";
    const std::vector<std::pair<std::string, std::string>> items = {
        {"shape", R"({"kind": "shape", "shape_type": "circle", "p0": 1.5, "fill_color": "#ff8000c0",
                     "stroke_color": "#ffffff", "stroke_width": 0.2})"},
        {"polygon", R"({"kind": "shape", "shape_type": "polygon", "points": [[-2, -1], [2, -1], [0, 1.5]],
                       "fill_color": "#2080ff"})"},
        {"batch", R"({"kind": "batch", "mode": "rectangles", "elements": [[-1, 0, 1, 1], [1, 0, 0.5, 2]],
                     "fill_colors": "#00ff0080", "target_elements": [[0, 1, 1, 1], [2, 1, 1, 1]], "t": 0.5})"},
        {"vector", R"({"kind": "vector", "shapes": [{"segments": [[0, 0, 1, 0, 1, 1, 0, 1], [0, 1, -1, 1, -1, 0, 0, 0]],
                      "fill_color": "#ffff00"}]})"},
        {"morph", R"({"kind": "morph", "t": 0.5, "from": {"shape_type": "circle", "p0": 1, "fill_color": "#ff0000"},
                     "to": {"shape_type": "square", "p0": 2, "fill_color": "#0000ff"}})"},
        {"image", R"({"kind": "image", "width": 2, "height": 2, "pixels": ["#ff0000", "#00ff00", "#0000ff80", "#ffffff"],
                     "display_width": 3, "display_height": 3})"},
        {"mesh", R"({"kind": "mesh", "layers": [{"primitive": {"type": "torus", "segments": 12}, "rotate": [60, 0, 0],
                    "colour": "#ff80c0"}]})"},
        {"line", R"({"kind": "line", "a2": 1, "a3": 0.5, "colour1": "#ffffff", "line_width": 0.1})"},
        {"grid", R"({"kind": "grid", "a2": 0.5, "a3": 0.5, "colour1": "#ffffff40"})"},
        {"fractal", R"({"kind": "fractal", "variant": "mandelbrot", "a0": 64, "a1": 2, "p1": [1, 0],
                       "colour1": "#000000", "colour2": "#3060ff", "transform": [1, 0, 0, 1, 0.5, 0]})"},
        {"complex_grid", R"({"kind": "complex_grid", "a2": 0.25, "a3": 0.25, "variant": 3, "t": 0.5,
                            "colour1": "#ff4040", "colour2": "#40ff40", "line_width": 0.05})"},
    };
    std::string all;
    for (const auto& [name, item] : items) {
        expect_tool_matches_export(head + item + "]}", "match-" + name);
        all += (all.empty() ? "" : ", ") + item;
    }
    expect_tool_matches_export(head + all + "]}", "match-all");
    expect_tool_matches_export(head + "]}", "match-empty");
}

// The shipped scenes: the full one parses with every kind and shape type, and
// the one scripts/showcase.sh renders draws without error.
TEST(VokriRender, ShowcaseScenes) {
    const std::string dir = std::string(VOKRI_SOURCE_DIR) + "/examples/";
    Scene full = vokri_scenefile::load_scene_file(dir + "showcase-full.json");
    EXPECT_EQ(full.width, 1280);
    EXPECT_EQ(full.height, 720);
    std::set<uint32_t> kinds, shape_types, geometry_kinds, batch_modes;
    for (const auto& item : full.items) kinds.insert(item.kind);
    for (const auto& r : full.shapes) shape_types.insert(r.shape_type);
    for (const auto& r : full.infinite) geometry_kinds.insert(r.geometry_kind);
    for (const auto& r : full.batches) batch_modes.insert(r.mode);
    EXPECT_EQ(kinds, (std::set<uint32_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(shape_types, (std::set<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(geometry_kinds, (std::set<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(batch_modes, (std::set<uint32_t>{0, 1, 2}));

    const std::string png = vt::temp_path("showcase.png");
    RunResult r = run_tool("'" + dir + "showcase.json' '" + png + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    vt::DecodedPng d = vt::decode_png(vt::read_file(png));
    EXPECT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.width, 1280u);
    EXPECT_EQ(d.height, 720u);
    std::remove(png.c_str());
}

}  // namespace

#endif  // VOKRI_RENDER_TOOL

// The item that fails is named in one line; a PNG goes to
// standard output with '-'; a failed render leaves no file behind, not even
// a temporary one; option values and duplicate keys are checked.
TEST(VokriRender, FailingItemsOutputsAndChecks) {
    const std::string dir = vt::temp_path("cli-outputs");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string scene = write_scene("second-bad.json", R"({"width": 8, "height": 4, "scale": 1, "items": [
        {"kind": "shape", "shape_type": "circle", "p0": 1, "fill_color": "#ffffff"},
        {"kind": "line", "a2": 1, "colour1": "#ffffff"},
        {"kind": "shape", "shape_type": "polygon", "points": [[0, 0], [1, 1]], "fill_color": "#ff0000"}]})");
    RunResult bad = run_tool("'" + scene + "' '" + dir + "/out.png'");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err, "vokri-render: items[2] (shape): TooFewPoints\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    const std::string good = write_scene("good.json", R"({"width": 8, "height": 4, "scale": 1,
        "items": [{"kind": "shape", "shape_type": "circle", "p0": 1, "fill_color": "#ffffff"}]})");
    RunResult to_stdout = run_tool("'" + good + "' -");
    ASSERT_EQ(to_stdout.code, 0);
    ASSERT_EQ(run_tool("'" + good + "' '" + dir + "/out.png'").code, 0);
    const std::vector<uint8_t> file = vt::read_file(dir + "/out.png");
    EXPECT_EQ(to_stdout.out, std::string(file.begin(), file.end()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    EXPECT_EQ(run_tool("--scale -1 '" + good + "' x.png").code, 2);
    EXPECT_EQ(run_tool("--height 40000 '" + good + "' x.png").code, 2);
    RunResult version = run_tool("--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_NE(version.out.find("ABI 3"), std::string::npos);
    const std::string twice = write_scene("twice.json", R"({"width": 8, "height": 4, "scale": 1,
        "items": [{"kind": "shape", "p0": 1, "p0": 2}]})");
    RunResult dup = run_tool("'" + twice + "' x.png");
    EXPECT_EQ(dup.code, 3);
    EXPECT_EQ(dup.err, "vokri-render: " + twice + ": items[0].p0: duplicate key\n");
    std::filesystem::remove_all(dir);
    for (const auto& p : {scene, good, twice}) std::remove(p.c_str());
}
