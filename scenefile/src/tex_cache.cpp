#include "tex_cache.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "scene_json.h"
#include "text_hash.h"

namespace vokri_scenefile {

namespace {

constexpr size_t kMaxMemoryEntries = 4096;

std::optional<std::filesystem::path> cache_folder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') return std::filesystem::path(xdg) / "vokri";
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return std::filesystem::path(home) / ".cache" / "vokri";
    return std::nullopt;
}

// A cached file holds the key on its first line, then the SVG; a file whose
// key differs (another formula with the same hash) is not a hit.
struct DiskCache {
    std::filesystem::path file;
    std::string key;

    std::optional<std::string> read() const {
        std::ifstream in(file, std::ios::binary);
        if (!in) return std::nullopt;
        std::string first;
        if (!std::getline(in, first) || first != key) return std::nullopt;
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Best effort: a cache that cannot be written only costs a conversion
    // next time.
    void write(const std::string& svg) const {
        static std::atomic<unsigned> counter{0};
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        const std::filesystem::path temp = file.string() + ".tmp." + std::to_string(::getpid()) + "." +
                                           std::to_string(counter.fetch_add(1));
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out << key << '\n' << svg;
            if (!out.flush()) {
                out.close();
                std::filesystem::remove(temp, ec);
                return;
            }
        }
        std::filesystem::rename(temp, file, ec);
        if (ec) std::filesystem::remove(temp, ec);
    }
};

std::mutex memory_mutex;
std::map<std::string, std::shared_ptr<const SvgDocument>>& memory() {
    static auto* m = new std::map<std::string, std::shared_ptr<const SvgDocument>>;
    return *m;
}

std::shared_ptr<const SvgDocument> remembered(const std::string& key) {
    const std::lock_guard lock(memory_mutex);
    const auto it = memory().find(key);
    return it == memory().end() ? nullptr : it->second;
}

void remember(const std::string& key, std::shared_ptr<const SvgDocument> doc) {
    const std::lock_guard lock(memory_mutex);
    if (memory().size() >= kMaxMemoryEntries) memory().clear();
    memory().emplace(key, std::move(doc));
}

std::expected<std::shared_ptr<const SvgDocument>, std::string> parsed(const std::string& svg) {
    try {
        return std::make_shared<const SvgDocument>(parse_svg_text(svg, "the formula's SVG"));
    } catch (const SceneError& e) {
        return std::unexpected(e.message());
    }
}

// The converter's files, looked up until they are found (so that installing
// them helps a process that is already running), then kept.
std::expected<TexConverterFiles, std::string> converter_files() {
    static std::mutex mutex;
    static std::optional<TexConverterFiles> found;
    const std::lock_guard lock(mutex);
    if (found) return *found;
    auto files = find_tex_converter();
    if (files) found = *files;
    return files;
}

}  // namespace

std::expected<std::shared_ptr<const SvgDocument>, std::string> tex_document(const TexRequest& request) {
    const auto files = converter_files();
    if (!files) return std::unexpected(files.error());
    const std::string key = nlohmann::json{{"converter", files->version}, {"display", request.display},
                                           {"tex", request.tex}}
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (auto doc = remembered(key)) return doc;
    std::optional<DiskCache> disk;
    if (const auto folder = cache_folder()) disk = DiskCache{*folder / ("tex-" + hex64(fnv1a(key)) + ".svg"), key};
    std::optional<std::string> svg = disk ? disk->read() : std::nullopt;
    const bool from_disk = svg.has_value();
    if (!svg) {
        auto converted = convert_tex(*files, request);
        if (!converted) return std::unexpected(converted.error());
        svg = std::move(*converted);
    }
    auto doc = parsed(*svg);
    if (!doc) return doc;
    if (disk && !from_disk) disk->write(*svg);
    remember(key, *doc);
    return doc;
}

}  // namespace vokri_scenefile
