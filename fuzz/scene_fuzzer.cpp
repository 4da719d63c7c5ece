// libFuzzer target: every input is one Scene call through all four Scene
// exports, checked as scene_checks.h describes; a failed check aborts.
// Besides, the sanitizers check every access and every leak, and the
// fuzzer's per-input time limit catches work without bound.
// Run with -close_fd_mask=2 to keep the library's error lines out of the log.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "support/scene_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/vokri-fuzz-" + std::to_string(getpid()) + ".png";
    const std::string bad = vfuzz::check_scene_call(data, size, path);
    if (!bad.empty()) {
        std::fprintf(stderr, "scene_fuzzer: %s\n", bad.c_str());
        std::abort();
    }
    return 0;
}
