// A value, or the error that stands in for it: what std::expected gives,
// for the compilers that build this library (clang 14 with libstdc++ 12 has
// no std::expected).
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vokri_scenefile {

template <class E>
struct Failed {
    E error;
};

// The error of a Result: return failed(message).
template <class E>
Failed<E> failed(E error) {
    return Failed<E>{std::move(error)};
}
inline Failed<std::string> failed(const char* error) { return Failed<std::string>{error}; }

template <class T, class E = std::string>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts
    template <class F>
    Result(Failed<F> f) : error_(std::move(f.error)) {}  // NOLINT: so does an error

    explicit operator bool() const noexcept { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const E& error() const noexcept { return error_; }

private:
    std::optional<T> value_;
    E error_{};
};

}  // namespace vokri_scenefile
