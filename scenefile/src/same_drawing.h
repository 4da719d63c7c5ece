// Whether two frames draw the same pixels: the same canvas and records, and
// the same bytes behind every pointer the renderer reads. An animation's
// held frames are copies of the frame before them instead of renders.
#pragma once

#include "vokri_scenefile.h"

namespace vokri_scenefile {

// Byte for byte: -0 and +0, or two NaNs of other bits, count as different,
// which only costs a render. Pick ids, sources and kinds are not compared:
// they change no pixel.
bool same_drawing(const VokriSceneRecords& a, const VokriSceneRecords& b);

}  // namespace vokri_scenefile
