// Generated triangle meshes for scene files: cube, UV sphere and torus, with
// counter-clockwise front faces and outward unit normals; model matrices.
#pragma once

#include <cstdint>
#include <vector>

namespace vokri_scenefile {

struct MeshData {
    std::vector<float> positions;  // (x, y, z) per vertex
    std::vector<float> normals;    // (x, y, z) per vertex, unit length
    std::vector<uint32_t> indices; // three per triangle
};

// A cube of edge `size` centred on the origin: 24 vertices (flat normals per
// face), 12 triangles.
MeshData make_cube(double size);

// A sphere of `radius` centred on the origin with `segments` divisions around
// the y axis (at least 3) and `rings` from pole to pole (at least 2):
// segments * (rings + 1) vertices, 2 * segments * (rings - 1) triangles.
MeshData make_uv_sphere(double radius, uint32_t segments, uint32_t rings);

// A torus around the y axis: a tube of radius `minor` whose centre line is a
// circle of radius `major`; `segments` divisions around the y axis and `sides`
// around the tube (each at least 3): segments * sides vertices,
// 2 * segments * sides triangles.
MeshData make_torus(double major, double minor, uint32_t segments, uint32_t sides);

// The model matrix, row by row, of a translation, a rotation (degrees about
// x, then y, then z) and a scale: M = T * Rz * Ry * Rx * S, each entry
// computed in f64 and rounded to f32.
void compose_model(const double translate[3], const double rotate[3], const double scale[3], float model[16]);

}  // namespace vokri_scenefile
