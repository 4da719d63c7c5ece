#include "scene_json.h"

#include <cmath>
#include <cstring>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <limits>
#include <numbers>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "animation.h"
#include "colour.h"
#include "f32.h"
#include "dash_fields.h"
#include "json_values.h"
#include "shape_outline.h"
#include "svg_item.h"
#include "tex_item.h"
#include "text_item.h"
#include "mesh_gen.h"
#include "png_read.h"

namespace vokri_scenefile {

SceneError::SceneError(std::string path, std::string message)
    : std::runtime_error(path.empty() ? message : path + ": " + message), path_(std::move(path)), message_(std::move(message)) {}

namespace {

// ---- per-kind builders -----------------------------------------------------

class Builder {
public:
    Builder(Scene& scene, const ParseOptions& options) : s_(scene), options_(options) {}

    void item(const json& v, const std::string& path, size_t position);

private:
    VokriShapeRecord shape(Obj& o);
    void shape_item(Obj& o);
    void batch_item(Obj& o);
    void vector_item(Obj& o);
    VokriVectorShape vector_shape(const json& v, const std::string& path);
    void morph_item(Obj& o);
    void image_item(Obj& o);
    void mesh_item(Obj& o);
    VokriMeshLayer mesh_layer(const json& v, const std::string& path);
    void infinite_item(Obj& o, const std::string& kind);
    // A drawing (text, SVG, dashed strokes) as a vector record.
    void drawing_item(VectorDrawing d);
    VokriVectorShape owned_shape(DrawnShape& d);  // takes the outline
    // The stroke of a shape record's outline, dashed, as a drawing.
    void dashed_shape_stroke(const VokriShapeRecord& r, const DashPattern& dash, const std::string& path);

    // Removes the records the current item pushed.
    void drop_records() {
        for (auto it = pushed_.rbegin(); it != pushed_.rend(); ++it) {
            switch (it->kind) {
            case VOKRI_ITEM_SHAPE: s_.shapes.pop_back(); break;
            case VOKRI_ITEM_BATCH: s_.batches.pop_back(); break;
            case VOKRI_ITEM_VECTOR: s_.vectors.pop_back(); break;
            case VOKRI_ITEM_MORPH: s_.morphs.pop_back(); break;
            case VOKRI_ITEM_IMAGE: s_.images.pop_back(); break;
            case VOKRI_ITEM_MESH: s_.meshes.pop_back(); break;
            default: s_.infinite.pop_back(); break;
            }
        }
        pushed_.clear();
    }

    // Adds a record and the DrawItem that will draw it (an item may push
    // more than one: a dashed shape is its fill and its dashed stroke).
    template <class T>
    uint32_t push(std::vector<T>& records, const T& r, uint32_t kind) {
        if (records.size() >= 0xFFFFFFFFull) fail("items", "too many records");
        records.push_back(r);
        const auto index = static_cast<uint32_t>(records.size() - 1);
        pushed_.push_back(VokriDrawItem{kind, index});
        return index;
    }

    // Colour lists of batches: one colour for every element, or a list.
    const uint32_t* colour_list(Obj& o, const std::string& key, uint32_t count);
    const double* number_list(Obj& o, const std::string& key, uint32_t count);

    Scene& s_;
    const ParseOptions& options_;
    std::vector<VokriDrawItem> pushed_;  // by the item being read
};

constexpr std::initializer_list<const char*> kShapeTypes = {
    "line", "polyline", "polygon", "rectangle", "square", "circle", "ellipse", "arc", "regular_polygon",
    "cubic_bezier"};

VokriShapeRecord Builder::shape(Obj& o) {
    VokriShapeRecord r{};
    r.shape_type = o.enumeration("shape_type", 0, kShapeTypes);
    double* p[8] = {&r.p0, &r.p1, &r.p2, &r.p3, &r.p4, &r.p5, &r.p6, &r.p7};
    static const char* const kNames[8] = {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7"};
    for (int k = 0; k < 8; ++k) *p[k] = o.number(kNames[k], 0.0);
    std::vector<double> points;
    bool have_points = false;
    if (const json* j = o.get("points")) {
        points = read_tuples(*j, o.at("points"), 2, "x, y");
        have_points = true;
    }
    r.point_count = count_field(o, "point_count", points.size() / 2, "points");
    if (have_points) r.points = s_.own(std::move(points));
    o.transform(r.transform);
    r.fill_color = o.colour("fill_color", 0);
    r.fill_enabled = o.flag("fill_enabled", o.has("fill_color") ? 1u : 0u);
    r.stroke_color = o.colour("stroke_color", 0);
    r.stroke_enabled = o.flag("stroke_enabled", o.has("stroke_color") ? 1u : 0u);
    r.stroke_width = o.number("stroke_width", 0.0);
    r.opacity = o.number("opacity", 1.0);
    return r;
}

void Builder::shape_item(Obj& o) {
    VokriShapeRecord r = shape(o);
    const auto dash = read_dash(o);
    if (!dash || !r.stroke_enabled || !(r.stroke_width > 0)) {
        push(s_.shapes, r, VOKRI_ITEM_SHAPE);
        return;
    }
    VokriShapeRecord fill = r;
    fill.stroke_enabled = 0;
    if (fill.fill_enabled) push(s_.shapes, fill, VOKRI_ITEM_SHAPE);
    dashed_shape_stroke(r, *dash, o.path());
}

void Builder::dashed_shape_stroke(const VokriShapeRecord& r, const DashPattern& dash, const std::string& path) {
    DrawnShape stroke;
    if (!shape_outline(r, stroke.outline)) {
        // A shape the renderer refuses: drawn as the record, so that its
        // error reads as it always does.
        push(s_.shapes, r, VOKRI_ITEM_SHAPE);
        return;
    }
    stroke.stroke = true;
    stroke.stroke_color = r.stroke_color;
    stroke.stroke_width = r.stroke_width;
    VectorDrawing d;
    d.opacity = r.opacity;
    d.shapes.push_back(std::move(stroke));
    dash_strokes(d, dash, path);
    drawing_item(std::move(d));
}

VokriVectorShape Builder::owned_shape(DrawnShape& d) {
    VokriVectorShape v{};
    v.segment_count = static_cast<uint32_t>(d.drawn().segments.size());
    v.subpath_count = static_cast<uint32_t>(d.drawn().subpath_ends.size());
    if (d.shared) {
        const Outline& o = s_.keep(std::move(d.shared));
        v.segments = o.segments.data();
        v.subpath_ends = o.subpath_ends.data();
        v.subpath_closed = o.subpath_closed.data();
    } else {
        v.segments = s_.own(std::move(d.outline.segments));
        v.subpath_ends = s_.own(std::move(d.outline.subpath_ends));
        v.subpath_closed = s_.own(std::move(d.outline.subpath_closed));
    }
    v.fill_enabled = d.fill ? 1 : 0;
    v.fill_color = d.fill_color;
    v.stroke_enabled = d.stroke ? 1 : 0;
    v.stroke_color = d.stroke_color;
    v.stroke_width = d.stroke_width;
    v.reveal_order = d.reveal_order;
    return v;
}

void Builder::drawing_item(VectorDrawing d) {
    std::vector<VokriVectorShape> shapes;
    shapes.reserve(d.shapes.size());
    for (DrawnShape& shape : d.shapes)
        if (!shape.drawn().empty()) shapes.push_back(owned_shape(shape));
    VokriVectorRecord r{};
    r.shape_count = static_cast<uint32_t>(shapes.size());
    r.shapes = s_.own(std::move(shapes));
    r.stagger_count = d.stagger_count;
    r.progress = d.progress;
    std::memcpy(r.transform, d.transform, sizeof r.transform);
    r.opacity = d.opacity;
    for (auto& w : d.warnings) s_.warnings.push_back(std::move(w));
    push(s_.vectors, r, VOKRI_ITEM_VECTOR);
}

const uint32_t* Builder::colour_list(Obj& o, const std::string& key, uint32_t count) {
    const json* j = o.get(key);
    if (!j) return nullptr;
    const std::string path = o.at(key);
    std::vector<uint32_t> out;
    if (j->is_array()) {
        if (j->size() < count)
            fail(path, "has " + std::to_string(j->size()) + " entries but count is " + std::to_string(count));
        for (size_t i = 0; i < j->size(); ++i) out.push_back(read_colour((*j)[i], index_path(path, i)));
    } else {
        out.assign(count, read_colour(*j, path));
    }
    return s_.own(std::move(out));
}

const double* Builder::number_list(Obj& o, const std::string& key, uint32_t count) {
    const json* j = o.get(key);
    if (!j) return nullptr;
    const std::string path = o.at(key);
    std::vector<double> out;
    if (j->is_array()) {
        if (j->size() < count)
            fail(path, "has " + std::to_string(j->size()) + " entries but count is " + std::to_string(count));
        for (size_t i = 0; i < j->size(); ++i) out.push_back(read_number((*j)[i], index_path(path, i)));
    } else {
        out.assign(count, read_number(*j, path));
    }
    return s_.own(std::move(out));
}

void Builder::batch_item(Obj& o) {
    VokriBatchRecord r{};
    r.mode = o.enumeration("mode", 0, {"segments", "circles", "rectangles"});
    const size_t k = r.mode == VOKRI_BATCH_CIRCLES ? 3 : 4;
    const char* what = r.mode == VOKRI_BATCH_SEGMENTS  ? "x0, y0, x1, y1"
                       : r.mode == VOKRI_BATCH_CIRCLES ? "cx, cy, r"
                                                       : "cx, cy, w, h";
    std::vector<double> elements, targets;
    bool have_elements = false, have_targets = false;
    if (const json* j = o.get("elements")) {
        elements = read_tuples(*j, o.at("elements"), k, what);
        have_elements = true;
    }
    r.count = count_field(o, "count", elements.size() / k, "elements");
    if (const json* j = o.get("target_elements")) {
        targets = read_tuples(*j, o.at("target_elements"), k, what);
        have_targets = true;
        if (targets.size() / k < r.count)
            fail(o.at("target_elements"), "has " + std::to_string(targets.size() / k) +
                                              " elements but count is " + std::to_string(r.count));
    }
    if (have_elements) r.elements = s_.own(std::move(elements));
    if (have_targets) r.target_elements = s_.own(std::move(targets));
    r.fill_colors = colour_list(o, "fill_colors", r.count);
    r.stroke_colors = colour_list(o, "stroke_colors", r.count);
    r.stroke_widths = number_list(o, "stroke_widths", r.count);
    r.target_fill_colors = colour_list(o, "target_fill_colors", r.count);
    r.target_stroke_colors = colour_list(o, "target_stroke_colors", r.count);
    r.target_stroke_widths = number_list(o, "target_stroke_widths", r.count);
    r.t = o.number("t", 0.0);
    o.transform(r.transform);
    r.opacity = o.number("opacity", 1.0);
    push(s_.batches, r, VOKRI_ITEM_BATCH);
}

VokriVectorShape Builder::vector_shape(const json& v, const std::string& path) {
    Obj o(v, path);
    VokriVectorShape r{};
    std::vector<VokriCubicSegment> segments;
    bool have_segments = false;
    if (const json* j = o.get("segments")) {
        const std::vector<double> flat = read_tuples(*j, o.at("segments"), 8, "x0, y0, x1, y1, x2, y2, x3, y3");
        segments.resize(flat.size() / 8);
        static_assert(sizeof(VokriCubicSegment) == 8 * sizeof(double));
        if (!flat.empty()) std::memcpy(segments.data(), flat.data(), flat.size() * sizeof(double));
        have_segments = true;
    }
    r.segment_count = count_field(o, "segment_count", segments.size(), "segments");
    if (have_segments) r.segments = s_.own(std::move(segments));

    std::vector<uint32_t> ends;
    if (const json* j = o.get("subpath_ends")) {
        ends = read_u32_tuples(*j, o.at("subpath_ends"), 1);
    } else if (have_segments) {
        ends.push_back(r.segment_count);  // one subpath holding every segment
    }
    r.subpath_count = count_field(o, "subpath_count", ends.size(), "subpath ends");
    if (have_segments || o.has("subpath_ends")) r.subpath_ends = s_.own(std::move(ends));

    std::vector<uint8_t> closed;
    if (const json* j = o.get("subpath_closed")) {
        const std::string p = o.at("subpath_closed");
        if (j->is_array()) {
            if (j->size() < r.subpath_count)
                fail(p, "has " + std::to_string(j->size()) + " entries but there are " +
                            std::to_string(r.subpath_count) + " subpaths");
            for (size_t i = 0; i < j->size(); ++i)
                closed.push_back(read_flag((*j)[i], index_path(p, i)) != 0 ? 1 : 0);
        } else {
            closed.assign(r.subpath_count, read_flag(*j, p) != 0 ? 1 : 0);
        }
        r.subpath_closed = s_.own(std::move(closed));
    } else if (r.subpath_ends) {
        closed.assign(r.subpath_count, 1);  // closed unless told otherwise
        r.subpath_closed = s_.own(std::move(closed));
    }
    r.fill_color = o.colour("fill_color", 0);
    r.fill_enabled = o.flag("fill_enabled", o.has("fill_color") ? 1u : 0u);
    r.stroke_color = o.colour("stroke_color", 0);
    r.stroke_enabled = o.flag("stroke_enabled", o.has("stroke_color") ? 1u : 0u);
    r.stroke_width = o.number("stroke_width", 0.0);
    r.reveal_order = o.u32("reveal_order", 0);
    o.finish();
    return r;
}

// Whether every shape of the record makes a valid outline (else the record
// goes to the renderer as it is, and fails there as it always does).
bool dashable(const VokriVectorRecord& r) {
    for (uint32_t i = 0; i < r.shape_count; ++i)
        if (!drawn_shape(r.shapes[i])) return false;
    return true;
}

void Builder::vector_item(Obj& o) {
    VokriVectorRecord r{};
    std::vector<VokriVectorShape> shapes;
    bool have_shapes = false;
    if (const json* j = o.get("shapes")) {
        const std::string p = o.at("shapes");
        read_array(*j, p);
        for (size_t i = 0; i < j->size(); ++i) shapes.push_back(vector_shape((*j)[i], index_path(p, i)));
        have_shapes = true;
    }
    r.shape_count = count_field(o, "shape_count", shapes.size(), "shapes");
    if (have_shapes) r.shapes = s_.own(std::move(shapes));
    r.stagger_count = o.u32("stagger_count", 0);
    r.progress = o.number("progress", 1.0);
    o.transform(r.transform);
    r.opacity = o.number("opacity", 1.0);
    if (const auto dash = read_dash(o); dash && r.shapes && dashable(r)) {
        VectorDrawing d;
        for (uint32_t i = 0; i < r.shape_count; ++i) d.shapes.push_back(*drawn_shape(r.shapes[i]));
        d.stagger_count = r.stagger_count;
        d.progress = r.progress;
        std::memcpy(d.transform, r.transform, sizeof d.transform);
        d.opacity = r.opacity;
        dash_strokes(d, *dash, o.path());
        drawing_item(std::move(d));
        return;
    }
    push(s_.vectors, r, VOKRI_ITEM_VECTOR);
}

void Builder::morph_item(Obj& o) {
    VokriMorphRecord r{};
    for (const char* key : {"from", "to"}) {
        Obj side(o.required(key), o.at(key));
        (std::strcmp(key, "from") == 0 ? r.from : r.to) = shape(side);
        side.finish();
    }
    r.t = o.number("t", 0.0);
    push(s_.morphs, r, VOKRI_ITEM_MORPH);
}

// Inline pixels: an array of colours, or a string of 8 hex digits per pixel
// (RRGGBBAA), whitespace ignored.
std::vector<uint8_t> inline_pixels(const json& v, const std::string& path) {
    std::vector<uint8_t> out;
    auto put = [&out](uint32_t c) {
        out.push_back(static_cast<uint8_t>(c >> 24));
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    };
    if (v.is_array()) {
        for (size_t i = 0; i < v.size(); ++i) put(read_colour(v[i], index_path(path, i)));
    } else if (v.is_string()) {
        const auto& s = v.get_ref<const std::string&>();
        int nibbles = 0;
        uint32_t acc = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            const char ch = s[i];
            if (ch == ' ' || ch == '\n' || ch == '\t' || ch == '\r') continue;
            int d;
            if (ch >= '0' && ch <= '9') d = ch - '0';
            else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
            else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
            else fail(path, "character " + std::to_string(i) + " is not a hex digit");
            acc = acc << 4 | static_cast<uint32_t>(d);
            if (++nibbles == 8) {
                put(acc);
                nibbles = 0;
                acc = 0;
            }
        }
        if (nibbles != 0) fail(path, "the hex digits do not make whole pixels (8 digits, RRGGBBAA, per pixel)");
    } else {
        expected(path, "an array of colours or a string of hex digits", v);
    }
    return out;
}

void Builder::image_item(Obj& o) {
    VokriImageRecord r{};
    std::vector<uint8_t> pixels;
    uint64_t available = 0;
    bool have_pixels = false;
    uint32_t natural_w = 0, natural_h = 0;
    const bool has_file = o.has("file"), has_inline = o.has("pixels");
    if (has_file && has_inline) fail(o.at("pixels"), "give either \"file\" or \"pixels\", not both");
    if (const json* j = o.get("file")) {
        if (!j->is_string()) expected(o.at("file"), "a file path string", *j);
        std::filesystem::path file = j->get<std::string>();
        if (file.is_relative() && !options_.base_dir.empty()) file = options_.base_dir / file;
        std::string error;
        const auto raster = options_.images ? options_.images->get(file.string(), kMaxRasterPixels, error)
                                            : read_png_shared(file.string(), kMaxRasterPixels, error);
        if (!raster) fail(o.at("file"), file.string() + ": " + error);
        natural_w = raster->width;
        natural_h = raster->height;
        available = raster->rgba.size() / 4;
        r.pixels = s_.share(raster);
    }
    if (const json* j = o.get("pixels")) {
        pixels = inline_pixels(*j, o.at("pixels"));
        available = pixels.size() / 4;
        have_pixels = true;
    }
    if (has_file) {
        r.width = o.u32("width", natural_w);
        r.height = o.u32("height", natural_h);
    } else {
        r.width = o.u32("width", 0);
        r.height = o.u32("height", 0);
        if (has_inline && !o.has("width")) fail(o.at("width"), "missing (required with inline pixels)");
        if (has_inline && !o.has("height")) fail(o.at("height"), "missing (required with inline pixels)");
    }
    const uint64_t claimed = uint64_t{r.width} * uint64_t{r.height};
    if (claimed > available)
        fail(o.at(has_file ? "width" : "pixels"),
             "width x height = " + std::to_string(claimed) + " pixels, but " + std::to_string(available) +
                 " are given");
    if (have_pixels) r.pixels = s_.own(std::move(pixels));
    r.display_width = o.number("display_width", static_cast<double>(r.width));
    r.display_height = o.number("display_height", static_cast<double>(r.height));
    o.transform(r.transform);
    r.opacity = o.number("opacity", 1.0);
    push(s_.images, r, VOKRI_ITEM_IMAGE);
}

// The model matrix of a layer's translate, rotate and scale fields.
void read_model(Obj& o, float model[16]) {
    double t[3] = {0, 0, 0}, rot[3] = {0, 0, 0}, sc[3] = {1, 1, 1};
    o.numbers("translate", t, 3);
    o.numbers("rotate", rot, 3);
    if (const json* j = o.get("scale")) {
        if (j->is_array()) {
            read_numbers(*j, o.at("scale"), sc, 3);
        } else {
            sc[0] = sc[1] = sc[2] = read_number(*j, o.at("scale"));
        }
    }
    compose_model(t, rot, sc, model);
}

uint32_t divisions(Obj& o, const std::string& key, uint32_t fallback) {
    const json* j = o.get(key);
    if (!j) return fallback;
    return static_cast<uint32_t>(read_integer(*j, o.at(key), 3, kMaxPrimitiveDivisions));
}

}  // namespace

MeshData read_primitive(const json& v, const std::string& path) {
    Obj p(v, path);
    const std::string type = [&] {
        const json& t = p.required("type");
        if (!t.is_string()) expected(p.at("type"), "\"cube\", \"sphere\" or \"torus\"", t);
        return t.get<std::string>();
    }();
    MeshData m;
    if (type == "cube") {
        m = make_cube(p.number("size", 1.0));
    } else if (type == "sphere") {
        const double radius = p.number("radius", 1.0);
        const uint32_t segments = divisions(p, "segments", 32);
        const json* rj = p.get("rings");
        const uint32_t rings =
            rj ? static_cast<uint32_t>(read_integer(*rj, p.at("rings"), 2, kMaxPrimitiveDivisions)) : 16;
        m = make_uv_sphere(radius, segments, rings);
    } else if (type == "torus") {
        const double major = p.number("major_radius", 1.0);
        const double minor = p.number("minor_radius", 0.25);
        const uint32_t segments = divisions(p, "segments", 48);
        const uint32_t sides = divisions(p, "sides", std::max<uint32_t>(3, segments / 2));
        m = make_torus(major, minor, segments, sides);
    } else {
        fail(p.at("type"), "unknown primitive \"" + type + "\" (expected \"cube\", \"sphere\" or \"torus\")");
    }
    p.finish();
    return m;
}

namespace {

VokriMeshLayer Builder::mesh_layer(const json& v, const std::string& path) {
    Obj o(v, path);
    VokriMeshLayer r{};
    std::vector<float> positions, normals;
    std::vector<uint32_t> indices;
    bool have_p = false, have_n = false, have_i = false;
    if (const json* prim = o.get("primitive")) {
        for (const char* key : {"positions", "normals", "indices"})
            if (o.has(key)) fail(o.at(key), "not allowed together with \"primitive\"");
        MeshData m = read_primitive(*prim, o.at("primitive"));
        positions = std::move(m.positions);
        normals = std::move(m.normals);
        indices = std::move(m.indices);
        have_p = have_n = have_i = true;
    } else {
        auto floats = [&](const char* key, std::vector<float>& out, bool& have) {
            if (const json* j = o.get(key)) {
                for (double d : read_tuples(*j, o.at(key), 3, "x, y, z")) out.push_back(to_f32(d));
                have = true;
            }
        };
        floats("positions", positions, have_p);
        floats("normals", normals, have_n);
        if (const json* j = o.get("indices")) {
            indices = read_u32_tuples(*j, o.at("indices"), 3);
            have_i = true;
        }
    }
    // The library reads vertex_count entries of both positions and normals.
    const size_t vertices = have_n ? std::min(positions.size(), normals.size()) / 3 : positions.size() / 3;
    r.vertex_count = count_field(o, "vertex_count", vertices, have_n ? "vertices (positions and normals)" : "vertices");
    r.index_count = count_field(o, "index_count", indices.size(), "indices");
    if (have_p) r.positions = s_.own(std::move(positions));
    if (have_n) r.normals = s_.own(std::move(normals));
    if (have_i) r.indices = s_.own(std::move(indices));

    if (o.has("model")) {
        for (const char* key : {"translate", "rotate", "scale"})
            if (o.has(key)) fail(o.at(key), "not allowed together with \"model\"");
        o.floats("model", r.model, 16);
    } else {
        read_model(o, r.model);
    }
    r.colour = o.colour("colour", 0xFFFFFFFFu);
    r.opacity = to_f32(o.number("opacity", 1.0));
    o.finish();
    return r;
}

void Builder::mesh_item(Obj& o) {
    VokriMeshRecord r{};
    r.eye[2] = 5.0f;
    r.up[1] = 1.0f;
    r.fov_y = 45.0f;
    r.near = 0.1f;
    r.far = 100.0f;
    r.ortho_height = 2.0f;
    o.floats("eye", r.eye, 3);
    o.floats("target", r.target, 3);
    o.floats("up", r.up, 3);
    r.fov_y = to_f32(o.number("fov_y", r.fov_y));
    r.near = to_f32(o.number("near", r.near));
    r.far = to_f32(o.number("far", r.far));
    r.ortho_height = to_f32(o.number("ortho_height", r.ortho_height));
    r.projection = o.enumeration("projection", 0, {"perspective", "orthographic"});
    std::vector<VokriMeshLayer> layers;
    bool have_layers = false;
    if (const json* j = o.get("layers")) {
        const std::string p = o.at("layers");
        read_array(*j, p);
        for (size_t i = 0; i < j->size(); ++i) layers.push_back(mesh_layer((*j)[i], index_path(p, i)));
        have_layers = true;
    }
    r.layer_count = count_field(o, "layer_count", layers.size(), "layers");
    if (have_layers) r.layers = s_.own(std::move(layers));
    push(s_.meshes, r, VOKRI_ITEM_MESH);
}

void Builder::infinite_item(Obj& o, const std::string& kind) {
    VokriInfiniteGeometryRecord r{};
    uint32_t implied = 0;
    bool fixed = true;
    if (kind == "line") implied = VOKRI_GEOMETRY_LINE;
    else if (kind == "grid") implied = VOKRI_GEOMETRY_LINE_GRID;
    else if (kind == "complex_grid") implied = VOKRI_GEOMETRY_COMPLEX_GRID;
    else if (kind == "fractal") implied = VOKRI_GEOMETRY_FRACTAL;
    else fixed = false;  // "infinite": geometry_kind given explicitly
    if (fixed) {
        r.geometry_kind = implied;
        if (const json* j = o.get("geometry_kind")) {
            if (read_u32(*j, o.at("geometry_kind")) != implied)
                fail(o.at("geometry_kind"), "contradicts kind \"" + kind + "\" (geometry_kind " +
                                                std::to_string(implied) + ")");
        }
    } else {
        r.geometry_kind = o.enumeration("geometry_kind", 0, {"line", "grid", "complex_grid", "fractal"});
    }
    r.a0 = o.number("a0", 0.0);
    r.a1 = o.number("a1", 0.0);
    r.a2 = o.number("a2", 0.0);
    r.a3 = o.number("a3", 0.0);
    if (r.geometry_kind == VOKRI_GEOMETRY_FRACTAL)
        r.variant = o.enumeration("variant", 0, {"none", "mandelbrot", "julia"});
    else
        r.variant = o.u32("variant", 0);
    r.t = o.number("t", 0.0);
    o.numbers("p1", r.p1, 2);
    o.numbers("p2", r.p2, 2);
    o.numbers("p3", r.p3, 2);
    o.numbers("p4", r.p4, 2);
    o.transform(r.transform);
    r.colour1 = o.colour("colour1", 0);
    r.colour2 = o.colour("colour2", 0);
    r.line_width = o.number("line_width", 1.0 / s_.scale);  // one pixel wide
    r.opacity = o.number("opacity", 1.0);
    push(s_.infinite, r, VOKRI_ITEM_INFINITE);
}

void Builder::item(const json& v, const std::string& path, size_t position) {
    Obj o(v, path);
    const json& k = o.required("kind");
    int32_t id = position < 0x7FFFFFFF ? static_cast<int32_t>(position + 1) : 0;
    if (const json* j = o.get("id")) id = static_cast<int32_t>(read_integer(*j, o.at("id"), INT32_MIN, INT32_MAX));
    pushed_.clear();
    const size_t warnings_before = s_.warnings.size();
    std::string kind_name;
    if (k.is_number()) {
        // A raw DrawItem: kind and index as given, no record of its own.
        const uint32_t kind = read_u32(k, o.at("kind"));
        pushed_.push_back(VokriDrawItem{kind, o.u32("index", 0)});
        kind_name = "kind " + std::to_string(kind);
    } else if (k.is_string()) {
        const std::string kind = k.get<std::string>();
        if (kind == "shape") shape_item(o);
        else if (kind == "batch") batch_item(o);
        else if (kind == "vector") vector_item(o);
        else if (kind == "morph") morph_item(o);
        else if (kind == "image") image_item(o);
        else if (kind == "mesh") mesh_item(o);
        else if (kind == "line" || kind == "grid" || kind == "complex_grid" || kind == "fractal" ||
                 kind == "infinite")
            infinite_item(o, kind);
        else if (kind == "text")
            for (VectorDrawing& d : read_text_item(o, options_, options_.text_per_glyph)) drawing_item(std::move(d));
        else if (kind == "svg") drawing_item(read_svg_item(o, options_));
        else if (kind == "tex") drawing_item(read_tex_item(o));
        else
            fail(o.at("kind"), "unknown kind \"" + kind +
                                   "\" (expected shape, batch, vector, morph, image, mesh, line, grid, "
                                   "complex_grid, fractal, infinite, text, svg, tex or an integer)");
        kind_name = kind;
    } else {
        expected(o.at("kind"), "a kind name or an integer", k);
    }
    const bool visible = visible_now(o);
    o.finish();
    if (!visible) {
        // Read and checked all the same, but it leaves no record: records
        // are numbered among the items drawn.
        if (k.is_string()) drop_records();
        s_.warnings.resize(warnings_before);  // a hidden item draws nothing to warn about
        return;
    }
    for (const VokriDrawItem& d : pushed_) {
        s_.items.push_back(d);
        s_.ids.push_back(id);
        s_.sources.push_back(static_cast<uint32_t>(position));
        s_.kinds.push_back(s_.name(kind_name));
    }
}


// Rejects documents nested deeper than the format ever needs before the JSON
// parser sees them.
void check_nesting(const std::string& text) {
    int depth = 0;
    bool in_string = false;
    size_t line = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
            continue;
        }
        if (c == '"') in_string = true;
        else if (c == '[' || c == '{') {
            if (++depth > kMaxNestingDepth)
                fail("", "nested deeper than " + std::to_string(kMaxNestingDepth) + " levels at line " +
                                       std::to_string(line));
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

// Follows the parser through the document and rejects an object that names
// one key twice (the parser would keep the last value silently): the second
// occurrence is almost always a mistake in a hand-written scene.
class DuplicateKeyCheck {
public:
    bool operator()(int, json::parse_event_t event, json& parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            frames_.push_back(Frame{event == json::parse_event_t::object_start, {}, element_path(), 0});
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            frames_.pop_back();
            break;
        case json::parse_event_t::key: {
            Frame& f = frames_.back();
            const std::string& key = parsed.get_ref<const std::string&>();
            if (!f.keys.insert(key).second) fail(member_path(f.path, key), "duplicate key");
            key_ = key;
            break;
        }
        case json::parse_event_t::value:
            if (!frames_.empty() && !frames_.back().object) ++frames_.back().elements;
            break;
        }
        return true;
    }

private:
    struct Frame {
        bool object;
        std::set<std::string> keys;
        std::string path;
        size_t elements;  // arrays: elements seen so far
    };
    // The path of the value that starts now.
    std::string element_path() {
        if (frames_.empty()) return "";
        Frame& f = frames_.back();
        if (f.object) return member_path(f.path, key_);
        return index_path(f.path, f.elements++);
    }
    std::vector<Frame> frames_;
    std::string key_;
};

}  // namespace

std::optional<uint32_t> parse_colour(const json& v) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<uint64_t>();
        if (u <= 0xFFFFFFFFull) return static_cast<uint32_t>(u);
        return std::nullopt;
    }
    if (v.is_number_integer()) {
        const auto i = v.get<int64_t>();
        if (i >= 0 && i <= 0xFFFFFFFFll) return static_cast<uint32_t>(i);
        return std::nullopt;
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (d >= 0 && d <= 4294967295.0 && std::trunc(d) == d) return static_cast<uint32_t>(d);
        return std::nullopt;
    }
    if (!v.is_string()) return std::nullopt;
    return parse_colour_text(v.get_ref<const std::string&>());
}

Animation read_animation(const json& doc) {
    Animation a;
    if (!doc.is_object() || !doc.contains("animation")) return a;
    Obj o(doc["animation"], "animation");
    a.animated = true;
    const json& fps = o.required("fps");
    if (!fps.is_number() || !(fps.get<double>() > 0) || !std::isfinite(fps.get<double>()))
        fail(o.at("fps"), "expected a frame rate above 0 (frames per second)");
    a.fps = fps.get<double>();
    const json* frames = o.get("frames");
    const json* duration = o.get("duration");
    if (frames && duration) fail(o.at("frames"), "give either \"frames\" or \"duration\", not both");
    if (frames) {
        a.frame_count = read_integer(*frames, o.at("frames"), 1, kMaxFrames);
    } else if (duration) {
        if (!duration->is_number() || !(duration->get<double>() > 0))
            fail(o.at("duration"), "expected a duration above 0 (seconds)");
        const double n = std::round(duration->get<double>() * a.fps);
        if (!(n <= static_cast<double>(kMaxFrames)))
            fail(o.at("duration"), "more than " + std::to_string(kMaxFrames) + " frames");
        a.frame_count = std::max<int64_t>(1, static_cast<int64_t>(n));
    } else {
        fail(o.at("frames"), "missing (give \"frames\" or \"duration\")");
    }
    o.finish();
    return a;
}

Scene build_scene(const json& doc, const ParseOptions& options, double time) {
    const ReadingAt reading_at(time);
    Scene scene;
    Obj top(doc, "");
    if (top.get("animation")) read_animation(doc);
    const auto canvas_side = [&](const char* key, const std::optional<int64_t>& override_value) -> int32_t {
        if (override_value) {
            if (*override_value < 1 || *override_value > kMaxCanvasSide)
                fail(std::string("--") + key, "expected an integer from 1 to " + std::to_string(kMaxCanvasSide));
            top.get(key);
            return static_cast<int32_t>(*override_value);
        }
        return static_cast<int32_t>(read_integer(top.required(key), top.at(key), 1, kMaxCanvasSide));
    };
    scene.width = canvas_side("width", options.width);
    scene.height = canvas_side("height", options.height);
    if (int64_t{scene.width} * scene.height > kMaxCanvasPixels)
        fail(options.height ? "--height" : "height",
             "a canvas of " + std::to_string(scene.width) + " x " + std::to_string(scene.height) +
                 " pixels is larger than the limit of " + std::to_string(kMaxCanvasPixels) + " pixels");
    if (options.scale) {
        scene.scale = *options.scale;
        top.get("scale");
        if (!(std::isfinite(scene.scale) && scene.scale > 0)) fail("--scale", "expected a finite number above 0");
    } else {
        scene.scale = read_number(top.required("scale"), "scale");
        if (!(std::isfinite(scene.scale) && scene.scale > 0)) fail("scale", "expected a finite number above 0");
    }
    Builder builder(scene, options);
    if (const json* items = top.get("items")) {
        read_array(*items, "items");
        for (size_t i = 0; i < items->size(); ++i) builder.item((*items)[i], index_path("items", i), i);
        if (scene.items.size() > 0xFFFFFFFFull) fail("items", "more items than a u32 count can hold");
    }
    top.finish();
    return scene;
}

namespace {

}  // namespace

json parse_json_text(const std::string& text) {
    check_nesting(text);
    json doc;
    try {
        doc = json::parse(text, DuplicateKeyCheck{});
    } catch (const json::exception& e) {
        // A syntax error, or a number beyond the range of a double
        // ("number overflow parsing '1e400'").
        std::string what = e.what();
        // Drop the library's "[json.exception.parse_error.101] " tag.
        if (auto pos = what.find("] "); what.starts_with("[json.exception") && pos != std::string::npos)
            what = what.substr(pos + 2);
        fail("", what);
    }
    return doc;
}

namespace {

Scene build_checked(const json& doc, const ParseOptions& options, double time) {
    try {
        return build_scene(doc, options, time);
    } catch (const json::exception& e) {
        // Every access is checked above; this only guards against an oversight.
        fail("(document)", std::string("unexpected JSON error: ") + e.what());
    }
}

std::string read_scene_text(const std::filesystem::path& file, ParseOptions& options) {
    std::string text;
    if (file == "-") {
        std::ostringstream s;
        s << std::cin.rdbuf();
        text = s.str();
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec)) fail("", "is a directory");
        errno = 0;
        std::ifstream in(file, std::ios::binary);
        if (!in) fail("", std::string("cannot open: ") + (errno ? std::strerror(errno) : "unknown error"));
        std::ostringstream s;
        s << in.rdbuf();
        if (in.bad()) fail("", "read error");
        text = s.str();
        if (options.base_dir.empty()) options.base_dir = file.parent_path();
    }
    return text;
}

}  // namespace

Scene parse_scene_text(const std::string& text, const ParseOptions& options) {
    return build_checked(parse_json_text(text), options, 0.0);
}

Scene load_scene_file(const std::filesystem::path& file, ParseOptions options) {
    const std::string text = read_scene_text(file, options);
    return parse_scene_text(text, options);
}

SceneDocument SceneDocument::parse(const std::string& text, ParseOptions options) {
    SceneDocument d;
    d.doc_ = std::make_shared<const json>(parse_json_text(text));
    d.animation_ = read_animation(*d.doc_);
    if (!options.images) options.images = std::make_shared<RasterCache>();
    d.options_ = std::move(options);
    return d;
}

SceneDocument SceneDocument::load(const std::filesystem::path& file, ParseOptions options) {
    const std::string text = read_scene_text(file, options);
    return parse(text, std::move(options));
}

Scene SceneDocument::frame(int64_t k) const { return build_checked(*doc_, options_, animation_.time_of(k)); }

}  // namespace vokri_scenefile
