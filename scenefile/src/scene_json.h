// Scene files: a JSON document turned into the records of vokri_core.h,
// with every buffer the records point to owned by the Scene.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "animation.h"
#include "mesh_gen.h"
#include "png_read.h"
#include "scene_arrays.h"
#include "vokri_core.h"

namespace vokri_scenefile {

// A fault in a scene file: the JSON path of the offending value (for example
// "items[3].points[2][1]") and what is wrong with it.
class SceneError : public std::runtime_error {
public:
    SceneError(std::string path, std::string message);
    const std::string& path() const { return path_; }
    const std::string& message() const { return message_; }

private:
    std::string path_;
    std::string message_;
};

// Limits that keep a scene file from asking for unbounded memory or time.
inline constexpr int64_t kMaxCanvasSide = 32768;
inline constexpr int64_t kMaxCanvasPixels = int64_t{1} << 28;
inline constexpr int64_t kMaxRasterPixels = int64_t{1} << 26;
inline constexpr int64_t kMaxPrimitiveDivisions = 2048;
inline constexpr int kMaxNestingDepth = 64;

// The records of one frame, ready for the exports. Every pointer inside the
// records points into storage owned by this object, so it cannot be copied;
// moving keeps the pointers valid.
struct Scene : SceneArrays {
    int32_t width = 0;
    int32_t height = 0;
    double scale = 0.0;
    // Parallel to `items`: the position in the file's item list and the
    // kind name of the item each DrawItem comes from (an item may make
    // several, or none when hidden), for messages.
    std::vector<uint32_t> sources;
    std::vector<const char*> kinds;
    // What could be drawn only in part (missing characters, unsupported SVG
    // features), one line each.
    std::vector<std::string> warnings;

    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&&) = default;
    Scene& operator=(Scene&&) = default;

    // Owned storage. A deque never moves its elements when it grows, and a
    // moved vector keeps its buffer, so pointers handed out stay valid.
    template <class T>
    T* own(std::vector<T> v) {
        auto& slot = storage<T>().emplace_back(std::move(v));
        return slot.data();
    }

    // A kind name, kept as long as the scene.
    const char* name(const std::string& kind) {
        for (const auto& n : names_)
            if (n == kind) return n.c_str();
        return names_.emplace_back(kind).c_str();
    }

    // Something the records point into, shared with a cache and other
    // frames, kept as long as the scene.
    template <class T>
    const T& keep(std::shared_ptr<const T> shared) {
        const T& kept = *shared;
        kept_.push_back(std::move(shared));
        return kept;
    }

    // A decoded image file, shared with the cache and other frames.
    const uint8_t* share(std::shared_ptr<const Raster> raster) {
        return rasters_.emplace_back(std::move(raster))->rgba.data();
    }

    size_t owned_buffers() const {
        return doubles_.size() + floats_.size() + u32s_.size() + u8s_.size() + segments_.size() +
               vector_shapes_.size() + layers_.size() + rasters_.size();
    }

private:
    template <class T>
    std::deque<std::vector<T>>& storage();

    std::vector<std::shared_ptr<const void>> kept_;
    std::deque<std::vector<double>> doubles_;
    std::deque<std::vector<float>> floats_;
    std::deque<std::vector<uint32_t>> u32s_;
    std::deque<std::vector<uint8_t>> u8s_;
    std::deque<std::vector<VokriCubicSegment>> segments_;
    std::deque<std::vector<VokriVectorShape>> vector_shapes_;
    std::deque<std::vector<VokriMeshLayer>> layers_;
    std::vector<std::shared_ptr<const Raster>> rasters_;
    std::deque<std::string> names_;
};

template <> inline std::deque<std::vector<double>>& Scene::storage<double>() { return doubles_; }
template <> inline std::deque<std::vector<float>>& Scene::storage<float>() { return floats_; }
template <> inline std::deque<std::vector<uint32_t>>& Scene::storage<uint32_t>() { return u32s_; }
template <> inline std::deque<std::vector<uint8_t>>& Scene::storage<uint8_t>() { return u8s_; }
template <> inline std::deque<std::vector<VokriCubicSegment>>& Scene::storage<VokriCubicSegment>() {
    return segments_;
}
template <> inline std::deque<std::vector<VokriVectorShape>>& Scene::storage<VokriVectorShape>() {
    return vector_shapes_;
}
template <> inline std::deque<std::vector<VokriMeshLayer>>& Scene::storage<VokriMeshLayer>() {
    return layers_;
}

struct ParseOptions {
    // Relative image file paths are resolved against this directory (the
    // scene file's directory); empty means the current directory.
    std::filesystem::path base_dir;
    // Command-line overrides of the canvas.
    std::optional<int64_t> width;
    std::optional<int64_t> height;
    std::optional<double> scale;
    // Image files read once for every frame built with these options; null
    // reads them at every build.
    std::shared_ptr<RasterCache> images;
    // Text items as a shape per glyph, unmerged (for the glyph outlines
    // hosts ask for).
    bool text_per_glyph = false;
};

// A generated mesh's description {"type": "cube" | "sphere" | "torus", ...}
// at `path`, made. Throws SceneError.
MeshData read_primitive(const nlohmann::json& v, const std::string& path);

// Builds a Scene from a parsed document, with its tracks read at `time`
// seconds. Throws SceneError.
Scene build_scene(const nlohmann::json& doc, const ParseOptions& options = {}, double time = 0.0);

// The document's frame clock ("animation" block). Throws SceneError.
Animation read_animation(const nlohmann::json& doc);

// A scene file read and parsed once, built frame by frame. Building is
// const and may run on several threads at once.
class SceneDocument {
public:
    // Throws SceneError, like the functions below.
    static SceneDocument parse(const std::string& text, ParseOptions options = {});
    static SceneDocument load(const std::filesystem::path& file, ParseOptions options = {});

    const Animation& animation() const { return animation_; }
    Scene frame(int64_t k) const;

private:
    std::shared_ptr<const nlohmann::json> doc_;
    ParseOptions options_;
    Animation animation_;
};

// JSON text as scene files are parsed: nesting limited, duplicate keys
// refused. Throws SceneError.
nlohmann::json parse_json_text(const std::string& text);

// Parses JSON text and builds the Scene. Throws SceneError; a syntax error
// carries the path "(document)" and the parser's position.
Scene parse_scene_text(const std::string& text, const ParseOptions& options = {});

// Reads and parses a scene file. Throws SceneError.
Scene load_scene_file(const std::filesystem::path& file, ParseOptions options = {});

// The colour notations of scene files: the strings of parse_colour_text or
// an integer 0xRRGGBBAA. Returns nullopt for anything else.
std::optional<uint32_t> parse_colour(const nlohmann::json& value);

}  // namespace vokri_scenefile
