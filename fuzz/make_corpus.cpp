// Writes the seed corpus: one file per sample scene of the tests (every item
// kind, valid and failing) and per scene file given (the showcase), encoded as
// scene_fuzzer reads them.
//   make_corpus <directory> [scene.json...]
#include <cstdio>
#include <fstream>
#include <string>

#include "support/samples.h"
#include "support/scene_codec.h"
#ifdef VOKRI_HAVE_SCENE_JSON
#include <algorithm>
#include <filesystem>

#include "scene_json.h"
#endif

namespace {

std::vector<uint8_t> encode(const vt::Sample& s) {
    return vfuzz::encode({s.width, s.height, s.scale, s.probe_x, s.probe_y}, s.scene);
}

std::vector<uint8_t> encode(const vfuzz::Call& c) {
    return vfuzz::encode({c.width, c.height, c.scale, c.probe_x, c.probe_y}, c);
}

}  // namespace

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
    return bool(out);
}

#ifdef VOKRI_HAVE_SCENE_JSON
// A scene file, shrunk to the fuzzer's largest canvas (256 x 256) with the
// same framing. Lists beyond the fuzzer's caps are cut when it reads them.
bool write_scene_file(const char* dir, const char* file) {
    try {
        vokri_scenefile::Scene sc = vokri_scenefile::load_scene_file(file);
        double k = std::min(1.0, 256.0 / std::max(sc.width, sc.height));
        vt::Sample s;
        s.width = std::max(1, int32_t(sc.width * k));
        s.height = std::max(1, int32_t(sc.height * k));
        s.scale = sc.scale * k;
        s.probe_x = uint32_t(s.width / 2), s.probe_y = uint32_t(s.height / 2);
        static_cast<vokri_scenefile::SceneArrays&>(s.scene) = sc;
        std::string name = std::filesystem::path(file).stem().string();
        return write_file(std::string(dir) + "/scene-" + name + ".bin", encode(s));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_corpus: %s: %s\n", file, e.what());
        return false;
    }
}
#endif

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_corpus <directory> [scene.json...]\n");
        return 2;
    }
    std::vector<vt::Sample> all = vt::sample_scenes();
    for (auto& f : vt::failing_samples()) all.push_back(std::move(f));
    int written = 0;
    for (const auto& s : all) {
        std::vector<uint8_t> bytes = encode(s);
        // The encoding must survive a decode unchanged.
        vfuzz::Call back;
        vfuzz::decode(bytes.data(), bytes.size(), back);
        std::vector<uint8_t> again = encode(back);
        if (again != bytes) {
            size_t at = 0;
            while (at < again.size() && at < bytes.size() && again[at] == bytes[at]) ++at;
            std::fprintf(stderr, "make_corpus: %s does not round-trip (byte %zu of %zu/%zu)\n", s.name.c_str(), at,
                         bytes.size(), again.size());
            return 1;
        }
        if (!write_file(std::string(argv[1]) + "/" + s.name + ".bin", bytes)) return 1;
        ++written;
    }
    for (int i = 2; i < argc; ++i) {
#ifdef VOKRI_HAVE_SCENE_JSON
        if (!write_scene_file(argv[1], argv[i])) return 1;
        ++written;
#else
        std::fprintf(stderr, "make_corpus: built without the scene-file reader (VOKRI_BUILD_TOOLS)\n");
        return 2;
#endif
    }
    std::printf("wrote %d corpus files to %s\n", written, argv[1]);
    return 0;
}
