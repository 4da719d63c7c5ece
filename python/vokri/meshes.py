"""Generated meshes and model matrices, made by the scene library: the same
vertices, normals, indices and matrices as a scene file's "primitive" and
translate / rotate / scale fields."""
import ctypes as C
import json
import math

import numpy as np

from ._library import lib
from .errors import SceneFileError, call_handle


def make_primitive(primitive):
    """(positions (n, 3), normals (n, 3), indices (m,)) of a primitive
    description {'type': 'cube' | 'sphere' | 'torus', ...} with the keys of
    scene files (size; radius, segments, rings; major_radius, minor_radius,
    segments, sides)."""
    if not isinstance(primitive, dict):
        raise TypeError(f"primitive: expected a dict such as {{'type': 'cube'}}, got {type(primitive).__name__}")
    try:
        text = json.dumps(primitive, allow_nan=False)
    except (TypeError, ValueError) as e:
        raise ValueError(f"primitive: {e}") from None
    try:
        mesh = call_handle(lib.vokri_scenefile_mesh, text.encode())
    except SceneFileError as e:
        raise ValueError(str(e)) from None
    try:
        m = mesh.contents
        n, k = m.vertex_count, m.index_count
        positions = np.ctypeslib.as_array(m.positions, (n, 3)).copy() if n else np.zeros((0, 3), np.float32)
        normals = np.ctypeslib.as_array(m.normals, (n, 3)).copy() if n else np.zeros((0, 3), np.float32)
        indices = np.ctypeslib.as_array(m.indices, (k,)).copy() if k else np.zeros(0, np.uint32)
    finally:
        lib.vokri_scenefile_mesh_free(mesh)
    return positions, normals, indices


def cube(size=1.0):
    """A cube of edge `size`: 24 vertices with flat face normals."""
    return make_primitive({"type": "cube", "size": size})


def sphere(radius=1.0, segments=32, rings=16):
    return make_primitive({"type": "sphere", "radius": radius, "segments": segments, "rings": rings})


def torus(major_radius=1.0, minor_radius=0.25, segments=48, sides=None):
    p = {"type": "torus", "major_radius": major_radius, "minor_radius": minor_radius, "segments": segments}
    if sides is not None:
        p["sides"] = sides
    return make_primitive(p)


def compose_model(translate=None, rotate=None, scale=None):
    """The model matrix (16 f32 values, row by row) of translate [x, y, z],
    rotate (degrees about x, then y, then z) and scale [sx, sy, sz]:
    M = T * Rz * Ry * Rx * S."""
    def vec(v, default):
        v = default if v is None else v
        return (C.c_double * 3)(*[float(x) for x in v])
    out = (C.c_float * 16)()
    lib.vokri_scenefile_compose_model(vec(translate, (0, 0, 0)), vec(rotate, (0, 0, 0)), vec(scale, (1, 1, 1)), out)
    return tuple(float(v) if math.isfinite(v) else v for v in out)
