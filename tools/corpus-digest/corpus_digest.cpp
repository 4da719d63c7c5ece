// corpus-digest: renders fuzz inputs through the four exports and prints one
// line per input: its name, the return codes, the picked id and a digest of
// the rgba0, rgb0 and PNG bytes. Two builds (two architectures, two
// versions) that print the same lines render the same bytes.
//
//   corpus-digest [--mutations N] DIR...
//
// With --mutations N every input is also rendered N times with a few bytes
// changed (a fixed pseudo-random sequence, the same on every build).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scene_codec.h"

namespace {

uint64_t fnv(const void* p, size_t n, uint64_t h) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) {
        h ^= b[i];
        h *= 1099511628211ull;
    }
    return h;
}

std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void digest(const std::string& name, const std::vector<uint8_t>& data, const std::string& png) {
    vfuzz::Call c;
    vfuzz::decode(data.data(), data.size(), c);
    const size_t n = size_t(c.width) * size_t(c.height);
    std::vector<uint32_t> rgba(n, 0xDEADBEEFu), rgb(n, 0xDEADBEEFu);
    const int ra = c.rgba0(c.width, c.height, c.scale, rgba.data(), n);
    const int rb = c.rgb0(c.width, c.height, c.scale, rgb.data(), n);
    const int rf = c.frame(png.c_str(), c.width, c.height, c.scale);
    int32_t id = -1;
    const int rp = c.pick(c.width, c.height, c.scale, c.probe_x, c.probe_y, &id);
    uint64_t h = fnv(rgba.data(), n * 4, 1469598103934665603ull);
    h = fnv(rgb.data(), n * 4, h);
    if (rf == 0) {
        const std::vector<uint8_t> bytes = read_bytes(png);
        h = fnv(bytes.data(), bytes.size(), h);
    }
    ::unlink(png.c_str());
    std::printf("%s %d %d %d %d %d %016llx\n", name.c_str(), ra, rb, rf, rp, id, static_cast<unsigned long long>(h));
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long mutations = 0;
    std::vector<std::filesystem::path> files;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--mutations" && a + 1 < argc) {
            mutations = std::strtoul(argv[++a], nullptr, 10);
            continue;
        }
        std::error_code ec;
        for (auto& e : std::filesystem::recursive_directory_iterator(arg, ec))
            if (e.is_regular_file()) files.push_back(e.path());
        if (ec) {
            std::fprintf(stderr, "corpus-digest: %s: %s\n", arg.c_str(), ec.message().c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    const std::string png = "/tmp/corpus-digest-" + std::to_string(::getpid()) + ".png";
    uint64_t state = 0x9E3779B97F4A7C15ull;  // xorshift64
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (const auto& f : files) {
        const std::vector<uint8_t> data = read_bytes(f);
        digest(f.filename().string(), data, png);
        for (unsigned long m = 0; m < mutations && !data.empty(); ++m) {
            std::vector<uint8_t> changed = data;
            for (uint64_t k = 1 + next() % 8; k > 0; --k) changed[next() % changed.size()] = uint8_t(next());
            digest(f.filename().string() + "~" + std::to_string(m), changed, png);
        }
    }
    return 0;
}
