// Rendering records through the renderer built into this library: its
// error values, and the item each came from, become a Failure; nothing is
// printed and nothing is rendered twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "failure.h"
#include "vokri_scenefile.h"

namespace vokri_scenefile {

// The scene-file kind of item i ("shape", ..., "line", "grid", "kind 7").
std::string item_kind_name(const VokriSceneRecords& r, size_t i);

// RGB0 or RGBA0 pixels. Returns the status; on failure fills `f`.
int32_t render_pixels(const VokriSceneRecords& r, bool rgba, uint32_t* pixels, size_t pixel_count, Failure& f);

// The renderer's PNG file at `path` (`shown` names it in messages).
int32_t render_png(const VokriSceneRecords& r, const std::string& path, const std::string& shown, Failure& f);

int32_t pick(const VokriSceneRecords& r, uint32_t x, uint32_t y, int32_t* id, Failure& f);

}  // namespace vokri_scenefile
