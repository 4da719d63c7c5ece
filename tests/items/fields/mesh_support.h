// Meshes, layers and cameras for the mesh item tests, and the expected
// colours of the fixed light.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "common/numeric.h"
#include "vokri_core.h"

namespace mt {

struct MeshData {
    std::vector<float> pos, nor;
    std::vector<uint32_t> idx;
};

// Axis-aligned cube of half size h around the origin: 24 vertices with face
// normals, every face counter-clockwise seen from outside.
inline MeshData cube(float h) {
    MeshData m;
    const float faces[6][9] = {
        {1, 0, 0, 0, 1, 0, 0, 0, 1},  {-1, 0, 0, 0, 0, 1, 0, 1, 0}, {0, 1, 0, 0, 0, 1, 1, 0, 0},
        {0, -1, 0, 1, 0, 0, 0, 0, 1}, {0, 0, 1, 1, 0, 0, 0, 1, 0},  {0, 0, -1, 0, 1, 0, 1, 0, 0},
    };
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& f : faces) {
        const uint32_t base = static_cast<uint32_t>(m.pos.size() / 3);
        for (const auto& c : corners) {
            for (int k = 0; k < 3; ++k) {
                m.pos.push_back(h * (f[k] + c[0] * f[3 + k] + c[1] * f[6 + k]));
                m.nor.push_back(f[k]);
            }
        }
        m.idx.insert(m.idx.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    return m;
}

// Rectangle [x0, x1] x [y0, y1] at height z facing +z, counter-clockwise.
inline MeshData quad(float x0, float y0, float x1, float y1, float z) {
    MeshData m;
    m.pos = {x0, y0, z, x1, y0, z, x1, y1, z, x0, y1, z};
    m.nor = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    m.idx = {0, 1, 2, 0, 2, 3};
    return m;
}

inline VokriMeshLayer layer(const MeshData& m, uint32_t colour, float opacity = 1.0f, float tx = 0,
                            float ty = 0, float tz = 0) {
    VokriMeshLayer l{};
    l.vertex_count = static_cast<uint32_t>(m.pos.size() / 3);
    l.positions = m.pos.data();
    l.normals = m.nor.data();
    l.index_count = static_cast<uint32_t>(m.idx.size());
    l.indices = m.idx.data();
    const float model[16] = {1, 0, 0, tx, 0, 1, 0, ty, 0, 0, 1, tz, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) l.model[i] = model[i];
    l.colour = colour;
    l.opacity = opacity;
    return l;
}

inline VokriMeshRecord camera(const float eye[3], const float target[3], uint32_t projection,
                              const std::vector<VokriMeshLayer>& layers) {
    VokriMeshRecord r{};
    for (int k = 0; k < 3; ++k) r.eye[k] = eye[k], r.target[k] = target[k];
    r.up[1] = 1;
    r.fov_y = 90;
    r.near = 1;
    r.far = 10;
    r.ortho_height = 4;
    r.projection = projection;
    r.layers = layers.empty() ? nullptr : layers.data();
    r.layer_count = static_cast<uint32_t>(layers.size());
    return r;
}

// Looking from (0, 0, 5) at the origin.
inline VokriMeshRecord front_camera(uint32_t projection, const std::vector<VokriMeshLayer>& layers) {
    const float eye[3] = {0, 0, 5}, target[3] = {0, 0, 0};
    return camera(eye, target, projection, layers);
}

// Intensity of the fixed light for a unit normal whose dot product with L
// is `d`, and the lit byte of channel value C: round(255 clamp(I C / 255)).
inline float intensity(float d) { return (d > 0 ? d : 0) * 0.76f + 0.24f; }
inline uint32_t lit(float d, uint32_t c) {
    float v = intensity(d) * static_cast<float>(c) / 255.0f;
    v = v < 0 ? 0 : (v > 1 ? 1 : v);
    return static_cast<uint32_t>(vokri::round_half_away_f(255.0f * v));
}
inline uint32_t lit_rgb(float d, uint32_t colour) {
    return lit(d, colour >> 24) | lit(d, (colour >> 16) & 0xFF) << 8 | lit(d, (colour >> 8) & 0xFF) << 16;
}

// L components: the dot products of the axis normals +x, +y, +z.
constexpr float kLx = 0.80981976f, kLy = 0.47404084f, kLz = 0.3456548f;

// One blended channel: round(clamp(255 c a + (1 - a) D, 0, 255)) with c the
// lit channel in [0, 1].
inline uint32_t blend(float d, uint32_t channel, float a, uint32_t dst) {
    float c = intensity(d) * static_cast<float>(channel) / 255.0f;
    c = c < 0 ? 0 : (c > 1 ? 1 : c);
    float v = 255.0f * c * a + (1.0f - a) * static_cast<float>(dst);
    v = v < 0 ? 0 : (v > 255 ? 255 : v);
    return static_cast<uint32_t>(vokri::round_half_away_f(v));
}
inline uint32_t blend_alpha(float a, uint32_t dst) {
    float v = (1.0f - a) * static_cast<float>(dst) + 255.0f * a;
    v = v < 0 ? 0 : (v > 255 ? 255 : v);
    return static_cast<uint32_t>(vokri::round_half_away_f(v));
}
// A whole pixel blended by a layer of `colour` with alpha a; `has_alpha`
// selects rgba32 (alpha byte blended) or rgbx32 (fourth byte 0).
inline uint32_t blend_pixel(float d, uint32_t colour, float a, uint32_t dst, bool has_alpha) {
    uint32_t out = 0;
    for (int k = 0; k < 3; ++k) out |= blend(d, (colour >> (24 - 8 * k)) & 0xFF, a, (dst >> (8 * k)) & 0xFF) << (8 * k);
    if (has_alpha) out |= blend_alpha(a, dst >> 24) << 24;
    return out;
}

}  // namespace mt
