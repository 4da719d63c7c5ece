// SVG path data ("d" attributes) as cubic segments grouped into subpaths,
// with the builder and the elliptical arcs the basic shapes share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "svg_geometry.h"
#include "vokri_core.h"

namespace vokri_scenefile {

// Drawings with more segments than this are refused.
inline constexpr size_t kMaxSvgSegments = 1000000;

struct PathData {
    std::vector<VokriCubicSegment> segments;
    std::vector<uint32_t> subpath_ends;   // one past the last segment of each subpath
    std::vector<uint8_t> subpath_closed;  // 1 for subpaths closed with Z, else 0
    // Offset of the character where the grammar failed; what came before it
    // is kept.
    size_t error_at = std::string_view::npos;
    // The failure is a number that is not finite or of magnitude above 1e15,
    // starting at error_at.
    bool out_of_range = false;
};

// Path data in every form the SVG grammar allows. Lines and quadratics
// become exact cubics, arcs at most quarter-turn cubics. Parsing stops at
// the first error, and also once it holds more than kMaxSvgSegments
// segments. Data that does not start with a moveto draws nothing (an error
// at its first character); empty data draws nothing without an error.
PathData parse_path_data(std::string_view d);

}  // namespace vokri_scenefile

namespace vokri_scenefile::svg {

// Collects segments into subpaths; a subpath without segments is dropped.
class PathBuilder {
public:
    // Ends the current subpath and starts one at p.
    void move_to(Point p);
    void line_to(Point p);
    void quad_to(Point control, Point p);
    void cubic_to(Point c1, Point c2, Point p);
    // Closes the current subpath, with a line back to its start unless the
    // current point is there; the current point becomes that start.
    void close();

    Point current() const { return current_; }
    size_t size() const { return data_.segments.size(); }
    // Ends the current subpath and hands over the result.
    PathData finish();

private:
    void end_subpath(bool closed);

    PathData data_;
    Point start_, current_;
    size_t subpath_first_ = 0;
};

struct ArcTo {
    double rx = 0, ry = 0;
    double rotation_degrees = 0;  // of the ellipse's x axis
    bool large_arc = false;
    bool sweep = false;  // true: the angle grows from the start to the end
    Point end;
};

// Adds the arc from the current point by the endpoint-to-centre conversion:
// radii too small to reach the end are scaled up, a zero radius gives a
// line, identical endpoints give nothing, and each cubic spans at most a
// quarter turn.
void arc_to(PathBuilder& path, const ArcTo& arc);

}  // namespace vokri_scenefile::svg
