#include "raster/shortcuts.h"

#include <atomic>

namespace vokri::raster_shortcuts {

namespace {
std::atomic<bool> g_enabled{true};
}

bool enabled() noexcept { return g_enabled.load(std::memory_order_relaxed); }

void set_enabled(bool on) noexcept { g_enabled.store(on, std::memory_order_relaxed); }

}  // namespace vokri::raster_shortcuts
