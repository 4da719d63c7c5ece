#include "render.h"

#include "api/calls.h"
#include "common/error.h"

namespace vokri_scenefile {

namespace {

#define VOKRI_RECORD_ARRAYS(r)                                                                             \
    (r).shapes, (r).shape_count, (r).batches, (r).batch_count, (r).vectors, (r).vector_count, (r).images,  \
        (r).image_count, (r).infinite_geometry, (r).infinite_geometry_count, (r).meshes, (r).mesh_count,   \
        (r).morphs, (r).morph_count

std::string canvas_text(const VokriSceneRecords& r) {
    return std::to_string(r.width) + " x " + std::to_string(r.height);
}

// The outcome of one call as a status, with `f` filled on failure.
int32_t settle(const vokri::CallOutcome& out, const VokriSceneRecords& r, const char* function, Failure& f) {
    if (out.rc == VOKRI_OK) return VOKRI_SCENEFILE_OK;
    if (out.rc == VOKRI_ERROR) {
        f.status = VOKRI_SCENEFILE_RENDER_FAILED;
        f.render_error = static_cast<int32_t>(out.error);
        f.error_name = vokri::error_name(out.error);
        if (out.failed_item < r.item_count) {
            f.item_index = r.sources ? r.sources[out.failed_item] : out.failed_item;
            f.item_kind = r.kinds && r.kinds[out.failed_item] ? r.kinds[out.failed_item]
                                                              : item_kind_name(r, out.failed_item);
        }
        return f.status;
    }
    f = bad_arguments(std::string(function) + " rejected the arguments (a canvas of " + canvas_text(r) +
                      " at scale " + std::to_string(r.scale) + "; a list without records but a count above 0?)");
    return f.status;
}

}  // namespace

std::string item_kind_name(const VokriSceneRecords& r, size_t i) {
    static const char* const kKinds[] = {"shape", "batch", "vector", "morph", "image", "mesh"};
    static const char* const kGeometry[] = {"line", "grid", "complex_grid", "fractal"};
    const VokriDrawItem item = r.items[i];
    if (item.kind < 6) return kKinds[item.kind];
    if (item.kind == VOKRI_ITEM_INFINITE && item.index < r.infinite_geometry_count && r.infinite_geometry) {
        const uint32_t g = r.infinite_geometry[item.index].geometry_kind;
        return g < 4 ? kGeometry[g] : "infinite";
    }
    return "kind " + std::to_string(item.kind);
}

int32_t render_pixels(const VokriSceneRecords& r, bool rgba, uint32_t* pixels, size_t pixel_count, Failure& f) {
    if (r.width > 0 && r.height > 0 && pixels &&
        pixel_count < static_cast<uint64_t>(r.width) * static_cast<uint64_t>(r.height)) {
        f = bad_arguments("the pixel buffer holds " + std::to_string(pixel_count) + " pixels; a canvas of " +
                          canvas_text(r) + " needs " +
                          std::to_string(static_cast<uint64_t>(r.width) * static_cast<uint64_t>(r.height)));
        return f.status;
    }
    const auto out = vokri::call_render_pixels(rgba, r.width, r.height, r.scale, r.items, r.item_count,
                                               VOKRI_RECORD_ARRAYS(r), pixels, pixel_count);
    return settle(out, r, rgba ? "vokri_render_scene_rgba0" : "vokri_render_scene_rgb0", f);
}

int32_t render_png(const VokriSceneRecords& r, const std::string& path, const std::string& shown, Failure& f) {
    const auto out = vokri::call_render_png(path.c_str(), r.width, r.height, r.scale, r.items, r.item_count,
                                            VOKRI_RECORD_ARRAYS(r));
    const int32_t status = settle(out, r, "vokri_render_scene_frame", f);
    if (status != VOKRI_SCENEFILE_RENDER_FAILED || f.item_index >= 0) return status;
    f.file = shown;
    // The renderer's errors of writing the file (AccessDenied to WriteFailed,
    // BytesWrittenMismatch) are the output's, as for the other file modes.
    const auto e = static_cast<vokri::Error>(f.render_error);
    const bool writing = (e >= vokri::Error::AccessDenied && e <= vokri::Error::WriteFailed) ||
                         e == vokri::Error::BytesWrittenMismatch;
    if (writing) f = output_failed(shown, "cannot write " + shown + ": " + f.error_name);
    return f.status;
}

int32_t pick(const VokriSceneRecords& r, uint32_t x, uint32_t y, int32_t* id, Failure& f) {
    if (r.width > 0 && r.height > 0 &&
        (x >= static_cast<uint32_t>(r.width) || y >= static_cast<uint32_t>(r.height))) {
        f = bad_arguments("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the canvas of " +
                          canvas_text(r) + " pixels (x from 0 to " + std::to_string(r.width - 1) +
                          ", y from 0 to " + std::to_string(r.height - 1) + ")");
        return f.status;
    }
    const auto out = vokri::call_pick(r.width, r.height, r.scale, r.items, r.ids, r.item_count,
                                      VOKRI_RECORD_ARRAYS(r), x, y, id);
    return settle(out, r, "vokri_pick_scene_object", f);
}

}  // namespace vokri_scenefile
