// The five exported functions: the work (api/calls.h), return codes and the
// error line.
#include "api/calls.h"
#include "api/message.h"
#include "vokri_core.h"

using namespace vokri;

namespace {

int32_t finish(const char* prefix, const CallOutcome& r) noexcept {
    if (r.rc == VOKRI_ERROR) report_error(prefix, r.error);
    return r.rc;
}

}  // namespace

extern "C" {

VOKRI_API uint32_t vokri_abi_version(void) { return VOKRI_ABI_VERSION; }

VOKRI_API int32_t vokri_render_scene_rgba0(int32_t width, int32_t height, double scale,
                                           const VokriDrawItem* items, uint32_t item_count,
                                           VOKRI_SCENE_PARAMS, uint32_t* pixels, size_t pixel_count) {
    return finish("vokri scene rgba0 render error: ",
                  call_render_pixels(true, width, height, scale, items, item_count, VOKRI_SCENE_ARGS, pixels,
                                     pixel_count));
}

VOKRI_API int32_t vokri_render_scene_rgb0(int32_t width, int32_t height, double scale,
                                          const VokriDrawItem* items, uint32_t item_count,
                                          VOKRI_SCENE_PARAMS, uint32_t* pixels, size_t pixel_count) {
    return finish("vokri scene rgb0 render error: ",
                  call_render_pixels(false, width, height, scale, items, item_count, VOKRI_SCENE_ARGS, pixels,
                                     pixel_count));
}

VOKRI_API int32_t vokri_render_scene_frame(const char* path, int32_t width, int32_t height, double scale,
                                           const VokriDrawItem* items, uint32_t item_count,
                                           VOKRI_SCENE_PARAMS) {
    return finish("vokri scene render error: ",
                  call_render_png(path, width, height, scale, items, item_count, VOKRI_SCENE_ARGS));
}

VOKRI_API int32_t vokri_pick_scene_object(int32_t width, int32_t height, double scale,
                                          const VokriDrawItem* items, const int32_t* item_ids,
                                          uint32_t item_count, VOKRI_SCENE_PARAMS, uint32_t x, uint32_t y,
                                          int32_t* out_id) {
    return finish("vokri scene pick error: ",
                  call_pick(width, height, scale, items, item_ids, item_count, VOKRI_SCENE_ARGS, x, y, out_id));
}

}  // extern "C"
