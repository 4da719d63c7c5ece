#include "api/message.h"

#include <cstdio>
#include <cstring>

namespace vokri {

void report_error(const char* prefix, Error e) noexcept {
    // Staged in 64-byte pieces, each flushed while the lock is held.
    char staging[64];
    size_t used = 0;
    flockfile(stderr);
    auto put = [&](const char* s, size_t n) {
        while (n > 0) {
            size_t take = sizeof staging - used < n ? sizeof staging - used : n;
            std::memcpy(staging + used, s, take);
            used += take;
            s += take;
            n -= take;
            if (used == sizeof staging) {
                (void)fwrite_unlocked(staging, 1, used, stderr);
                used = 0;
            }
        }
    };
    const char* name = error_name(e);
    put(prefix, std::strlen(prefix));
    put(name, std::strlen(name));
    put("\n", 1);
    if (used) (void)fwrite_unlocked(staging, 1, used, stderr);
    (void)fflush_unlocked(stderr);
    funlockfile(stderr);
}

}  // namespace vokri
