// Byte encoding of a whole Scene call for the fuzz targets: canvas, scale,
// pick probe, draw items and every record array with the caller lists the
// records point to. Every byte string decodes to some Scene (a short input
// reads as zeros), and every list is allocated with exactly the size its
// record claims, after capping, so that a read beyond it is caught by
// AddressSanitizer.
//
// Layout:
//   u8 width-1, u8 height-1, f64 scale, u8 probe x, u8 probe y,
//   u8 item count, then per item u8 kind, u8 index (255 means 0xFFFFFFFF),
//   then the seven arrays in wire order (shapes, batches, vectors, images,
//   infinite geometry, meshes, morphs): u8 count and the records.
// A record is its raw bytes, with each pointer field replaced by a flag
// (bit 0 of its first byte: present), followed by the contents of its present
// lists in field order. Counts of present lists are capped (kCap...); counts
// of absent lists are kept as they are, so huge claims reach the library with
// null pointers.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "scene_arrays.h"
#include "vokri_core.h"

namespace vfuzz {

constexpr uint32_t kMaxItems = 48;
constexpr uint32_t kMaxRecords = 16;
constexpr uint32_t kCapPoints = 256;
constexpr uint32_t kCapBatch = 128;
constexpr uint32_t kCapVectorShapes = 8;
constexpr uint32_t kCapSegments = 64;
constexpr uint32_t kCapSubpaths = 16;
constexpr uint32_t kCapRaster = 64;  // width and height
constexpr uint32_t kCapLayers = 4;
constexpr uint32_t kCapVertices = 64;
constexpr uint32_t kCapIndices = 192;
// The fractal iteration limit is bounded by the library at 100000 per pixel;
// the harness keeps it small so that one input stays well inside the time
// limit (larger limits that the library rejects are kept).
constexpr double kMaxFractalIterations = 100;

inline uint32_t cap(uint32_t v, uint32_t limit) { return v < limit ? v : limit; }

inline size_t batch_stride(uint32_t mode) { return mode == VOKRI_BATCH_CIRCLES ? 3 : 4; }

struct Call : vokri_scenefile::SceneArrays {
    int32_t width = 1, height = 1;
    double scale = 1;
    uint32_t probe_x = 0, probe_y = 0;
    std::vector<void*> owned;  // malloc'd lists, exact sizes

    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call() {
        for (void* p : owned) std::free(p);
    }
};

// ---- decoding --------------------------------------------------------------

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    void bytes(void* out, size_t len) {
        auto* o = static_cast<uint8_t*>(out);
        size_t take = len < n_ - i_ ? len : n_ - i_;
        if (take) std::memcpy(o, p_ + i_, take);
        if (take < len) std::memset(o + take, 0, len - take);
        i_ += take;
    }
    uint8_t u8() {
        uint8_t v;
        bytes(&v, 1);
        return v;
    }
    double f64() {
        double v;
        bytes(&v, 8);
        return v;
    }

private:
    const uint8_t* p_;
    size_t n_;
    size_t i_ = 0;
};

// Reads the flag that stands in a pointer field's bytes.
template <class P>
bool present(const P& field) {
    uint8_t b;
    std::memcpy(&b, &field, 1);
    return b & 1;
}

template <class T>
const T* read_list(Reader& in, Call& call, size_t count) {
    size_t bytes = count * sizeof(T);
    // malloc(0) still gives a distinct pointer with no readable bytes.
    void* p = std::malloc(bytes);
    if (!p) std::abort();
    call.owned.push_back(p);
    in.bytes(p, bytes);
    return static_cast<const T*>(p);
}

inline void decode_shape(Reader& in, Call& call, VokriShapeRecord& r) {
    in.bytes(&r, sizeof r);
    if (present(r.points)) {
        r.point_count = cap(r.point_count, kCapPoints);
        r.points = read_list<double>(in, call, size_t(r.point_count) * 2);
    } else {
        r.points = nullptr;
    }
}

inline void decode_batch(Reader& in, Call& call, VokriBatchRecord& r) {
    in.bytes(&r, sizeof r);
    const bool has[8] = {present(r.elements),           present(r.fill_colors),
                         present(r.stroke_colors),      present(r.stroke_widths),
                         present(r.target_elements),    present(r.target_fill_colors),
                         present(r.target_stroke_colors), present(r.target_stroke_widths)};
    bool any = false;
    for (bool h : has) any |= h;
    if (any) r.count = cap(r.count, kCapBatch);
    size_t n = r.count, e = n * batch_stride(r.mode);
    r.elements = has[0] ? read_list<double>(in, call, e) : nullptr;
    r.fill_colors = has[1] ? read_list<uint32_t>(in, call, n) : nullptr;
    r.stroke_colors = has[2] ? read_list<uint32_t>(in, call, n) : nullptr;
    r.stroke_widths = has[3] ? read_list<double>(in, call, n) : nullptr;
    r.target_elements = has[4] ? read_list<double>(in, call, e) : nullptr;
    r.target_fill_colors = has[5] ? read_list<uint32_t>(in, call, n) : nullptr;
    r.target_stroke_colors = has[6] ? read_list<uint32_t>(in, call, n) : nullptr;
    r.target_stroke_widths = has[7] ? read_list<double>(in, call, n) : nullptr;
}

inline void decode_vector_shape(Reader& in, Call& call, VokriVectorShape& s) {
    in.bytes(&s, sizeof s);
    if (present(s.segments)) {
        s.segment_count = cap(s.segment_count, kCapSegments);
        s.segments = read_list<VokriCubicSegment>(in, call, s.segment_count);
    } else {
        s.segments = nullptr;
    }
    bool ends = present(s.subpath_ends), closed = present(s.subpath_closed);
    if (ends || closed) s.subpath_count = cap(s.subpath_count, kCapSubpaths);
    s.subpath_ends = ends ? read_list<uint32_t>(in, call, s.subpath_count) : nullptr;
    s.subpath_closed = closed ? read_list<uint8_t>(in, call, s.subpath_count) : nullptr;
}

inline void decode_vector(Reader& in, Call& call, VokriVectorRecord& r) {
    in.bytes(&r, sizeof r);
    if (present(r.shapes)) {
        r.shape_count = cap(r.shape_count, kCapVectorShapes);
        size_t bytes = size_t(r.shape_count) * sizeof(VokriVectorShape);
        auto* shapes = static_cast<VokriVectorShape*>(std::malloc(bytes));
        if (!shapes) std::abort();
        call.owned.push_back(shapes);
        for (uint32_t i = 0; i < r.shape_count; ++i) decode_vector_shape(in, call, shapes[i]);
        r.shapes = shapes;
    } else {
        r.shapes = nullptr;
    }
}

inline void decode_image(Reader& in, Call& call, VokriImageRecord& r) {
    in.bytes(&r, sizeof r);
    if (present(r.pixels)) {
        r.width = cap(r.width, kCapRaster);
        r.height = cap(r.height, kCapRaster);
        r.pixels = read_list<uint8_t>(in, call, size_t(r.width) * r.height * 4);
    } else {
        r.pixels = nullptr;
    }
}

inline void decode_infinite(Reader& in, VokriInfiniteGeometryRecord& r) {
    in.bytes(&r, sizeof r);
    if (r.geometry_kind == VOKRI_GEOMETRY_FRACTAL && r.a0 > kMaxFractalIterations && r.a0 <= 100000)
        r.a0 = kMaxFractalIterations;
}

inline void decode_layer(Reader& in, Call& call, VokriMeshLayer& l) {
    in.bytes(&l, sizeof l);
    bool pos = present(l.positions), nrm = present(l.normals);
    if (pos || nrm) l.vertex_count = cap(l.vertex_count, kCapVertices);
    l.positions = pos ? read_list<float>(in, call, size_t(l.vertex_count) * 3) : nullptr;
    l.normals = nrm ? read_list<float>(in, call, size_t(l.vertex_count) * 3) : nullptr;
    if (present(l.indices)) {
        l.index_count = cap(l.index_count, kCapIndices);
        l.indices = read_list<uint32_t>(in, call, l.index_count);
    } else {
        l.indices = nullptr;
    }
}

inline void decode_mesh(Reader& in, Call& call, VokriMeshRecord& r) {
    in.bytes(&r, sizeof r);
    if (present(r.layers)) {
        r.layer_count = cap(r.layer_count, kCapLayers);
        size_t bytes = size_t(r.layer_count) * sizeof(VokriMeshLayer);
        auto* layers = static_cast<VokriMeshLayer*>(std::malloc(bytes));
        if (!layers) std::abort();
        call.owned.push_back(layers);
        for (uint32_t i = 0; i < r.layer_count; ++i) decode_layer(in, call, layers[i]);
        r.layers = layers;
    } else {
        r.layers = nullptr;
    }
}

inline void decode_morph(Reader& in, Call& call, VokriMorphRecord& r) {
    // Field by field: the record is two ShapeRecords and t.
    decode_shape(in, call, r.from);
    decode_shape(in, call, r.to);
    r.t = in.f64();
}

template <class T, class F>
void decode_array(Reader& in, std::vector<T>& out, F decode_one) {
    uint32_t n = cap(in.u8(), kMaxRecords);
    out.resize(n);
    for (auto& r : out) decode_one(r);
}

inline void decode(const uint8_t* data, size_t size, Call& call) {
    Reader in(data, size);
    call.width = 1 + in.u8();
    call.height = 1 + in.u8();
    double s = in.f64();
    call.scale = std::isfinite(s) && s > 0 ? s : 8.0;
    call.probe_x = in.u8() % uint32_t(call.width);
    call.probe_y = in.u8() % uint32_t(call.height);
    uint32_t items = cap(in.u8(), kMaxItems);
    for (uint32_t i = 0; i < items; ++i) {
        uint8_t kind = in.u8(), index = in.u8();
        call.items.push_back({kind == 255 ? 0xFFFFFFFFu : kind, index == 255 ? 0xFFFFFFFFu : index});
        call.ids.push_back(int32_t(i + 1));
    }
    decode_array(in, call.shapes, [&](VokriShapeRecord& r) { decode_shape(in, call, r); });
    decode_array(in, call.batches, [&](VokriBatchRecord& r) { decode_batch(in, call, r); });
    decode_array(in, call.vectors, [&](VokriVectorRecord& r) { decode_vector(in, call, r); });
    decode_array(in, call.images, [&](VokriImageRecord& r) { decode_image(in, call, r); });
    decode_array(in, call.infinite, [&](VokriInfiniteGeometryRecord& r) { decode_infinite(in, r); });
    decode_array(in, call.meshes, [&](VokriMeshRecord& r) { decode_mesh(in, call, r); });
    decode_array(in, call.morphs, [&](VokriMorphRecord& r) { decode_morph(in, call, r); });
}

// ---- encoding (for the seed corpus) -----------------------------------------
// The inverse of decode for scenes whose lists are within the caps.

class Writer {
public:
    std::vector<uint8_t> out;
    void bytes(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void u8(uint8_t v) { out.push_back(v); }
    void f64(double v) { bytes(&v, 8); }
};

template <class T>
void put_list(Writer& w, const T* p, size_t count) {
    if (p) w.bytes(p, count * sizeof(T));
}

template <class P>
void flag(P& field, const void* original) {
    std::memset(&field, 0, sizeof field);
    uint8_t one = original ? 1 : 0;
    std::memcpy(&field, &one, 1);
}

inline void encode_shape(Writer& w, const VokriShapeRecord& r) {
    VokriShapeRecord c = r;
    flag(c.points, r.points);
    w.bytes(&c, sizeof c);
    put_list(w, r.points, size_t(r.point_count) * 2);
}

inline void encode_batch(Writer& w, const VokriBatchRecord& r) {
    VokriBatchRecord c = r;
    flag(c.elements, r.elements);
    flag(c.fill_colors, r.fill_colors);
    flag(c.stroke_colors, r.stroke_colors);
    flag(c.stroke_widths, r.stroke_widths);
    flag(c.target_elements, r.target_elements);
    flag(c.target_fill_colors, r.target_fill_colors);
    flag(c.target_stroke_colors, r.target_stroke_colors);
    flag(c.target_stroke_widths, r.target_stroke_widths);
    w.bytes(&c, sizeof c);
    size_t n = r.count, e = n * batch_stride(r.mode);
    put_list(w, r.elements, e);
    put_list(w, r.fill_colors, n);
    put_list(w, r.stroke_colors, n);
    put_list(w, r.stroke_widths, n);
    put_list(w, r.target_elements, e);
    put_list(w, r.target_fill_colors, n);
    put_list(w, r.target_stroke_colors, n);
    put_list(w, r.target_stroke_widths, n);
}

inline void encode_vector(Writer& w, const VokriVectorRecord& r) {
    VokriVectorRecord c = r;
    flag(c.shapes, r.shapes);
    w.bytes(&c, sizeof c);
    if (!r.shapes) return;
    for (uint32_t i = 0; i < r.shape_count; ++i) {
        const VokriVectorShape& s = r.shapes[i];
        VokriVectorShape cs = s;
        flag(cs.segments, s.segments);
        flag(cs.subpath_ends, s.subpath_ends);
        flag(cs.subpath_closed, s.subpath_closed);
        w.bytes(&cs, sizeof cs);
        put_list(w, s.segments, s.segment_count);
        put_list(w, s.subpath_ends, s.subpath_count);
        put_list(w, s.subpath_closed, s.subpath_count);
    }
}

inline void encode_image(Writer& w, const VokriImageRecord& r) {
    VokriImageRecord c = r;
    flag(c.pixels, r.pixels);
    w.bytes(&c, sizeof c);
    put_list(w, r.pixels, size_t(r.width) * r.height * 4);
}

inline void encode_mesh(Writer& w, const VokriMeshRecord& r) {
    VokriMeshRecord c = r;
    flag(c.layers, r.layers);
    w.bytes(&c, sizeof c);
    if (!r.layers) return;
    for (uint32_t i = 0; i < r.layer_count; ++i) {
        const VokriMeshLayer& l = r.layers[i];
        VokriMeshLayer cl = l;
        flag(cl.positions, l.positions);
        flag(cl.normals, l.normals);
        flag(cl.indices, l.indices);
        w.bytes(&cl, sizeof cl);
        put_list(w, l.positions, size_t(l.vertex_count) * 3);
        put_list(w, l.normals, size_t(l.vertex_count) * 3);
        put_list(w, l.indices, l.index_count);
    }
}

// The canvas and pick probe of an encoded call.
struct Canvas {
    int32_t width, height;
    double scale;
    uint32_t probe_x, probe_y;
};

inline std::vector<uint8_t> encode(const Canvas& c, const vokri_scenefile::SceneArrays& s) {
    Writer w;
    w.u8(uint8_t(c.width - 1));
    w.u8(uint8_t(c.height - 1));
    w.f64(c.scale);
    w.u8(uint8_t(c.probe_x));
    w.u8(uint8_t(c.probe_y));
    w.u8(uint8_t(s.items.size()));
    for (const auto& it : s.items) {
        w.u8(it.kind > 254 ? 255 : uint8_t(it.kind));
        w.u8(it.index > 254 ? 255 : uint8_t(it.index));
    }
    w.u8(uint8_t(s.shapes.size()));
    for (const auto& r : s.shapes) encode_shape(w, r);
    w.u8(uint8_t(s.batches.size()));
    for (const auto& r : s.batches) encode_batch(w, r);
    w.u8(uint8_t(s.vectors.size()));
    for (const auto& r : s.vectors) encode_vector(w, r);
    w.u8(uint8_t(s.images.size()));
    for (const auto& r : s.images) encode_image(w, r);
    w.u8(uint8_t(s.infinite.size()));
    for (const auto& r : s.infinite) w.bytes(&r, sizeof r);
    w.u8(uint8_t(s.meshes.size()));
    for (const auto& r : s.meshes) encode_mesh(w, r);
    w.u8(uint8_t(s.morphs.size()));
    for (const auto& r : s.morphs) {
        encode_shape(w, r.from);
        encode_shape(w, r.to);
        w.f64(r.t);
    }
    return std::move(w.out);
}

}  // namespace vfuzz
