// One mesh layer: validation, normal matrix, vertex transform, clipping
// against the six clip-space planes, fan split, culling and screen mapping.
#include <cmath>

#include "items/fields/mesh_pipeline.h"

namespace vokri::mesh {

namespace {

// Signed distance of a clip-space vertex to clipping plane `p`, in the order
// w + x, w - x, w + y, w - y, w + z, w - z.
inline float plane_value(const ClipVertex& v, int p) noexcept {
    switch (p) {
        case 0: return v.w + v.x;
        case 1: return v.w - v.x;
        case 2: return v.w + v.y;
        case 3: return v.w - v.y;
        case 4: return v.w + v.z;
        default: return v.w - v.z;
    }
}

inline bool inside_all(const ClipVertex& v) noexcept {
    for (int p = 0; p < 6; ++p) {
        if (!(plane_value(v, p) >= 0.0f)) return false;
    }
    return true;
}

inline float lerp(float a, float b, float t) noexcept { return a + (b - a) * t; }

inline ClipVertex lerp(const ClipVertex& a, const ClipVertex& b, float t) noexcept {
    return ClipVertex{lerp(a.x, b.x, t),   lerp(a.y, b.y, t),   lerp(a.z, b.z, t), lerp(a.w, b.w, t),
                      lerp(a.nx, b.nx, t), lerp(a.ny, b.ny, t), lerp(a.nz, b.nz, t)};
}

// A convex polygon gains at most one vertex per plane (3 + 6 = 9). Rounding
// can make an interpolated polygon slightly non-convex with respect to a
// later plane, which can add more: a polygon of n vertices yields at most
// 1.5 n, so 3 -> 4 -> 6 -> 9 -> 13 -> 19 -> 28 bounds every case.
constexpr int kMaxPolygon = 32;

struct Polygon {
    ClipVertex v[kMaxPolygon];
    int count = 0;
};

// Sutherland-Hodgman against one plane: for each edge from vertex i (start,
// plane value d) to vertex i + 1 (end, h), the start is kept when d >= 0 and
// an edge whose ends lie on different sides adds the vertex at d / (d - h).
void clip_plane(const Polygon& in, Polygon& out, int plane) noexcept {
    out.count = 0;
    for (int i = 0; i < in.count; ++i) {
        const ClipVertex& s = in.v[i];
        const ClipVertex& e = in.v[i + 1 < in.count ? i + 1 : 0];
        const float d = plane_value(s, plane);
        const float h = plane_value(e, plane);
        const bool s_in = d >= 0.0f;
        const bool e_in = h >= 0.0f;
        if (s_in) out.v[out.count++] = s;
        if (s_in != e_in) {
            const float diff = d - h;
            const float t = std::fabs(diff) <= 1e-20f ? 0.0f : d / diff;
            out.v[out.count++] = lerp(s, e, t);
        }
    }
}

struct Mapper {
    float width, height;

    // Fan triangle (a, b, c) to screen space; false when it is culled.
    bool map(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
             ScreenTriangle& tri) const noexcept {
        const float ax = a.x / a.w, ay = a.y / a.w;
        const float bx = b.x / b.w, by = b.y / b.w;
        const float cx = c.x / c.w, cy = c.y / c.w;
        const float turn = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
        if (!(turn > 1e-12f)) return false;
        const ClipVertex* v[3] = {&a, &b, &c};
        const float nx[3] = {ax, bx, cx};
        const float ny[3] = {ay, by, cy};
        for (int k = 0; k < 3; ++k) {
            tri.x[k] = (nx[k] * 0.5f + 0.5f) * width;
            tri.y[k] = (0.5f - ny[k] * 0.5f) * height;
            tri.z[k] = (v[k]->z / v[k]->w) * 0.5f + 0.5f;
            tri.n[k][0] = v[k]->nx / v[k]->w;
            tri.n[k][1] = v[k]->ny / v[k]->w;
            tri.n[k][2] = v[k]->nz / v[k]->w;
        }
        return true;
    }
};

bool tiny_w(const ClipVertex& v) noexcept { return std::fabs(v.w) <= 1e-12f; }

// Clips one triangle and rasterizes its fan.
void draw_triangle(const Target& target, const Mapper& mapper, const Shade& shade,
                   const ClipVertex& v0, const ClipVertex& v1, const ClipVertex& v2) noexcept {
    ScreenTriangle tri;
    if (inside_all(v0) && inside_all(v1) && inside_all(v2)) {
        // Every plane keeps the triangle as it is.
        if (tiny_w(v0) || tiny_w(v1) || tiny_w(v2)) return;
        if (mapper.map(v0, v1, v2, tri)) raster_triangle(target, tri, shade);
        return;
    }
    Polygon a, b;
    a.v[0] = v0;
    a.v[1] = v1;
    a.v[2] = v2;
    a.count = 3;
    Polygon* in = &a;
    Polygon* out = &b;
    for (int p = 0; p < 6; ++p) {
        clip_plane(*in, *out, p);
        if (out->count < 3) return;
        Polygon* t = in;
        in = out;
        out = t;
    }
    const Polygon& poly = *in;
    if (tiny_w(poly.v[0])) return;
    for (int i = 2; i < poly.count; ++i) {
        if (tiny_w(poly.v[i - 1]) || tiny_w(poly.v[i])) continue;
        if (mapper.map(poly.v[0], poly.v[i - 1], poly.v[i], tri)) raster_triangle(target, tri, shade);
    }
}

}  // namespace

Error draw_layer(Allocator& alloc, const Target& target, const Mat4& pv, const MeshLayer& layer,
                 const Shade& shade) noexcept {
    if (layer.positions == nullptr || layer.normals == nullptr || layer.indices == nullptr ||
        layer.vertex_count < 3 || layer.index_count < 3 || layer.index_count % 3 != 0)
        return Error::InvalidMesh;

    // Normal matrix: the cofactor matrix of the upper-left 3x3 over its
    // determinant (the inverse transpose).
    const float* m = layer.model;
    const float c00 = m[5] * m[10] - m[6] * m[9];
    const float c01 = m[6] * m[8] - m[4] * m[10];
    const float c02 = m[4] * m[9] - m[5] * m[8];
    const float c10 = m[2] * m[9] - m[1] * m[10];
    const float c11 = m[0] * m[10] - m[2] * m[8];
    const float c12 = m[1] * m[8] - m[0] * m[9];
    const float c20 = m[1] * m[6] - m[2] * m[5];
    const float c21 = m[2] * m[4] - m[0] * m[6];
    const float c22 = m[0] * m[5] - m[1] * m[4];
    const float det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (std::fabs(det) <= 1e-12f) return Error::SingularModelTransform;
    const float nm[9] = {c00 / det, c01 / det, c02 / det, c10 / det, c11 / det,
                         c12 / det, c20 / det, c21 / det, c22 / det};

    // Vertex transform, once per vertex: clip = (PV * model) * (x, y, z, 1).
    Buffer<ClipVertex> verts(alloc);  // 28 bytes per vertex, size checked
    VOKRI_TRY(verts.resize(layer.vertex_count));
    Mat4 model;
    for (int i = 0; i < 16; ++i) model.m[i] = m[i];
    const Mat4 t = multiply(pv, model);
    const float* pos = layer.positions;
    const float* nor = layer.normals;
    for (uint32_t i = 0; i < layer.vertex_count; ++i) {
        const float x = pos[3 * size_t(i)], y = pos[3 * size_t(i) + 1], z = pos[3 * size_t(i) + 2];
        const float a = nor[3 * size_t(i)], b = nor[3 * size_t(i) + 1], c = nor[3 * size_t(i) + 2];
        ClipVertex& v = verts[i];
        v.x = t.m[0] * x + t.m[1] * y + t.m[2] * z + t.m[3];
        v.y = t.m[4] * x + t.m[5] * y + t.m[6] * z + t.m[7];
        v.z = t.m[8] * x + t.m[9] * y + t.m[10] * z + t.m[11];
        v.w = t.m[12] * x + t.m[13] * y + t.m[14] * z + t.m[15];
        v.nx = nm[0] * a + nm[1] * b + nm[2] * c;
        v.ny = nm[3] * a + nm[4] * b + nm[5] * c;
        v.nz = nm[6] * a + nm[7] * b + nm[8] * c;
    }

    const Mapper mapper{static_cast<float>(target.width), static_cast<float>(target.height)};
    const uint32_t* idx = layer.indices;
    const uint32_t n = layer.vertex_count;
    for (uint32_t k = 0; k + 2 < layer.index_count; k += 3) {
        const uint32_t i0 = idx[k], i1 = idx[k + 1], i2 = idx[k + 2];
        if (i0 >= n || i1 >= n || i2 >= n) return Error::InvalidMesh;
        draw_triangle(target, mapper, shade, verts[i0], verts[i1], verts[i2]);
    }
    return Error::None;
}

}  // namespace vokri::mesh
