// A Scene held in vectors: the DrawItem list, the pick ids and the seven
// record arrays, with the four exports called over them. Whoever fills the
// records keeps what they point to alive. Shared by vokri-render, the tests,
// the fuzz targets and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "vokri_core.h"

namespace vokri_scenefile {

// The seven arrays of the struct below, as the exports take them.
#define VOKRI_ARRAYS_OF_THIS                                                                                   \
    shapes.data(), static_cast<uint32_t>(shapes.size()), batches.data(), static_cast<uint32_t>(batches.size()), \
        vectors.data(), static_cast<uint32_t>(vectors.size()), images.data(),                                   \
        static_cast<uint32_t>(images.size()), infinite.data(), static_cast<uint32_t>(infinite.size()),         \
        meshes.data(), static_cast<uint32_t>(meshes.size()), morphs.data(), static_cast<uint32_t>(morphs.size())

struct SceneArrays {
    std::vector<VokriDrawItem> items;
    std::vector<int32_t> ids;  // parallel to items, for picking
    std::vector<VokriShapeRecord> shapes;
    std::vector<VokriBatchRecord> batches;
    std::vector<VokriVectorRecord> vectors;
    std::vector<VokriImageRecord> images;
    std::vector<VokriInfiniteGeometryRecord> infinite;
    std::vector<VokriMeshRecord> meshes;
    std::vector<VokriMorphRecord> morphs;

    // Each call draws the first `count` items (all by default).
    int32_t rgba0(int32_t w, int32_t h, double scale, uint32_t* pixels, size_t pixel_count,
                  std::optional<uint32_t> count = {}) const {
        return vokri_render_scene_rgba0(w, h, scale, items.data(), count.value_or(item_count()), VOKRI_ARRAYS_OF_THIS,
                                        pixels, pixel_count);
    }
    int32_t rgb0(int32_t w, int32_t h, double scale, uint32_t* pixels, size_t pixel_count,
                 std::optional<uint32_t> count = {}) const {
        return vokri_render_scene_rgb0(w, h, scale, items.data(), count.value_or(item_count()), VOKRI_ARRAYS_OF_THIS,
                                       pixels, pixel_count);
    }
    int32_t frame(const char* path, int32_t w, int32_t h, double scale, std::optional<uint32_t> count = {}) const {
        return vokri_render_scene_frame(path, w, h, scale, items.data(), count.value_or(item_count()),
                                        VOKRI_ARRAYS_OF_THIS);
    }
    int32_t pick(int32_t w, int32_t h, double scale, uint32_t x, uint32_t y, int32_t* out,
                 std::optional<uint32_t> count = {}) const {
        return vokri_pick_scene_object(w, h, scale, items.data(), ids.data(), count.value_or(item_count()),
                                       VOKRI_ARRAYS_OF_THIS, x, y, out);
    }
    uint32_t item_count() const { return static_cast<uint32_t>(items.size()); }

};

#undef VOKRI_ARRAYS_OF_THIS

}  // namespace vokri_scenefile
