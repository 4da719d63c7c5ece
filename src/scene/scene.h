// The Scene as the exports receive it: the draw items and the seven record
// arrays.
#pragma once

#include <cstdint>

#include "items/records.h"

namespace vokri {

template <class T>
struct RecordArray {
    const T* data = nullptr;
    uint32_t count = 0;
};

struct Scene {
    const DrawItem* items = nullptr;
    uint32_t item_count = 0;
    RecordArray<ShapeRecord> shapes;                        // A1, kind 0
    RecordArray<BatchRecord> batches;                       // A2, kind 1
    RecordArray<VectorRecord> vectors;                      // A3, kind 2
    RecordArray<ImageRecord> images;                        // A4, kind 4
    RecordArray<InfiniteGeometryRecord> infinite_geometry;  // A5, kind 6
    RecordArray<MeshRecord> meshes;                         // A6, kind 5
    RecordArray<MorphRecord> morphs;                        // A7, kind 3
};

}  // namespace vokri
