#include "api/calls.h"

#include <cmath>
#include <cstring>

#include "scene/png_frame.h"
#include "scene/frame.h"
#include "scene/pick.h"

namespace vokri {

namespace {

bool finite_positive(double s) noexcept { return std::isfinite(s) && s > 0; }

template <class T>
bool array_ok(const T* p, uint32_t n) noexcept {
    return n == 0 || p != nullptr;
}

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

CallOutcome rejected() noexcept { return CallOutcome{VOKRI_INVALID_ARGUMENTS, Error::None, kNoItem}; }

CallOutcome outcome(Error e, uint32_t failed_item) noexcept {
    if (e == Error::None) return {};
    return CallOutcome{VOKRI_ERROR, e, failed_item};
}

}  // namespace

CallOutcome call_render_pixels(bool rgba, int32_t width, int32_t height, double scale, const VokriDrawItem* items,
                               uint32_t item_count, VOKRI_SCENE_PARAMS, uint32_t* pixels,
                               size_t pixel_count) noexcept {
    if (width <= 0 || height <= 0) return rejected();
    if (!finite_positive(scale)) return rejected();
    if (!array_ok(items, item_count) || !arrays_ok(VOKRI_SCENE_ARGS)) return rejected();
    if (pixels == nullptr) return rejected();
    const uint64_t need = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixel_count < need) return rejected();
    const Scene scene = make_scene(items, item_count, VOKRI_SCENE_ARGS);
    uint32_t failed = kNoItem;
    const Error e = render_frame(rgba ? FrameVariant::rgba0 : FrameVariant::rgb0, static_cast<uint32_t>(width),
                                 static_cast<uint32_t>(height), scale, scene, pixels, pixel_count, &failed);
    return outcome(e, failed);
}

CallOutcome call_render_png(const char* path, int32_t width, int32_t height, double scale,
                            const VokriDrawItem* items, uint32_t item_count, VOKRI_SCENE_PARAMS) noexcept {
    if (width <= 0 || height <= 0) return rejected();
    if (!finite_positive(scale)) return rejected();
    if (!array_ok(items, item_count) || !arrays_ok(VOKRI_SCENE_ARGS)) return rejected();
    // A null path cannot name a file.
    if (path == nullptr) return rejected();
    const Scene scene = make_scene(items, item_count, VOKRI_SCENE_ARGS);
    uint32_t failed = kNoItem;
    const Error e = render_frame_png(path, std::strlen(path), static_cast<uint32_t>(width),
                                     static_cast<uint32_t>(height), scale, scene, &failed);
    return outcome(e, failed);
}

CallOutcome call_pick(int32_t width, int32_t height, double scale, const VokriDrawItem* items,
                      const int32_t* item_ids, uint32_t item_count, VOKRI_SCENE_PARAMS, uint32_t x, uint32_t y,
                      int32_t* out_id) noexcept {
    if (width <= 0 || height <= 0) return rejected();
    if (!finite_positive(scale)) return rejected();
    if (x >= static_cast<uint32_t>(width) || y >= static_cast<uint32_t>(height)) return rejected();
    if (out_id == nullptr) return rejected();
    if (item_count != 0 && (items == nullptr || item_ids == nullptr)) return rejected();
    if (!arrays_ok(VOKRI_SCENE_ARGS)) return rejected();
    const Scene scene = make_scene(items, item_count, VOKRI_SCENE_ARGS);
    const PickResult r = pick(static_cast<uint32_t>(width), static_cast<uint32_t>(height), scale, scene,
                              item_ids, item_count, x, y);
    if (r.error == Error::None) *out_id = r.id;
    return outcome(r.error, r.failed_item);
}

}  // namespace vokri
