// Writes the seed corpus: one file per sample scene of the tests (every item
// kind, valid and failing), encoded as scene_fuzzer reads them.
//   make_corpus <directory>
#include <cstdio>
#include <fstream>
#include <string>

#include "hardening/samples.h"
#include "scene_codec.h"

namespace {

vfuzz::SceneRef ref_of(const vt::Sample& s) {
    const auto& sc = s.scene;
    return {s.width,     s.height,     s.scale,       s.probe_x,   s.probe_y,
            &sc.items,   &sc.shapes,   &sc.batches,   &sc.vectors, &sc.images,
            &sc.infinite, &sc.meshes,  &sc.morphs};
}

vfuzz::SceneRef ref_of(const vfuzz::Call& c) {
    return {c.width,     c.height,   c.scale,     c.probe_x,   c.probe_y, &c.items, &c.shapes,
            &c.batches,  &c.vectors, &c.images,   &c.infinite, &c.meshes, &c.morphs};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <directory>\n");
        return 2;
    }
    std::vector<vt::Sample> all = vt::sample_scenes();
    for (auto& f : vt::failing_samples()) all.push_back(std::move(f));
    int written = 0;
    for (const auto& s : all) {
        std::vector<uint8_t> bytes = vfuzz::encode(ref_of(s));
        // The encoding must survive a decode unchanged.
        vfuzz::Call back;
        vfuzz::decode(bytes.data(), bytes.size(), back);
        std::vector<uint8_t> again = vfuzz::encode(ref_of(back));
        if (again != bytes) {
            size_t at = 0;
            while (at < again.size() && at < bytes.size() && again[at] == bytes[at]) ++at;
            std::fprintf(stderr, "make_corpus: %s does not round-trip (byte %zu of %zu/%zu)\n", s.name.c_str(), at,
                         bytes.size(), again.size());
            return 1;
        }
        std::string path = std::string(argv[1]) + "/" + s.name + ".bin";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("wrote %d corpus files to %s\n", written, argv[1]);
    return 0;
}
