"""The JSON scene files of vokri-render (docs/scene-format.md), read into a
Scene of vokri items: a scene written for the command line renders the same
bytes from Python."""
import bisect
import contextvars
import json
import math
import os
from pathlib import Path

import numpy as np

from . import _records as R
from . import _values as V
from ._png import PngError, read_png_rgba
from .items import (Batch, Image, Infinite, Mesh, MeshLayer, Morph, RawItem, Shape, Vector, VectorShape)
from .animation import Animation
from .scene import Scene

MAX_SIDE = 32768
MAX_PIXELS = 1 << 28
MAX_RASTER_PIXELS = 1 << 26
MAX_DEPTH = 64


class SceneFileError(ValueError):
    """A fault in a scene file: `path` is the JSON path of the offending value
    (e.g. 'items[3].points[2][1]')."""

    def __init__(self, path, message):
        self.path, self.message = path, message
        super().__init__(f"{path}: {message}" if path else message)


def _member(path, key):
    return f"{path}.{key}" if path else key


def _type_name(v):
    if v is None:
        return "null"
    return {dict: "an object", list: "an array", str: "a string", bool: "a boolean"}.get(type(v), "a number")


def _expected(path, what, got):
    raise SceneFileError(path, f"expected {what}, got {_type_name(got)}")


# ---- time ---------------------------------------------------------------------

# The time, in seconds, at which the document being built reads its tracks,
# and the decoded image files shared by the frames of one animation.
_TIME = contextvars.ContextVar("vokri_scene_time", default=0.0)
_IMAGES = contextvars.ContextVar("vokri_scene_images", default=None)

_EASES = ("linear", "smooth", "hold")


def _locate(times, t, ease):
    """(index, u): the value is mix(keys[index], keys[index + 1], u); the same
    arithmetic as vokri-render, so both give the same doubles."""
    if not t > times[0]:
        return 0, 0.0
    if t >= times[-1]:
        return len(times) - 1, 0.0
    i = bisect.bisect_right(times, t) - 1
    u = (t - times[i]) / (times[i + 1] - times[i])
    if ease == "smooth":
        u = u * u * (3.0 - 2.0 * u)
    elif ease == "hold":
        u = 0.0
    return i, u


def _mix(a, b, u):
    """Between two keys, for 0 < u < 1 (at u = 0 the first key's own value)."""
    return (1.0 - u) * a + u * b


def _mix_colour(a, b, u):
    out = 0
    for shift in (24, 16, 8, 0):
        c = math.floor((1.0 - u) * float(a >> shift & 0xFF) + u * float(b >> shift & 0xFF) + 0.5)
        out |= min(max(c, 0), 255) << shift
    return out


def _track(v, path, read_value):
    """Reads and checks a whole track (every key, whatever the time); returns
    the keys' values and where the current time falls among them."""
    o = _Obj(v, path)
    keys = o.required("keys")
    keys_path = o.at("keys")
    if not isinstance(keys, list):
        _expected(keys_path, "an array of [time, value] keys", keys)
    if not keys:
        raise SceneFileError(keys_path, "a track needs at least one key")
    ease = "linear"
    if "ease" in o:
        e = o.take("ease")
        if not isinstance(e, str):
            _expected(o.at("ease"), 'an ease name ("linear", "smooth" or "hold")', e)
        if e not in _EASES:
            raise SceneFileError(o.at("ease"), f'unknown ease "{e}" (expected "linear", "smooth" or "hold")')
        ease = e
    o.finish()
    times, values = [], []
    for i, key in enumerate(keys):
        key_path = f"{keys_path}[{i}]"
        if not isinstance(key, list) or len(key) != 2:
            raise SceneFileError(key_path, "expected a key [time, value]")
        t = key[0]
        if isinstance(t, bool) or not isinstance(t, (int, float)) or not math.isfinite(t):
            raise SceneFileError(f"{key_path}[0]", "expected a finite time in seconds")
        if times and not t > times[-1]:
            raise SceneFileError(f"{key_path}[0]", f"key times must increase (the key before is at {times[-1]:g} s)")
        if isinstance(key[1], dict):
            raise SceneFileError(f"{key_path}[1]", "a key's value must be a constant, not a track")
        times.append(float(t))
        values.append(read_value(key[1], f"{key_path}[1]"))
    return values, _locate(times, _TIME.get(), ease)


def _finite(v, path):
    d = _num(v, path)
    if not math.isfinite(d):
        raise SceneFileError(path, "a key's value must be finite")
    return d


def _number_track(v, path):
    values, (i, u) = _track(v, path, _finite)
    return values[i] if u == 0.0 else _mix(values[i], values[i + 1], u)


def _colour_track(v, path):
    values, (i, u) = _track(v, path, _colour)
    return values[i] if u == 0.0 else _mix_colour(values[i], values[i + 1], u)


def _fixed_track(v, path, n):
    def read(value, p):
        if isinstance(value, list):
            for i, e in enumerate(value):
                if isinstance(e, dict):
                    raise SceneFileError(f"{p}[{i}]", "a key's value must be a constant, not a track")
        d = _fixed(value, p, n)
        for i, x in enumerate(d):
            if not math.isfinite(x):
                raise SceneFileError(f"{p}[{i}]", "a key's value must be finite")
        return d
    values, (i, u) = _track(v, path, read)
    return list(values[i]) if u == 0.0 else [_mix(a, b, u) for a, b in zip(values[i], values[i + 1])]


# ---- values -------------------------------------------------------------------

_SPECIAL = {"NaN": math.nan, "nan": math.nan, "Infinity": math.inf, "inf": math.inf, "-Infinity": -math.inf,
            "-inf": -math.inf}


def _num(v, path):
    if isinstance(v, (int, float)) and not isinstance(v, bool):
        return float(v)
    if isinstance(v, dict):
        return _number_track(v, path)
    if isinstance(v, str):
        if v in _SPECIAL:
            return _SPECIAL[v]
        raise SceneFileError(path, f'expected a number, got the string "{v}"')
    _expected(path, "a number", v)


def _int(v, path, lo, hi):
    if isinstance(v, (int, float)) and not isinstance(v, bool) and float(v).is_integer() and lo <= v <= hi:
        return int(v)
    if isinstance(v, (int, float)) and not isinstance(v, bool):
        raise SceneFileError(path, f"expected an integer from {lo} to {hi}, got {v}")
    _expected(path, f"an integer from {lo} to {hi}", v)


def _u32(v, path):
    return _int(v, path, 0, V.U32_MAX)


def _flag(v, path):
    if isinstance(v, bool):
        return int(v)
    if isinstance(v, (int, float)):
        return _u32(v, path)
    _expected(path, "true, false or an integer", v)


def _enum(v, path, names):
    if isinstance(v, str):
        if v in names:
            return names.index(v)
        raise SceneFileError(path, f'unknown name "{v}" (expected one of '
                                   + ", ".join(f'"{n}"' for n in names) + " or an integer)")
    return _u32(v, path)


def _colour(v, path):
    if isinstance(v, dict):
        return _colour_track(v, path)
    if isinstance(v, str):
        try:
            return V.colour(v, path)
        except ValueError:
            raise SceneFileError(path, f'expected a colour "#RRGGBBAA" or "#RRGGBB", got "{v}"') from None
    if isinstance(v, (int, float)) and not isinstance(v, bool) and float(v).is_integer() and 0 <= v <= V.U32_MAX:
        return int(v)
    _expected(path, 'a colour ("#RRGGBBAA", "#RRGGBB" or an integer 0xRRGGBBAA)', v)


def _array(v, path):
    if not isinstance(v, list):
        _expected(path, "an array", v)
    return v


def _fixed(v, path, n):
    if isinstance(v, dict):
        return _fixed_track(v, path, n)
    if not isinstance(v, list):
        _expected(path, f"an array of {n} numbers", v)
    if len(v) != n:
        raise SceneFileError(path, f"expected an array of {n} numbers, got {len(v)} entries")
    return [_num(x, f"{path}[{i}]") for i, x in enumerate(v)]


def _tuples(v, path, k, what):
    _array(v, path)
    out = []
    if v and isinstance(v[0], list):
        for i, e in enumerate(v):
            p = f"{path}[{i}]"
            if not isinstance(e, list):
                _expected(p, f"an array of {k} numbers ({what})", e)
            if len(e) != k:
                raise SceneFileError(p, f"expected {k} numbers ({what}), got {len(e)}")
            out += [_num(x, f"{p}[{j}]") for j, x in enumerate(e)]
    else:
        out = [_num(x, f"{path}[{i}]") for i, x in enumerate(v)]
        if len(out) % k:
            raise SceneFileError(path, f"a flat list of {what} needs a multiple of {k} numbers, got {len(out)}")
    return np.array(out, dtype=np.float64).reshape(-1, k)


def _u32_tuples(v, path, k):
    _array(v, path)
    out = []
    for i, e in enumerate(v):
        p = f"{path}[{i}]"
        if isinstance(e, list):
            if len(e) != k:
                raise SceneFileError(p, f"expected {k} integers, got {len(e)}")
            out += [_u32(x, f"{p}[{j}]") for j, x in enumerate(e)]
        else:
            out.append(_u32(e, p))
    return np.array(out, dtype=np.uint32)


def _colour_list(v, path, count):
    if isinstance(v, list):
        if len(v) < count:
            raise SceneFileError(path, f"has {len(v)} entries but count is {count}")
        return np.array([_colour(c, f"{path}[{i}]") for i, c in enumerate(v)], dtype=np.uint32)
    return np.full(max(count, 1), _colour(v, path), dtype=np.uint32)[:count]


def _number_list(v, path, count):
    if isinstance(v, list):
        if len(v) < count:
            raise SceneFileError(path, f"has {len(v)} entries but count is {count}")
        return np.array([_num(x, f"{path}[{i}]") for i, x in enumerate(v)], dtype=np.float64)
    return np.full(max(count, 1), _num(v, path), dtype=np.float64)[:count]


def _count(o, key, available, what):
    if key not in o:
        return available
    n = _u32(o.take(key), o.at(key))
    if n > available:
        raise SceneFileError(o.at(key), f"{n} exceeds the {available} {what} given")
    return n


class _Obj:
    """An object being read: reports keys never taken (usually typos); keys
    starting with '_' are comments."""

    def __init__(self, v, path):
        if not isinstance(v, dict):
            _expected(path or "(document)", "an object", v)
        self.v, self.path, self.used = v, path, set()

    def __contains__(self, key):
        return key in self.v

    def at(self, key):
        return _member(self.path, key)

    def take(self, key, default=None):
        self.used.add(key)
        return self.v.get(key, default)

    def get(self, key, conv, default, *args):
        self.used.add(key)
        return conv(self.v[key], self.at(key), *args) if key in self.v else default

    def required(self, key):
        self.used.add(key)
        if key not in self.v:
            raise SceneFileError(self.at(key), "missing (required)")
        return self.v[key]

    def finish(self):
        for key in self.v:
            if not key.startswith("_") and key not in self.used:
                raise SceneFileError(self.at(key), "unknown field")


# ---- kinds --------------------------------------------------------------------

def _transform(o):
    return o.get("transform", _fixed, list(V.IDENTITY), 6)


def _paint(o):
    """The fill and stroke fields; each is enabled by default when its colour is given."""
    return dict(fill_color=o.get("fill_color", _colour, 0),
                fill_enabled=o.get("fill_enabled", _flag, int("fill_color" in o)),
                stroke_color=o.get("stroke_color", _colour, 0),
                stroke_enabled=o.get("stroke_enabled", _flag, int("stroke_color" in o)),
                stroke_width=o.get("stroke_width", _num, 0.0))


def _shape(o):
    p = {f"p{k}": o.get(f"p{k}", _num, 0.0) for k in range(8)}
    points = o.get("points", _tuples, None, 2, "x, y")
    return Shape(shape_type=o.get("shape_type", _enum, 0, R.SHAPE_TYPES), **p, points=points,
                 point_count=_count(o, "point_count", 0 if points is None else len(points), "points"),
                 transform=_transform(o), opacity=o.get("opacity", _num, 1.0), **_paint(o))


def _batch(o):
    mode = o.get("mode", _enum, 0, R.BATCH_MODES)
    k = 3 if mode == 1 else 4
    what = {0: "x0, y0, x1, y1", 1: "cx, cy, r"}.get(mode, "cx, cy, w, h")
    elements = o.get("elements", _tuples, None, k, what)
    count = _count(o, "count", 0 if elements is None else len(elements), "elements")
    targets = o.get("target_elements", _tuples, None, k, what)
    if targets is not None and len(targets) < count:
        raise SceneFileError(o.at("target_elements"), f"has {len(targets)} elements but count is {count}")
    lists = {key: o.get(key, _colour_list, None, count) for key in
             ("fill_colors", "stroke_colors", "target_fill_colors", "target_stroke_colors")}
    lists.update({key: o.get(key, _number_list, None, count) for key in ("stroke_widths", "target_stroke_widths")})
    return Batch(mode=mode, elements=elements, count=count, target_elements=targets, t=o.get("t", _num, 0.0),
                 transform=_transform(o), opacity=o.get("opacity", _num, 1.0), **lists)


def _vector_shape(v, path):
    o = _Obj(v, path)
    segments = o.get("segments", _tuples, None, 8, "x0, y0, x1, y1, x2, y2, x3, y3")
    segment_count = _count(o, "segment_count", 0 if segments is None else len(segments), "segments")
    if "subpath_ends" in o:
        ends = o.get("subpath_ends", _u32_tuples, None, 1)
    else:
        ends = None if segments is None else np.array([segment_count], dtype=np.uint32)
    subpath_count = _count(o, "subpath_count", 0 if ends is None else len(ends), "subpath ends")
    closed = None
    if "subpath_closed" in o:
        c, p = o.take("subpath_closed"), o.at("subpath_closed")
        if isinstance(c, list):
            if len(c) < subpath_count:
                raise SceneFileError(p, f"has {len(c)} entries but there are {subpath_count} subpaths")
            closed = [int(_flag(f, f"{p}[{i}]") != 0) for i, f in enumerate(c)]
        else:
            closed = int(_flag(c, p) != 0)
    shape = VectorShape(segments=segments, segment_count=segment_count, subpath_ends=ends,
                        subpath_count=subpath_count, subpath_closed=closed,
                        reveal_order=o.get("reveal_order", _u32, 0), **_paint(o))
    o.finish()
    return shape


def _object_list(o, key, read):
    """The list under `key` read entry by entry with read(value, path); None when absent."""
    if key not in o:
        return None
    p = o.at(key)
    return [read(v, f"{p}[{i}]") for i, v in enumerate(_array(o.take(key), p))]


def _vector(o):
    shapes = _object_list(o, "shapes", _vector_shape)
    return Vector(shapes=shapes, shape_count=_count(o, "shape_count", 0 if shapes is None else len(shapes), "shapes"),
                  stagger_count=o.get("stagger_count", _u32, 0), progress=o.get("progress", _num, 1.0),
                  transform=_transform(o), opacity=o.get("opacity", _num, 1.0))


def _morph(o):
    sides = {}
    for key in ("from", "to"):
        side = _Obj(o.required(key), o.at(key))
        sides[key] = _shape(side)
        side.finish()
    return Morph(sides["from"], sides["to"], t=o.get("t", _num, 0.0))


def _inline_pixels(v, path):
    if isinstance(v, list):
        colours = [_colour(c, f"{path}[{i}]") for i, c in enumerate(v)]
        return np.array(colours, dtype=">u4").view(np.uint8)
    if isinstance(v, str):
        digits = "".join(v.split())
        for i, ch in enumerate(v):
            if not ch.isspace() and ch not in "0123456789abcdefABCDEF":
                raise SceneFileError(path, f"character {i} is not a hex digit")
        if len(digits) % 8:
            raise SceneFileError(path, "the hex digits do not make whole pixels (8 digits, RRGGBBAA, per pixel)")
        return np.frombuffer(bytes.fromhex(digits), dtype=np.uint8)
    _expected(path, "an array of colours or a string of hex digits", v)


def _read_image(path):
    cache = _IMAGES.get()
    if cache is None:
        return read_png_rgba(path, MAX_RASTER_PIXELS)
    key = os.fspath(path)
    if key not in cache:
        cache[key] = read_png_rgba(path, MAX_RASTER_PIXELS)
    return cache[key]


def _image(o, base_dir):
    if "file" in o and "pixels" in o:
        raise SceneFileError(o.at("pixels"), 'give either "file" or "pixels", not both')
    pixels, natural = None, (0, 0)
    if "file" in o:
        f = o.take("file")
        if not isinstance(f, str):
            _expected(o.at("file"), "a file path string", f)
        path = Path(f)
        if not path.is_absolute() and base_dir:
            path = Path(base_dir) / path
        try:
            w, h, pixels = _read_image(path)
        except (OSError, PngError) as e:
            raise SceneFileError(o.at("file"), f"{path}: {getattr(e, 'strerror', None) or e}") from None
        natural = (w, h)
    elif "pixels" in o:
        pixels = _inline_pixels(o.take("pixels"), o.at("pixels"))
        for key in ("width", "height"):
            if key not in o:
                raise SceneFileError(o.at(key), "missing (required with inline pixels)")
    width = o.get("width", _u32, natural[0])
    height = o.get("height", _u32, natural[1])
    available = 0 if pixels is None else len(pixels) // 4
    if width * height > available:
        raise SceneFileError(o.at("width" if "file" in o.v else "pixels"),
                             f"width x height = {width * height} pixels, but {available} are given")
    return Image(pixels=pixels, width=width, height=height,
                 display_width=o.get("display_width", _num, float(width)),
                 display_height=o.get("display_height", _num, float(height)), transform=_transform(o),
                 opacity=o.get("opacity", _num, 1.0))


def _mesh_layer(v, path):
    o = _Obj(v, path)
    kw = {}
    if "primitive" in o:
        for key in ("positions", "normals", "indices"):
            if key in o:
                raise SceneFileError(o.at(key), 'not allowed together with "primitive"')
        kw["primitive"] = _primitive(o.take("primitive"), o.at("primitive"))
    else:
        kw["positions"] = o.get("positions", _tuples, None, 3, "x, y, z")
        kw["normals"] = o.get("normals", _tuples, None, 3, "x, y, z")
        kw["indices"] = o.get("indices", _u32_tuples, None, 3)
    if "model" in o:
        for key in ("translate", "rotate", "scale"):
            if key in o:
                raise SceneFileError(o.at(key), 'not allowed together with "model"')
        kw["model"] = o.get("model", _fixed, None, 16)
    else:
        kw["translate"] = o.get("translate", _fixed, None, 3)
        kw["rotate"] = o.get("rotate", _fixed, None, 3)
        if "scale" in o:
            s = o.take("scale")
            kw["scale"] = _fixed(s, o.at("scale"), 3) if isinstance(s, list) else _num(s, o.at("scale"))
    for key in ("vertex_count", "index_count"):
        if key in o:
            kw[key] = o.get(key, _u32, None)
    layer = _wrap(path, lambda: MeshLayer(colour=o.get("colour", _colour, 0xFFFFFFFF),
                                          opacity=o.get("opacity", _num, 1.0), **kw))
    o.finish()
    return layer


def _primitive(v, path):
    o = _Obj(v, path)
    kind = o.required("type")
    if not isinstance(kind, str):
        _expected(o.at("type"), '"cube", "sphere" or "torus"', kind)
    p = {"type": kind}
    for key in ("size", "radius", "major_radius", "minor_radius"):
        if key in o:
            p[key] = _num(o.take(key), o.at(key))
    for key in ("segments", "rings", "sides"):
        if key in o:
            p[key] = o.take(key)
    return p


def _mesh(o):
    layers = _object_list(o, "layers", _mesh_layer)
    kw = {key: o.get(key, _fixed, None, 3) for key in ("eye", "target", "up")}
    kw = {k: v for k, v in kw.items() if v is not None}
    for key in ("fov_y", "near", "far", "ortho_height"):
        if key in o:
            kw[key] = o.get(key, _num, None)
    return Mesh(layers=layers, layer_count=_count(o, "layer_count", 0 if layers is None else len(layers), "layers"),
                projection=o.get("projection", _enum, 0, R.PROJECTIONS), **kw)


def _infinite(o, kind):
    if kind == "infinite":
        g = o.get("geometry_kind", _enum, 0, R.GEOMETRY_KINDS)
    else:
        g = R.GEOMETRY_KINDS.index(kind)
        if "geometry_kind" in o and _u32(o.take("geometry_kind"), o.at("geometry_kind")) != g:
            raise SceneFileError(o.at("geometry_kind"), f'contradicts kind "{kind}" (geometry_kind {g})')
    variant = o.get("variant", _enum, 0, R.FRACTAL_VARIANTS) if g == 3 else o.get("variant", _u32, 0)
    return Infinite(geometry_kind=g, **{f"a{k}": o.get(f"a{k}", _num, 0.0) for k in range(4)}, variant=variant,
                    t=o.get("t", _num, 0.0), **{f"p{k}": o.get(f"p{k}", _fixed, None, 2) for k in range(1, 5)},
                    transform=_transform(o), colour1=o.get("colour1", _colour, 0),
                    colour2=o.get("colour2", _colour, 0), line_width=o.get("line_width", _num, None),
                    opacity=o.get("opacity", _num, 1.0))


def _wrap(path, build):
    """Runs an item constructor, reporting its checks with the item's path."""
    try:
        return build()
    except (ValueError, TypeError) as e:
        if isinstance(e, SceneFileError):
            raise
        raise SceneFileError(path, str(e)) from None


_KINDS = ("shape", "batch", "vector", "morph", "image", "mesh", "line", "grid", "complex_grid", "fractal",
          "infinite")


def _item(v, path, position, base_dir):
    o = _Obj(v, path)
    k = o.required("kind")
    item_id = o.get("id", _int, position + 1 if position < 0x7FFFFFFF else 0, -2**31, 2**31 - 1)
    if isinstance(k, (int, float)) and not isinstance(k, bool):
        item = RawItem(_u32(k, o.at("kind")), o.get("index", _u32, 0))
    elif isinstance(k, str):
        if k not in _KINDS:
            raise SceneFileError(o.at("kind"), f'unknown kind "{k}" (expected shape, batch, vector, morph, image, '
                                               "mesh, line, grid, complex_grid, fractal, infinite or an integer)")
        build = {"shape": _shape, "batch": _batch, "vector": _vector, "morph": _morph, "mesh": _mesh,
                 "image": lambda ob: _image(ob, base_dir)}.get(k, lambda ob: _infinite(ob, k))
        item = _wrap(path, lambda: build(o))
    else:
        _expected(o.at("kind"), "a kind name or an integer", k)
    visible = _visible_now(o)
    o.finish()
    item.id = item_id
    return item if visible else None


def _visible_now(o):
    """"visible": [start, end]: drawn from start up to, not including, end."""
    if "visible" not in o:
        return True
    span = _fixed(o.take("visible"), o.at("visible"), 2)
    for i, x in enumerate(span):
        if not math.isfinite(x) and not (i == 1 and x > 0):
            raise SceneFileError(f"{o.at('visible')}[{i}]", "expected a finite time in seconds")
    if not span[0] <= span[1]:
        raise SceneFileError(o.at("visible"), "the start must not come after the end")
    t = _TIME.get()
    return span[0] <= t < span[1]


# ---- documents ----------------------------------------------------------------

class _Pairs(list):
    """An object's members in file order, duplicates included."""


def _objects(v, path=""):
    """Turns the parsed _Pairs into dicts, rejecting a key given twice in one
    object (the second occurrence is almost always a mistake)."""
    if isinstance(v, _Pairs):
        out = {}
        for key, value in v:
            if key in out:
                raise SceneFileError(_member(path, key), "duplicate key")
            out[key] = _objects(value, _member(path, key))
        return out
    if isinstance(v, list):
        return [_objects(e, f"{path}[{i}]") for i, e in enumerate(v)]
    return v


def _reject_constant(name):
    raise SceneFileError("", f"{name} is not JSON (write the string \"{name}\")")


def _finite_float(text):
    v = float(text)
    if math.isinf(v):
        raise SceneFileError("", f"number overflow parsing '{text}'")
    return v


def _nesting(text):
    depth, in_string, escape, line = 0, False, False, 1
    for ch in text:
        if ch == "\n":
            line += 1
        if in_string:
            if escape:
                escape = False
            elif ch == "\\":
                escape = True
            elif ch == '"':
                in_string = False
            continue
        if ch == '"':
            in_string = True
        elif ch in "[{":
            depth += 1
            if depth > MAX_DEPTH:
                raise SceneFileError("", f"nested deeper than {MAX_DEPTH} levels at line {line}")
        elif ch in "]}":
            depth -= 1


MAX_FRAMES = 1 << 31


def _document(text):
    _nesting(text)
    try:
        return _objects(json.loads(text, object_pairs_hook=_Pairs, parse_constant=_reject_constant,
                                   parse_float=_finite_float))
    except json.JSONDecodeError as e:
        raise SceneFileError("", f"syntax error: {e.msg} at line {e.lineno}, column {e.colno}") from None


def _is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


def _animation(doc):
    """(fps, frame count) of the "animation" block; (None, 1) without one."""
    if not isinstance(doc, dict) or "animation" not in doc:
        return None, 1
    o = _Obj(doc["animation"], "animation")
    fps = o.required("fps")
    if not _is_number(fps) or not (fps > 0 and math.isfinite(fps)):
        raise SceneFileError(o.at("fps"), "expected a frame rate above 0 (frames per second)")
    fps = float(fps)
    if "frames" in o and "duration" in o:
        raise SceneFileError(o.at("frames"), 'give either "frames" or "duration", not both')
    if "frames" in o:
        frames = _int(o.take("frames"), o.at("frames"), 1, MAX_FRAMES)
    elif "duration" in o:
        d = o.take("duration")
        if not _is_number(d) or not d > 0:
            raise SceneFileError(o.at("duration"), "expected a duration above 0 (seconds)")
        x = float(d) * fps
        if not x <= MAX_FRAMES:
            raise SceneFileError(o.at("duration"), f"more than {MAX_FRAMES} frames")
        n = math.floor(x)
        frames = max(1, n + (1 if x - n >= 0.5 else 0))  # rounded half away from zero
        if frames > MAX_FRAMES:
            raise SceneFileError(o.at("duration"), f"more than {MAX_FRAMES} frames")
    else:
        raise SceneFileError(o.at("frames"), 'missing (give "frames" or "duration")')
    o.finish()
    return fps, frames


def _build(doc, base_dir, width, height, scale):
    top = _Obj(doc, "")
    if "animation" in top:
        top.take("animation")
        _animation(doc)

    def side(key, override):
        if override is not None:
            top.take(key)
            return _int(override, f"--{key}", 1, MAX_SIDE)
        return _int(top.required(key), key, 1, MAX_SIDE)
    w, h = side("width", width), side("height", height)
    if w * h > MAX_PIXELS:
        raise SceneFileError("height", f"a canvas of {w} x {h} pixels is larger than the limit of {MAX_PIXELS} pixels")
    if scale is not None:
        top.take("scale")
        s = _num(scale, "--scale")
    else:
        s = _num(top.required("scale"), "scale")
    if not (math.isfinite(s) and s > 0):
        raise SceneFileError("scale", "expected a finite number above 0")
    scene = Scene(width=w, height=h, scale=s)
    if "items" in top:
        for i, v in enumerate(_array(top.take("items"), "items")):
            item = _item(v, f"items[{i}]", i, base_dir)
            if item is not None:
                scene.add(item)
    top.finish()
    return scene


def parse_scene(text, base_dir=None, width=None, height=None, scale=None):
    """A Scene from the text of a scene file (an animation at time 0); width,
    height and scale override the file's canvas. Raises SceneFileError."""
    return _build(_document(text), base_dir, width, height, scale)


def load_scene(path, width=None, height=None, scale=None):
    """A Scene from a scene file (relative image files are found beside it).
    Raises SceneFileError, or OSError when the file cannot be read."""
    path = os.fspath(path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    return parse_scene(text, base_dir=os.path.dirname(path), width=width, height=height, scale=scale)


class SceneFileAnimation(Animation):
    """The frames of a scene file: frame k is the document read at time
    k / fps. Pickles as the parsed document (small), so an executor's workers
    can build frames themselves; decoded image files are cached per process."""

    def __init__(self, doc, base_dir=None, width=None, height=None, scale=None):
        fps, frames = _animation(doc)
        super().__init__(None, frames, fps)
        self._doc, self._base_dir, self._canvas = doc, base_dir, (width, height, scale)
        self._images = {}
        self.scene(0)  # every track is read whenever a frame is built: faults show now

    def __getstate__(self):
        state = dict(self.__dict__)
        state["_images"] = {}
        return state

    def scene_at(self, t):
        ctx = contextvars.copy_context()
        return ctx.run(self._build_at, t)

    def _build_at(self, t):
        _TIME.set(t)
        _IMAGES.set(self._images)
        return _build(self._doc, self._base_dir, *self._canvas)


def parse_animation(text, base_dir=None, width=None, height=None, scale=None):
    """The animation of the text of a scene file (one frame at time 0 when it
    has no "animation" block). Raises SceneFileError."""
    return SceneFileAnimation(_document(text), base_dir, width, height, scale)


def load_animation(path, width=None, height=None, scale=None):
    """The animation of a scene file. Raises SceneFileError or OSError."""
    path = os.fspath(path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    return parse_animation(text, base_dir=os.path.dirname(path), width=width, height=height, scale=scale)
