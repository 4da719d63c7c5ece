#include "mesh_gen.h"
#include "f32.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace vokri_scenefile {
namespace {

void push3(std::vector<float>& v, double x, double y, double z) {
    v.push_back(static_cast<float>(x));
    v.push_back(static_cast<float>(y));
    v.push_back(static_cast<float>(z));
}

void push_triangle(std::vector<uint32_t>& v, uint32_t a, uint32_t b, uint32_t c) {
    v.push_back(a);
    v.push_back(b);
    v.push_back(c);
}

}  // namespace

MeshData make_cube(double size) {
    MeshData m;
    const double h = size * 0.5;
    // Each face: its normal n and two in-plane axes u, v with u x v = n, so
    // that the corners -u-v, +u-v, +u+v, -u+v run counter-clockwise seen from
    // outside.
    struct Face {
        double n[3], u[3], v[3];
    };
    static constexpr Face kFaces[6] = {
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},   {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
    };
    static constexpr double kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const Face& f : kFaces) {
        const auto base = static_cast<uint32_t>(m.positions.size() / 3);
        for (const auto& c : kCorners) {
            double p[3];
            for (int k = 0; k < 3; ++k) p[k] = h * (f.n[k] + c[0] * f.u[k] + c[1] * f.v[k]);
            push3(m.positions, p[0], p[1], p[2]);
            push3(m.normals, f.n[0], f.n[1], f.n[2]);
        }
        push_triangle(m.indices, base, base + 1, base + 2);
        push_triangle(m.indices, base, base + 2, base + 3);
    }
    return m;
}

MeshData make_uv_sphere(double radius, uint32_t segments, uint32_t rings) {
    MeshData m;
    const double pi = std::numbers::pi;
    // Vertex (i, j): ring i from the north pole (theta = 0) to the south pole
    // (theta = pi), column j around the y axis.
    for (uint32_t i = 0; i <= rings; ++i) {
        const double theta = pi * i / rings;
        for (uint32_t j = 0; j < segments; ++j) {
            const double phi = 2.0 * pi * j / segments;
            const double nx = std::sin(theta) * std::cos(phi);
            const double ny = std::cos(theta);
            const double nz = std::sin(theta) * std::sin(phi);
            push3(m.positions, radius * nx, radius * ny, radius * nz);
            push3(m.normals, nx, ny, nz);
        }
    }
    auto at = [segments](uint32_t i, uint32_t j) { return i * segments + j % segments; };
    for (uint32_t i = 0; i < rings; ++i) {
        for (uint32_t j = 0; j < segments; ++j) {
            const uint32_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            // Theta grows southwards and phi towards +z from +x, so (a, d, c)
            // and (a, c, b) face outwards; the triangle that would collapse
            // onto a pole is left out.
            if (i != 0) push_triangle(m.indices, a, d, c);
            if (i + 1 != rings) push_triangle(m.indices, a, c, b);
        }
    }
    return m;
}

MeshData make_torus(double major, double minor, uint32_t segments, uint32_t sides) {
    MeshData m;
    const double pi = std::numbers::pi;
    for (uint32_t i = 0; i < segments; ++i) {
        const double phi = 2.0 * pi * i / segments;
        for (uint32_t j = 0; j < sides; ++j) {
            const double psi = 2.0 * pi * j / sides;
            const double nx = std::cos(psi) * std::cos(phi);
            const double ny = std::sin(psi);
            const double nz = std::cos(psi) * std::sin(phi);
            const double ring = major + minor * std::cos(psi);
            push3(m.positions, ring * std::cos(phi), minor * ny, ring * std::sin(phi));
            push3(m.normals, nx, ny, nz);
        }
    }
    auto at = [segments, sides](uint32_t i, uint32_t j) { return (i % segments) * sides + j % sides; };
    for (uint32_t i = 0; i < segments; ++i) {
        for (uint32_t j = 0; j < sides; ++j) {
            const uint32_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            push_triangle(m.indices, a, d, c);
            push_triangle(m.indices, a, c, b);
        }
    }
    return m;
}

void compose_model(const double t[3], const double rot[3], const double sc[3], float model[16]) {
    const double d = std::numbers::pi / 180.0;
    const double cx = std::cos(rot[0] * d), sx = std::sin(rot[0] * d);
    const double cy = std::cos(rot[1] * d), sy = std::sin(rot[1] * d);
    const double cz = std::cos(rot[2] * d), sz = std::sin(rot[2] * d);
    const double rx[3][3] = {{1, 0, 0}, {0, cx, -sx}, {0, sx, cx}};
    const double ry[3][3] = {{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}};
    const double rz[3][3] = {{cz, -sz, 0}, {sz, cz, 0}, {0, 0, 1}};
    double a[3][3], m[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double acc = 0;
            for (int k = 0; k < 3; ++k) acc += rz[i][k] * ry[k][j];
            a[i][j] = acc;
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double acc = 0;
            for (int k = 0; k < 3; ++k) acc += a[i][k] * rx[k][j];
            m[i][j] = acc * sc[j];
        }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) model[i * 4 + j] = to_f32(m[i][j]);
        model[i * 4 + 3] = to_f32(t[i]);
    }
    model[12] = model[13] = model[14] = 0.0f;
    model[15] = 1.0f;
}

}  // namespace vokri_scenefile
