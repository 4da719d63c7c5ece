#include "scene/dispatch.h"

namespace vokri {

namespace {
template <class T>
bool select(const RecordArray<T>& array, uint32_t index, T& out) noexcept {
    if (index >= array.count) return false;
    out = array.data[index];
    return true;
}
}  // namespace

Error draw_item(Canvas& canvas, const FrameView& view, const DrawItem& item, const Scene& scene) noexcept {
    switch (item.kind) {
        case VOKRI_ITEM_SHAPE: {
            ShapeRecord r;
            if (!select(scene.shapes, item.index, r)) return Error::InvalidDrawItem;
            return draw_shape_item(canvas, view, r);
        }
        case VOKRI_ITEM_BATCH: {
            BatchRecord r;
            if (!select(scene.batches, item.index, r)) return Error::InvalidDrawItem;
            return draw_batch_item(canvas, view, r);
        }
        case VOKRI_ITEM_VECTOR: {
            VectorRecord r;
            if (!select(scene.vectors, item.index, r)) return Error::InvalidDrawItem;
            return draw_vector_item(canvas, view, r);
        }
        case VOKRI_ITEM_MORPH: {
            MorphRecord r;
            if (!select(scene.morphs, item.index, r)) return Error::InvalidDrawItem;
            return draw_morph_item(canvas, view, r);
        }
        case VOKRI_ITEM_IMAGE: {
            ImageRecord r;
            if (!select(scene.images, item.index, r)) return Error::InvalidDrawItem;
            return draw_image_item(canvas, view, r);
        }
        case VOKRI_ITEM_MESH: {
            MeshRecord r;
            if (!select(scene.meshes, item.index, r)) return Error::InvalidDrawItem;
            return draw_mesh_item(canvas, view, r);
        }
        case VOKRI_ITEM_INFINITE: {
            InfiniteGeometryRecord r;
            if (!select(scene.infinite_geometry, item.index, r)) return Error::InvalidDrawItem;
            return draw_infinite_item(canvas, view, r);
        }
        default:
            return Error::InvalidDrawItem;
    }
}

}  // namespace vokri
