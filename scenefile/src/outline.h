// A compound outline of cubic segments grouped into subpaths: the form in
// which glyphs, SVG drawings and dashes become vector shapes.
#pragma once

#include <cstdint>
#include <vector>

#include "vokri_core.h"

namespace vokri_scenefile {

struct Outline {
    std::vector<VokriCubicSegment> segments;
    std::vector<uint32_t> subpath_ends;   // one past the last segment of each subpath
    std::vector<uint8_t> subpath_closed;  // per subpath: 1 when closed

    bool empty() const { return segments.empty(); }
    // Ends the subpath begun after the previous end; drops it when empty.
    void end_subpath(bool closed) {
        const uint32_t start = subpath_ends.empty() ? 0 : subpath_ends.back();
        if (segments.size() == start) return;
        subpath_ends.push_back(static_cast<uint32_t>(segments.size()));
        subpath_closed.push_back(closed ? 1 : 0);
    }
};

// The straight piece from (x0, y0) to (x1, y1) as a cubic, its control
// points a third and two thirds of the way.
inline VokriCubicSegment straight(double x0, double y0, double x1, double y1) {
    return VokriCubicSegment{x0, y0, x0 + (x1 - x0) / 3, y0 + (y1 - y0) / 3, x0 + 2 * (x1 - x0) / 3,
                             y0 + 2 * (y1 - y0) / 3, x1, y1};
}

// The quadratic (x0, y0), (qx, qy), (x1, y1) raised exactly to a cubic.
inline VokriCubicSegment raised_quadratic(double x0, double y0, double qx, double qy, double x1, double y1) {
    return VokriCubicSegment{x0, y0, x0 + 2 * (qx - x0) / 3, y0 + 2 * (qy - y0) / 3, x1 + 2 * (qx - x1) / 3,
                             y1 + 2 * (qy - y1) / 3, x1, y1};
}

}  // namespace vokri_scenefile
