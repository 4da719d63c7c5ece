"""The records of vokri_core.h as ctypes structures, field for field."""
import ctypes as C

ABI_VERSION = 3

# DrawItem kinds.
ITEM_SHAPE, ITEM_BATCH, ITEM_VECTOR, ITEM_MORPH, ITEM_IMAGE, ITEM_MESH, ITEM_INFINITE = range(7)

SHAPE_TYPES = ("line", "polyline", "polygon", "rectangle", "square", "circle", "ellipse", "arc",
               "regular_polygon", "cubic_bezier")
BATCH_MODES = ("segments", "circles", "rectangles")
GEOMETRY_KINDS = ("line", "grid", "complex_grid", "fractal")
FRACTAL_VARIANTS = ("none", "mandelbrot", "julia")
PROJECTIONS = ("perspective", "orthographic")

Double6 = C.c_double * 6


class DrawItem(C.Structure):
    _fields_ = [("kind", C.c_uint32), ("index", C.c_uint32)]


class ShapeRecord(C.Structure):
    _fields_ = [("shape_type", C.c_uint32), ("_pad0", C.c_uint32),
                ("p0", C.c_double), ("p1", C.c_double), ("p2", C.c_double), ("p3", C.c_double),
                ("p4", C.c_double), ("p5", C.c_double), ("p6", C.c_double), ("p7", C.c_double),
                ("points", C.POINTER(C.c_double)), ("point_count", C.c_uint32), ("_pad1", C.c_uint32),
                ("transform", Double6),
                ("fill_enabled", C.c_uint32), ("fill_color", C.c_uint32),
                ("stroke_enabled", C.c_uint32), ("stroke_color", C.c_uint32),
                ("stroke_width", C.c_double), ("opacity", C.c_double)]


class BatchRecord(C.Structure):
    _fields_ = [("mode", C.c_uint32), ("count", C.c_uint32),
                ("elements", C.POINTER(C.c_double)),
                ("fill_colors", C.POINTER(C.c_uint32)),
                ("stroke_colors", C.POINTER(C.c_uint32)),
                ("stroke_widths", C.POINTER(C.c_double)),
                ("target_elements", C.POINTER(C.c_double)),
                ("target_fill_colors", C.POINTER(C.c_uint32)),
                ("target_stroke_colors", C.POINTER(C.c_uint32)),
                ("target_stroke_widths", C.POINTER(C.c_double)),
                ("t", C.c_double), ("transform", Double6), ("opacity", C.c_double)]


class CubicSegment(C.Structure):
    _fields_ = [(n, C.c_double) for n in ("x0", "y0", "x1", "y1", "x2", "y2", "x3", "y3")]


class VectorShape(C.Structure):
    _fields_ = [("segment_count", C.c_uint32), ("_pad0", C.c_uint32),
                ("segments", C.POINTER(CubicSegment)),
                ("subpath_count", C.c_uint32), ("_pad1", C.c_uint32),
                ("subpath_ends", C.POINTER(C.c_uint32)),
                ("subpath_closed", C.POINTER(C.c_uint8)),
                ("fill_enabled", C.c_uint32), ("fill_color", C.c_uint32),
                ("stroke_enabled", C.c_uint32), ("stroke_color", C.c_uint32),
                ("stroke_width", C.c_double),
                ("reveal_order", C.c_uint32), ("_pad2", C.c_uint32)]


class VectorRecord(C.Structure):
    _fields_ = [("shape_count", C.c_uint32), ("_pad0", C.c_uint32),
                ("shapes", C.POINTER(VectorShape)),
                ("stagger_count", C.c_uint32), ("_pad1", C.c_uint32),
                ("progress", C.c_double), ("transform", Double6), ("opacity", C.c_double)]


class ImageRecord(C.Structure):
    _fields_ = [("pixels", C.POINTER(C.c_uint8)), ("width", C.c_uint32), ("height", C.c_uint32),
                ("display_width", C.c_double), ("display_height", C.c_double),
                ("transform", Double6), ("opacity", C.c_double)]


class InfiniteGeometryRecord(C.Structure):
    _fields_ = [("geometry_kind", C.c_uint32), ("_reserved0", C.c_uint32),
                ("a0", C.c_double), ("a1", C.c_double), ("a2", C.c_double), ("a3", C.c_double),
                ("variant", C.c_uint32), ("_reserved1", C.c_uint32),
                ("t", C.c_double),
                ("p1", C.c_double * 2), ("p2", C.c_double * 2), ("p3", C.c_double * 2), ("p4", C.c_double * 2),
                ("transform", Double6),
                ("colour1", C.c_uint32), ("colour2", C.c_uint32),
                ("line_width", C.c_double), ("opacity", C.c_double)]


class MeshLayer(C.Structure):
    _fields_ = [("vertex_count", C.c_uint32), ("_reserved0", C.c_uint32),
                ("positions", C.POINTER(C.c_float)), ("normals", C.POINTER(C.c_float)),
                ("index_count", C.c_uint32), ("_reserved1", C.c_uint32),
                ("indices", C.POINTER(C.c_uint32)),
                ("model", C.c_float * 16), ("colour", C.c_uint32), ("opacity", C.c_float)]


class MeshRecord(C.Structure):
    _fields_ = [("eye", C.c_float * 3), ("target", C.c_float * 3), ("up", C.c_float * 3),
                ("fov_y", C.c_float), ("near", C.c_float), ("far", C.c_float), ("ortho_height", C.c_float),
                ("projection", C.c_uint32),
                ("layers", C.POINTER(MeshLayer)), ("layer_count", C.c_uint32), ("_reserved0", C.c_uint32)]


class MorphRecord(C.Structure):
    _fields_ = [("from_", ShapeRecord), ("to", ShapeRecord), ("t", C.c_double)]


# Every record type with its name in vokri_core.h, for the layout test.
C_NAMES = {DrawItem: "VokriDrawItem", ShapeRecord: "VokriShapeRecord", BatchRecord: "VokriBatchRecord",
           CubicSegment: "VokriCubicSegment", VectorShape: "VokriVectorShape", VectorRecord: "VokriVectorRecord",
           ImageRecord: "VokriImageRecord", InfiniteGeometryRecord: "VokriInfiniteGeometryRecord",
           MeshLayer: "VokriMeshLayer", MeshRecord: "VokriMeshRecord", MorphRecord: "VokriMorphRecord"}


def c_field_name(name):
    """The header's name of a field (`from` is a Python keyword)."""
    return "from" if name == "from_" else name


# ---- the scene library's structures (vokri_scenefile.h) -------------------

class SceneRecords(C.Structure):
    _fields_ = [("width", C.c_int32), ("height", C.c_int32), ("scale", C.c_double),
                ("items", C.POINTER(DrawItem)), ("ids", C.POINTER(C.c_int32)), ("item_count", C.c_uint32),
                ("shapes", C.POINTER(ShapeRecord)), ("shape_count", C.c_uint32),
                ("batches", C.POINTER(BatchRecord)), ("batch_count", C.c_uint32),
                ("vectors", C.POINTER(VectorRecord)), ("vector_count", C.c_uint32),
                ("images", C.POINTER(ImageRecord)), ("image_count", C.c_uint32),
                ("infinite_geometry", C.POINTER(InfiniteGeometryRecord)), ("infinite_geometry_count", C.c_uint32),
                ("meshes", C.POINTER(MeshRecord)), ("mesh_count", C.c_uint32),
                ("morphs", C.POINTER(MorphRecord)), ("morph_count", C.c_uint32),
                ("sources", C.POINTER(C.c_uint32)), ("kinds", C.POINTER(C.c_char_p))]


class SceneFileErrorRecord(C.Structure):
    _fields_ = [("status", C.c_int32), ("render_error", C.c_int32), ("frame", C.c_int64),
                ("item_index", C.c_int64), ("item_kind", C.c_char_p), ("error_name", C.c_char_p),
                ("file", C.c_char_p), ("json_path", C.c_char_p), ("message", C.c_char_p), ("text", C.c_char_p)]


class SceneOptions(C.Structure):
    _fields_ = [("width", C.c_int64), ("height", C.c_int64), ("scale", C.c_double)]


class SceneInfo(C.Structure):
    _fields_ = [("width", C.c_int32), ("height", C.c_int32), ("scale", C.c_double), ("animated", C.c_int32),
                ("fps", C.c_double), ("frame_count", C.c_int64)]


class SceneMesh(C.Structure):
    _fields_ = [("vertex_count", C.c_uint32), ("index_count", C.c_uint32), ("positions", C.POINTER(C.c_float)),
                ("normals", C.POINTER(C.c_float)), ("indices", C.POINTER(C.c_uint32))]


SCENEFILE_ABI_VERSION = 1

# Status codes and output modes.
OK, RENDER_FAILED, BAD_SCENE, BAD_ARGUMENTS, OUTPUT_FAILED = 0, 1, 3, 4, 5
RGB0, RGBA0, PNG, PNG_ALPHA = 0, 1, 2, 3

SCENEFILE_C_NAMES = {SceneRecords: "VokriSceneRecords", SceneFileErrorRecord: "VokriSceneFileError",
                     SceneOptions: "VokriSceneOptions", SceneInfo: "VokriSceneInfo", SceneMesh: "VokriSceneMesh"}
