#include "png/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vokri {

namespace {

Error map_open_errno(int e) noexcept {
    switch (e) {
        case EACCES:
        case EPERM:
        case EROFS:
            return Error::AccessDenied;
        case ENOENT:
            return Error::FileNotFound;
        case EISDIR:
            return Error::IsDir;
        case ENOTDIR:
            return Error::NotDir;
        case ENOSPC:
        case EDQUOT:
            return Error::NoSpaceLeft;
        case ENAMETOOLONG:
        case EILSEQ:
        case EINVAL:
            return Error::BadPathName;
        case EBUSY:
        case ETXTBSY:
            return Error::FileBusy;
        case EEXIST:
            return Error::PathAlreadyExists;
        case ENODEV:
        case ENXIO:
            return Error::NoDevice;
        case EMFILE:
        case ENFILE:
        case ENOMEM:
            return Error::SystemResources;
        case ENETUNREACH:
        case EHOSTUNREACH:
            return Error::NetworkNotFound;
        default:
            return Error::Unexpected;
    }
}

}  // namespace

bool valid_utf8(const char* s, size_t len) noexcept {
    const auto* p = reinterpret_cast<const uint8_t*>(s);
    size_t i = 0;
    while (i < len) {
        uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (len - i - 1 < n) return false;
        for (size_t k = 1; k <= n; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        static constexpr uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

Error OutputFile::open(const char* path, size_t path_len) noexcept {
    if (!valid_utf8(path, path_len)) return Error::BadPathName;
    if ((path_len == 1 && path[0] == '.') || (path_len == 2 && path[0] == '.' && path[1] == '.')) return Error::IsDir;
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return map_open_errno(errno);
    fd_ = fd;
    return Error::None;
}

Error OutputFile::close() noexcept {
    if (fd_ < 0) return Error::None;
    const int r = ::close(fd_);
    fd_ = -1;
    return r != 0 ? Error::WriteFailed : Error::None;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
}

// One write straight to the file: WriteFailed on failure, BytesWrittenMismatch
// when fewer bytes were taken than given.
Error write_all(int fd, const void* data, size_t len) noexcept {
    if (len == 0) return Error::None;
    ssize_t n;
    do {
        n = ::write(fd, data, len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Error::WriteFailed;
    if (static_cast<size_t>(n) != len) return Error::BytesWrittenMismatch;
    return Error::None;
}

}  // namespace vokri
