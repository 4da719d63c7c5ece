#include "tex_cache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

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

    // The SVG, when the file is there, whole (it ends its root element)
    // and of this key.
    std::optional<std::string> read() const {
        std::ifstream in(file, std::ios::binary);
        if (!in) return std::nullopt;
        std::string first;
        if (!std::getline(in, first) || first != key) return std::nullopt;
        std::ostringstream s;
        s << in.rdbuf();
        std::string svg = s.str();
        while (!svg.empty() && std::isspace(static_cast<unsigned char>(svg.back()))) svg.pop_back();
        if (!svg.ends_with("</svg>")) return std::nullopt;
        return svg;
    }

    void remove() const {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }

    // Best effort: a cache that cannot be written only costs a conversion
    // next time.
    void write(const std::string& svg) const {
        static std::atomic<unsigned> counter{0};
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        const std::string temp = file.string() + ".tmp." + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1));
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return;
        const std::string bytes = key + "\n" + svg;
        bool ok = true;
        for (size_t done = 0; ok && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<size_t>(n);
        }
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
        if (ok) std::filesystem::rename(temp, file, ec);
        if (!ok || ec) std::filesystem::remove(temp, ec);
    }
};

std::mutex memory_mutex;
std::map<std::string, std::shared_ptr<const SvgDocument>>& memory() {
    static auto* m = new std::map<std::string, std::shared_ptr<const SvgDocument>>;
    return *m;
}

// Formulas that failed for good (TeX errors, a converter that stopped or
// took too long on them): an animation asks for them every frame, and asks
// once.
std::map<std::string, std::string>& failures() {
    static auto* m = new std::map<std::string, std::string>;
    return *m;
}

std::optional<std::string> remembered_failure(const std::string& key) {
    const std::lock_guard lock(memory_mutex);
    const auto it = failures().find(key);
    if (it == failures().end()) return std::nullopt;
    return it->second;
}

void remember_failure(const std::string& key, const std::string& message) {
    const std::lock_guard lock(memory_mutex);
    if (failures().size() >= kMaxMemoryEntries) failures().clear();
    failures().emplace(key, message);
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

Result<std::shared_ptr<const SvgDocument>, std::string> parsed(const std::string& svg) {
    try {
        return std::make_shared<const SvgDocument>(parse_svg_text(svg, "the formula's SVG"));
    } catch (const SceneError& e) {
        return failed(e.message());
    }
}

// The converter's files, looked up until they are found (so that installing
// them helps a process that is already running), then kept.
Result<TexConverterFiles, std::string> converter_files() {
    static std::mutex mutex;
    static std::optional<TexConverterFiles> found;
    const std::lock_guard lock(mutex);
    if (found) return *found;
    auto files = find_tex_converter();
    if (files) found = *files;
    return files;
}

}  // namespace

Result<std::shared_ptr<const SvgDocument>, std::string> tex_document(const TexRequest& request) {
    const auto files = converter_files();
    if (!files) return failed(files.error());
    const std::string key = nlohmann::json{{"converter", files->version}, {"display", request.display},
                                           {"tex", request.tex}}
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (auto doc = remembered(key)) return doc;
    if (auto failure = remembered_failure(key)) return failed(*failure);
    std::optional<DiskCache> disk;
    if (const auto folder = cache_folder()) disk = DiskCache{*folder / ("tex-" + hex64(fnv1a(key)) + ".svg"), key};
    if (disk) {
        if (const auto svg = disk->read()) {
            if (auto doc = parsed(*svg)) {
                remember(key, *doc);
                return doc;
            }
            disk->remove();  // not readable (any more): converted again below
        }
    }
    auto converted = convert_tex(*files, request);
    if (!converted) {
        if (converted.error().lasting) remember_failure(key, converted.error().message);
        return failed(converted.error().message);
    }
    auto doc = parsed(*converted);
    if (!doc) {
        remember_failure(key, doc.error());
        return doc;
    }
    if (disk) disk->write(*converted);
    remember(key, *doc);
    return doc;
}

}  // namespace vokri_scenefile
