// Allocation failure: for every sample scene and each of the four Scene
// exports, allocation N of the call (and every later one) fails, for N = 1, 2,
// ... until the call succeeds. Every failing call must return 1 with exactly
// "<prefix>OutOfMemory" on standard error and release what it took (checked
// by LeakSanitizer in the sanitizer build), and the successful call and a
// normal call afterwards must give the reference output.
#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

#include "common/test_hooks.h"
#include "common/alloc.h"
#include "support/samples.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define VT_LEAK_CHECK 1
#endif

using namespace vt;

namespace {

// What one export produced: return code, stderr text and the output.
struct Outcome {
    int32_t rc = -1;
    std::string err;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> file;
    int32_t id = -1;
};

struct Export {
    const char* name;
    const char* prefix;
    std::function<Outcome(const Sample&)> run;
};

std::vector<Export> exports() {
    return {
        {"rgba0", kRgba0Prefix,
         [](const Sample& s) {
             Outcome o;
             StderrCapture cap;
             o.rc = s.scene.rgba0(s.width, s.height, s.scale, o.pixels);
             o.err = cap.text();
             return o;
         }},
        {"rgb0", kRgb0Prefix,
         [](const Sample& s) {
             Outcome o;
             StderrCapture cap;
             o.rc = s.scene.rgb0(s.width, s.height, s.scale, o.pixels);
             o.err = cap.text();
             return o;
         }},
        {"frame", kFramePrefix,
         [](const Sample& s) {
             Outcome o;
             std::string path = temp_path("alloc-" + s.name + ".png");
             unlink(path.c_str());
             StderrCapture cap;
             o.rc = s.scene.frame(path.c_str(), s.width, s.height, s.scale);
             o.err = cap.text();
             if (o.rc == 0) o.file = read_file(path);
             unlink(path.c_str());
             return o;
         }},
        {"pick", kPickPrefix,
         [](const Sample& s) {
             Outcome o;
             StderrCapture cap;
             o.rc = s.scene.pick(s.width, s.height, s.scale, s.probe_x, s.probe_y, &o.id);
             o.err = cap.text();
             return o;
         }},
    };
}

void expect_same_output(const Outcome& got, const Outcome& want, const std::string& what) {
    EXPECT_EQ(got.rc, 0) << what;
    EXPECT_EQ(got.err, "") << what;
    EXPECT_TRUE(got.pixels == want.pixels) << what << ": pixels differ from the reference";
    EXPECT_TRUE(got.file == want.file) << what << ": file differs from the reference";
    EXPECT_EQ(got.id, want.id) << what;
}

// Upper bound on the allocations of one call of a sample scene: far above
// what any of them needs, so that reaching it means a call that never
// succeeds.
constexpr int64_t kMaxAllocations = 20000;

class AllocFailure : public ::testing::TestWithParam<size_t> {};

TEST_P(AllocFailure, EveryAllocationOfEveryExport) {
    const Sample s = sample_scenes()[GetParam()];
    for (const Export& e : exports()) {
        SCOPED_TRACE(std::string(e.name) + " of " + s.name);
        Outcome ref = e.run(s);
        // Every sample scene draws.
        ASSERT_EQ(ref.rc, 0) << s.name << ": the reference call fails with " << ref.err;
        int64_t n = 1;
        for (; n <= kMaxAllocations; ++n) {
            vokri::test_hooks::reset_allocation_count();
            vokri::test_hooks::fail_allocations_after(n);
            Outcome o = e.run(s);
            vokri::test_hooks::fail_allocations_after(-1);
            uint64_t made = vokri::test_hooks::allocation_count();
            if (o.rc == 0) {
                expect_same_output(o, ref, "call with allocation " + std::to_string(n) + " failing");
                break;
            }
            ASSERT_EQ(o.rc, 1) << "allocation " << n;
            ASSERT_EQ(o.err, std::string(e.prefix) + "OutOfMemory\n") << "allocation " << n;
            // The failure must come from the injected one.
            ASSERT_GE(made, uint64_t(n)) << "failed without reaching allocation " << n;
        }
        ASSERT_LE(n, kMaxAllocations) << "never succeeded";
#ifdef VT_LEAK_CHECK
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "memory left behind by a failing call";
#endif
        // The process stays usable.
        expect_same_output(e.run(s), ref, "normal call afterwards");
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, AllocFailure, ::testing::Range<size_t>(0, sample_scenes().size()),
                         [](const ::testing::TestParamInfo<size_t>& p) {
                             return sample_scenes()[p.param].name;
                         });

// The test's own counting hook: allocation n fails, and so does every later
// one, until failures are turned off.
TEST(AllocFailureHook, FailsFromTheNthAllocationOn) {
    vokri::Allocator a;
    vokri::test_hooks::fail_allocations_after(3);
    void* p1 = a.allocate(16);
    void* p2 = a.allocate(16);
    void* p3 = a.allocate(16);
    void* p4 = a.allocate(16);
    vokri::test_hooks::fail_allocations_after(-1);
    void* p5 = a.allocate(16);
    EXPECT_NE(p1, nullptr);
    EXPECT_NE(p2, nullptr);
    EXPECT_EQ(p3, nullptr);
    EXPECT_EQ(p4, nullptr);
    EXPECT_NE(p5, nullptr);
    a.release(p1);
    a.release(p2);
    a.release(p5);
}

}  // namespace
