// Naming the item that made a render fail: the library reports only the
// error, so the item is found by rendering prefixes of the item list.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scene_json.h"

namespace vokri_tool {

struct FailingItem {
    size_t index;       // position in the item list
    std::string kind;   // "shape", "batch", ..., "line", "grid", "fractal"
    std::string error;  // the library's error name, e.g. "TooFewPoints"
};

// `render(n)` renders the first n items and returns the export's code. When
// rendering every item fails with code 1, finds the shortest failing prefix
// (a binary search: an item list stops at its first error) with the
// library's messages kept off standard error. nullopt when the items all
// draw: the failure lies elsewhere (writing the file, for one).
std::optional<FailingItem> find_failing_item(const Scene& scene, const std::function<int32_t(uint32_t)>& render);

// After a library error: finds the failing item with `render` and prints
// "vokri-render: <prefix>items[i] (kind): Error" on standard error. False
// when the items all draw.
bool report_failing_item(const Scene& scene, const std::function<int32_t(uint32_t)>& render,
                         const std::string& prefix = "");

// The scene-file kind of item i ("shape", ..., "line", "grid", ...).
std::string item_kind_name(const Scene& scene, size_t i);

}  // namespace vokri_tool
