#include "failing_item.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace vokri_tool {

namespace {

// Runs fn with file descriptor 2 sent to a temporary file; returns what was
// written there.
std::string with_stderr_captured(const std::function<void()>& fn) {
    std::fflush(stderr);
    FILE* tmp = std::tmpfile();
    const int saved = tmp ? ::dup(2) : -1;
    if (saved < 0) {
        if (tmp) std::fclose(tmp);
        fn();
        return {};
    }
    ::dup2(::fileno(tmp), 2);
    fn();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::string text;
    std::rewind(tmp);
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, tmp)) text.append(buf, n);
    std::fclose(tmp);
    return text;
}

// "vokri scene render error: TooFewPoints\n" -> "TooFewPoints".
std::string error_name(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const size_t colon = line.rfind(": ");
    return colon == std::string::npos ? line : line.substr(colon + 2);
}

}  // namespace

std::string item_kind_name(const Scene& scene, size_t i) {
    static const char* const kKinds[] = {"shape", "batch", "vector", "morph", "image", "mesh"};
    static const char* const kGeometry[] = {"line", "grid", "complex_grid", "fractal"};
    const VokriDrawItem item = scene.items[i];
    if (item.kind < 6) return kKinds[item.kind];
    if (item.kind == VOKRI_ITEM_INFINITE && item.index < scene.infinite.size()) {
        const uint32_t g = scene.infinite[item.index].geometry_kind;
        return g < 4 ? kGeometry[g] : "infinite";
    }
    return "kind " + std::to_string(item.kind);
}

std::optional<FailingItem> find_failing_item(const Scene& scene, const std::function<int32_t(uint32_t)>& render) {
    const auto n = static_cast<uint32_t>(scene.items.size());
    if (n == 0) return std::nullopt;
    std::string message;
    int32_t rc = 0;
    with_stderr_captured([&] { rc = render(n); });
    if (rc != VOKRI_ERROR) return std::nullopt;
    // Invariant: the prefix of length hi fails, that of length lo draws.
    uint32_t lo = 0, hi = n;
    while (hi - lo > 1) {
        const uint32_t mid = lo + (hi - lo) / 2;
        with_stderr_captured([&] { rc = render(mid); });
        (rc == VOKRI_ERROR ? hi : lo) = mid;
    }
    message = with_stderr_captured([&] { rc = render(hi); });
    return FailingItem{hi - 1, item_kind_name(scene, hi - 1), error_name(message)};
}

bool report_failing_item(const Scene& scene, const std::function<int32_t(uint32_t)>& render,
                         const std::string& prefix) {
    const auto f = find_failing_item(scene, render);
    if (f)
        std::fprintf(stderr, "vokri-render: %sitems[%zu] (%s): %s\n", prefix.c_str(), f->index, f->kind.c_str(),
                     f->error.c_str());
    return f.has_value();
}

}  // namespace vokri_tool
