#include "same_drawing.h"

#include <cstring>

namespace vokri_scenefile {

namespace {

// `count` elements of T behind each pointer: equal when both are null or
// both hold the same bytes. A count of 0 is never read.
template <class T>
bool same_list(const T* a, const T* b, size_t count) {
    if (count == 0 || a == b) return true;
    if (!a || !b) return false;
    return std::memcmp(a, b, count * sizeof(T)) == 0;
}

// The record's own bytes with its pointers left out (they are compared by
// what they point to).
template <class R, class... Pointers>
bool same_fields(R a, R b, Pointers R::*... pointers) {
    ((a.*pointers = nullptr, b.*pointers = nullptr), ...);
    return std::memcmp(&a, &b, sizeof(R)) == 0;
}

// Two arrays of records, record by record.
template <class R>
bool same_array(const R* a, uint32_t count_a, const R* b, uint32_t count_b, bool (*same)(const R&, const R&)) {
    if (count_a != count_b) return false;
    if (count_a == 0 || a == b) return true;
    if (!a || !b) return false;
    for (uint32_t i = 0; i < count_a; ++i)
        if (!same(a[i], b[i])) return false;
    return true;
}

bool same_shape(const VokriShapeRecord& a, const VokriShapeRecord& b) {
    if (!same_fields(a, b, &VokriShapeRecord::points)) return false;
    const bool has_points = a.shape_type == VOKRI_SHAPE_POLYLINE || a.shape_type == VOKRI_SHAPE_POLYGON;
    return !has_points || same_list(a.points, b.points, size_t{a.point_count} * 2);
}

bool same_batch(const VokriBatchRecord& a, const VokriBatchRecord& b) {
    using B = VokriBatchRecord;
    if (!same_fields(a, b, &B::elements, &B::fill_colors, &B::stroke_colors, &B::stroke_widths, &B::target_elements,
                     &B::target_fill_colors, &B::target_stroke_colors, &B::target_stroke_widths))
        return false;
    const size_t n = a.count;
    const size_t width = a.mode == VOKRI_BATCH_CIRCLES ? 3 : 4;
    return same_list(a.elements, b.elements, n * width) && same_list(a.target_elements, b.target_elements, n * width) &&
           same_list(a.fill_colors, b.fill_colors, n) && same_list(a.stroke_colors, b.stroke_colors, n) &&
           same_list(a.stroke_widths, b.stroke_widths, n) &&
           same_list(a.target_fill_colors, b.target_fill_colors, n) &&
           same_list(a.target_stroke_colors, b.target_stroke_colors, n) &&
           same_list(a.target_stroke_widths, b.target_stroke_widths, n);
}

bool same_vector_shape(const VokriVectorShape& a, const VokriVectorShape& b) {
    using S = VokriVectorShape;
    return same_fields(a, b, &S::segments, &S::subpath_ends, &S::subpath_closed) &&
           same_list(a.segments, b.segments, a.segment_count) &&
           same_list(a.subpath_ends, b.subpath_ends, a.subpath_count) &&
           same_list(a.subpath_closed, b.subpath_closed, a.subpath_count);
}

bool same_vector(const VokriVectorRecord& a, const VokriVectorRecord& b) {
    return same_fields(a, b, &VokriVectorRecord::shapes) &&
           same_array(a.shapes, a.shape_count, b.shapes, b.shape_count, same_vector_shape);
}

bool same_image(const VokriImageRecord& a, const VokriImageRecord& b) {
    return same_fields(a, b, &VokriImageRecord::pixels) &&
           same_list(a.pixels, b.pixels, size_t{a.width} * size_t{a.height} * 4);
}

bool same_infinite(const VokriInfiniteGeometryRecord& a, const VokriInfiniteGeometryRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_layer(const VokriMeshLayer& a, const VokriMeshLayer& b) {
    using L = VokriMeshLayer;
    return same_fields(a, b, &L::positions, &L::normals, &L::indices) &&
           same_list(a.positions, b.positions, size_t{a.vertex_count} * 3) &&
           same_list(a.normals, b.normals, size_t{a.vertex_count} * 3) &&
           same_list(a.indices, b.indices, a.index_count);
}

bool same_mesh(const VokriMeshRecord& a, const VokriMeshRecord& b) {
    return same_fields(a, b, &VokriMeshRecord::layers) &&
           same_array(a.layers, a.layer_count, b.layers, b.layer_count, same_layer);
}

bool same_morph(const VokriMorphRecord& a, const VokriMorphRecord& b) {
    return std::memcmp(&a.t, &b.t, sizeof a.t) == 0 && same_shape(a.from, b.from) && same_shape(a.to, b.to);
}

}  // namespace

bool same_drawing(const VokriSceneRecords& a, const VokriSceneRecords& b) {
    return a.width == b.width && a.height == b.height && std::memcmp(&a.scale, &b.scale, sizeof a.scale) == 0 &&
           a.item_count == b.item_count && same_list(a.items, b.items, a.item_count) &&
           same_array(a.shapes, a.shape_count, b.shapes, b.shape_count, same_shape) &&
           same_array(a.batches, a.batch_count, b.batches, b.batch_count, same_batch) &&
           same_array(a.vectors, a.vector_count, b.vectors, b.vector_count, same_vector) &&
           same_array(a.images, a.image_count, b.images, b.image_count, same_image) &&
           same_array(a.infinite_geometry, a.infinite_geometry_count, b.infinite_geometry, b.infinite_geometry_count,
                      same_infinite) &&
           same_array(a.meshes, a.mesh_count, b.meshes, b.mesh_count, same_mesh) &&
           same_array(a.morphs, a.morph_count, b.morphs, b.morph_count, same_morph);
}

}  // namespace vokri_scenefile
