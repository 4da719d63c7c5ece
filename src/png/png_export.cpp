#include "png/png_export.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "common/fatal.h"
#include "png/rows.h"
#include "scene/frame.h"

namespace vokri {

namespace {

constexpr size_t kIdatMax = 16384;
constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

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

void put_be32(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Length, type, data and CRC, each as its own write.
Error write_chunk(int fd, const char type[4], const uint8_t* data, size_t len) noexcept {
    uint8_t head[4];
    put_be32(head, static_cast<uint32_t>(len));
    VOKRI_TRY(write_all(fd, head, 4));
    VOKRI_TRY(write_all(fd, type, 4));
    VOKRI_TRY(write_all(fd, data, len));
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (len) crc = crc32(crc, data, static_cast<uInt>(len));
    uint8_t tail[4];
    put_be32(tail, static_cast<uint32_t>(crc));
    return write_all(fd, tail, 4);
}

voidpf z_alloc(voidpf opaque, uInt items, uInt size) noexcept {
    auto* a = static_cast<Allocator*>(opaque);
    size_t bytes;
    if (!checked_mul(items, size, bytes)) return Z_NULL;
    return a->allocate(bytes);
}
void z_free(voidpf opaque, voidpf p) noexcept { static_cast<Allocator*>(opaque)->release(p); }

// Compressed bytes staged into IDAT chunks of at most kIdatMax bytes.
struct IdatWriter {
    int fd;
    uint8_t* buf;
    size_t used = 0;

    Error flush() noexcept {
        if (used == 0) return Error::None;
        Error e = write_chunk(fd, "IDAT", buf, used);
        used = 0;
        return e;
    }
};

// Rows are converted in batches of up to 16 (fewer for very wide rows) and
// handed to the compressor in pieces it can take in one call.
constexpr size_t kMaxRowsPerBatch = 64;
constexpr size_t kBatchBudget = size_t{1} << 20;
constexpr size_t kMaxFeed = size_t{1} << 30;

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

int open_output_file(const char* path, size_t path_len, Error& err) noexcept {
    if (!valid_utf8(path, path_len)) {
        err = Error::BadPathName;
        return -1;
    }
    if ((path_len == 1 && path[0] == '.') || (path_len == 2 && path[0] == '.' && path[1] == '.')) {
        err = Error::IsDir;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        err = map_open_errno(errno);
        return -1;
    }
    err = Error::None;
    return fd;
}

Error write_png(int fd, const Surface& surface, Allocator& alloc) noexcept {
    if (surface.width < 1 || surface.height < 1)
        fatal("invalid surface width or height (w|h < 1). this is a bug, please report it");
    const size_t width = static_cast<size_t>(surface.width);
    const size_t height = static_cast<size_t>(surface.height);

    VOKRI_TRY(write_all(fd, kSignature, sizeof kSignature));
    uint8_t ihdr[13];
    put_be32(ihdr, static_cast<uint32_t>(width));
    put_be32(ihdr + 4, static_cast<uint32_t>(height));
    ihdr[8] = 8;   // bit depth
    ihdr[9] = 2;   // RGB
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // filter method
    ihdr[12] = 0;  // no interlace
    VOKRI_TRY(write_chunk(fd, "IHDR", ihdr, sizeof ihdr));

    // One filtered row is a filter byte and three bytes a pixel.
    size_t row_bytes;
    if (!checked_mul(width, 3, row_bytes) || ++row_bytes == 0) return Error::OutOfMemory;
    size_t rows_per_batch = kBatchBudget / row_bytes;
    if (rows_per_batch < 1) rows_per_batch = 1;
    if (rows_per_batch > kMaxRowsPerBatch) rows_per_batch = kMaxRowsPerBatch;
    size_t batch_bytes = rows_per_batch * row_bytes;
    auto* idat = static_cast<uint8_t*>(alloc.allocate(kIdatMax));
    auto* rows = static_cast<uint8_t*>(alloc.allocate(batch_bytes));
    z_stream zs{};
    zs.zalloc = z_alloc;
    zs.zfree = z_free;
    zs.opaque = &alloc;
    bool z_ready = false;
    Error err = Error::None;
    if (!idat || !rows) {
        err = Error::OutOfMemory;
    } else {
        int zr = deflateInit2(&zs, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
        if (zr == Z_OK)
            z_ready = true;
        else
            err = Error::OutOfMemory;
    }

    IdatWriter writer{fd, idat};
    // The compressor writes straight into the free part of the staging
    // buffer; a full buffer becomes one IDAT chunk.
    auto drain = [&](int flush) -> Error {
        for (;;) {
            if (writer.used == kIdatMax) VOKRI_TRY(writer.flush());
            zs.next_out = writer.buf + writer.used;
            zs.avail_out = static_cast<uInt>(kIdatMax - writer.used);
            int zr = deflate(&zs, flush);
            if (zr == Z_STREAM_ERROR) return Error::Unexpected;
            bool room_left = zs.avail_out != 0;
            writer.used = kIdatMax - zs.avail_out;
            if (flush == Z_FINISH) {
                if (zr == Z_STREAM_END) return Error::None;
            } else if (room_left) {
                return Error::None;
            }
        }
    };

    for (size_t y = 0; err == Error::None && y < height; y += rows_per_batch) {
        size_t n = height - y < rows_per_batch ? height - y : rows_per_batch;
        uint8_t* dst = rows;
        for (size_t r = 0; r < n; ++r) {
            const uint32_t* src = surface.pixels + (y + r) * width;
            *dst++ = 0;
            rgbx_to_rgb(src, width, dst);
            dst += width * 3;
        }
        size_t total = n * row_bytes;
        for (size_t off = 0; err == Error::None && off < total; off += kMaxFeed) {
            zs.next_in = rows + off;
            zs.avail_in = static_cast<uInt>(total - off < kMaxFeed ? total - off : kMaxFeed);
            err = drain(Z_NO_FLUSH);
        }
    }
    if (err == Error::None) err = drain(Z_FINISH);
    if (err == Error::None) err = writer.flush();
    if (err == Error::None) err = write_chunk(fd, "IEND", nullptr, 0);

    if (z_ready) deflateEnd(&zs);
    if (rows) alloc.release(rows);
    if (idat) alloc.release(idat);
    return err;
}

Error render_frame_png(const char* path, size_t path_len, uint32_t width, uint32_t height, double scale,
                       const Scene& scene) noexcept {
    if (width == 0) return Error::InvalidWidth;
    if (height == 0) return Error::InvalidHeight;
    size_t count, bytes;
    if (width > INT32_MAX || height > INT32_MAX || !checked_mul(width, height, count) ||
        !checked_mul(count, 4, bytes))
        return Error::OutOfMemory;
    Allocator alloc;
    auto* pixels = static_cast<uint32_t*>(alloc.allocate(bytes));
    if (!pixels) return Error::OutOfMemory;
    fill_pixels(pixels, count, kRgb0Background);
    Error err = Error::None;
    Surface surface = Surface::wrap(pixels, static_cast<int32_t>(width), static_cast<int32_t>(height), rgbx32);
    if (!valid_scale(scale)) err = Error::InvalidUnitSize;
    if (err == Error::None) err = draw_scene_items(scene, scale, surface);
    if (err == Error::None) {
        int fd = open_output_file(path, path_len, err);
        if (fd >= 0) {
            err = write_png(fd, surface, alloc);
            if (::close(fd) != 0 && err == Error::None) err = Error::WriteFailed;
        }
    }
    alloc.release(pixels);
    return err;
}

}  // namespace vokri
