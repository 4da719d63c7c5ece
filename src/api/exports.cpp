// The five exported functions: argument checks, the work, return codes and
// the error line.
#include <cmath>
#include <cstring>

#include "common/error.h"
#include "api/message.h"
#include "png/png_export.h"
#include "scene/frame.h"
#include "scene/pick.h"
#include "vokri_core.h"

using namespace vokri;

namespace {

constexpr int32_t kOk = VOKRI_OK;
constexpr int32_t kFailed = VOKRI_ERROR;
constexpr int32_t kBadArguments = VOKRI_INVALID_ARGUMENTS;

bool finite_positive(double s) noexcept { return std::isfinite(s) && s > 0; }

template <class T>
bool array_ok(const T* p, uint32_t n) noexcept {
    return n == 0 || p != nullptr;
}

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

bool arrays_ok(VOKRI_SCENE_PARAMS) noexcept {
    return array_ok(shapes, shape_count) && array_ok(batches, batch_count) &&
           array_ok(vectors, vector_count) && array_ok(images, image_count) &&
           array_ok(infinite_geometry, infinite_geometry_count) && array_ok(meshes, mesh_count) &&
           array_ok(morphs, morph_count);
}

Scene make_scene(const VokriDrawItem* items, uint32_t item_count, VOKRI_SCENE_PARAMS) noexcept {
    Scene s;
    s.items = items;
    s.item_count = item_count;
    s.shapes = {shapes, shape_count};
    s.batches = {batches, batch_count};
    s.vectors = {vectors, vector_count};
    s.images = {images, image_count};
    s.infinite_geometry = {infinite_geometry, infinite_geometry_count};
    s.meshes = {meshes, mesh_count};
    s.morphs = {morphs, morph_count};
    return s;
}

int32_t finish(const char* prefix, Error e) noexcept {
    if (e == Error::None) return kOk;
    report_error(prefix, e);
    return kFailed;
}

int32_t render_pixels(FrameVariant variant, const char* prefix, int32_t width, int32_t height,
                      double scale, const VokriDrawItem* items, uint32_t item_count, VOKRI_SCENE_PARAMS,
                      uint32_t* pixels, size_t pixel_count) noexcept {
    if (width <= 0 || height <= 0) return kBadArguments;
    if (!finite_positive(scale)) return kBadArguments;
    if (!array_ok(items, item_count) || !arrays_ok(VOKRI_SCENE_ARGS)) return kBadArguments;
    if (pixels == nullptr) return kBadArguments;
    uint64_t need = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixel_count < need) return kBadArguments;
    Scene scene = make_scene(items, item_count, VOKRI_SCENE_ARGS);
    return finish(prefix, render_frame(variant, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                       scale, scene, pixels, pixel_count));
}

}  // namespace

extern "C" {

VOKRI_API uint32_t vokri_abi_version(void) { return VOKRI_ABI_VERSION; }

VOKRI_API int32_t vokri_render_scene_rgba0(int32_t width, int32_t height, double scale,
                                           const VokriDrawItem* items, uint32_t item_count,
                                           VOKRI_SCENE_PARAMS, uint32_t* pixels, size_t pixel_count) {
    return render_pixels(FrameVariant::rgba0, "vokri scene rgba0 render error: ", width, height, scale,
                         items, item_count, VOKRI_SCENE_ARGS, pixels, pixel_count);
}

VOKRI_API int32_t vokri_render_scene_rgb0(int32_t width, int32_t height, double scale,
                                          const VokriDrawItem* items, uint32_t item_count,
                                          VOKRI_SCENE_PARAMS, uint32_t* pixels, size_t pixel_count) {
    return render_pixels(FrameVariant::rgb0, "vokri scene rgb0 render error: ", width, height, scale,
                         items, item_count, VOKRI_SCENE_ARGS, pixels, pixel_count);
}

VOKRI_API int32_t vokri_render_scene_frame(const char* path, int32_t width, int32_t height, double scale,
                                           const VokriDrawItem* items, uint32_t item_count,
                                           VOKRI_SCENE_PARAMS) {
    if (width <= 0 || height <= 0) return kBadArguments;
    if (!finite_positive(scale)) return kBadArguments;
    if (!array_ok(items, item_count) || !arrays_ok(VOKRI_SCENE_ARGS)) return kBadArguments;
    // A null path cannot name a file.
    if (path == nullptr) return kBadArguments;
    Scene scene = make_scene(items, item_count, VOKRI_SCENE_ARGS);
    return finish("vokri scene render error: ",
                  render_frame_png(path, std::strlen(path), static_cast<uint32_t>(width),
                                   static_cast<uint32_t>(height), scale, scene));
}

VOKRI_API int32_t vokri_pick_scene_object(int32_t width, int32_t height, double scale,
                                          const VokriDrawItem* items, const int32_t* item_ids,
                                          uint32_t item_count, VOKRI_SCENE_PARAMS, uint32_t x, uint32_t y,
                                          int32_t* out_id) {
    if (width <= 0 || height <= 0) return kBadArguments;
    if (!finite_positive(scale)) return kBadArguments;
    if (x >= static_cast<uint32_t>(width) || y >= static_cast<uint32_t>(height)) return kBadArguments;
    if (out_id == nullptr) return kBadArguments;
    if (item_count != 0 && (items == nullptr || item_ids == nullptr)) return kBadArguments;
    if (!arrays_ok(VOKRI_SCENE_ARGS)) return kBadArguments;
    Scene scene = make_scene(items, item_count, VOKRI_SCENE_ARGS);
    PickResult r = pick(static_cast<uint32_t>(width), static_cast<uint32_t>(height), scale, scene,
                        item_ids, item_count, x, y);
    if (r.error == Error::None) *out_id = r.id;
    return finish("vokri scene pick error: ", r.error);
}

}  // extern "C"
