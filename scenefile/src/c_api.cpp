// The exported functions of vokri_scenefile.h: argument checks, the work,
// and every failure turned into a status and a VokriSceneFileError. No
// exception leaves this file.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "colour.h"
#include "failure.h"
#include "mesh_gen.h"
#include "outputs.h"
#include "png_read.h"
#include "render.h"
#include "same_drawing.h"
#include "scene_json.h"
#include "video_output.h"
#include "vokri_scenefile.h"

using namespace vokri_scenefile;
using json = nlohmann::json;

struct VokriSceneDocument {
    SceneDocument document;
    std::string name;  // the file that messages name
    VokriSceneInfo info{};
    // Warnings already given by a frame: each is given once.
    mutable std::mutex mutex;
    mutable std::set<std::string> warned;
};

struct VokriSceneFrame {
    Scene scene;
    VokriSceneRecords records{};
    int64_t number = -1;
    std::vector<std::string> warnings;  // those to report
};

struct VokriSceneVideo {
    VideoOutput output;
};

namespace {

// Stores `f` for the caller (when asked) and returns its status.
int32_t report(const Failure& f, VokriSceneFileError** error) {
    if (error) *error = to_c_error(f);
    return f.status;
}

void clear(VokriSceneFileError** error) {
    if (error) *error = nullptr;
}

Failure scene_failure(const SceneError& e, const std::string& file, int64_t frame) {
    Failure f;
    f.status = VOKRI_SCENEFILE_BAD_SCENE;
    f.file = file;
    f.json_path = e.path();
    f.message = e.message();
    f.frame = frame;
    return f;
}

Failure out_of_memory(int32_t status) {
    Failure f;
    f.status = status;
    f.message = "out of memory";
    return f;
}

// Runs `work` (which returns a status and fills a Failure) behind the
// exception barrier: SceneError is a fault of the scene, bad_alloc a lack of
// memory reported with `oom_status`.
template <class Work>
int32_t guarded(VokriSceneFileError** error, int32_t oom_status, Work&& work) noexcept {
    clear(error);
    try {
        Failure f;
        const int32_t status = work(f);
        if (status != VOKRI_SCENEFILE_OK) return report(f, error);
        return status;
    } catch (const std::bad_alloc&) {
        return report(out_of_memory(oom_status), error);
    } catch (const std::exception& e) {
        try {
            Failure f;
            f.status = oom_status;
            f.message = e.what();
            return report(f, error);
        } catch (...) {
            return oom_status;
        }
    } catch (...) {
        return oom_status;
    }
}

// One block: the struct, then positions, normals and indices.
VokriSceneMesh* copy_mesh(const MeshData& m) {
    const size_t p = m.positions.size() * sizeof(float), n = m.normals.size() * sizeof(float),
                 i = m.indices.size() * sizeof(uint32_t);
    auto* out = static_cast<VokriSceneMesh*>(std::malloc(sizeof(VokriSceneMesh) + p + n + i));
    if (!out) return nullptr;
    auto* at = reinterpret_cast<unsigned char*>(out + 1);
    std::memcpy(at, m.positions.data(), p);
    std::memcpy(at + p, m.normals.data(), n);
    std::memcpy(at + p + n, m.indices.data(), i);
    out->vertex_count = static_cast<uint32_t>(m.positions.size() / 3);
    out->index_count = static_cast<uint32_t>(m.indices.size());
    out->positions = reinterpret_cast<const float*>(at);
    out->normals = reinterpret_cast<const float*>(at + p);
    out->indices = reinterpret_cast<const uint32_t*>(at + p + n);
    return out;
}

ParseOptions parse_options(const VokriSceneOptions* o) {
    ParseOptions p;
    if (!o) return p;
    if (o->width != 0) p.width = o->width;
    if (o->height != 0) p.height = o->height;
    if (o->scale != 0) p.scale = o->scale;
    return p;
}

void fill_records(VokriSceneFrame& fr) {
    const Scene& s = fr.scene;
    VokriSceneRecords& r = fr.records;
    r.width = s.width;
    r.height = s.height;
    r.scale = s.scale;
    r.items = s.items.data();
    r.ids = s.ids.data();
    r.item_count = static_cast<uint32_t>(s.items.size());
    r.shapes = s.shapes.data();
    r.shape_count = static_cast<uint32_t>(s.shapes.size());
    r.batches = s.batches.data();
    r.batch_count = static_cast<uint32_t>(s.batches.size());
    r.vectors = s.vectors.data();
    r.vector_count = static_cast<uint32_t>(s.vectors.size());
    r.images = s.images.data();
    r.image_count = static_cast<uint32_t>(s.images.size());
    r.infinite_geometry = s.infinite.data();
    r.infinite_geometry_count = static_cast<uint32_t>(s.infinite.size());
    r.meshes = s.meshes.data();
    r.mesh_count = static_cast<uint32_t>(s.meshes.size());
    r.morphs = s.morphs.data();
    r.morph_count = static_cast<uint32_t>(s.morphs.size());
    r.sources = s.sources.data();
    r.kinds = s.kinds.data();
}

// The frame's warnings that the document has not given yet.
void take_new_warnings(const VokriSceneDocument& d, VokriSceneFrame& fr) {
    const std::lock_guard lock(d.mutex);
    for (const std::string& w : fr.scene.warnings)
        if (d.warned.insert(w).second) fr.warnings.push_back(w);
}

// Builds frame k of `d`, or fills `f`. `report` takes the frame's warnings
// that the document has not given yet.
VokriSceneFrame* build_frame(const VokriSceneDocument& d, int64_t k, Failure& f, bool report = true) {
    const int64_t number = d.info.animated ? k : -1;
    auto fr = std::make_unique<VokriSceneFrame>();
    fr->number = number;
    try {
        fr->scene = d.document.frame(k);
    } catch (const SceneError& e) {
        f = scene_failure(e, d.name, number);
        return nullptr;
    }
    fill_records(*fr);
    if (report) take_new_warnings(d, *fr);
    return fr.release();
}

// Opens the document behind `load` and checks it by building frame 0.
template <class Load>
VokriSceneDocument* open_document(const char* name, Load&& load, VokriSceneFileError** error) noexcept {
    VokriSceneDocument* out = nullptr;
    guarded(error, VOKRI_SCENEFILE_BAD_SCENE, [&](Failure& f) {
        auto d = std::make_unique<VokriSceneDocument>();
        d->name = name;
        try {
            d->document = load();
        } catch (const SceneError& e) {
            f = scene_failure(e, name, -1);
            return f.status;
        }
        const Animation& a = d->document.animation();
        d->info.animated = a.animated ? 1 : 0;
        d->info.fps = a.animated ? a.fps : 0.0;
        d->info.frame_count = a.frame_count;
        std::unique_ptr<VokriSceneFrame> first(build_frame(*d, 0, f, false));
        if (!first) return f.status;
        d->info.width = first->records.width;
        d->info.height = first->records.height;
        d->info.scale = first->records.scale;
        out = d.release();
        return VOKRI_SCENEFILE_OK;
    });
    return out;
}

// One item built alone on a 1 x 1 canvas (text items a shape per glyph when
// asked).
VokriSceneFrame* build_one_item(const char* item_json, size_t length, const char* base_dir, double scale,
                                bool per_glyph, VokriSceneFileError** error) noexcept {
    VokriSceneFrame* out = nullptr;
    guarded(error, VOKRI_SCENEFILE_BAD_SCENE, [&](Failure& f) {
        if (!item_json && length > 0) return (f = bad_arguments("no item text")).status;
        auto fr = std::make_unique<VokriSceneFrame>();
        try {
            const json item = parse_json_text(std::string(item_json ? item_json : "", length));
            json doc = {{"width", 1}, {"height", 1}, {"scale", 1}, {"items", json::array({item})}};
            ParseOptions p;
            if (base_dir) p.base_dir = base_dir;
            p.scale = scale;
            p.text_per_glyph = per_glyph;
            fr->scene = build_scene(doc, p);
        } catch (const SceneError& e) {
            f = scene_failure(e, "", -1);
            // The path within the item, not within the scene built around it.
            const std::string within = "items[0]";
            if (f.json_path.starts_with(within + ".")) f.json_path.erase(0, within.size() + 1);
            else if (f.json_path.starts_with(within)) f.json_path.erase(0, within.size());
            return f.status;
        }
        fill_records(*fr);
        fr->warnings = fr->scene.warnings;
        out = fr.release();
        return VOKRI_SCENEFILE_OK;
    });
    return out;
}

}  // namespace

extern "C" {

VOKRI_SCENEFILE_API void vokri_scenefile_error_free(VokriSceneFileError* error) { std::free(error); }

VOKRI_SCENEFILE_API uint32_t vokri_scenefile_abi_version(void) { return VOKRI_SCENEFILE_ABI_VERSION; }

VOKRI_SCENEFILE_API uint32_t vokri_scenefile_core_abi_version(void) { return VOKRI_ABI_VERSION; }

VOKRI_SCENEFILE_API VokriSceneDocument* vokri_scenefile_open(const char* path, const VokriSceneOptions* options,
                                                             VokriSceneFileError** error) {
    if (!path || !*path) {
        clear(error);
        try {
            report(bad_arguments("no scene file named"), error);
        } catch (...) {
        }
        return nullptr;
    }
    const char* name = std::strcmp(path, "-") == 0 ? "(standard input)" : path;
    return open_document(
        name, [&] { return SceneDocument::load(path, parse_options(options)); }, error);
}

VOKRI_SCENEFILE_API VokriSceneDocument* vokri_scenefile_parse(const char* text, size_t length, const char* base_dir,
                                                              const char* name, const VokriSceneOptions* options,
                                                              VokriSceneFileError** error) {
    if (!text && length > 0) {
        clear(error);
        try {
            report(bad_arguments("no scene text (a null pointer with a length)"), error);
        } catch (...) {
        }
        return nullptr;
    }
    return open_document(
        name ? name : "",
        [&] {
            ParseOptions p = parse_options(options);
            if (base_dir) p.base_dir = base_dir;
            return SceneDocument::parse(std::string(text ? text : "", length), std::move(p));
        },
        error);
}

VOKRI_SCENEFILE_API void vokri_scenefile_close(VokriSceneDocument* document) { delete document; }

VOKRI_SCENEFILE_API void vokri_scenefile_info(const VokriSceneDocument* document, VokriSceneInfo* info) {
    if (document && info) *info = document->info;
}

VOKRI_SCENEFILE_API VokriSceneFrame* vokri_scenefile_frame(const VokriSceneDocument* document, int64_t k,
                                                           VokriSceneFileError** error) {
    VokriSceneFrame* out = nullptr;
    guarded(error, VOKRI_SCENEFILE_BAD_SCENE, [&](Failure& f) {
        if (!document) {
            f = bad_arguments("no document");
            return f.status;
        }
        const int64_t n = document->info.frame_count;
        if (k < 0 || k >= n) {
            f = bad_arguments("frame " + std::to_string(k) + " is outside the " + std::to_string(n) +
                              (n == 1 ? " frame" : " frames") + " of " +
                              (document->name.empty() ? "the scene" : document->name) + " (0 to " +
                              std::to_string(n - 1) + ")");
            return f.status;
        }
        out = build_frame(*document, k, f);
        return out ? VOKRI_SCENEFILE_OK : f.status;
    });
    return out;
}

VOKRI_SCENEFILE_API const VokriSceneRecords* vokri_scenefile_frame_records(const VokriSceneFrame* frame) {
    return frame ? &frame->records : nullptr;
}

VOKRI_SCENEFILE_API int64_t vokri_scenefile_frame_number(const VokriSceneFrame* frame) {
    return frame ? frame->number : -1;
}

VOKRI_SCENEFILE_API void vokri_scenefile_frame_free(VokriSceneFrame* frame) { delete frame; }

VOKRI_SCENEFILE_API uint32_t vokri_scenefile_frame_warning_count(const VokriSceneFrame* frame) {
    return frame ? static_cast<uint32_t>(frame->warnings.size()) : 0;
}

VOKRI_SCENEFILE_API const char* vokri_scenefile_frame_warning(const VokriSceneFrame* frame, uint32_t i) {
    return frame && i < frame->warnings.size() ? frame->warnings[i].c_str() : nullptr;
}

VOKRI_SCENEFILE_API VokriSceneFrame* vokri_scenefile_build_item(const char* item_json, size_t length,
                                                                const char* base_dir, double scale,
                                                                VokriSceneFileError** error) {
    return build_one_item(item_json, length, base_dir, scale, false, error);
}

VOKRI_SCENEFILE_API VokriSceneFrame* vokri_scenefile_text_glyphs(const char* item_json, size_t length,
                                                                 const char* base_dir, VokriSceneFileError** error) {
    return build_one_item(item_json, length, base_dir, 1.0, true, error);
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_render(const VokriSceneRecords* records, int32_t mode, int64_t frame,
                                                   uint32_t* pixels, size_t pixel_count,
                                                   VokriSceneFileError** error) {
    return guarded(error, VOKRI_SCENEFILE_RENDER_FAILED, [&](Failure& f) {
        f.frame = frame;
        int32_t status;
        if (!records) status = (f = bad_arguments("no records")).status;
        else if (mode != VOKRI_SCENEFILE_RGB0 && mode != VOKRI_SCENEFILE_RGBA0)
            status = (f = bad_arguments("pixels are RGB0 or RGBA0, not mode " + std::to_string(mode))).status;
        else status = render_pixels(*records, mode == VOKRI_SCENEFILE_RGBA0, pixels, pixel_count, f);
        f.frame = frame;
        return status;
    });
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_render_file(const VokriSceneRecords* records, int32_t mode,
                                                        int64_t frame, const char* path,
                                                        VokriSceneFileError** error) {
    return guarded(error, VOKRI_SCENEFILE_OUTPUT_FAILED, [&](Failure& f) {
        const int32_t status = !records || !path || !*path ? (f = bad_arguments("no records or no path")).status
                                                           : render_file(*records, mode, path, f);
        f.frame = frame;
        return status;
    });
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_copy_file(const char* from, const char* path,
                                                      VokriSceneFileError** error) {
    return guarded(error, VOKRI_SCENEFILE_OUTPUT_FAILED, [&](Failure& f) {
        return !from || !*from || !path || !*path ? (f = bad_arguments("no file to copy or no path")).status
                                                  : copy_output(from, path, f);
    });
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_pick(const VokriSceneRecords* records, int64_t frame, uint32_t x,
                                                 uint32_t y, int32_t* id, VokriSceneFileError** error) {
    return guarded(error, VOKRI_SCENEFILE_RENDER_FAILED, [&](Failure& f) {
        const int32_t status = !records || !id ? (f = bad_arguments("no records or no id")).status
                                               : pick(*records, x, y, id, f);
        f.frame = frame;
        return status;
    });
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_remove_stale_temporaries(const char* path) {
    if (!path) return 0;
    try {
        return remove_stale_temporaries(path);
    } catch (...) {
        return 0;
    }
}

VOKRI_SCENEFILE_API VokriSceneVideo* vokri_scenefile_video_open(const char* path, int32_t width, int32_t height,
                                                                double fps, int32_t alpha,
                                                                VokriSceneFileError** error) {
    VokriSceneVideo* out = nullptr;
    guarded(error, VOKRI_SCENEFILE_OUTPUT_FAILED, [&](Failure& f) {
        if (!path) return (f = bad_arguments("no video path")).status;
        auto v = std::make_unique<VokriSceneVideo>();
        const int32_t status = v->output.open(path, width, height, fps, alpha != 0, f);
        if (status == VOKRI_SCENEFILE_OK) out = v.release();
        return status;
    });
    return out;
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_video_write(VokriSceneVideo* video, const uint32_t* pixels,
                                                        size_t pixel_count, VokriSceneFileError** error) {
    return guarded(error, VOKRI_SCENEFILE_OUTPUT_FAILED, [&](Failure& f) {
        if (!video) return (f = bad_arguments("no video")).status;
        return video->output.write(pixels, pixel_count, f);
    });
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_video_finish(VokriSceneVideo* video, VokriSceneFileError** error) {
    const std::unique_ptr<VokriSceneVideo> owned(video);
    return guarded(error, VOKRI_SCENEFILE_OUTPUT_FAILED, [&](Failure& f) {
        if (!video) return (f = bad_arguments("no video")).status;
        return video->output.finish(f);
    });
}

VOKRI_SCENEFILE_API void vokri_scenefile_video_free(VokriSceneVideo* video) { delete video; }

VOKRI_SCENEFILE_API int32_t vokri_scenefile_video_kind(const char* path) {
    if (!path) return 0;
    try {
        const auto format = video_format_of(path);
        if (!format) return 0;
        return keeps_alpha(*format) ? 2 : 1;
    } catch (...) {
        return 0;
    }
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_same_drawing(const VokriSceneRecords* a, const VokriSceneRecords* b) {
    return a && b && same_drawing(*a, *b) ? 1 : 0;
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_parse_colour(const char* text, uint32_t* out) {
    if (!text || !out) return VOKRI_SCENEFILE_BAD_ARGUMENTS;
    try {
        const auto c = parse_colour_text(text);
        if (!c) return VOKRI_SCENEFILE_BAD_ARGUMENTS;
        *out = *c;
        return VOKRI_SCENEFILE_OK;
    } catch (...) {
        return VOKRI_SCENEFILE_BAD_ARGUMENTS;
    }
}

VOKRI_SCENEFILE_API VokriSceneMesh* vokri_scenefile_mesh(const char* primitive_json, VokriSceneFileError** error) {
    VokriSceneMesh* out = nullptr;
    guarded(error, VOKRI_SCENEFILE_BAD_SCENE, [&](Failure& f) {
        if (!primitive_json) return (f = bad_arguments("no primitive")).status;
        MeshData m;
        try {
            m = read_primitive(parse_json_text(primitive_json), "primitive");
        } catch (const SceneError& e) {
            f = scene_failure(e, "", -1);
            return f.status;
        }
        out = copy_mesh(m);
        return out ? VOKRI_SCENEFILE_OK : (f = out_of_memory(VOKRI_SCENEFILE_BAD_SCENE)).status;
    });
    return out;
}

VOKRI_SCENEFILE_API void vokri_scenefile_mesh_free(VokriSceneMesh* mesh) { std::free(mesh); }

VOKRI_SCENEFILE_API void vokri_scenefile_compose_model(const double translate[3], const double rotate[3],
                                                       const double scale[3], float model[16]) {
    static constexpr double kZero[3] = {0, 0, 0}, kOne[3] = {1, 1, 1};
    if (!model) return;
    compose_model(translate ? translate : kZero, rotate ? rotate : kZero, scale ? scale : kOne, model);
}

VOKRI_SCENEFILE_API int32_t vokri_scenefile_read_png(const char* path, uint32_t* width, uint32_t* height,
                                                     uint8_t** pixels, VokriSceneFileError** error) {
    return guarded(error, VOKRI_SCENEFILE_BAD_SCENE, [&](Failure& f) {
        if (!path || !width || !height || !pixels) return (f = bad_arguments("a null argument")).status;
        Raster raster;
        std::string message;
        if (!read_png_rgba(path, kMaxRasterPixels, raster, message)) {
            f.status = VOKRI_SCENEFILE_BAD_SCENE;
            f.file = path;
            f.message = message;
            return f.status;
        }
        auto* copy = static_cast<uint8_t*>(std::malloc(raster.rgba.size()));
        if (!copy) return (f = out_of_memory(VOKRI_SCENEFILE_BAD_SCENE)).status;
        std::memcpy(copy, raster.rgba.data(), raster.rgba.size());
        *width = raster.width;
        *height = raster.height;
        *pixels = copy;
        return VOKRI_SCENEFILE_OK;
    });
}

VOKRI_SCENEFILE_API void vokri_scenefile_pixels_free(uint8_t* pixels) { std::free(pixels); }

}  // extern "C"
