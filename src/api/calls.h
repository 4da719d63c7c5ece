// The work of the four Scene exports, argument checks included, as values:
// the export's return code, the error and the item it came from. The exports
// print the error line; in-tree callers that report errors their own way
// (the scene-file library) call these instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "vokri_core.h"

namespace vokri {

#define VOKRI_SCENE_PARAMS                                                                      \
    const VokriShapeRecord *shapes, uint32_t shape_count, const VokriBatchRecord *batches,      \
        uint32_t batch_count, const VokriVectorRecord *vectors, uint32_t vector_count,          \
        const VokriImageRecord *images, uint32_t image_count,                                   \
        const VokriInfiniteGeometryRecord *infinite_geometry, uint32_t infinite_geometry_count, \
        const VokriMeshRecord *meshes, uint32_t mesh_count, const VokriMorphRecord *morphs,     \
        uint32_t morph_count

#define VOKRI_SCENE_ARGS                                                                      \
    shapes, shape_count, batches, batch_count, vectors, vector_count, images, image_count,   \
        infinite_geometry, infinite_geometry_count, meshes, mesh_count, morphs, morph_count

struct CallOutcome {
    int32_t rc = VOKRI_OK;            // VOKRI_OK, VOKRI_ERROR or VOKRI_INVALID_ARGUMENTS
    Error error = Error::None;        // rc == VOKRI_ERROR
    uint32_t failed_item = UINT32_MAX;  // the item `error` came from; UINT32_MAX when none
};

CallOutcome call_render_pixels(bool rgba, int32_t width, int32_t height, double scale, const VokriDrawItem* items,
                               uint32_t item_count, VOKRI_SCENE_PARAMS, uint32_t* pixels,
                               size_t pixel_count) noexcept;

CallOutcome call_render_png(const char* path, int32_t width, int32_t height, double scale,
                            const VokriDrawItem* items, uint32_t item_count, VOKRI_SCENE_PARAMS) noexcept;

CallOutcome call_pick(int32_t width, int32_t height, double scale, const VokriDrawItem* items,
                      const int32_t* item_ids, uint32_t item_count, VOKRI_SCENE_PARAMS, uint32_t x, uint32_t y,
                      int32_t* out_id) noexcept;

}  // namespace vokri
