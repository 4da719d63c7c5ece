"""The records of a scene-file frame (built by the scene library) as the
package's item objects, field for field: rendering the items again gives the
same records, so a scene file renders the same bytes from Python as from
vokri-render. Objects are made without their constructors' checks, so that
what the file holds (a NaN, a count of 0) reaches the renderer unchanged."""
import ctypes as C

import numpy as np

from . import _records as R
from .items import (Batch, ComplexGrid, Fractal, Grid, Image, Infinite, Line, Mesh, MeshLayer, Morph, RawItem, Shape,
                    Vector, VectorShape)


def _empty(ctype, shape):
    return np.zeros(shape, dtype=np.ctypeslib.as_array((ctype * 1)()).dtype)


def _rows(ptr, ctype, count, k=None):
    if not ptr:
        return None
    shape = (count, k) if k else (count,)
    if count == 0:
        return _empty(ctype, shape)
    flat = np.ctypeslib.as_array(C.cast(ptr, C.POINTER(ctype)), (count * (k or 1),)).copy()
    return flat.reshape(shape)


def _new(cls, **fields):
    obj = cls.__new__(cls)
    obj.__dict__.update(fields)
    return obj


def _paint(r):
    return dict(fill_color=r.fill_color, fill_enabled=r.fill_enabled, stroke_color=r.stroke_color,
                stroke_enabled=r.stroke_enabled, stroke_width=r.stroke_width)


def shape(r, item_id=None):
    return _new(Shape, id=item_id, shape_type=r.shape_type,
                p=(r.p0, r.p1, r.p2, r.p3, r.p4, r.p5, r.p6, r.p7),
                points=_rows(r.points, C.c_double, r.point_count, 2), point_count=r.point_count,
                transform=tuple(r.transform), opacity=r.opacity, **_paint(r))


def batch(r, item_id):
    k = 3 if r.mode == R.BATCH_MODES.index("circles") else 4
    n = r.count
    return _new(Batch, id=item_id, mode=r.mode, count=n,
                elements=_rows(r.elements, C.c_double, n, k), target_elements=_rows(r.target_elements, C.c_double, n, k),
                fill_colors=_rows(r.fill_colors, C.c_uint32, n), stroke_colors=_rows(r.stroke_colors, C.c_uint32, n),
                stroke_widths=_rows(r.stroke_widths, C.c_double, n),
                target_fill_colors=_rows(r.target_fill_colors, C.c_uint32, n),
                target_stroke_colors=_rows(r.target_stroke_colors, C.c_uint32, n),
                target_stroke_widths=_rows(r.target_stroke_widths, C.c_double, n),
                t=r.t, transform=tuple(r.transform), opacity=r.opacity)


def vector_shape(s):
    segments = None
    if s.segments:
        segments = _rows(C.cast(s.segments, C.POINTER(C.c_double)), C.c_double, s.segment_count, 8)
    return _new(VectorShape, segments=segments, segment_count=s.segment_count,
                subpath_ends=_rows(s.subpath_ends, C.c_uint32, s.subpath_count), subpath_count=s.subpath_count,
                subpath_closed=_rows(s.subpath_closed, C.c_uint8, s.subpath_count), reveal_order=s.reveal_order,
                **_paint(s))


def vector(r, item_id):
    shapes = None if not r.shapes else [vector_shape(r.shapes[i]) for i in range(r.shape_count)]
    return _new(Vector, id=item_id, shapes=shapes, shape_count=r.shape_count, stagger_count=r.stagger_count,
                progress=r.progress, transform=tuple(r.transform), opacity=r.opacity)


def morph(r, item_id):
    return _new(Morph, id=item_id, from_=shape(r.from_), to=shape(r.to), t=r.t)


def image(r, item_id):
    return _new(Image, id=item_id, pixels=_rows(r.pixels, C.c_uint8, r.width * r.height * 4), width=r.width,
                height=r.height, display_width=r.display_width, display_height=r.display_height,
                transform=tuple(r.transform), opacity=r.opacity)


def mesh_layer(layer):
    n = layer.vertex_count
    return _new(MeshLayer, positions=_rows(layer.positions, C.c_float, n, 3),
                normals=_rows(layer.normals, C.c_float, n, 3),
                indices=_rows(layer.indices, C.c_uint32, layer.index_count), vertex_count=n,
                index_count=layer.index_count, model=tuple(layer.model), colour=layer.colour, opacity=layer.opacity)


def mesh(r, item_id):
    layers = None if not r.layers else [mesh_layer(r.layers[i]) for i in range(r.layer_count)]
    return _new(Mesh, id=item_id, layers=layers, layer_count=r.layer_count, eye=tuple(r.eye),
                target=tuple(r.target), up=tuple(r.up), fov_y=r.fov_y, near=r.near, far=r.far,
                ortho_height=r.ortho_height, projection=r.projection)


_GEOMETRY = {0: Line, 1: Grid, 2: ComplexGrid, 3: Fractal}


def infinite(r, item_id):
    cls = _GEOMETRY.get(r.geometry_kind, Infinite)
    return _new(cls, id=item_id, geometry_kind=r.geometry_kind, a=(r.a0, r.a1, r.a2, r.a3), variant=r.variant,
                t=r.t, p=[tuple(r.p1), tuple(r.p2), tuple(r.p3), tuple(r.p4)], transform=tuple(r.transform),
                colour1=r.colour1, colour2=r.colour2, line_width=r.line_width, opacity=r.opacity)


# DrawItem kind -> (array name, count name, converter)
_KINDS = {R.ITEM_SHAPE: ("shapes", "shape_count", shape), R.ITEM_BATCH: ("batches", "batch_count", batch),
          R.ITEM_VECTOR: ("vectors", "vector_count", vector), R.ITEM_MORPH: ("morphs", "morph_count", morph),
          R.ITEM_IMAGE: ("images", "image_count", image), R.ITEM_MESH: ("meshes", "mesh_count", mesh),
          R.ITEM_INFINITE: ("infinite_geometry", "infinite_geometry_count", infinite)}


def items(records):
    """The item objects of a frame's VokriSceneRecords. Each array's records
    belong to its items in order; a DrawItem that names a record out of that
    order (a raw DrawItem of the file) becomes a RawItem, so the arrays the
    items compile to are the frame's own."""
    out = []
    taken = dict.fromkeys(_KINDS, 0)
    for i in range(records.item_count):
        d, item_id = records.items[i], records.ids[i]
        entry = _KINDS.get(d.kind)
        if entry is not None and d.index == taken[d.kind] and d.index < getattr(records, entry[1]):
            out.append(entry[2](getattr(records, entry[0])[d.index], item_id))
            taken[d.kind] += 1
        else:
            out.append(_new(RawItem, id=item_id, kind=d.kind, index=d.index))
    return out
