#include "common/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace vokri {

void fatal(const char* message) noexcept {
    flockfile(stderr);
    std::fputs(message, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    funlockfile(stderr);
    std::abort();
}

}  // namespace vokri
