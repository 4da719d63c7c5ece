#include "png/png_encode.h"

#include <zlib.h>

#include "common/fatal.h"
#include "png/output_file.h"
#include "png/rows.h"

namespace vokri {

namespace {

constexpr size_t kIdatMax = 16384;
constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

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

// Rows are converted in batches of up to 16 (fewer for very wide rows) and
// handed to the compressor in pieces it can take in one call.
constexpr size_t kMaxRowsPerBatch = 64;
constexpr size_t kBatchBudget = size_t{1} << 20;
constexpr size_t kMaxFeed = size_t{1} << 30;

// The zlib compressor, its memory from the call's allocator, ended when it
// goes out of scope.
class Deflater {
public:
    explicit Deflater(Allocator& alloc) noexcept {
        zs_.zalloc = z_alloc;
        zs_.zfree = z_free;
        zs_.opaque = &alloc;
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater() {
        if (ready_) deflateEnd(&zs_);
    }
    [[nodiscard]] Error init() noexcept {
        ready_ = deflateInit2(&zs_, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        return ready_ ? Error::None : Error::OutOfMemory;
    }
    z_stream& stream() noexcept { return zs_; }

private:
    z_stream zs_{};
    bool ready_ = false;
};

// The compressor writes straight into the free part of the staging buffer;
// a full buffer becomes one IDAT chunk.
class IdatStream {
public:
    IdatStream(int fd, uint8_t* buf, z_stream& zs) noexcept : fd_(fd), buf_(buf), zs_(zs) {}

    // Compresses `len` bytes.
    [[nodiscard]] Error feed(const uint8_t* data, size_t len) noexcept {
        for (size_t off = 0; off < len; off += kMaxFeed) {
            zs_.next_in = const_cast<uint8_t*>(data + off);
            zs_.avail_in = static_cast<uInt>(len - off < kMaxFeed ? len - off : kMaxFeed);
            VOKRI_TRY(drain(Z_NO_FLUSH));
        }
        return Error::None;
    }

    // Ends the stream and writes what is staged.
    [[nodiscard]] Error finish() noexcept {
        VOKRI_TRY(drain(Z_FINISH));
        return flush();
    }

private:
    Error flush() noexcept {
        if (used_ == 0) return Error::None;
        Error e = write_chunk(fd_, "IDAT", buf_, used_);
        used_ = 0;
        return e;
    }

    Error drain(int mode) noexcept {
        for (;;) {
            if (used_ == kIdatMax) VOKRI_TRY(flush());
            zs_.next_out = buf_ + used_;
            zs_.avail_out = static_cast<uInt>(kIdatMax - used_);
            const int zr = deflate(&zs_, mode);
            if (zr == Z_STREAM_ERROR) return Error::Unexpected;
            const bool room_left = zs_.avail_out != 0;
            used_ = kIdatMax - zs_.avail_out;
            if (mode == Z_FINISH) {
                if (zr == Z_STREAM_END) return Error::None;
            } else if (room_left) {
                return Error::None;
            }
        }
    }

    int fd_;
    uint8_t* buf_;
    size_t used_ = 0;
    z_stream& zs_;
};

Error write_header(int fd, size_t width, size_t height) noexcept {
    VOKRI_TRY(write_all(fd, kSignature, sizeof kSignature));
    uint8_t ihdr[13];
    put_be32(ihdr, static_cast<uint32_t>(width));
    put_be32(ihdr + 4, static_cast<uint32_t>(height));
    ihdr[8] = 8;   // bit depth
    ihdr[9] = 2;   // RGB
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // filter method
    ihdr[12] = 0;  // no interlace
    return write_chunk(fd, "IHDR", ihdr, sizeof ihdr);
}

// Rows y .. y + n - 1 as filtered PNG rows: a filter byte 0, then R, G, B.
void filtered_rows(const Surface& surface, size_t y, size_t n, uint8_t* dst) noexcept {
    const size_t width = static_cast<size_t>(surface.width);
    for (size_t r = 0; r < n; ++r) {
        *dst++ = 0;
        rgbx_to_rgb(surface.pixels + (y + r) * width, width, dst);
        dst += width * 3;
    }
}

}  // namespace

Error write_png(int fd, const Surface& surface, Allocator& alloc) noexcept {
    if (surface.width < 1 || surface.height < 1)
        fatal("invalid surface width or height (w|h < 1). this is a bug, please report it");
    const size_t width = static_cast<size_t>(surface.width);
    const size_t height = static_cast<size_t>(surface.height);
    VOKRI_TRY(write_header(fd, width, height));

    // One filtered row is a filter byte and three bytes a pixel.
    size_t row_bytes;
    if (!checked_mul(width, 3, row_bytes) || ++row_bytes == 0) return Error::OutOfMemory;
    size_t rows_per_batch = kBatchBudget / row_bytes;
    if (rows_per_batch < 1) rows_per_batch = 1;
    if (rows_per_batch > kMaxRowsPerBatch) rows_per_batch = kMaxRowsPerBatch;
    Buffer<uint8_t> idat(alloc), rows(alloc);
    if (idat.resize(kIdatMax) != Error::None || rows.resize(rows_per_batch * row_bytes) != Error::None)
        return Error::OutOfMemory;
    Deflater deflater(alloc);
    VOKRI_TRY(deflater.init());

    IdatStream stream(fd, idat.data(), deflater.stream());
    for (size_t y = 0; y < height; y += rows_per_batch) {
        const size_t n = height - y < rows_per_batch ? height - y : rows_per_batch;
        filtered_rows(surface, y, n, rows.data());
        VOKRI_TRY(stream.feed(rows.data(), n * row_bytes));
    }
    VOKRI_TRY(stream.finish());
    return write_chunk(fd, "IEND", nullptr, 0);
}

}  // namespace vokri
