// Test helpers: a Scene held in vectors, calls through the exports, standard
// error capture and PNG decoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene_arrays.h"
#include "vokri_core.h"

namespace vt {

struct TestScene : vokri_scenefile::SceneArrays {

    // Appends a record and a DrawItem naming it; returns the record index.
    uint32_t add(const VokriShapeRecord& r, int32_t id = 0);
    uint32_t add(const VokriBatchRecord& r, int32_t id = 0);
    uint32_t add(const VokriVectorRecord& r, int32_t id = 0);
    uint32_t add(const VokriImageRecord& r, int32_t id = 0);
    uint32_t add(const VokriInfiniteGeometryRecord& r, int32_t id = 0);
    uint32_t add(const VokriMeshRecord& r, int32_t id = 0);
    uint32_t add(const VokriMorphRecord& r, int32_t id = 0);
    void add_item(uint32_t kind, uint32_t index, int32_t id = 0);

    // The pixel exports into `pixels`, resized to width * height (frame and
    // pick come from SceneArrays).
    int32_t rgba0(int32_t w, int32_t h, double scale, std::vector<uint32_t>& pixels) const;
    int32_t rgb0(int32_t w, int32_t h, double scale, std::vector<uint32_t>& pixels) const;
};

// Records with the neutral defaults: identity transforms, opacity 1.
VokriShapeRecord shape(uint32_t type);
VokriShapeRecord filled(VokriShapeRecord r, uint32_t color);
VokriShapeRecord stroked(VokriShapeRecord r, uint32_t color, double width);
VokriShapeRecord rect(double cx, double cy, double w, double h, uint32_t fill);

// Pixel helpers (bytes R, G, B, A in memory).
inline uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | g << 8 | b << 16 | a << 24; }
inline uint32_t byte_of(uint32_t p, int k) { return (p >> (8 * k)) & 0xFF; }
std::string pixel_str(uint32_t p);

// Captures everything written to file descriptor 2 while alive.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    std::string text();  // stops capturing and returns what was written

private:
    int saved_ = -1;
    int file_ = -1;
    std::string path_;
    bool done_ = false;
    std::string text_;
};

// A decoded PNG (8-bit RGB only, as the library writes).
struct DecodedPng {
    bool ok = false;
    std::string error;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;         // width * height * 3
    std::vector<uint8_t> filtered;    // inflated IDAT data
    std::vector<uint8_t> idat;        // concatenated IDAT data
    std::vector<uint32_t> idat_sizes; // data length of every IDAT chunk
    std::vector<std::string> chunk_types;
};
DecodedPng decode_png(const std::vector<uint8_t>& file);
std::vector<uint8_t> read_file(const std::string& path);
std::string temp_path(const std::string& name);

}  // namespace vt
