// The output file of the PNG export: path checks, creation and the mapping
// of the system's errors to the error set.
#pragma once

#include <cstddef>

#include "common/error.h"

namespace vokri {

// Whether `s` (len bytes) is well-formed UTF-8.
bool valid_utf8(const char* s, size_t len) noexcept;

// An open output file, closed when it goes out of scope.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Opens `path` for writing (create, truncate); the failure mapped to the
    // error set.
    [[nodiscard]] Error open(const char* path, size_t path_len) noexcept;
    int fd() const noexcept { return fd_; }
    // Closes the file; WriteFailed when the system reports a failure.
    [[nodiscard]] Error close() noexcept;

private:
    int fd_ = -1;
};

// One write straight to the file: WriteFailed on failure,
// BytesWrittenMismatch when fewer bytes were taken than given.
[[nodiscard]] Error write_all(int fd, const void* data, size_t len) noexcept;

}  // namespace vokri
