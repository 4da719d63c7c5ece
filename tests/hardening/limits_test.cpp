// Limits: canvases beyond memory fail with OutOfMemory from the exports that
// allocate their own surface, and record counts and list lengths up to
// 2^32 - 1 never overflow a size or index computation. Huge caller arrays are
// reserved (not committed) address space; only the pages a test writes are
// backed by memory.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include "common/alloc.h"
#include "support/samples.h"

using namespace vt;

namespace {

constexpr int32_t kMaxSide = 2147483647;
constexpr uint32_t kMaxCount = 0xFFFFFFFFu;

// Zero-filled address space that is only backed where it is written.
class Region {
public:
    explicit Region(size_t bytes) : bytes_(bytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        p_ = p == MAP_FAILED ? nullptr : p;
    }
    ~Region() {
        if (p_) munmap(p_, bytes_);
    }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    template <class T>
    T* as() const {
        return static_cast<T*>(p_);
    }
    bool ok() const { return p_ != nullptr; }

private:
    void* p_;
    size_t bytes_;
};

#define VT_REGION(name, bytes)                                              \
    Region name(bytes);                                                     \
    if (!name.ok()) GTEST_SKIP() << "cannot reserve " << (bytes) << " bytes of address space"

struct Outcome {
    int32_t rc;
    std::string err;
    std::vector<uint32_t> pixels;
};

Outcome rgba0(const TestScene& s, int32_t w, int32_t h, double scale) {
    Outcome o;
    StderrCapture cap;
    o.rc = s.rgba0(w, h, scale, o.pixels);
    o.err = cap.text();
    return o;
}

// ---- canvases -------------------------------------------------------------

TEST(Limits, HugeCanvasesFailWithOutOfMemoryFromPickAndFrame) {
    TestScene s;
    s.add(rect(0, 0, 1, 1, 0xFFFFFFFFu), 1);
    const std::pair<int32_t, int32_t> sizes[] = {
        {kMaxSide, kMaxSide}, {100000, 100000}, {65536, 65536}, {kMaxSide, 1}, {1, kMaxSide}, {kMaxSide, 3}};
    std::string path = temp_path("huge.png");
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        {
            StderrCapture cap;
            int32_t id = 77;
            EXPECT_EQ(s.pick(w, h, 1, 0, 0, &id), 1);
            EXPECT_EQ(cap.text(), std::string(kPickPrefix) + "OutOfMemory\n");
            EXPECT_EQ(id, 77);
        }
        {
            unlink(path.c_str());
            StderrCapture cap;
            EXPECT_EQ(s.frame(path.c_str(), w, h, 1), 1);
            EXPECT_EQ(cap.text(), std::string(kFramePrefix) + "OutOfMemory\n");
            EXPECT_NE(access(path.c_str(), F_OK), 0) << "no file is created";
        }
    }
}

TEST(Limits, CanvasLimitIsTheAllocationCap) {
    // The largest owned surface is kMaxAllocationBytes / 4 pixels; one more
    // row than that fails before anything is allocated.
    EXPECT_EQ(vokri::kMaxAllocationBytes, size_t{1} << 32);
    TestScene s;
    StderrCapture cap;
    int32_t id = 0;
    EXPECT_EQ(s.pick(32768, 32769, 1, 0, 0, &id), 1);
    EXPECT_EQ(cap.text(), std::string(kPickPrefix) + "OutOfMemory\n");
}

TEST(Limits, HugeCanvasWithTooSmallBufferIsAnArgumentError) {
    TestScene s;
    std::vector<uint32_t> px(16);
    StderrCapture cap;
    EXPECT_EQ(vokri_render_scene_rgba0(kMaxSide, kMaxSide, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, px.data(), px.size()),
              2);
    EXPECT_EQ(vokri_render_scene_rgb0(100000, 100000, 1, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                      0, nullptr, 0, nullptr, 0, nullptr, 0, px.data(), px.size()),
              2);
    EXPECT_EQ(cap.text(), "");
}

// ---- record arrays of 2^32 - 1 records ------------------------------------

// Draws `record` once from a one-record array and once as record 2^32 - 2 of
// an array of 2^32 - 1 records: both must give the same result.
template <class T>
void expect_far_record_like_near(uint32_t kind, const T& record, std::vector<T> vokri_scenefile::SceneArrays::*array) {
    TestScene near;
    (near.*array).push_back(record);
    near.add_item(kind, 0, 1);
    Outcome want = rgba0(near, 64, 48, 10);

    const size_t bytes = size_t(kMaxCount) * sizeof(T);
    VT_REGION(region, bytes);
    T* records = region.as<T>();
    records[kMaxCount - 2] = record;
    VokriDrawItem item{kind, kMaxCount - 2};
    std::vector<uint32_t> px(64 * 48);
    const T* p = records;
    // Every array but the tested one is empty.
    auto pick = [&](uint32_t k) -> uint32_t { return k == kind ? kMaxCount : 0; };
    Outcome got;
    {
        StderrCapture cap;
        got.rc = vokri_render_scene_rgba0(
            64, 48, 10, &item, 1, kind == VOKRI_ITEM_SHAPE ? reinterpret_cast<const VokriShapeRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_SHAPE), kind == VOKRI_ITEM_BATCH ? reinterpret_cast<const VokriBatchRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_BATCH), kind == VOKRI_ITEM_VECTOR ? reinterpret_cast<const VokriVectorRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_VECTOR), kind == VOKRI_ITEM_IMAGE ? reinterpret_cast<const VokriImageRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_IMAGE),
            kind == VOKRI_ITEM_INFINITE ? reinterpret_cast<const VokriInfiniteGeometryRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_INFINITE), kind == VOKRI_ITEM_MESH ? reinterpret_cast<const VokriMeshRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_MESH), kind == VOKRI_ITEM_MORPH ? reinterpret_cast<const VokriMorphRecord*>(p) : nullptr,
            pick(VOKRI_ITEM_MORPH), px.data(), px.size());
        got.err = cap.text();
    }
    EXPECT_EQ(got.rc, want.rc);
    EXPECT_EQ(got.err, want.err);
    EXPECT_TRUE(px == want.pixels) << "record 2^32 - 2 draws differently";
    // One past the last record is refused.
    TestScene beyond;
    (beyond.*array).push_back(record);
    beyond.add_item(kind, 1, 1);
    EXPECT_EQ(rgba0(beyond, 8, 8, 1).err, std::string(kRgba0Prefix) + "InvalidDrawItem\n");
}

template <class T>
const T& first_of(const std::vector<T>& v) {
    EXPECT_FALSE(v.empty());
    return v.front();
}

TEST(Limits, LastRecordsOfMaximalArrays) {
    const std::vector<Sample> samples = sample_scenes();
    const TestScene& all = samples.back().scene;  // every kind
    {
        SCOPED_TRACE("shapes");
        expect_far_record_like_near(VOKRI_ITEM_SHAPE, all.shapes[3], &TestScene::shapes);
    }
    {
        SCOPED_TRACE("batches");
        expect_far_record_like_near(VOKRI_ITEM_BATCH, first_of(all.batches), &TestScene::batches);
    }
    {
        SCOPED_TRACE("vectors");
        expect_far_record_like_near(VOKRI_ITEM_VECTOR, first_of(all.vectors), &TestScene::vectors);
    }
    {
        SCOPED_TRACE("images");
        expect_far_record_like_near(VOKRI_ITEM_IMAGE, first_of(all.images), &TestScene::images);
    }
    {
        SCOPED_TRACE("infinite geometry");
        expect_far_record_like_near(VOKRI_ITEM_INFINITE, first_of(all.infinite), &TestScene::infinite);
    }
    {
        SCOPED_TRACE("meshes");
        expect_far_record_like_near(VOKRI_ITEM_MESH, first_of(all.meshes), &TestScene::meshes);
    }
    {
        SCOPED_TRACE("morphs");
        expect_far_record_like_near(VOKRI_ITEM_MORPH, first_of(all.morphs), &TestScene::morphs);
    }
}

// ---- lists of 2^32 - 1 entries --------------------------------------------

void expect_out_of_memory(const Outcome& o) {
    EXPECT_EQ(o.rc, 1);
    EXPECT_EQ(o.err, std::string(kRgba0Prefix) + "OutOfMemory\n");
}

TEST(Limits, PolygonOfMaximalPointCountIsOutOfMemory) {
    // Copying 2^32 - 1 points takes 64 GiB, beyond the allocation cap.
    VT_REGION(points, size_t(kMaxCount) * 16);
    TestScene s;
    VokriShapeRecord polygon = filled(shape(VOKRI_SHAPE_POLYGON), 0xFFFFFFFFu);
    polygon.points = points.as<double>();
    polygon.point_count = kMaxCount;
    s.add(polygon, 1);
    expect_out_of_memory(rgba0(s, 16, 16, 1));
}

TEST(Limits, MorphOfMaximalPolylinesIsOutOfMemory) {
    VT_REGION(points, size_t(kMaxCount) * 16);
    TestScene s;
    VokriMorphRecord m{};
    m.from = stroked(shape(VOKRI_SHAPE_POLYLINE), 0xFFFFFFFFu, 1);
    m.from.points = points.as<double>();
    m.from.point_count = kMaxCount;
    m.to = m.from;
    m.t = 0.5;
    s.add(m, 1);
    expect_out_of_memory(rgba0(s, 16, 16, 1));
}

TEST(Limits, VectorShapeOfMaximalSegmentCountIsOutOfMemory) {
    // One subpath of 2^32 - 1 segments: its Path would need 2^32 nodes.
    VT_REGION(segments, size_t(kMaxCount) * sizeof(VokriCubicSegment));
    const uint32_t ends[] = {kMaxCount};
    const uint8_t closed[] = {1};
    VokriVectorShape shape{};
    shape.segment_count = kMaxCount;
    shape.segments = segments.as<VokriCubicSegment>();
    shape.subpath_count = 1;
    shape.subpath_ends = ends;
    shape.subpath_closed = closed;
    shape.fill_enabled = 1;
    shape.fill_color = 0xFFFFFFFFu;
    VokriVectorRecord v{};
    v.shape_count = 1;
    v.shapes = &shape;
    v.progress = 1;
    v.transform[0] = v.transform[3] = 1;
    v.opacity = 1;
    TestScene s;
    s.add(v, 1);
    expect_out_of_memory(rgba0(s, 16, 16, 1));
}

TEST(Limits, BatchOfMaximalCountReadsElementByElement) {
    // 2^32 - 1 circles, the first of radius 0: the batch fails on that
    // element, before anything sized by the count could be needed.
    VT_REGION(elements, size_t(kMaxCount) * 3 * sizeof(double));
    VT_REGION(colours, size_t(kMaxCount) * sizeof(uint32_t));
    VokriBatchRecord b{};
    b.mode = VOKRI_BATCH_CIRCLES;
    b.count = kMaxCount;
    b.elements = elements.as<double>();
    b.fill_colors = colours.as<uint32_t>();
    b.transform[0] = b.transform[3] = 1;
    b.opacity = 1;
    TestScene s;
    s.add(b, 1);
    Outcome o = rgba0(s, 16, 16, 1);
    EXPECT_EQ(o.rc, 1);
    EXPECT_EQ(o.err, std::string(kRgba0Prefix) + "InvalidRadius\n");
}

TEST(Limits, MeshLayerOfMaximalVertexCountIsOutOfMemory) {
    // 28 bytes of working memory per vertex: about 120 GB.
    VT_REGION(vertices, size_t(kMaxCount) * 12);
    std::vector<uint32_t> indices = {0, 1, 2};
    VokriMeshLayer layer{};
    layer.vertex_count = kMaxCount;
    layer.positions = vertices.as<float>();
    layer.normals = vertices.as<float>();
    layer.index_count = 3;
    layer.indices = indices.data();
    for (int i = 0; i < 4; ++i) layer.model[i * 5] = 1;
    layer.colour = 0xFFFFFFFFu;
    layer.opacity = 1;
    VokriMeshRecord mesh{};
    mesh.eye[2] = 5;
    mesh.up[1] = 1;
    mesh.fov_y = 60, mesh.near = 0.1f, mesh.far = 100;
    mesh.layers = &layer;
    mesh.layer_count = 1;
    TestScene s;
    s.add(mesh, 1);
    expect_out_of_memory(rgba0(s, 16, 16, 1));
}

TEST(Limits, ImageTexelIndexBeyondTwoToThe32) {
    // A 70000 x 70000 raster (19.6 GB of address space) placed so that the
    // canvas shows its last 4 x 4 texels, whose indices exceed 2^32: they
    // are opaque red, everything else is transparent. An index computed in
    // 32 bits would land on a transparent texel.
    constexpr uint32_t kSide = 70000;
    VT_REGION(texels, size_t(kSide) * kSide * 4);
    uint8_t* px = texels.as<uint8_t>();
    for (uint32_t r = kSide - 4; r < kSide; ++r)
        for (uint32_t c = kSide - 4; c < kSide; ++c) {
            uint8_t* t = px + (size_t(r) * kSide + c) * 4;
            t[0] = 255, t[3] = 255;
        }
    VokriImageRecord img{};
    img.pixels = px;
    img.width = img.height = kSide;
    img.display_width = img.display_height = kSide;
    img.transform[0] = img.transform[3] = 1;
    img.transform[4] = -35000, img.transform[5] = 35000;
    img.opacity = 1;
    TestScene s;
    s.add(img, 1);
    Outcome o = rgba0(s, 8, 8, 1);
    ASSERT_EQ(o.rc, 0) << o.err;
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            EXPECT_EQ(o.pixels[y * 8 + x], x < 4 && y < 4 ? rgba(255, 0, 0, 255) : 0u)
                << "pixel " << x << ", " << y << " " << pixel_str(o.pixels[y * 8 + x]);
}

TEST(Limits, AllocatorRefusesRequestsAboveTheCap) {
    vokri::Allocator a;
    EXPECT_EQ(a.allocate(vokri::kMaxAllocationBytes + 1), nullptr);
    EXPECT_EQ(a.allocate(SIZE_MAX), nullptr);
    EXPECT_EQ(a.allocate_array<double>(SIZE_MAX / 4), nullptr);
    void* p = a.allocate(64);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(a.reallocate(p, vokri::kMaxAllocationBytes + 1), nullptr);
    a.release(p);  // still owned after the failed reallocation
}

}  // namespace
