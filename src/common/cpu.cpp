#include "common/cpu.h"

#include "common/test_hooks.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vokri::cpu {

namespace {

constexpr uint8_t kNoCap = 0xFF;
std::atomic<uint8_t> g_test_cap{kNoCap};

Isa probe() noexcept {
#if VOKRI_X86_64
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return Isa::avx2;
    if (__builtin_cpu_supports("ssse3")) return Isa::ssse3;
    return Isa::sse2;  // part of x86-64
#else
    return Isa::scalar;
#endif
}

// VOKRI_ISA as a cap; an unknown value caps nothing.
uint8_t environment_cap() noexcept {
    const char* v = std::getenv("VOKRI_ISA");
    if (!v) return kNoCap;
    for (Isa isa : {Isa::scalar, Isa::sse2, Isa::ssse3, Isa::avx2})
        if (std::strcmp(v, name(isa)) == 0) return static_cast<uint8_t>(isa);
    return kNoCap;
}

uint8_t hardware() noexcept {
    static const uint8_t level = static_cast<uint8_t>(probe());
    return level;
}

uint8_t environment() noexcept {
    static const uint8_t cap = environment_cap();
    return cap;
}

}  // namespace

bool present(Isa isa) noexcept { return static_cast<uint8_t>(isa) <= hardware(); }

namespace detail {

std::atomic<uint8_t> g_level{kUnknown};

uint8_t settle_level() noexcept {
    uint8_t level = hardware();
    const uint8_t env = environment(), cap = g_test_cap.load(std::memory_order_relaxed);
    if (env < level) level = env;
    if (cap < level) level = cap;
    g_level.store(level, std::memory_order_relaxed);
    return level;
}

}  // namespace detail

const char* name(Isa isa) noexcept {
    switch (isa) {
        case Isa::sse2:
            return "sse2";
        case Isa::ssse3:
            return "ssse3";
        case Isa::avx2:
            return "avx2";
        default:
            return "scalar";
    }
}

}  // namespace vokri::cpu

namespace vokri::test_hooks {

IsaCap::IsaCap(cpu::Isa isa) noexcept
    : previous_(cpu::g_test_cap.exchange(static_cast<uint8_t>(isa), std::memory_order_relaxed)) {
    cpu::detail::settle_level();
}

IsaCap::~IsaCap() {
    cpu::g_test_cap.store(previous_, std::memory_order_relaxed);
    cpu::detail::settle_level();
}

}  // namespace vokri::test_hooks
