// Per-call memory. Every allocation a call makes goes through an Allocator
// owned by that call, and everything is released before the call returns.
// Allocation failure is reported as a null pointer, never as an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "common/error.h"

namespace vokri {

// The largest single allocation the library makes: 4 GiB. A larger request
// fails like an exhausted heap, so a canvas or list whose working memory would
// exceed it ends with OutOfMemory whatever the operating system's overcommit
// policy (a successful malloc of absurd size would only fail later, when the
// pages are touched). The largest canvas the PNG and pick exports can render
// is therefore 2^30 pixels (for example 32768 x 32768).
inline constexpr size_t kMaxAllocationBytes = size_t{1} << 32;

class Allocator {
public:
    // Returns null when the memory cannot be had, `bytes` is 0 or above
    // kMaxAllocationBytes.
    [[nodiscard]] void* allocate(size_t bytes) noexcept;
    // Grows or shrinks `p` (which may be null); on failure returns null and
    // leaves `p` as it was.
    [[nodiscard]] void* reallocate(void* p, size_t bytes) noexcept;
    void release(void* p) noexcept;

    // Typed array allocation with an overflow-checked byte size.
    template <class T>
    [[nodiscard]] T* allocate_array(size_t count) noexcept {
        static_assert(std::is_trivially_copyable_v<T>);
        if (count == 0 || count > SIZE_MAX / sizeof(T)) return nullptr;
        return static_cast<T*>(allocate(count * sizeof(T)));
    }
};

// a * b, false when the product does not fit in size_t.
inline bool checked_mul(size_t a, size_t b, size_t& out) noexcept {
    return !__builtin_mul_overflow(a, b, &out);
}

// An owned buffer of trivially copyable elements from an Allocator.
template <class T>
class Buffer {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Buffer() = default;
    explicit Buffer(Allocator& a) noexcept : alloc_(&a) {}
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& o) noexcept { *this = std::move(o); }
    Buffer& operator=(Buffer&& o) noexcept {
        if (this != &o) {
            reset();
            alloc_ = o.alloc_;
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
            cap_ = std::exchange(o.cap_, 0);
        }
        return *this;
    }
    ~Buffer() { reset(); }

    void bind(Allocator& a) noexcept { alloc_ = &a; }

    // Frees the storage.
    void reset() noexcept {
        if (data_ && alloc_) alloc_->release(data_);
        data_ = nullptr;
        size_ = cap_ = 0;
    }

    // Ensures room for `n` elements in total; the contents are kept.
    [[nodiscard]] Error reserve(size_t n) noexcept {
        if (n <= cap_) return Error::None;
        size_t bytes;
        if (!alloc_ || !checked_mul(n, sizeof(T), bytes)) return Error::OutOfMemory;
        void* p = alloc_->reallocate(data_, bytes);
        if (!p) return Error::OutOfMemory;
        data_ = static_cast<T*>(p);
        cap_ = n;
        return Error::None;
    }

    // Ensures room for `extra` more elements, growing geometrically.
    [[nodiscard]] Error grow_for(size_t extra) noexcept {
        if (extra > SIZE_MAX - size_) return Error::OutOfMemory;
        size_t need = size_ + extra;
        if (need <= cap_) return Error::None;
        size_t next = cap_ < 8 ? 16 : cap_ + cap_ / 2;
        if (next < need) next = need;
        // Near the allocation cap the geometric step may be refused where
        // the room asked for is not.
        if (reserve(next) == Error::None) return Error::None;
        return next > need ? reserve(need) : Error::OutOfMemory;
    }

    [[nodiscard]] Error push_back(const T& v) noexcept {
        if (size_ == cap_) VOKRI_TRY(grow_for(1));
        data_[size_++] = v;
        return Error::None;
    }

    // Sets the size; new elements are left uninitialised.
    [[nodiscard]] Error resize(size_t n) noexcept {
        VOKRI_TRY(reserve(n));
        size_ = n;
        return Error::None;
    }

    void clear() noexcept { size_ = 0; }
    void set_size(size_t n) noexcept { size_ = n; }  // n <= capacity()
    void push_unchecked(const T& v) noexcept { data_[size_++] = v; }

    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    size_t size() const noexcept { return size_; }
    size_t capacity() const noexcept { return cap_; }
    bool empty() const noexcept { return size_ == 0; }
    T& operator[](size_t i) noexcept { return data_[i]; }
    const T& operator[](size_t i) const noexcept { return data_[i]; }
    T& back() noexcept { return data_[size_ - 1]; }
    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + size_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }

private:
    Allocator* alloc_ = nullptr;
    T* data_ = nullptr;
    size_t size_ = 0;
    size_t cap_ = 0;
};

}  // namespace vokri
