#include "support/samples.h"

#include <cmath>

namespace vt {

namespace {

void identity(double* t) {
    t[0] = 1, t[1] = 0, t[2] = 0, t[3] = 1, t[4] = 0, t[5] = 0;
}

void place(double* t, double x, double y, double angle = 0, double k = 1) {
    t[0] = k * std::cos(angle), t[1] = -k * std::sin(angle);
    t[2] = k * std::sin(angle), t[3] = k * std::cos(angle);
    t[4] = x, t[5] = y;
}

Sample named(const char* name) {
    Sample s;
    s.name = name;
    return s;
}

// ---- shapes ----------------------------------------------------------------

void add_shapes(Sample& s) {
    auto& sc = s.scene;
    VokriShapeRecord line = stroked(shape(VOKRI_SHAPE_LINE), 0xFFD040FFu, 0.15);
    line.p0 = -3, line.p1 = -2, line.p2 = 3, line.p3 = 2.2;
    sc.add(line, 1);

    std::vector<double> zigzag = {-2.8, 1.5, -2.2, 2.1, -1.6, 1.4, -1.0, 2.2, -0.4, 1.3};
    VokriShapeRecord poly = stroked(shape(VOKRI_SHAPE_POLYLINE), 0x40A0FFFFu, 0.12);
    poly.points = s.keep(zigzag);
    poly.point_count = 5;
    sc.add(poly, 2);

    std::vector<double> star;
    for (int i = 0; i < 10; ++i) {
        double r = i % 2 ? 0.45 : 1.0, a = i * 0.6283185307179586;
        star.push_back(r * std::cos(a));
        star.push_back(r * std::sin(a));
    }
    VokriShapeRecord polygon = stroked(filled(shape(VOKRI_SHAPE_POLYGON), 0xE04060C0u), 0xFFFFFFFFu, 0.05);
    polygon.points = s.keep(star);
    polygon.point_count = 10;
    place(polygon.transform, 1.6, 1.0, 0.3);
    sc.add(polygon, 3);

    sc.add(rect(-1.5, -1.0, 1.4, 0.8, 0x30C060FFu), 4);

    VokriShapeRecord square = stroked(filled(shape(VOKRI_SHAPE_SQUARE), 0x8080FF80u), 0x000000FFu, 0.1);
    square.p0 = 1.1;
    place(square.transform, 0.2, -0.3, 0.5);
    square.opacity = 0.7;
    sc.add(square, 5);

    VokriShapeRecord circle = filled(shape(VOKRI_SHAPE_CIRCLE), 0xFF8000FFu);
    circle.p0 = 0.6;
    place(circle.transform, 2.2, -1.4);
    sc.add(circle, 6);

    VokriShapeRecord ellipse = stroked(filled(shape(VOKRI_SHAPE_ELLIPSE), 0x20F0F0A0u), 0xF0F020FFu, 0.08);
    ellipse.p0 = 1.2, ellipse.p1 = 0.5;
    place(ellipse.transform, -1.0, 0.6, -0.4);
    sc.add(ellipse, 7);

    VokriShapeRecord arc = stroked(shape(VOKRI_SHAPE_ARC), 0xFF00FFFFu, 0.2);
    arc.p0 = 0.9, arc.p1 = 0.3, arc.p2 = 4.0;
    place(arc.transform, -2.0, -1.2);
    sc.add(arc, 8);

    VokriShapeRecord hexagon = stroked(filled(shape(VOKRI_SHAPE_REGULAR_POLYGON), 0x6060A0FFu), 0xA0A0FFFFu, 0.06);
    hexagon.p0 = 6, hexagon.p1 = 0.7, hexagon.p2 = 0.2;
    place(hexagon.transform, 0.8, 1.6);
    sc.add(hexagon, 9);

    VokriShapeRecord bezier = stroked(shape(VOKRI_SHAPE_CUBIC_BEZIER), 0xFFFFFF90u, 0.1);
    bezier.p0 = -3, bezier.p1 = 0, bezier.p2 = -1, bezier.p3 = 3, bezier.p4 = 1, bezier.p5 = -3, bezier.p6 = 3,
    bezier.p7 = 0;
    sc.add(bezier, 10);
}

// ---- batches ---------------------------------------------------------------

VokriBatchRecord batch(uint32_t mode, uint32_t count) {
    VokriBatchRecord b{};
    b.mode = mode;
    b.count = count;
    identity(b.transform);
    b.opacity = 1;
    return b;
}

void add_batch_segments(Sample& s) {
    std::vector<double> el, target, widths;
    std::vector<uint32_t> colors, target_colors;
    for (int i = 0; i < 12; ++i) {
        double a = i * 0.5235987755982988;
        el.insert(el.end(), {0, 0, 2.2 * std::cos(a), 2.2 * std::sin(a)});
        target.insert(target.end(), {0.3, 0.2, 1.5 * std::cos(a + 0.3), 1.5 * std::sin(a + 0.3)});
        widths.push_back(i % 3 == 0 ? 0.05 : 0.25);  // hairlines and stroked lines at scale 10
        colors.push_back(0xFF000000u | uint32_t(i * 20) << 16 | 0xFFu);
        target_colors.push_back(0x00FF00C0u);
    }
    VokriBatchRecord b = batch(VOKRI_BATCH_SEGMENTS, 12);
    b.elements = s.keep(el);
    b.target_elements = s.keep(target);
    b.stroke_colors = s.keep(colors);
    b.target_stroke_colors = s.keep(target_colors);
    b.stroke_widths = s.keep(widths);
    b.t = 0.35;
    b.opacity = 0.9;
    s.scene.add(b, 11);
}

void add_batch_circles(Sample& s) {
    std::vector<double> el;
    std::vector<uint32_t> fills, strokes;
    std::vector<double> widths;
    for (int i = 0; i < 7; ++i) {
        el.insert(el.end(), {-2.7 + i * 0.9, 0.8 * std::sin(i), 0.25 + 0.05 * i});
        fills.push_back(0x2080FF00u | uint32_t(100 + i * 20));
        strokes.push_back(0xFFFFFFFFu);
        widths.push_back(0.04);
    }
    VokriBatchRecord b = batch(VOKRI_BATCH_CIRCLES, 7);
    b.elements = s.keep(el);
    b.fill_colors = s.keep(fills);
    b.stroke_colors = s.keep(strokes);
    b.stroke_widths = s.keep(widths);
    place(b.transform, 0, 0.4, 0.1);
    s.scene.add(b, 12);
}

void add_batch_rects(Sample& s) {
    std::vector<double> el, target;
    std::vector<uint32_t> fills, target_fills;
    for (int i = 0; i < 9; ++i) {
        el.insert(el.end(), {-2.5 + (i % 3) * 1.2, -1.5 + (i / 3) * 1.0, 0.9, 0.6});
        target.insert(target.end(), {-2.0 + (i % 3) * 1.0, -1.0 + (i / 3) * 0.8, 0.5, 0.9});
        fills.push_back(0xFF404000u | uint32_t(255 - i * 10));
        target_fills.push_back(0x4040FFFFu);
    }
    VokriBatchRecord fast = batch(VOKRI_BATCH_RECTANGLES, 9);  // axis aligned, no strokes
    fast.elements = s.keep(el);
    fast.target_elements = s.keep(target);
    fast.fill_colors = s.keep(fills);
    fast.target_fill_colors = s.keep(target_fills);
    fast.t = 0.5;
    s.scene.add(fast, 13);

    VokriBatchRecord turned = batch(VOKRI_BATCH_RECTANGLES, 9);  // rotated and stroked
    turned.elements = fast.elements;
    turned.fill_colors = fast.fill_colors;
    std::vector<uint32_t> strokes(9, 0x000000FFu);
    std::vector<double> widths(9, 0.05), target_widths(9, 0.15);
    turned.stroke_colors = s.keep(strokes);
    turned.stroke_widths = s.keep(widths);
    turned.target_stroke_widths = s.keep(target_widths);
    turned.t = 0.5;
    place(turned.transform, 0.3, 0.2, 0.4, 0.8);
    turned.opacity = 0.6;
    s.scene.add(turned, 14);
}

// ---- vectors ---------------------------------------------------------------

VokriCubicSegment straight(double x0, double y0, double x1, double y1) {
    return {x0, y0, x0 + (x1 - x0) / 3, y0 + (y1 - y0) / 3, x0 + 2 * (x1 - x0) / 3, y0 + 2 * (y1 - y0) / 3, x1, y1};
}

void add_vectors(Sample& s) {
    // A square ring (outer and inner subpath) and an open wave.
    std::vector<VokriCubicSegment> ring = {
        straight(-1, -1, 1, -1), straight(1, -1, 1, 1), straight(1, 1, -1, 1), straight(-1, 1, -1, -1),
        straight(-0.5, -0.5, -0.5, 0.5), straight(-0.5, 0.5, 0.5, 0.5), straight(0.5, 0.5, 0.5, -0.5),
        straight(0.5, -0.5, -0.5, -0.5)};
    std::vector<VokriCubicSegment> wave = {{-2, 0, -1.5, 1, -1, -1, -0.5, 0}, {-0.5, 0, 0, 1, 0.5, -1, 1, 0},
                                           {1, 0, 1.5, 1, 2, -1, 2.5, 0}};
    std::vector<VokriVectorShape> shapes(3);
    shapes[0].segment_count = 8;
    shapes[0].segments = s.keep(ring);
    shapes[0].subpath_count = 2;
    shapes[0].subpath_ends = s.keep(std::vector<uint32_t>{4, 8});
    shapes[0].subpath_closed = s.keep(std::vector<uint8_t>{1, 1});
    shapes[0].fill_enabled = 1;
    shapes[0].fill_color = 0x40C0FFFFu;
    shapes[0].stroke_enabled = 1;
    shapes[0].stroke_color = 0xFFFFFFFFu;
    shapes[0].stroke_width = 0.06;
    shapes[0].reveal_order = 0;
    shapes[1].segment_count = 3;
    shapes[1].segments = s.keep(wave);
    shapes[1].subpath_count = 1;
    shapes[1].subpath_ends = s.keep(std::vector<uint32_t>{3});
    shapes[1].subpath_closed = s.keep(std::vector<uint8_t>{0});
    shapes[1].stroke_enabled = 1;
    shapes[1].stroke_color = 0xFF6020FFu;
    shapes[1].stroke_width = 0.12;
    shapes[1].reveal_order = 1;
    shapes[2] = shapes[0];  // half revealed
    shapes[2].reveal_order = 2;
    shapes[2].fill_color = 0xFFFF00FFu;
    VokriVectorRecord v{};
    v.shape_count = 3;
    v.shapes = s.keep(shapes);
    v.stagger_count = 3;
    v.progress = 0.8;
    place(v.transform, 0.2, 0.1, 0.25, 1.1);
    v.opacity = 0.9;
    s.scene.add(v, 15);
    VokriVectorRecord empty{};  // no shapes: draws nothing
    identity(empty.transform);
    s.scene.add(empty, 16);
}

// ---- images ----------------------------------------------------------------

std::vector<uint8_t> raster(uint32_t w, uint32_t h) {
    std::vector<uint8_t> px;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            px.insert(px.end(), {uint8_t(x * 255 / (w > 1 ? w - 1 : 1)), uint8_t(y * 255 / (h > 1 ? h - 1 : 1)),
                                 uint8_t((x ^ y) * 40), uint8_t(x == 0 ? 0 : 128 + (x + y) % 128)});
    return px;
}

void add_images(Sample& s) {
    VokriImageRecord turned{};
    turned.pixels = s.keep(raster(5, 4));
    turned.width = 5, turned.height = 4;
    turned.display_width = 3.0, turned.display_height = 2.0;
    place(turned.transform, -0.5, 0.3, 0.35);
    turned.opacity = 0.85;
    s.scene.add(turned, 17);

    // Canvas-sized, one raster pixel per canvas pixel: the exact path.
    VokriImageRecord exact{};
    exact.pixels = s.keep(raster(uint32_t(s.width), uint32_t(s.height)));
    exact.width = uint32_t(s.width), exact.height = uint32_t(s.height);
    exact.display_width = s.width / s.scale, exact.display_height = s.height / s.scale;
    identity(exact.transform);
    exact.opacity = 0.5;
    s.scene.add(exact, 18);
}

// ---- infinite geometry ----------------------------------------------------

VokriInfiniteGeometryRecord infinite(uint32_t kind) {
    VokriInfiniteGeometryRecord r{};
    r.geometry_kind = kind;
    identity(r.transform);
    r.line_width = 0.08;
    r.opacity = 1;
    r.colour1 = 0x80FF80FFu;
    r.colour2 = 0xFF80FFFFu;
    return r;
}

void add_lines(Sample& s) {
    VokriInfiniteGeometryRecord line = infinite(VOKRI_GEOMETRY_LINE);
    line.a0 = 0.5, line.a1 = -0.5, line.a2 = 1, line.a3 = 0.4;
    line.line_width = 0.15;
    s.scene.add(line, 19);
    VokriInfiniteGeometryRecord grid = infinite(VOKRI_GEOMETRY_LINE_GRID);
    grid.a0 = 0.1, grid.a1 = 0.2, grid.a2 = 0.7, grid.a3 = 0.5;
    place(grid.transform, 0.3, 0.1, 0.3);
    grid.colour1 = 0x8080FFA0u;
    s.scene.add(grid, 20);
    VokriInfiniteGeometryRecord dense = infinite(VOKRI_GEOMETRY_LINE_GRID);  // thinned
    dense.a0 = 0, dense.a1 = 0, dense.a2 = 0.02, dense.a3 = 0.9;
    dense.line_width = 0.01;
    dense.colour1 = 0xFFFFFF40u;
    s.scene.add(dense, 21);
}

void add_complex_grids(Sample& s) {
    for (uint32_t variant = 1; variant <= 4; ++variant) {
        VokriInfiniteGeometryRecord g = infinite(VOKRI_GEOMETRY_COMPLEX_GRID);
        g.a0 = 0, g.a1 = 0, g.a2 = 0.4, g.a3 = 0.4;
        g.variant = variant;
        g.t = 0.3 + 0.1 * variant;
        g.p1[0] = 0.5, g.p1[1] = 0.2;
        g.p2[0] = 0.1, g.p2[1] = -0.3;
        g.p3[0] = 0.2, g.p3[1] = 0.1;
        g.p4[0] = 1.0, g.p4[1] = 0.0;
        g.line_width = 0.05;
        g.opacity = 0.5;
        place(g.transform, 0.1 * variant, 0, 0.1 * variant);
        s.scene.add(g, int32_t(21 + variant));
    }
}

void add_fractals(Sample& s) {
    VokriInfiniteGeometryRecord m = infinite(VOKRI_GEOMETRY_FRACTAL);
    m.a0 = 40, m.a1 = 4;
    m.variant = VOKRI_FRACTAL_MANDELBROT;
    m.t = 0.2;
    m.p1[0] = 1.5;
    place(m.transform, 0.5, 0, 0, 1.2);
    m.colour1 = 0x000000FFu;
    m.colour2 = 0x3060C0FFu;
    s.scene.add(m, 26);
    VokriInfiniteGeometryRecord j = m;
    j.variant = VOKRI_FRACTAL_JULIA;
    j.a0 = 25;
    j.a2 = -0.8, j.a3 = 0.156;
    j.opacity = 0.6;
    s.scene.add(j, 27);
}

// ---- meshes ----------------------------------------------------------------

VokriMeshLayer cube_layer(Sample& s, float tx, uint32_t colour, float opacity) {
    std::vector<float> pos, nrm;
    for (int i = 0; i < 8; ++i) {
        float x = i & 1 ? 1.f : -1.f, y = i & 2 ? 1.f : -1.f, z = i & 4 ? 1.f : -1.f;
        pos.insert(pos.end(), {x, y, z});
        nrm.insert(nrm.end(), {x * 0.57735027f, y * 0.57735027f, z * 0.57735027f});
    }
    // Two triangles per face, wound counter-clockwise seen from outside.
    std::vector<uint32_t> idx = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                 2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    VokriMeshLayer l{};
    l.vertex_count = 8;
    l.positions = s.keep(pos);
    l.normals = s.keep(nrm);
    l.index_count = uint32_t(idx.size());
    l.indices = s.keep(idx);
    float c = 0.8f, sn = 0.6f;  // a turn about y, then a translation along x
    float m[16] = {c, 0, sn, tx, 0, 1, 0, 0, -sn, 0, c, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) l.model[i] = m[i];
    l.colour = colour;
    l.opacity = opacity;
    return l;
}

VokriMeshRecord camera(uint32_t projection) {
    VokriMeshRecord r{};
    r.eye[0] = 2, r.eye[1] = 3, r.eye[2] = 7;
    r.up[1] = 1;
    r.fov_y = 50;
    r.near = 0.5f, r.far = 30;
    r.ortho_height = 6;
    r.projection = projection;
    return r;
}

void add_meshes(Sample& s) {
    std::vector<VokriMeshLayer> layers = {cube_layer(s, -1.5f, 0xC08040FFu, 1.0f),
                                          cube_layer(s, 1.5f, 0x40C0FFFFu, 0.5f),
                                          cube_layer(s, 0.0f, 0xFF0000FFu, 0.3f)};
    VokriMeshRecord persp = camera(VOKRI_PROJECTION_PERSPECTIVE);
    persp.layers = s.keep(layers);
    persp.layer_count = 3;
    s.scene.add(persp, 28);
    VokriMeshRecord ortho = camera(VOKRI_PROJECTION_ORTHOGRAPHIC);
    ortho.layers = persp.layers + 1;
    ortho.layer_count = 1;
    ortho.eye[0] = -3;
    s.scene.add(ortho, 29);
}

// ---- morphs ----------------------------------------------------------------

void add_morphs(Sample& s) {
    VokriMorphRecord m{};
    m.from = filled(shape(VOKRI_SHAPE_CIRCLE), 0xFF2020FFu);
    m.from.p0 = 1.0;
    m.to = stroked(filled(shape(VOKRI_SHAPE_SQUARE), 0x2020FF80u), 0xFFFFFFFFu, 0.1);
    m.to.p0 = 1.6;
    place(m.to.transform, 1.0, 0.5, 0.7);
    m.t = 0.4;
    s.scene.add(m, 30);

    std::vector<double> a = {-2, -1, 0, 1, 2, -1}, b;
    for (int i = 0; i < 12; ++i) b.insert(b.end(), {-2.5 + i * 0.45, std::sin(i * 0.8)});
    VokriMorphRecord lines{};
    lines.from = stroked(shape(VOKRI_SHAPE_POLYLINE), 0xFFFF00FFu, 0.1);
    lines.from.points = s.keep(a);
    lines.from.point_count = 3;
    lines.to = stroked(shape(VOKRI_SHAPE_POLYLINE), 0x00FFFFFFu, 0.2);
    lines.to.points = s.keep(b);
    lines.to.point_count = 12;
    lines.t = 0.5;
    s.scene.add(lines, 31);

    VokriMorphRecord open{};
    open.from = stroked(shape(VOKRI_SHAPE_LINE), 0xFFFFFFFFu, 0.1);
    open.from.p0 = -2, open.from.p2 = 2;
    open.to = stroked(shape(VOKRI_SHAPE_ARC), 0xFF8000FFu, 0.1);
    open.to.p0 = 1.5, open.to.p2 = 3.0;
    open.t = 0.7;
    s.scene.add(open, 32);

    VokriMorphRecord hex{};
    hex.from = filled(shape(VOKRI_SHAPE_REGULAR_POLYGON), 0x80FF80FFu);
    hex.from.p0 = 5, hex.from.p1 = 1.2;
    hex.to = filled(shape(VOKRI_SHAPE_ELLIPSE), 0x8080FFFFu);
    hex.to.p0 = 2, hex.to.p1 = 0.8;
    hex.t = 0.25;
    s.scene.add(hex, 33);
}

}  // namespace

uint32_t Sample::kinds() const {
    uint32_t k = 0;
    for (const auto& item : scene.items) k |= 1u << item.kind;
    return k;
}

std::vector<Sample> sample_scenes() {
    std::vector<Sample> out;
    struct Builder {
        const char* name;
        void (*add)(Sample&);
    };
    static const Builder builders[] = {
        {"shapes", add_shapes},       {"batch_segments", add_batch_segments}, {"batch_circles", add_batch_circles},
        {"batch_rects", add_batch_rects}, {"vectors", add_vectors},       {"images", add_images},
        {"lines", add_lines},         {"complex_grids", add_complex_grids},   {"fractals", add_fractals},
        {"meshes", add_meshes},       {"morphs", add_morphs},
    };
    // No items: the exports still allocate (pick and PNG surfaces, compressor).
    out.push_back(named("empty"));
    Sample all = named("everything");
    for (const auto& b : builders) {
        Sample s = named(b.name);
        b.add(s);
        out.push_back(std::move(s));
        b.add(all);
    }
    all.probe_x = 20, all.probe_y = 30;
    out.push_back(std::move(all));
    return out;
}

std::vector<Sample> failing_samples() {
    std::vector<Sample> out;
    auto add = [&](const char* name, auto fill) {
        Sample s = named(name);
        fill(s);
        out.push_back(std::move(s));
    };
    add("unknown_kind", [](Sample& s) { s.scene.add_item(7, 0, 1); });
    add("index_beyond_array", [](Sample& s) { s.scene.add_item(VOKRI_ITEM_MORPH, 0, 1); });
    add("bad_shape_type", [](Sample& s) { s.scene.add(shape(10), 1); });
    add("empty_batch", [](Sample& s) { s.scene.add(batch(VOKRI_BATCH_CIRCLES, 0), 1); });
    add("vector_without_shapes", [](Sample& s) {
        VokriVectorRecord v{};
        v.shape_count = 2;
        identity(v.transform);
        v.opacity = 1;
        s.scene.add(v, 1);
    });
    add("image_without_pixels", [](Sample& s) {
        VokriImageRecord r{};
        r.width = 2, r.height = 2, r.display_width = 1, r.display_height = 1, r.opacity = 1;
        identity(r.transform);
        s.scene.add(r, 1);
    });
    add("bad_geometry_kind", [](Sample& s) { s.scene.add(infinite(9), 1); });
    add("mesh_without_layers", [](Sample& s) {
        VokriMeshRecord m = camera(0);
        m.layer_count = 2;
        s.scene.add(m, 1);
    });
    add("line_into_circle", [](Sample& s) {
        VokriMorphRecord m{};
        m.from = stroked(shape(VOKRI_SHAPE_LINE), 0xFFFFFFFFu, 0.1);
        m.from.p2 = 1;
        m.to = filled(shape(VOKRI_SHAPE_CIRCLE), 0xFFFFFFFFu);
        m.to.p0 = 1;
        s.scene.add(m, 1);
    });
    return out;
}

}  // namespace vt
