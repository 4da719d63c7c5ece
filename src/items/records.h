// The records of a Scene as the item drawers read them (the public record
// types under the names the code uses).
#pragma once

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

}  // namespace vokri
