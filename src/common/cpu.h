// The instruction sets the kernels may use, chosen in one place. Every
// kernel family has a plain form that is its definition and runs
// everywhere; its wider forms give the same bytes and are compiled only
// where their instruction set exists (VOKRI_X86_64).
//
// The choice is the widest set the processor has, capped by the
// environment variable VOKRI_ISA (scalar, sse2, ssse3 or avx2; read once),
// so that a user chasing a difference can force a path, and by a cap that
// tests set to compare the paths.
#pragma once

#include <atomic>
#include <cstdint>

#if defined(__x86_64__)
#define VOKRI_X86_64 1
#else
#define VOKRI_X86_64 0
#endif

// A wide kernel form where the instruction set exists, null elsewhere.
#if VOKRI_X86_64
#define VOKRI_X86_FORM(f) (f)
#else
#define VOKRI_X86_FORM(f) nullptr
#endif

// The one way to mark AVX2 code: the functions between these two are
// compiled for AVX2 (GCC and clang spell the region differently).
#if defined(__clang__)
#define VOKRI_AVX2_BEGIN _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define VOKRI_AVX2_END _Pragma("clang attribute pop")
#else
#define VOKRI_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define VOKRI_AVX2_END _Pragma("GCC pop_options")
#endif

namespace vokri::cpu {

// Ordered: each x86-64 set includes the ones before it.
enum class Isa : uint8_t { scalar = 0, sse2 = 1, ssse3 = 2, avx2 = 3 };

namespace detail {
// The widest usable set, kUnknown until first asked; one relaxed load keeps
// the question cheap enough for per-span dispatch.
inline constexpr uint8_t kUnknown = 0xFF;
extern std::atomic<uint8_t> g_level;
uint8_t settle_level() noexcept;
}  // namespace detail

// Whether kernels may use `isa` now (scalar always).
inline bool usable(Isa isa) noexcept {
    uint8_t level = detail::g_level.load(std::memory_order_relaxed);
    if (level == detail::kUnknown) level = detail::settle_level();
    return static_cast<uint8_t>(isa) <= level;
}

// One dispatch for a kernel family: its forms by instruction set, the plain
// one (scalar) always there, the others null where they do not exist;
// pick() gives the widest that usable() allows, so a cap (VOKRI_ISA=scalar
// or a test's cap, common/test_hooks.h) reaches every narrower form down to the plain one.
// Wide forms are named through VOKRI_X86_FORM, null off x86-64.
template <class Fn>
struct Forms {
    Fn scalar;
    Fn sse2 = nullptr;
    Fn ssse3 = nullptr;
    Fn avx2 = nullptr;

    Fn pick() const noexcept {
        if (avx2 && usable(Isa::avx2)) return avx2;
        if (ssse3 && usable(Isa::ssse3)) return ssse3;
        if (sse2 && usable(Isa::sse2)) return sse2;
        return scalar;
    }
};

// Whether the processor has `isa`, whatever the caps.
bool present(Isa isa) noexcept;

// The name VOKRI_ISA takes for `isa`.
const char* name(Isa isa) noexcept;

}  // namespace vokri::cpu
