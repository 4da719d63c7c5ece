// PNG export: file structure, pixels, zlib agreement and file errors.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "png/output_file.h"
#include "png/png_encode.h"
#include "scene/png_frame.h"
#include "support/scene.h"

using namespace vt;

namespace {
std::string error_line(const TestScene& s, const char* path) {
    StderrCapture cap;
    EXPECT_EQ(s.frame(path, 4, 4, 1), 1) << path;
    return cap.text();
}
}  // namespace

TEST(Png, OnePixelBackground) {
    TestScene s;
    std::string path = temp_path("one.png");
    ASSERT_EQ(s.frame(path.c_str(), 1, 1, 1), 0);
    DecodedPng d = decode_png(read_file(path));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.width, 1u);
    EXPECT_EQ(d.height, 1u);
    EXPECT_EQ(d.filtered, (std::vector<uint8_t>{0x00, 0x0E, 0x11, 0x18}));
    EXPECT_EQ(d.chunk_types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    ASSERT_GE(d.idat.size(), 2u);
    EXPECT_EQ(d.idat[0], 0x78);
    EXPECT_EQ(d.idat[1], 0x9C);
    auto bytes = read_file(path);
    // IEND: zero length, type, CRC of the type alone.
    ASSERT_GE(bytes.size(), 12u);
    const uint8_t* iend = bytes.data() + bytes.size() - 12;
    EXPECT_EQ(std::vector<uint8_t>(iend, iend + 8), (std::vector<uint8_t>{0, 0, 0, 0, 'I', 'E', 'N', 'D'}));
    EXPECT_EQ(std::vector<uint8_t>(iend + 8, iend + 12), (std::vector<uint8_t>{0xAE, 0x42, 0x60, 0x82}));
    unlink(path.c_str());
}

TEST(Png, IdatMatchesZlibLevelSixAndSplitsAt16384) {
    // A surface with incompressible content, encoded directly.
    const int w = 300, h = 200;
    std::vector<uint32_t> px(w * h);
    uint32_t seed = 12345;
    for (auto& p : px) {
        seed = seed * 1664525u + 1013904223u;
        p = seed & 0x00FFFFFFu;
    }
    vokri::Surface surface = vokri::Surface::wrap(px.data(), w, h, vokri::rgbx32);
    std::string path = temp_path("noise.png");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    vokri::Allocator alloc;
    ASSERT_EQ(vokri::write_png(fd, surface, alloc), vokri::Error::None);
    close(fd);
    DecodedPng d = decode_png(read_file(path));
    ASSERT_TRUE(d.ok) << d.error;
    std::vector<uint8_t> filtered;
    for (int y = 0; y < h; ++y) {
        filtered.push_back(0);
        for (int x = 0; x < w; ++x) {
            uint32_t p = px[y * w + x];
            filtered.push_back(p & 0xFF);
            filtered.push_back((p >> 8) & 0xFF);
            filtered.push_back((p >> 16) & 0xFF);
        }
    }
    EXPECT_EQ(d.filtered, filtered);
    std::vector<uint8_t> ref(compressBound(filtered.size()));
    uLongf ref_len = ref.size();
    ASSERT_EQ(compress2(ref.data(), &ref_len, filtered.data(), filtered.size(), 6), Z_OK);
    ref.resize(ref_len);
    EXPECT_EQ(d.idat, ref);
    ASSERT_GT(d.idat_sizes.size(), 1u);
    // The compressor writes straight into the staging buffer, so every chunk
    // but the last is full.
    for (size_t i = 0; i < d.idat_sizes.size(); ++i) {
        EXPECT_LE(d.idat_sizes[i], 16384u);
        if (i + 1 < d.idat_sizes.size()) {
            EXPECT_EQ(d.idat_sizes[i], 16384u);
        }
    }
    unlink(path.c_str());
}

TEST(Png, ExistingFileIsTruncated) {
    std::string path = temp_path("trunc.png");
    {
        std::vector<uint8_t> junk(100000, 0xAB);
        FILE* f = fopen(path.c_str(), "wb");
        fwrite(junk.data(), 1, junk.size(), f);
        fclose(f);
    }
    TestScene s;
    ASSERT_EQ(s.frame(path.c_str(), 3, 2, 1), 0);
    DecodedPng d = decode_png(read_file(path));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.rgb.size(), 18u);
    unlink(path.c_str());
}

TEST(Png, ItemErrorCreatesNoFileAndKeepsExistingOne) {
    std::string path = temp_path("kept.png");
    TestScene s;
    s.add_item(VOKRI_ITEM_IMAGE, 5);
    EXPECT_EQ(error_line(s, path.c_str()), "vokri scene render error: InvalidDrawItem\n");
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);
    FILE* f = fopen(path.c_str(), "wb");
    fputs("keep", f);
    fclose(f);
    EXPECT_EQ(error_line(s, path.c_str()), "vokri scene render error: InvalidDrawItem\n");
    EXPECT_EQ(read_file(path).size(), 4u);
    unlink(path.c_str());
}

TEST(Png, FileErrorsMapToNames) {
    TestScene s;
    EXPECT_EQ(error_line(s, "."), "vokri scene render error: IsDir\n");
    EXPECT_EQ(error_line(s, ".."), "vokri scene render error: IsDir\n");
    EXPECT_EQ(error_line(s, "/tmp"), "vokri scene render error: IsDir\n");
    EXPECT_EQ(error_line(s, "/nonexistent-vokri-dir/x.png"), "vokri scene render error: FileNotFound\n");
    EXPECT_EQ(error_line(s, "/etc/passwd/x.png"), "vokri scene render error: NotDir\n");
    EXPECT_EQ(error_line(s, "/tmp/bad-\xff\xfe.png"), "vokri scene render error: BadPathName\n");
    EXPECT_EQ(error_line(s, "/tmp/bad-\xc0\xaf.png"), "vokri scene render error: BadPathName\n");  // overlong
    EXPECT_EQ(error_line(s, std::string(5000, 'a').c_str()), "vokri scene render error: BadPathName\n");
    EXPECT_EQ(error_line(s, "/dev/full"), "vokri scene render error: WriteFailed\n");
    if (geteuid() != 0) {
        std::string dir = temp_path("readonly-dir");
        mkdir(dir.c_str(), 0500);
        EXPECT_EQ(error_line(s, (dir + "/x.png").c_str()), "vokri scene render error: AccessDenied\n");
        rmdir(dir.c_str());
    } else {
        // Root passes permission bits; sysfs still refuses new files.
        EXPECT_EQ(error_line(s, "/sys/kernel/notes"), "vokri scene render error: AccessDenied\n");
    }
    const char* good = "h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80";
    EXPECT_TRUE(vokri::valid_utf8(good, strlen(good)));
    EXPECT_FALSE(vokri::valid_utf8("\xed\xa0\x80", 3));  // surrogate
    EXPECT_FALSE(vokri::valid_utf8("\xe2\x82", 2));      // truncated
}

TEST(Png, PartialWriteIsBytesWrittenMismatch) {
    // A file-size limit makes the kernel accept only part of a write.
    std::string path = temp_path("limited.png");
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{20, 20};
        setrlimit(RLIMIT_FSIZE, &lim);
        dup2(pipe_fds[1], 2);  // the size limit does not apply to a pipe
        TestScene s;
        int rc = s.frame(path.c_str(), 64, 64, 1);
        _exit(rc == 1 ? 0 : 10 + rc);
    }
    close(pipe_fds[1]);
    std::string err;
    char buf[256];
    for (ssize_t n; (n = read(pipe_fds[0], buf, sizeof buf)) > 0;) err.append(buf, n);
    close(pipe_fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file(path).size(), 20u);  // left partly written
    EXPECT_EQ(err, "vokri scene render error: BytesWrittenMismatch\n");
    unlink(path.c_str());
}

TEST(Png, AllocationFailuresAreOutOfMemoryAndLeaveNoFile) {
    TestScene s;
    std::string path = temp_path("oom.png");
    for (int64_t n = 1;; ++n) {
        unlink(path.c_str());
        StderrCapture cap;
        vokri::test_hooks::fail_allocations_after(n);
        int rc = s.frame(path.c_str(), 40, 30, 1);
        vokri::test_hooks::fail_allocations_after(-1);
        std::string text = cap.text();
        if (rc == 0) {
            EXPECT_TRUE(decode_png(read_file(path)).ok);
            EXPECT_GT(n, 3);
            break;
        }
        ASSERT_EQ(rc, 1);
        EXPECT_EQ(text, "vokri scene render error: OutOfMemory\n");
        ASSERT_LT(n, 100);
    }
    unlink(path.c_str());
}
