// The "svg" kind of scene files: an SVG drawing's shapes as one vector
// drawing, placed and scaled in user space, revealed in document order by
// progress.
#pragma once

#include <optional>

#include "json_values.h"
#include "scene_json.h"
#include "svg.h"
#include "vector_drawing.h"

namespace vokri_scenefile {

// Where a drawing's root user space (y down) goes in user space (y up):
// user = ((x - x0) * k, -(y - y0) * k).
struct SvgPlacement {
    double k = 1, x0 = 0, y0 = 0;

    VokriCubicSegment map(const VokriCubicSegment& c) const {
        VokriCubicSegment out = c;
        double* v = &out.x0;
        for (int i = 0; i < 8; i += 2) {
            v[i] = (v[i] - x0) * k;
            v[i + 1] = -(v[i + 1] - y0) * k;
        }
        return out;
    }
};

// Reads the svg fields of `o` (not "kind" or "id") and the file they name.
VectorDrawing read_svg_item(Obj& o, const ParseOptions& options);

// `svg` placed by `p` with the fields every drawn kind shares: progress
// (document order), transform, opacity and the dashes. `host_color`
// replaces the paints the drawing leaves to its host (currentColor), their
// alpha multiplied by its own.
VectorDrawing placed_svg_drawing(Obj& o, const SvgDocument& svg, const SvgPlacement& p,
                                 std::optional<uint32_t> host_color);

}  // namespace vokri_scenefile
