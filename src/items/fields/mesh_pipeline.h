// The triangle pipeline of mesh items: camera and projection, per-layer
// vertex transform, clipping in clip space, culling, and the rasterizer with
// its depth test and fixed directional light. Everything here is f32.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "common/alloc.h"
#include "items/frame_view.h"
#include "items/records.h"

namespace vokri::mesh {

// 4x4 matrix, row by row: m[row * 4 + column]; applied to column vectors.
struct Mat4 {
    float m[16];
};

Mat4 multiply(const Mat4& a, const Mat4& b) noexcept;

// Clip-space position and transformed normal of one vertex: the 28 bytes of
// working memory per vertex.
struct ClipVertex {
    float x, y, z, w;
    float nx, ny, nz;
};
static_assert(sizeof(ClipVertex) == 28);

// Camera basis, view matrix and projection of a MeshRecord for a W x H
// canvas: PV = P * V. DegenerateVector or InvalidProjection.
[[nodiscard]] Error projection_view(const MeshRecord& rec, uint32_t width, uint32_t height,
                                    Mat4& pv) noexcept;

// The frame's pixels and the item's depth buffer, both width * height.
struct Target {
    uint32_t* pixels = nullptr;
    float* depth = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    bool has_alpha = true;  // rgba32; rgbx32 writes its fourth byte as 0
};

enum class Mode { opaque, blended };

// Flat colour of a layer: the channels RR, GG, BB as floats (0 to 255) and,
// for blended layers, the layer's alpha a in (0, 1).
struct Shade {
    float colour[3];
    float alpha;
    Mode mode;
};

// One fan triangle in screen space: x, y in pixels, depth z in [0, 1] where
// drawn, and each vertex's transformed normal divided by its clip w.
struct ScreenTriangle {
    float x[3], y[3], z[3];
    float n[3][3];
};

// How the rasterizer walks the clamped box. Both give the same pixels and
// depths: `spans` limits each row to the columns where the barycentric test
// can pass (with a proven margin) and tests those exactly; `every_pixel`
// tests every pixel of the box.
enum class Walk { spans, every_pixel };

// Rasterizes one triangle: pixel box, barycentric test, depth test, light
// and the write of the shade's mode. The pixel test runs eight pixels at a
// time where AVX2 is usable (cpu::usable), with the bytes of the plain code.
void raster_triangle(const Target& target, const ScreenTriangle& tri, const Shade& shade,
                     Walk walk = Walk::spans) noexcept;

// Draws one layer: validation, normal matrix, vertex transform, clipping,
// fan split, culling and rasterization. InvalidMesh,
// SingularModelTransform or OutOfMemory.
[[nodiscard]] Error draw_layer(Allocator& alloc, const Target& target, const Mat4& pv,
                               const MeshLayer& layer, const Shade& shade) noexcept;

// The layer's alpha: colour alpha byte / 255 times opacity.
inline float layer_alpha(const MeshLayer& layer) noexcept {
    return (static_cast<float>(layer.colour & 0xFFu) / 255.0f) * layer.opacity;
}

}  // namespace vokri::mesh
