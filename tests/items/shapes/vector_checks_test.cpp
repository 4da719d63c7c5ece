// Vector items: record checks and the paths built for their shapes.
#include <gtest/gtest.h>

#include <vector>

#include "common/alloc.h"
#include "raster/canvas.h"
#include "items/drawers.h"
#include "support/scene.h"

namespace {

using vt::TestScene;

VokriVectorRecord vrec(const VokriVectorShape* shapes, uint32_t count) {
    VokriVectorRecord r{};
    r.shape_count = count;
    r.shapes = shapes;
    r.transform[0] = 1;
    r.transform[3] = 1;
    r.opacity = 1;
    return r;
}

struct Outline {
    std::vector<VokriCubicSegment> segs;
    std::vector<uint32_t> ends;
    std::vector<uint8_t> closed;
    VokriVectorShape shape(uint32_t fill = 0xFFFFFFFFu) const {
        VokriVectorShape s{};
        s.segment_count = uint32_t(segs.size());
        s.segments = segs.data();
        s.subpath_count = uint32_t(ends.size());
        s.subpath_ends = ends.data();
        s.subpath_closed = closed.data();
        s.fill_enabled = 1;
        s.fill_color = fill;
        return s;
    }
};

Outline two_segments(std::vector<uint32_t> ends) {
    Outline o;
    o.segs = {{0, 0, 1, 0, 2, 0, 3, 0}, {3, 0, 3, 1, 3, 2, 3, 3}};
    o.ends = std::move(ends);
    o.closed.assign(o.ends.size(), 1);
    return o;
}

std::string error_of(const VokriVectorRecord& r) {
    TestScene s;
    s.add(r);
    std::vector<uint32_t> px;
    vt::StderrCapture cap;
    int32_t rc = s.rgba0(4, 4, 1, px);
    std::string text = cap.text();
    if (rc == 0) return "";
    return text;
}

TEST(VectorChecks, EmptyRecordDrawsNothing) {
    EXPECT_EQ(error_of(vrec(nullptr, 0)), "");
}

TEST(VectorChecks, NullShapes) {
    EXPECT_EQ(error_of(vrec(nullptr, 1)), "vokri scene rgba0 render error: InvalidVector\n");
}

TEST(VectorChecks, BadSubpathEnds) {
    for (auto ends : {std::vector<uint32_t>{2, 2}, std::vector<uint32_t>{1, 3}, std::vector<uint32_t>{1},
                      std::vector<uint32_t>{0, 2}, std::vector<uint32_t>{3}}) {
        Outline o = two_segments(ends);
        VokriVectorShape sh = o.shape();
        EXPECT_EQ(error_of(vrec(&sh, 1)), "vokri scene rgba0 render error: InvalidVector\n") << ends.size();
    }
}

TEST(VectorChecks, NullListsOfAVisibleShape) {
    Outline o = two_segments({2});
    for (int k = 0; k < 3; ++k) {
        VokriVectorShape sh = o.shape();
        if (k == 0) sh.segments = nullptr;
        if (k == 1) sh.subpath_ends = nullptr;
        if (k == 2) sh.subpath_closed = nullptr;
        EXPECT_EQ(error_of(vrec(&sh, 1)), "vokri scene rgba0 render error: InvalidVector\n") << k;
        // Hidden shapes are never read: opacity 0, or not yet revealed.
        VokriVectorRecord r = vrec(&sh, 1);
        r.opacity = 0;
        EXPECT_EQ(error_of(r), "");
        r = vrec(&sh, 1);
        r.stagger_count = 4;
        r.progress = 0.75;
        sh.reveal_order = 3;
        EXPECT_EQ(error_of(r), "");
        // Empty shapes are skipped before the lists are looked at.
        sh.segment_count = 0;
        EXPECT_EQ(error_of(vrec(&sh, 1)), "");
    }
}

// The Path that drawing a shape without fill or stroke leaves behind.
std::vector<vokri::PathNode> path_of(const VokriVectorRecord& r, vokri::Error& err) {
    vokri::Allocator alloc;
    std::vector<uint32_t> px(16);
    vokri::Surface surf = vokri::Surface::wrap(px.data(), 4, 4, vokri::rgba32);
    vokri::Canvas ctx(alloc, surf);
    err = vokri::draw_vector_item(ctx, vokri::FrameView::for_canvas(1, 4, 4), r);
    std::vector<vokri::PathNode> nodes(ctx.path.nodes.begin(), ctx.path.nodes.end());
    ctx.release();
    return nodes;
}

TEST(VectorPath, OneSegmentSubpathIsMoveAndCurve) {
    Outline o;
    o.segs = {{0, 0, 1, 1, 2, 1, 1, 0}};
    o.ends = {1};
    o.closed = {0};
    VokriVectorShape sh = o.shape();
    sh.fill_enabled = 0;
    sh.stroke_enabled = 1;
    sh.stroke_width = 0;  // no stroke, no error
    vokri::Error err;
    auto nodes = path_of(vrec(&sh, 1), err);
    EXPECT_EQ(err, vokri::Error::None);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].kind, vokri::node_move_to);
    EXPECT_EQ(nodes[0].p1, (vokri::Point{2, 2}));  // user origin at the canvas centre
    EXPECT_EQ(nodes[1].kind, vokri::node_curve_to);
    EXPECT_EQ(nodes[1].p1, (vokri::Point{3, 1}));  // y up
    EXPECT_EQ(nodes[1].p3, (vokri::Point{3, 2}));
}

TEST(VectorPath, LaterSegmentsStartWhereThePreviousEnded) {
    // The second segment's own start point is ignored; two subpaths, the
    // first closed, under the record's transform (translation (1, 0)).
    Outline o;
    o.segs = {{0, 0, 0, 1, 1, 1, 1, 0}, {9, 9, 1, -1, 0, -1, 0, 0}, {-1, 0, -1, 0, -1, 0, -1, 1}};
    o.ends = {2, 3};
    o.closed = {1, 0};
    VokriVectorShape sh = o.shape();
    sh.fill_enabled = 0;
    VokriVectorRecord r = vrec(&sh, 1);
    r.transform[4] = 1;
    vokri::Error err;
    auto nodes = path_of(r, err);
    EXPECT_EQ(err, vokri::Error::None);
    ASSERT_EQ(nodes.size(), 7u);
    uint8_t kinds[7] = {vokri::node_move_to, vokri::node_curve_to, vokri::node_curve_to, vokri::node_close_path,
                        vokri::node_move_to, vokri::node_move_to, vokri::node_curve_to};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(nodes[i].kind, kinds[i]) << i;
    EXPECT_EQ(nodes[0].p1, (vokri::Point{3, 2}));
    EXPECT_EQ(nodes[2].p1, (vokri::Point{4, 3}));
    EXPECT_EQ(nodes[5].p1, (vokri::Point{2, 2}));
    EXPECT_EQ(nodes[6].p3, (vokri::Point{2, 1}));
}

TEST(VectorPath, ShapesBeforeTheFaultyOneAreBuilt) {
    // Shape 0 is fine (nothing to paint), shape 1 has bad ends: InvalidVector.
    Outline good = two_segments({1, 2}), bad = two_segments({2, 2});
    VokriVectorShape sh[2] = {good.shape(), bad.shape()};
    sh[0].fill_enabled = 0;
    vokri::Error err;
    path_of(vrec(sh, 2), err);
    EXPECT_EQ(err, vokri::Error::InvalidVector);
}

}  // namespace
