#include "common/alloc.h"

#include "common/test_hooks.h"

#include <cstdlib>

namespace vokri {

namespace {
thread_local int64_t t_fail_countdown = -1;
thread_local uint64_t t_allocations = 0;

bool injected_failure() noexcept {
    ++t_allocations;
    if (t_fail_countdown < 0) return false;
    if (t_fail_countdown > 1) {
        --t_fail_countdown;
        return false;
    }
    t_fail_countdown = 1;  // stays failing until turned off
    return true;
}
}  // namespace

void* Allocator::allocate(size_t bytes) noexcept {
    if (bytes == 0 || bytes > kMaxAllocationBytes || injected_failure()) return nullptr;
    return std::malloc(bytes);
}

void* Allocator::reallocate(void* p, size_t bytes) noexcept {
    if (bytes == 0 || bytes > kMaxAllocationBytes || injected_failure()) return nullptr;
    return std::realloc(p, bytes);
}

void Allocator::release(void* p) noexcept { std::free(p); }

namespace test_hooks {
void fail_allocations_after(int64_t n) noexcept { t_fail_countdown = n <= 0 ? -1 : n; }
uint64_t allocation_count() noexcept { return t_allocations; }
void reset_allocation_count() noexcept { t_allocations = 0; }
}  // namespace test_hooks

}  // namespace vokri
