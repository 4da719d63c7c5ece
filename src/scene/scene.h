// The Scene as the exports receive it, and the FrameView of a frame.
#pragma once

#include <cstdint>

#include "vokri_core.h"

namespace vokri {

using DrawItem = VokriDrawItem;
using ShapeRecord = VokriShapeRecord;
using BatchRecord = VokriBatchRecord;
using VectorRecord = VokriVectorRecord;
using VectorShape = VokriVectorShape;
using CubicSegment = VokriCubicSegment;
using ImageRecord = VokriImageRecord;
using InfiniteGeometryRecord = VokriInfiniteGeometryRecord;
using MeshRecord = VokriMeshRecord;
using MeshLayer = VokriMeshLayer;
using MorphRecord = VokriMorphRecord;

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

struct FrameView {
    double scale = 1.0;     // pixels per user unit
    double origin_x = 0.0;  // width * 0.5
    double origin_y = 0.0;  // height * 0.5
    uint32_t width = 0;
    uint32_t height = 0;

    static FrameView for_canvas(double scale, uint32_t width, uint32_t height) noexcept {
        return FrameView{scale, static_cast<double>(width) * 0.5, static_cast<double>(height) * 0.5,
                         width, height};
    }
};

}  // namespace vokri
