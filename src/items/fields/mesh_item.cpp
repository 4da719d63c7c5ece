// Mesh items (kind 5): set-up of camera and depth buffer, the opaque pass in
// array order and the translucent pass back to front.
#include <cmath>
#include <limits>

#include "items/fields/mesh_pipeline.h"
#include "items/drawers.h"

namespace vokri {

namespace mesh {

Mat4 multiply(const Mat4& a, const Mat4& b) noexcept {
    Mat4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float s = a.m[i * 4 + 0] * b.m[0 * 4 + j];
            s = s + a.m[i * 4 + 1] * b.m[1 * 4 + j];
            s = s + a.m[i * 4 + 2] * b.m[2 * 4 + j];
            s = s + a.m[i * 4 + 3] * b.m[3 * 4 + j];
            r.m[i * 4 + j] = s;
        }
    }
    return r;
}

namespace {

struct Vec3 {
    float x, y, z;
};

Vec3 sub(Vec3 a, Vec3 b) noexcept { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(Vec3 a, Vec3 b) noexcept {
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dot(Vec3 a, Vec3 b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(Vec3 a) noexcept { return std::sqrt(dot(a, a)); }
Vec3 divide(Vec3 a, float d) noexcept { return Vec3{a.x / d, a.y / d, a.z / d}; }

// |v| <= 1e-8 or not finite: the direction cannot be normalised.
bool degenerate(float len) noexcept { return len <= 1e-8f || !std::isfinite(len); }

}  // namespace

Error projection_view(const MeshRecord& rec, uint32_t width, uint32_t height, Mat4& pv) noexcept {
    const Vec3 eye{rec.eye[0], rec.eye[1], rec.eye[2]};
    const Vec3 target{rec.target[0], rec.target[1], rec.target[2]};
    const Vec3 up{rec.up[0], rec.up[1], rec.up[2]};

    Vec3 f = sub(target, eye);
    const float flen = length(f);
    if (degenerate(flen)) return Error::DegenerateVector;
    f = divide(f, flen);
    Vec3 s = cross(f, up);
    const float slen = length(s);
    if (degenerate(slen)) return Error::DegenerateVector;
    s = divide(s, slen);
    const Vec3 u = cross(s, f);

    const Mat4 view{{s.x, s.y, s.z, -dot(s, eye),     //
                     u.x, u.y, u.z, -dot(u, eye),     //
                     -f.x, -f.y, -f.z, dot(f, eye),  //
                     0.0f, 0.0f, 0.0f, 1.0f}};

    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    const float near = rec.near;
    const float far = rec.far;
    Mat4 proj{};
    if (rec.projection == VOKRI_PROJECTION_PERSPECTIVE) {
        if (!(aspect > 0.0f && near > 0.0f && near < far)) return Error::InvalidProjection;
        const float g = 1.0f / std::tan(rec.fov_y * 3.1415927f / 180.0f * 0.5f);
        proj.m[0] = g / aspect;
        proj.m[5] = g;
        proj.m[10] = (near + far) / (near - far);
        proj.m[11] = 2.0f * far * near / (near - far);
        proj.m[14] = -1.0f;
    } else {
        const float h = rec.ortho_height;
        if (!(h > 0.0f && aspect > 0.0f && near > 0.0f && near < far)) return Error::InvalidProjection;
        proj.m[0] = 2.0f / (h * aspect);
        proj.m[5] = 2.0f / h;
        proj.m[10] = -2.0f / (far - near);
        proj.m[11] = -(far + near) / (far - near);
        proj.m[15] = 1.0f;
    }
    pv = multiply(proj, view);
    return Error::None;
}

namespace {

// A translucent layer waiting for pass 2: its index and squared distance
// from the eye to its translation.
struct Pending {
    float distance2;
    uint32_t layer;
};

// Stable sort, farthest first: bottom-up merge through `scratch` (n
// entries). An element of the right run passes one of the left run only when
// strictly farther, so equal (and unordered) distances keep array order.
void sort_far_first(Pending* items, Pending* scratch, size_t n) noexcept {
    Pending* src = items;
    Pending* dst = scratch;
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = lo + width < n ? lo + width : n;
            const size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) dst[k++] = src[j].distance2 > src[i].distance2 ? src[j++] : src[i++];
            while (i < mid) dst[k++] = src[i++];
            while (j < hi) dst[k++] = src[j++];
        }
        Pending* t = src;
        src = dst;
        dst = t;
    }
    if (src != items) {
        for (size_t i = 0; i < n; ++i) items[i] = src[i];
    }
}

Shade shade_of(const MeshLayer& layer, Mode mode, float alpha) noexcept {
    const uint32_t c = layer.colour;
    return Shade{{static_cast<float>((c >> 24) & 0xFFu), static_cast<float>((c >> 16) & 0xFFu),
                  static_cast<float>((c >> 8) & 0xFFu)},
                 alpha,
                 mode};
}

}  // namespace

}  // namespace mesh

Error draw_mesh_item(Canvas& canvas, const FrameView& view, const MeshRecord& rec) noexcept {
    Surface& target = canvas.surface;
    using namespace mesh;
    if (rec.layer_count > 0 && rec.layers == nullptr) return Error::InvalidMeshLayer;
    if (target.format != rgbx32 && target.format != rgba32) return Error::Unsupported3DSurface;
    const uint32_t width = view.width;
    const uint32_t height = view.height;
    const uint64_t pixel_count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (target.length < pixel_count) return Error::InvalidOutputSize;
    if (width == 0 || height == 0) return Error::InvalidDimensions;

    Allocator& alloc = canvas.allocator;
    size_t depth_count;
    if (!checked_mul(width, height, depth_count)) return Error::OutOfMemory;
    Buffer<float> depth(alloc);
    VOKRI_TRY(depth.resize(depth_count));
    const float inf = std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < depth_count; ++i) depth[i] = inf;

    Mat4 pv;
    VOKRI_TRY(projection_view(rec, width, height, pv));

    target.mark_all();
    const Target out{target.pixels, depth.data(), width, height, target.format == rgba32};

    // Pass 1: opaque layers in array order, with depth writes.
    for (uint32_t i = 0; i < rec.layer_count; ++i) {
        const MeshLayer& layer = rec.layers[i];
        const float a = layer_alpha(layer);
        if (a < 0.0f || a > 1.0f || !std::isfinite(a)) return Error::InvalidOpacity;
        if (a >= 0.999f) VOKRI_TRY(draw_layer(alloc, out, pv, layer, shade_of(layer, Mode::opaque, a)));
    }

    // Pass 2: translucent layers back to front, depth-tested only.
    Buffer<Pending> pending(alloc);
    for (uint32_t i = 0; i < rec.layer_count; ++i) {
        const MeshLayer& layer = rec.layers[i];
        const float a = layer_alpha(layer);
        if (a > 0.001f && a < 0.999f) {
            const float dx = layer.model[3] - rec.eye[0];
            const float dy = layer.model[7] - rec.eye[1];
            const float dz = layer.model[11] - rec.eye[2];
            VOKRI_TRY(pending.push_back(Pending{dx * dx + dy * dy + dz * dz, i}));
        }
    }
    if (pending.size() > 1) {
        Buffer<Pending> scratch(alloc);
        VOKRI_TRY(scratch.resize(pending.size()));
        sort_far_first(pending.data(), scratch.data(), pending.size());
    }
    for (const Pending& p : pending) {
        const MeshLayer& layer = rec.layers[p.layer];
        const float a = layer_alpha(layer);
        VOKRI_TRY(draw_layer(alloc, out, pv, layer, shade_of(layer, Mode::blended, a)));
    }
    return Error::None;
}

}  // namespace vokri
