// Concurrency: eight threads render, export and pick different scenes at
// once, valid and failing ones; every result must equal the scene's serial
// result, and the error lines of the failing calls must arrive whole on
// standard error, one line per failing call. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "support/samples.h"

using namespace vt;

namespace {

enum class Op { rgba0, rgb0, frame, pick };
constexpr Op kOps[] = {Op::rgba0, Op::rgb0, Op::frame, Op::pick};

const char* prefix_of(Op op) {
    switch (op) {
        case Op::rgba0:
            return kRgba0Prefix;
        case Op::rgb0:
            return kRgb0Prefix;
        case Op::frame:
            return kFramePrefix;
        case Op::pick:
            return kPickPrefix;
    }
    return "";
}

struct Result {
    int32_t rc = -1;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> file;
    int32_t id = -1;
    bool operator==(const Result&) const = default;
};

// One export of one sample; the caller captures standard error.
Result run(const Sample& s, Op op, const std::string& path) {
    Result r;
    switch (op) {
        case Op::rgba0:
            r.rc = s.scene.rgba0(s.width, s.height, s.scale, r.pixels);
            break;
        case Op::rgb0:
            r.rc = s.scene.rgb0(s.width, s.height, s.scale, r.pixels);
            break;
        case Op::frame:
            unlink(path.c_str());
            r.rc = s.scene.frame(path.c_str(), s.width, s.height, s.scale);
            if (r.rc == 0) r.file = read_file(path);
            unlink(path.c_str());
            break;
        case Op::pick:
            r.rc = s.scene.pick(s.width, s.height, s.scale, s.probe_x, s.probe_y, &r.id);
            break;
    }
    return r;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

TEST(Threads, EightThreadsMatchTheSerialResults) {
    std::vector<Sample> scenes = sample_scenes();
    for (auto& f : failing_samples()) scenes.push_back(std::move(f));
    const size_t n = scenes.size();

    // Serial reference of every scene and export, with its error line.
    std::vector<std::vector<Result>> want(n, std::vector<Result>(4));
    std::vector<std::vector<std::string>> want_err(n, std::vector<std::string>(4));
    size_t failing = 0;
    for (size_t i = 0; i < n; ++i) {
        for (size_t k = 0; k < 4; ++k) {
            StderrCapture cap;
            want[i][k] = run(scenes[i], kOps[k], temp_path("serial.png"));
            want_err[i][k] = cap.text();
            if (want[i][k].rc != 0) {
                ++failing;
                ASSERT_EQ(want[i][k].rc, 1) << scenes[i].name;
                ASSERT_EQ(lines_of(want_err[i][k]).size(), 1u) << scenes[i].name << ": " << want_err[i][k];
                EXPECT_EQ(want_err[i][k].rfind(prefix_of(kOps[k]), 0), 0u) << want_err[i][k];
            } else {
                ASSERT_EQ(want_err[i][k], "") << scenes[i].name;
            }
        }
    }
    ASSERT_GT(failing, 0u);

    // Each thread runs every scene, in its own order, so that at any moment
    // the threads work on different scenes and exports.
    constexpr int kThreads = 8;
    constexpr int kRounds = 2;
    struct Done {
        size_t scene, op;
        Result result;
    };
    std::vector<std::vector<Done>> done(kThreads);
    std::latch start(kThreads);
    std::string err_text;
    {
        StderrCapture cap;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                std::string path = temp_path("thread-" + std::to_string(t) + ".png");
                start.arrive_and_wait();
                for (int round = 0; round < kRounds; ++round) {
                    for (size_t j = 0; j < n; ++j) {
                        size_t i = (j + size_t(t) * 3 + size_t(round)) % n;
                        size_t k = (j + size_t(t)) % 4;
                        for (size_t m = 0; m < 4; ++m) {
                            size_t op = (k + m) % 4;
                            done[t].push_back({i, op, run(scenes[i], kOps[op], path)});
                        }
                    }
                }
            });
        }
        for (auto& th : threads) th.join();
        err_text = cap.text();
    }

    std::map<std::string, int> expected_lines;
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(done[t].size(), size_t(kRounds) * n * 4);
        for (const Done& d : done[t]) {
            EXPECT_TRUE(d.result == want[d.scene][d.op])
                << "thread " << t << ": " << scenes[d.scene].name << " export " << d.op << " differs from serial";
            if (want[d.scene][d.op].rc != 0) ++expected_lines[lines_of(want_err[d.scene][d.op])[0]];
        }
    }
    // Whole lines, one per failing call, each exactly a known message.
    ASSERT_FALSE(err_text.empty());
    EXPECT_EQ(err_text.back(), '\n');
    std::map<std::string, int> got_lines;
    for (const std::string& line : lines_of(err_text)) {
        EXPECT_TRUE(expected_lines.count(line)) << "unexpected or torn line: \"" << line << "\"";
        ++got_lines[line];
    }
    EXPECT_EQ(got_lines, expected_lines);
}

}  // namespace
