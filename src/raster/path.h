// The device-space Path that item code builds and that fill and stroke
// consume.
#pragma once

#include <cstdint>

#include "common/alloc.h"
#include "common/error.h"
#include "raster/transform.h"

namespace vokri {

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
    // User space to device space; strokes build their pen from its linear
    // part.
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

}  // namespace vokri
