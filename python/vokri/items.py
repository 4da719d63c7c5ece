"""Draw items: Python objects with the fields of the header's records and
defaults that draw something (identity transform, opacity 1). Arrays are
taken as numpy arrays, without a copy where their layout already fits."""
import ctypes as C
import math

import numpy as np

from . import _records as R
from . import _values as V
from .meshes import compose_model, make_primitive


def _ptr(arr, ctype, keep):
    keep.append(arr)
    return arr.ctypes.data_as(C.POINTER(ctype))


def _show(name, v):
    """A field's value for repr: colours in hex, arrays by shape."""
    if isinstance(v, np.ndarray):
        return f"<{'x'.join(map(str, v.shape))} {v.dtype}>"
    if isinstance(v, int) and ("colo" in name) and not isinstance(v, bool):
        return f"'#{v:08x}'"
    if isinstance(v, float):
        return f"{v:g}"
    if isinstance(v, tuple) and all(isinstance(x, float) for x in v):
        return "(" + ", ".join(f"{x:g}" for x in v) + ")"
    if isinstance(v, list) and len(v) > 3:
        return f"[{len(v)} entries]"
    return repr(v)


class _Repr:
    """A readable repr: the class and the fields that differ from a fresh
    object's defaults."""
    _repr_fields = ()

    def __repr__(self):
        parts = []
        for name in self._repr_fields:
            v = getattr(self, name, None)
            if v is None or (isinstance(v, (int, float)) and not isinstance(v, bool) and v == 0 and
                             name not in ("opacity",)) or (isinstance(v, tuple) and not any(v)):
                continue
            if name == "transform" and tuple(v) == V.IDENTITY:
                continue
            if name == "opacity" and v == 1.0:
                continue
            parts.append(f"{name.removesuffix('_name')}={_show(name, v)}")
        return f"{type(self).__name__}({', '.join(parts)})"


class Item(_Repr):
    """Base of every draw item. `id` is the object id that picking reports."""
    kind = None

    def __init__(self, id=None):
        self.id = None if id is None else _i32(id)

    def _record(self, keep, scale):  # pragma: no cover - every kind defines it
        raise NotImplementedError


def _dash(dash, dash_offset):
    """The dash pattern (on and off lengths in user units) and offset."""
    if dash is None:
        return None, None
    pattern = [V.number(d, f"dash[{i}]") for i, d in enumerate(dash)]
    if any(d < 0 for d in pattern):
        raise ValueError("dash: lengths are 0 or more")
    return pattern, 0.0 if dash_offset is None else V.number(dash_offset, "dash_offset")


def _built_records(fields, keep, scale):
    """(kind, record) pairs the scene library builds from a scene file's item."""
    from .drawings import build_records
    return build_records(fields, keep, scale)


def _i32(v):
    if isinstance(v, bool) or not isinstance(v, int) or not -2**31 <= v < 2**31:
        raise ValueError(f"id: expected an integer from {-2**31} to {2**31 - 1}, got {v!r}")
    return v


def _set_paint(obj, fill_color, fill_enabled, stroke_color, stroke_enabled, stroke_width):
    """The fill and stroke fields; each is enabled by default when its colour is given."""
    obj.fill_color = V.colour(fill_color, "fill_color") if fill_color is not None else 0
    obj.fill_enabled = (V.flag(fill_enabled, "fill_enabled") if fill_enabled is not None
                        else int(fill_color is not None))
    obj.stroke_color = V.colour(stroke_color, "stroke_color") if stroke_color is not None else 0
    obj.stroke_enabled = (V.flag(stroke_enabled, "stroke_enabled") if stroke_enabled is not None
                          else int(stroke_color is not None))
    obj.stroke_width = V.number(stroke_width, "stroke_width")


class Shape(Item):
    """A single shape (VokriShapeRecord). shape_type is a name ('circle', ...)
    or 0..9; p0..p7 its parameters (see vokri_core.h); points an (n, 2) array
    for polylines and polygons. The fill and the stroke are on when their
    colour is given."""
    kind = R.ITEM_SHAPE
    _repr_fields = ("shape_type_name", "p", "points", "transform", "fill_color", "stroke_color", "stroke_width",
                    "opacity", "id")

    @property
    def shape_type_name(self):
        return R.SHAPE_TYPES[self.shape_type] if self.shape_type < len(R.SHAPE_TYPES) else self.shape_type

    def __init__(self, shape_type="circle", p0=0.0, p1=0.0, p2=0.0, p3=0.0, p4=0.0, p5=0.0, p6=0.0, p7=0.0,
                 points=None, point_count=None, transform=None, fill_color=None, fill_enabled=None,
                 stroke_color=None, stroke_enabled=None, stroke_width=0.0, opacity=1.0, dash=None, dash_offset=None,
                 id=None):
        super().__init__(id)
        self.dash, self.dash_offset = _dash(dash, dash_offset)
        self.shape_type = V.name_or_u32(shape_type, R.SHAPE_TYPES, "shape_type")
        self.p = tuple(V.number(v, f"p{i}") for i, v in enumerate((p0, p1, p2, p3, p4, p5, p6, p7)))
        self.points = None if points is None else V.tuples(points, 2, "points")
        self.point_count = V.count(point_count, 0 if self.points is None else len(self.points), "points")
        self.transform = V.fixed(transform, 6, "transform", V.IDENTITY)
        _set_paint(self, fill_color, fill_enabled, stroke_color, stroke_enabled, stroke_width)
        self.opacity = V.number(opacity, "opacity")

    def _fields(self):
        """The shape as a scene file's fields."""
        out = dict(shape_type=self.shape_type, transform=list(self.transform), fill_color=self.fill_color,
                   fill_enabled=self.fill_enabled, stroke_color=self.stroke_color, stroke_enabled=self.stroke_enabled,
                   stroke_width=self.stroke_width, opacity=self.opacity, point_count=self.point_count,
                   **{f"p{i}": v for i, v in enumerate(self.p)})
        if self.points is not None:
            out["points"] = self.points.tolist()
        return out

    def _records(self, keep, scale):
        """The record, or with dashes what the scene library makes of the
        shape: its fill and a vector record of its dashed stroke."""
        if getattr(self, "dash", None) is None:
            return [(self.kind, self._record(keep, scale))]
        return _built_records(dict(kind="shape", **self._fields(), dash=self.dash, dash_offset=self.dash_offset),
                              keep, scale)

    def _record(self, keep, scale):
        r = R.ShapeRecord(shape_type=self.shape_type, transform=R.Double6(*self.transform),
                          point_count=self.point_count, fill_enabled=self.fill_enabled, fill_color=self.fill_color,
                          stroke_enabled=self.stroke_enabled, stroke_color=self.stroke_color,
                          stroke_width=self.stroke_width, opacity=self.opacity)
        for i, v in enumerate(self.p):
            setattr(r, f"p{i}", v)
        if self.points is not None:
            r.points = _ptr(self.points, C.c_double, keep)
        return r


class Batch(Item):
    """Many segments (x0, y0, x1, y1), circles (cx, cy, r) or rectangles
    (cx, cy, w, h) from one record, moving towards the target lists by t.
    Colour and width lists take one value for all or one per element."""
    kind = R.ITEM_BATCH
    _repr_fields = ("mode", "count", "elements", "fill_colors", "stroke_colors", "t", "transform", "opacity", "id")

    def __init__(self, mode="circles", elements=None, count=None, fill_colors=None, stroke_colors=None,
                 stroke_widths=None, target_elements=None, target_fill_colors=None, target_stroke_colors=None,
                 target_stroke_widths=None, t=0.0, transform=None, opacity=1.0, id=None):
        super().__init__(id)
        self.mode = V.name_or_u32(mode, R.BATCH_MODES, "mode")
        k = 3 if self.mode == 1 else 4
        self.elements = None if elements is None else V.tuples(elements, k, "elements")
        self.count = V.count(count, 0 if self.elements is None else len(self.elements), "elements")
        self.target_elements = None if target_elements is None else V.tuples(target_elements, k, "target_elements")
        if self.target_elements is not None and len(self.target_elements) < self.count:
            raise ValueError(f"target_elements: has {len(self.target_elements)} elements but count is {self.count}")
        n = self.count
        self.fill_colors = V.colours(fill_colors, n, "fill_colors")
        self.stroke_colors = V.colours(stroke_colors, n, "stroke_colors")
        self.stroke_widths = V.numbers_list(stroke_widths, n, "stroke_widths")
        self.target_fill_colors = V.colours(target_fill_colors, n, "target_fill_colors")
        self.target_stroke_colors = V.colours(target_stroke_colors, n, "target_stroke_colors")
        self.target_stroke_widths = V.numbers_list(target_stroke_widths, n, "target_stroke_widths")
        self.t = V.number(t, "t")
        self.transform = V.fixed(transform, 6, "transform", V.IDENTITY)
        self.opacity = V.number(opacity, "opacity")

    def _record(self, keep, scale):
        r = R.BatchRecord(mode=self.mode, count=self.count, t=self.t, transform=R.Double6(*self.transform),
                          opacity=self.opacity)
        for name in ("elements", "target_elements", "stroke_widths", "target_stroke_widths"):
            if getattr(self, name) is not None:
                setattr(r, name, _ptr(getattr(self, name), C.c_double, keep))
        for name in ("fill_colors", "stroke_colors", "target_fill_colors", "target_stroke_colors"):
            if getattr(self, name) is not None:
                setattr(r, name, _ptr(getattr(self, name), C.c_uint32, keep))
        return r


class VectorShape(_Repr):
    """One compound outline of a Vector: cubic segments (n, 8), grouped into
    subpaths by subpath_ends (all one subpath by default), each closed unless
    subpath_closed says otherwise."""

    def __init__(self, segments=None, segment_count=None, subpath_ends=None, subpath_count=None,
                 subpath_closed=None, fill_color=None, fill_enabled=None, stroke_color=None, stroke_enabled=None,
                 stroke_width=0.0, reveal_order=0):
        self.segments = None if segments is None else V.tuples(segments, 8, "segments")
        self.segment_count = V.count(segment_count, 0 if self.segments is None else len(self.segments), "segments")
        if subpath_ends is not None:
            self.subpath_ends = V.tuples(subpath_ends, 1, "subpath_ends", np.uint32).reshape(-1)
        elif self.segments is not None:
            self.subpath_ends = np.array([self.segment_count], dtype=np.uint32)
        else:
            self.subpath_ends = None
        available = 0 if self.subpath_ends is None else len(self.subpath_ends)
        self.subpath_count = V.count(subpath_count, available, "subpath ends")
        if subpath_closed is None:
            self.subpath_closed = None if self.subpath_ends is None else np.ones(self.subpath_count, np.uint8)
        elif isinstance(subpath_closed, (bool, int)):
            self.subpath_closed = np.full(max(self.subpath_count, 1), int(V.flag(subpath_closed, "subpath_closed") != 0),
                                          np.uint8)
        else:
            flags = [int(V.flag(f, f"subpath_closed[{i}]") != 0) for i, f in enumerate(subpath_closed)]
            if len(flags) < self.subpath_count:
                raise ValueError(f"subpath_closed: has {len(flags)} entries but there are {self.subpath_count} "
                                 "subpaths")
            self.subpath_closed = np.array(flags, dtype=np.uint8)
        _set_paint(self, fill_color, fill_enabled, stroke_color, stroke_enabled, stroke_width)
        self.reveal_order = V.u32(reveal_order, "reveal_order")

    _repr_fields = ("segment_count", "subpath_count", "fill_color", "stroke_color", "stroke_width", "reveal_order")

    def _fields(self):
        """The shape as a scene file's fields."""
        out = dict(segment_count=self.segment_count, subpath_count=self.subpath_count, fill_color=self.fill_color,
                   fill_enabled=self.fill_enabled, stroke_color=self.stroke_color, stroke_enabled=self.stroke_enabled,
                   stroke_width=self.stroke_width, reveal_order=self.reveal_order)
        for name in ("segments", "subpath_ends", "subpath_closed"):
            if getattr(self, name) is not None:
                out[name] = getattr(self, name).tolist()
        return out

    def _record(self, keep):
        r = R.VectorShape(segment_count=self.segment_count, subpath_count=self.subpath_count,
                          fill_enabled=self.fill_enabled, fill_color=self.fill_color,
                          stroke_enabled=self.stroke_enabled, stroke_color=self.stroke_color,
                          stroke_width=self.stroke_width, reveal_order=self.reveal_order)
        if self.segments is not None:
            keep.append(self.segments)
            r.segments = self.segments.ctypes.data_as(C.POINTER(R.CubicSegment))
        if self.subpath_ends is not None:
            r.subpath_ends = _ptr(self.subpath_ends, C.c_uint32, keep)
        if self.subpath_closed is not None:
            r.subpath_closed = _ptr(self.subpath_closed, C.c_uint8, keep)
        return r


class Vector(Item):
    """Vector shapes revealed one after another by progress (1: all drawn)."""
    kind = R.ITEM_VECTOR
    _repr_fields = ("shapes", "stagger_count", "progress", "transform", "opacity", "id")

    def __init__(self, shapes=None, shape_count=None, stagger_count=0, progress=1.0, transform=None, opacity=1.0,
                 dash=None, dash_offset=None, id=None):
        super().__init__(id)
        self.dash, self.dash_offset = _dash(dash, dash_offset)
        self.shapes = None if shapes is None else list(shapes)
        for i, s in enumerate(self.shapes or []):
            if not isinstance(s, VectorShape):
                raise TypeError(f"shapes[{i}]: expected a vokri.VectorShape, got {type(s).__name__}")
        self.shape_count = V.count(shape_count, 0 if self.shapes is None else len(self.shapes), "shapes")
        self.stagger_count = V.u32(stagger_count, "stagger_count")
        self.progress = V.number(progress, "progress")
        self.transform = V.fixed(transform, 6, "transform", V.IDENTITY)
        self.opacity = V.number(opacity, "opacity")

    def _records(self, keep, scale):
        """The record, or with dashes the scene library's dashed one."""
        if getattr(self, "dash", None) is None or self.shapes is None:
            return [(self.kind, self._record(keep, scale))]
        shapes = [s._fields() for s in self.shapes[:self.shape_count]]
        return _built_records(dict(kind="vector", shapes=shapes, stagger_count=self.stagger_count,
                                   progress=self.progress, transform=list(self.transform), opacity=self.opacity,
                                   dash=self.dash, dash_offset=self.dash_offset), keep, scale)

    def _record(self, keep, scale):
        r = R.VectorRecord(shape_count=self.shape_count, stagger_count=self.stagger_count, progress=self.progress,
                           transform=R.Double6(*self.transform), opacity=self.opacity)
        if self.shapes is not None:
            arr = (R.VectorShape * max(len(self.shapes), 1))(*[s._record(keep) for s in self.shapes])
            keep.append(arr)
            r.shapes = C.cast(arr, C.POINTER(R.VectorShape))
        return r


class Morph(Item):
    """The in-between of two Shapes at t."""
    kind = R.ITEM_MORPH
    _repr_fields = ("from_", "to", "t", "id")

    def __init__(self, from_, to, t=0.0, id=None):
        super().__init__(id)
        for name, s in (("from_", from_), ("to", to)):
            if not isinstance(s, Shape):
                raise TypeError(f"{name}: expected a vokri.Shape, got {type(s).__name__}")
        self.from_, self.to, self.t = from_, to, V.number(t, "t")

    def _record(self, keep, scale):
        return R.MorphRecord(from_=self.from_._record(keep, scale), to=self.to._record(keep, scale), t=self.t)


class Image(Item):
    """A straight-alpha raster: pixels an (h, w, 4) uint8 array (R, G, B, A),
    or raw bytes with width and height. Placed on display_width x
    display_height local units (by default its pixel size)."""
    kind = R.ITEM_IMAGE
    _repr_fields = ("width", "height", "display_width", "display_height", "transform", "opacity", "id")

    def __init__(self, pixels=None, width=None, height=None, display_width=None, display_height=None,
                 transform=None, opacity=1.0, id=None):
        super().__init__(id)
        if pixels is None:
            self.pixels = None
            available = 0
        else:
            arr = np.frombuffer(pixels, dtype=np.uint8) if isinstance(pixels, (bytes, bytearray, memoryview)) \
                else np.asarray(pixels)
            if arr.dtype != np.uint8:
                raise TypeError(f"pixels: expected uint8 values, got {arr.dtype}")
            if arr.ndim == 3:
                if arr.shape[2] != 4:
                    raise ValueError(f"pixels: expected an (h, w, 4) array, got shape {arr.shape}")
                height = arr.shape[0] if height is None else height
                width = arr.shape[1] if width is None else width
            elif arr.ndim != 1:
                raise ValueError(f"pixels: expected an (h, w, 4) array or flat bytes, got shape {arr.shape}")
            self.pixels = np.ascontiguousarray(arr).reshape(-1)
            available = self.pixels.size // 4
        self.width = V.u32(0 if width is None else width, "width")
        self.height = V.u32(0 if height is None else height, "height")
        if self.width * self.height > available:
            raise ValueError(f"pixels: width x height = {self.width * self.height} pixels, but {available} are given")
        self.display_width = V.number(self.width if display_width is None else display_width, "display_width")
        self.display_height = V.number(self.height if display_height is None else display_height, "display_height")
        self.transform = V.fixed(transform, 6, "transform", V.IDENTITY)
        self.opacity = V.number(opacity, "opacity")

    def _record(self, keep, scale):
        r = R.ImageRecord(width=self.width, height=self.height, display_width=self.display_width,
                          display_height=self.display_height, transform=R.Double6(*self.transform),
                          opacity=self.opacity)
        if self.pixels is not None:
            r.pixels = _ptr(self.pixels, C.c_uint8, keep)
        return r


class Infinite(Item):
    """Lines, grids, complex grids and fractals (VokriInfiniteGeometryRecord).
    line_width defaults to one pixel at the scale of the render."""
    kind = R.ITEM_INFINITE
    geometry_kind = None
    _repr_fields = ("geometry_kind", "a", "variant", "t", "transform", "colour1", "colour2", "line_width", "opacity",
                    "id")

    def __init__(self, geometry_kind=None, a0=0.0, a1=0.0, a2=0.0, a3=0.0, variant=0, t=0.0, p1=None, p2=None,
                 p3=None, p4=None, transform=None, colour1=0, colour2=0, line_width=None, opacity=1.0, id=None):
        super().__init__(id)
        if self.geometry_kind is None:
            self.geometry_kind = V.name_or_u32(0 if geometry_kind is None else geometry_kind, R.GEOMETRY_KINDS,
                                               "geometry_kind")
        elif geometry_kind is not None and V.name_or_u32(geometry_kind, R.GEOMETRY_KINDS,
                                                         "geometry_kind") != self.geometry_kind:
            raise ValueError(f"geometry_kind: contradicts the kind (geometry_kind {self.geometry_kind})")
        self.a = tuple(V.number(v, f"a{i}") for i, v in enumerate((a0, a1, a2, a3)))
        self.variant = (V.name_or_u32(variant, R.FRACTAL_VARIANTS, "variant") if self.geometry_kind == 3
                        else V.u32(variant, "variant"))
        self.t = V.number(t, "t")
        self.p = [V.fixed(p, 2, f"p{i + 1}") for i, p in enumerate((p1, p2, p3, p4))]
        self.transform = V.fixed(transform, 6, "transform", V.IDENTITY)
        self.colour1 = V.colour(colour1, "colour1")
        self.colour2 = V.colour(colour2, "colour2")
        self.line_width = None if line_width is None else V.number(line_width, "line_width")
        self.opacity = V.number(opacity, "opacity")

    def _record(self, keep, scale):
        r = R.InfiniteGeometryRecord(geometry_kind=self.geometry_kind, a0=self.a[0], a1=self.a[1], a2=self.a[2],
                                     a3=self.a[3], variant=self.variant, t=self.t,
                                     transform=R.Double6(*self.transform), colour1=self.colour1,
                                     colour2=self.colour2, opacity=self.opacity,
                                     line_width=1.0 / scale if self.line_width is None else self.line_width)
        for i, p in enumerate(self.p):
            getattr(r, f"p{i + 1}")[:] = p
        return r


class Line(Infinite):
    """A line through point (a0, a1) with direction (a2, a3), colour1."""
    geometry_kind = 0


class Grid(Infinite):
    """Lines through origin (a0, a1) every (a2, a3), colour1."""
    geometry_kind = 1


class ComplexGrid(Infinite):
    """A grid of the complex plane bent by mapping `variant` (1..4)."""
    geometry_kind = 2


class Fractal(Infinite):
    """A Mandelbrot or Julia set: a0 iteration limit, a1 escape radius,
    (a2, a3) the Julia constant, t the colour phase, p1[0] the colour speed."""
    geometry_kind = 3


class MeshLayer(_Repr):
    """One triangle mesh: positions and normals (n, 3), indices (m, 3) or
    flat, or a generated `primitive` ({'type': 'cube' | 'sphere' | 'torus',
    ...}); a `model` matrix (16 values, row by row) or translate / rotate
    (degrees about x, then y, then z) / scale."""

    def __init__(self, positions=None, normals=None, indices=None, vertex_count=None, index_count=None,
                 primitive=None, model=None, translate=None, rotate=None, scale=None, colour=0xFFFFFFFF,
                 opacity=1.0):
        if primitive is not None:
            if positions is not None or normals is not None or indices is not None:
                raise ValueError("primitive: not allowed together with positions, normals or indices")
            positions, normals, indices = make_primitive(primitive)
        self.positions = None if positions is None else V.tuples(positions, 3, "positions", np.float32)
        self.normals = None if normals is None else V.tuples(normals, 3, "normals", np.float32)
        self.indices = None if indices is None else V.tuples(indices, 1, "indices", np.uint32).reshape(-1)
        n_pos = 0 if self.positions is None else len(self.positions)
        vertices = min(n_pos, len(self.normals)) if self.normals is not None else n_pos
        self.vertex_count = V.count(vertex_count, vertices, "vertices")
        self.index_count = V.count(index_count, 0 if self.indices is None else len(self.indices), "indices")
        if model is not None:
            if translate is not None or rotate is not None or scale is not None:
                raise ValueError("model: not allowed together with translate, rotate or scale")
            self.model = tuple(V.f32(v) for v in V.fixed(model, 16, "model"))
        else:
            self.model = compose_model(V.fixed(translate, 3, "translate"), V.fixed(rotate, 3, "rotate"),
                                       _scale3(scale))
        self.colour = V.colour(colour, "colour")
        self.opacity = V.f32(V.number(opacity, "opacity"))

    _repr_fields = ("vertex_count", "index_count", "colour", "opacity")

    def _record(self, keep):
        r = R.MeshLayer(vertex_count=self.vertex_count, index_count=self.index_count, colour=self.colour,
                        opacity=self.opacity)
        r.model[:] = self.model
        if self.positions is not None:
            r.positions = _ptr(self.positions, C.c_float, keep)
        if self.normals is not None:
            r.normals = _ptr(self.normals, C.c_float, keep)
        if self.indices is not None:
            r.indices = _ptr(self.indices, C.c_uint32, keep)
        return r


def _scale3(scale):
    if scale is None:
        return (1.0, 1.0, 1.0)
    if isinstance(scale, (int, float)) and not isinstance(scale, bool):
        return (float(scale),) * 3
    return V.fixed(scale, 3, "scale")


class Mesh(Item):
    """A camera, a projection ('perspective' or 'orthographic') and layers."""
    kind = R.ITEM_MESH
    _repr_fields = ("layers", "eye", "target", "fov_y", "projection", "id")

    def __init__(self, layers=None, layer_count=None, eye=(0.0, 0.0, 5.0), target=(0.0, 0.0, 0.0),
                 up=(0.0, 1.0, 0.0), fov_y=45.0, near=0.1, far=100.0, ortho_height=2.0, projection=0, id=None):
        super().__init__(id)
        self.layers = None if layers is None else list(layers)
        for i, layer in enumerate(self.layers or []):
            if not isinstance(layer, MeshLayer):
                raise TypeError(f"layers[{i}]: expected a vokri.MeshLayer, got {type(layer).__name__}")
        self.layer_count = V.count(layer_count, 0 if self.layers is None else len(self.layers), "layers")
        self.eye = tuple(map(V.f32, V.fixed(eye, 3, "eye")))
        self.target = tuple(map(V.f32, V.fixed(target, 3, "target")))
        self.up = tuple(map(V.f32, V.fixed(up, 3, "up")))
        self.fov_y, self.near, self.far, self.ortho_height = (
            V.f32(V.number(v, n)) for v, n in ((fov_y, "fov_y"), (near, "near"), (far, "far"),
                                                (ortho_height, "ortho_height")))
        self.projection = V.name_or_u32(projection, R.PROJECTIONS, "projection")

    def _record(self, keep, scale):
        r = R.MeshRecord(fov_y=self.fov_y, near=self.near, far=self.far, ortho_height=self.ortho_height,
                         projection=self.projection, layer_count=self.layer_count)
        r.eye[:], r.target[:], r.up[:] = self.eye, self.target, self.up
        if self.layers is not None:
            arr = (R.MeshLayer * max(len(self.layers), 1))(*[layer._record(keep) for layer in self.layers])
            keep.append(arr)
            r.layers = C.cast(arr, C.POINTER(R.MeshLayer))
        return r


class RawItem(Item):
    """A DrawItem naming record `index` of the array that `kind` (0..6, or
    any u32) selects, without a record of its own."""

    _repr_fields = ("kind", "index", "id")

    def __init__(self, kind, index=0, id=None):
        super().__init__(id)
        self.kind = V.u32(kind, "kind")
        self.index = V.u32(index, "index")
