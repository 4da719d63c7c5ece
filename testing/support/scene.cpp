#include "support/scene.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>
#include <zlib.h>

namespace vt {

#define VT_ADD(Type, field, kind)                           \
    uint32_t TestScene::add(const Type& r, int32_t id) {    \
        field.push_back(r);                                 \
        uint32_t index = static_cast<uint32_t>(field.size() - 1); \
        add_item(kind, index, id);                          \
        return index;                                       \
    }
VT_ADD(VokriShapeRecord, shapes, VOKRI_ITEM_SHAPE)
VT_ADD(VokriBatchRecord, batches, VOKRI_ITEM_BATCH)
VT_ADD(VokriVectorRecord, vectors, VOKRI_ITEM_VECTOR)
VT_ADD(VokriImageRecord, images, VOKRI_ITEM_IMAGE)
VT_ADD(VokriInfiniteGeometryRecord, infinite, VOKRI_ITEM_INFINITE)
VT_ADD(VokriMeshRecord, meshes, VOKRI_ITEM_MESH)
VT_ADD(VokriMorphRecord, morphs, VOKRI_ITEM_MORPH)
#undef VT_ADD

void TestScene::add_item(uint32_t kind, uint32_t index, int32_t id) {
    items.push_back(VokriDrawItem{kind, index});
    ids.push_back(id);
}

int32_t TestScene::rgba0(int32_t w, int32_t h, double scale, std::vector<uint32_t>& px) const {
    px.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0xDEADBEEFu);
    return SceneArrays::rgba0(w, h, scale, px.data(), px.size());
}

int32_t TestScene::rgb0(int32_t w, int32_t h, double scale, std::vector<uint32_t>& px) const {
    px.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0xDEADBEEFu);
    return SceneArrays::rgb0(w, h, scale, px.data(), px.size());
}

VokriShapeRecord shape(uint32_t type) {
    VokriShapeRecord r{};
    r.shape_type = type;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

VokriShapeRecord filled(VokriShapeRecord r, uint32_t color) {
    r.fill_enabled = 1;
    r.fill_color = color;
    return r;
}

VokriShapeRecord stroked(VokriShapeRecord r, uint32_t color, double width) {
    r.stroke_enabled = 1;
    r.stroke_color = color;
    r.stroke_width = width;
    return r;
}

VokriShapeRecord rect(double cx, double cy, double w, double h, uint32_t fill) {
    VokriShapeRecord r = filled(shape(VOKRI_SHAPE_RECTANGLE), fill);
    r.p0 = w;
    r.p1 = h;
    r.transform[4] = cx;
    r.transform[5] = cy;
    return r;
}

std::string pixel_str(uint32_t p) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "(%u, %u, %u, %u)", byte_of(p, 0), byte_of(p, 1), byte_of(p, 2), byte_of(p, 3));
    return buf;
}

StderrCapture::StderrCapture() {
    char tmpl[] = "/tmp/vokri-stderr-XXXXXX";
    file_ = mkstemp(tmpl);
    path_ = tmpl;
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(file_, 2);
}

StderrCapture::~StderrCapture() { (void)text(); }

std::string StderrCapture::text() {
    if (done_) return text_;
    done_ = true;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    close(file_);
    auto bytes = read_file(path_);
    text_.assign(bytes.begin(), bytes.end());
    unlink(path_.c_str());
    return text_;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string temp_path(const std::string& name) {
    return "/tmp/vokri-test-" + std::to_string(getpid()) + "-" + name;
}

static uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

DecodedPng decode_png(const std::vector<uint8_t>& f) {
    DecodedPng d;
    static const uint8_t sig[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (f.size() < 8 || std::memcmp(f.data(), sig, 8) != 0) {
        d.error = "bad signature";
        return d;
    }
    size_t pos = 8;
    bool ended = false;
    while (pos + 12 <= f.size()) {
        uint32_t len = be32(&f[pos]);
        if (pos + 12 + len > f.size()) {
            d.error = "truncated chunk";
            return d;
        }
        std::string type(reinterpret_cast<const char*>(&f[pos + 4]), 4);
        const uint8_t* data = &f[pos + 8];
        uint32_t crc = static_cast<uint32_t>(crc32(crc32(0, &f[pos + 4], 4), data, len));
        if (crc != be32(&f[pos + 8 + len])) {
            d.error = "bad crc in " + type;
            return d;
        }
        d.chunk_types.push_back(type);
        if (type == "IHDR") {
            if (len != 13 || data[8] != 8 || data[9] != 2 || data[10] || data[11] || data[12]) {
                d.error = "unexpected IHDR";
                return d;
            }
            d.width = be32(data);
            d.height = be32(data + 4);
        } else if (type == "IDAT") {
            d.idat.insert(d.idat.end(), data, data + len);
            d.idat_sizes.push_back(len);
        } else if (type == "IEND") {
            ended = true;
            pos += 12 + len;
            break;
        }
        pos += 12 + len;
    }
    if (!ended || pos != f.size()) {
        d.error = "missing IEND or trailing bytes";
        return d;
    }
    size_t row = size_t(d.width) * 3 + 1;
    d.filtered.resize(row * d.height);
    uLongf out_len = d.filtered.size();
    if (uncompress(d.filtered.data(), &out_len, d.idat.data(), d.idat.size()) != Z_OK || out_len != d.filtered.size()) {
        d.error = "inflate failed";
        return d;
    }
    d.rgb.resize(size_t(d.width) * d.height * 3);
    for (uint32_t y = 0; y < d.height; ++y) {
        if (d.filtered[y * row] != 0) {
            d.error = "non-zero filter byte";
            return d;
        }
        std::memcpy(&d.rgb[size_t(y) * d.width * 3], &d.filtered[y * row + 1], row - 1);
    }
    d.ok = true;
    return d;
}

}  // namespace vt
