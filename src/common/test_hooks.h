// The one test-only interface of the library: the switches through which
// tests and benchmarks reach what no input selects. Allocation failure at a
// chosen allocation (per thread) and a cap on the instruction set the
// kernels use (per process, one test at a time). The raster layer's own
// choices (shortcuts, painter, culling) are options of its Canvas instead.
#pragma once

#include <cstdint>

#include "common/cpu.h"

namespace vokri::test_hooks {

// On the calling thread, allocation number `n` from now (1 = the next one)
// and every later one fail; a negative n turns failures off.
void fail_allocations_after(int64_t n) noexcept;
// Number of allocations made on the calling thread since the last reset.
uint64_t allocation_count() noexcept;
void reset_allocation_count() noexcept;

// Caps the instruction set the kernels may use while alive (process-wide;
// for tests and benchmarks that compare the forms, one at a time).
class IsaCap {
public:
    explicit IsaCap(cpu::Isa isa) noexcept;
    ~IsaCap();
    IsaCap(const IsaCap&) = delete;
    IsaCap& operator=(const IsaCap&) = delete;

private:
    uint8_t previous_;
};

}  // namespace vokri::test_hooks
