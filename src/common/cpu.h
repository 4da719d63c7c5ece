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

#include <cstdint>

#if defined(__x86_64__)
#define VOKRI_X86_64 1
#else
#define VOKRI_X86_64 0
#endif

namespace vokri::cpu {

// Ordered: each x86-64 set includes the ones before it.
enum class Isa : uint8_t { scalar = 0, sse2 = 1, ssse3 = 2, avx2 = 3 };

// Whether kernels may use `isa` now (scalar always).
bool usable(Isa isa) noexcept;

// Whether the processor has `isa`, whatever the caps.
bool present(Isa isa) noexcept;

// The name VOKRI_ISA takes for `isa`.
const char* name(Isa isa) noexcept;

// Caps the choice at `isa` while alive (process-wide; for tests and
// benchmarks that compare the paths, one at a time).
class ScopedCap {
public:
    explicit ScopedCap(Isa isa) noexcept;
    ~ScopedCap();
    ScopedCap(const ScopedCap&) = delete;
    ScopedCap& operator=(const ScopedCap&) = delete;

private:
    uint8_t previous_;
};

}  // namespace vokri::cpu
