// The drawing state (DrawContext) and the device-space Path that item code
// builds and that fill and stroke consume.
#pragma once

#include <cstdint>

#include "common/error.h"
#include "common/alloc.h"
#include "surface/surface.h"

namespace vokri {

struct Transform {
    double xx = 1, xy = 0, yx = 0, yy = 1, x0 = 0, y0 = 0;

    void apply(double x, double y, double& ox, double& oy) const noexcept {
        ox = xx * x + xy * y + x0;
        oy = yx * x + yy * y + y0;
    }
    double determinant() const noexcept { return xx * yy - xy * yx; }
    static Transform from_array(const double m[6]) noexcept {
        return Transform{m[0], m[1], m[2], m[3], m[4], m[5]};
    }
};

// F composed with B: the transform that applies B, then F.
inline Transform compose(const Transform& f, const Transform& b) noexcept {
    Transform d;
    d.xx = f.xx * b.xx + f.xy * b.yx;
    d.xy = f.xx * b.xy + f.xy * b.yy;
    d.yx = f.yx * b.xx + f.yy * b.yx;
    d.yy = f.yx * b.xy + f.yy * b.yy;
    d.x0 = f.xx * b.x0 + f.xy * b.y0 + f.x0;
    d.y0 = f.yx * b.x0 + f.yy * b.y0 + f.y0;
    return d;
}

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point& o) const noexcept { return x == o.x && y == o.y; }
};

enum NodeKind : uint8_t { node_move_to = 0, node_line_to = 1, node_curve_to = 2, node_close_path = 3 };

struct PathNode {
    Point p1, p2, p3;
    uint8_t kind = node_move_to;
};

// Coordinates are clamped to [-2^23, 2^23 - 1] (NaN becomes 2^23 - 1) before
// the Path's transform maps them to device space.
inline constexpr double kCoordMin = -8388608.0;
inline constexpr double kCoordMax = 8388607.0;

class Path {
public:
    Buffer<PathNode> nodes;
    Point initial_point;
    bool has_initial_point = false;
    Point current_point;
    bool has_current_point = false;
    Transform transform;

    void bind(Allocator& a) noexcept { nodes.bind(a); }

    // Empties the path; the node storage stays allocated.
    void reset() noexcept;
    [[nodiscard]] Error move_to(double x, double y) noexcept;
    [[nodiscard]] Error line_to(double x, double y) noexcept;
    [[nodiscard]] Error curve_to(double x1, double y1, double x2, double y2, double x3,
                                 double y3) noexcept;
    [[nodiscard]] Error close_path() noexcept;

    // User point to device point: clamp, then transform.
    Point to_device(double x, double y) const noexcept;
};

// Working memory of fill and stroke (edge list, crossings, coverage row),
// kept by the DrawContext and reused by every fill and stroke of the call.
struct RasterScratch;
// Frees the context's raster scratch (defined with the rasterizer).
void release_raster_scratch(RasterScratch*& scratch, Allocator& a) noexcept;
// The stroker's pen and outline lists, likewise kept for the whole call.
struct StrokeScratch;
void release_stroke_scratch(StrokeScratch*& scratch, Allocator& a) noexcept;

enum FillRule : uint8_t { fill_non_zero = 0, fill_even_odd = 1 };
enum LineCap : uint8_t { cap_butt = 0, cap_round = 1, cap_square = 2 };
enum LineJoin : uint8_t { join_miter = 0, join_round = 1, join_bevel = 2 };
enum Operator : uint8_t { op_src_over = 3, op_dst_in = 6 };

struct DrawContext {
    Allocator* allocator = nullptr;
    Path path;
    Surface* surface = nullptr;
    Pixel source{0xFF000000u, rgba32};  // premultiplied rgba32, opaque black
    double dash_offset = 0.0;           // dashes are always empty
    double line_width = 2.0;
    double miter_limit = 10.0;
    double tolerance = 0.1;
    Transform transform;
    uint8_t anti_alias = 2;
    uint8_t fill_rule = fill_non_zero;
    uint8_t line_cap = cap_butt;
    uint8_t line_join = join_round;
    uint8_t op = op_src_over;
    uint8_t precision = 0;  // integer compositing
    RasterScratch* scratch = nullptr;  // created by the first fill or stroke
    StrokeScratch* stroke_scratch = nullptr;  // created by the first stroke
    // Outline points of a stroke that lie beyond the Surface are thinned out
    // (painting is unchanged); tests turn it off to compare against the
    // full outline.
    bool cull_outlines = true;

    // A context with the frame defaults, painting into `target`.
    DrawContext(Allocator& a, Surface& target) noexcept : allocator(&a), surface(&target) {
        path.bind(a);
    }
    ~DrawContext() { release(); }
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    // Stores `t` into the context and the Path.
    void set_transform(const Transform& t) noexcept {
        transform = t;
        path.transform = t;
    }

    // Source from a colour in the byte order R, G, B, A (u32 with red in bits
    // 0-7), straight alpha; alpha times `opacity` (in [0, 1]) is rounded half
    // away from zero, then the channels are premultiplied with truncation.
    void set_source_colour(uint32_t rgba_straight, double opacity = 1.0) noexcept;

    // Source from an already premultiplied rgba32 pixel.
    void set_source_pixel(uint32_t premultiplied) noexcept { source = Pixel{premultiplied, rgba32}; }

    // Releases the Path's node storage and the raster scratch (end of a call
    // or a pick pass).
    void release() noexcept {
        path.nodes.reset();
        if (scratch) release_raster_scratch(scratch, *allocator);
        if (stroke_scratch) release_stroke_scratch(stroke_scratch, *allocator);
    }
};

// Premultiplies a straight colour whose bytes are R, G, B, A (red in bits
// 0-7): channel * alpha / 255 with truncation.
inline uint32_t premultiply_rgba(uint32_t c) noexcept {
    uint32_t a = c >> 24;
    uint32_t r = (c & 0xFF) * a / 255;
    uint32_t g = ((c >> 8) & 0xFF) * a / 255;
    uint32_t b = ((c >> 16) & 0xFF) * a / 255;
    return r | g << 8 | b << 16 | a << 24;
}

// 0xRRGGBBAA scene colour to the byte order R, G, B, A (red in bits 0-7).
inline uint32_t scene_to_rgba(uint32_t c) noexcept { return __builtin_bswap32(c); }

// The source check of fill and stroke: PixelSourceNotPreMultiplied when a
// colour channel exceeds what its alpha allows.
Error check_source(const Pixel& source) noexcept;

}  // namespace vokri
