"""Rendering a Scene through the scene library: numpy output, and failures
raised as the exceptions of `errors` (the renderer's own error and the item
it came from; nothing is printed, nothing is rendered twice)."""
import ctypes as C
import errno
import math
import os
import tempfile

import numpy as np

from . import _records as R
from ._library import lib
from .errors import call
from .scene import Scene

_MAX_SIDE = 2**31 - 1


def _canvas(scene, width, height, scale):
    if not isinstance(scene, Scene):
        raise TypeError(f"scene: expected a vokri.Scene, got {type(scene).__name__}")
    width = scene.width if width is None else width
    height = scene.height if height is None else height
    scale = scene.scale if scale is None else scale
    for name, v in (("width", width), ("height", height)):
        if isinstance(v, bool) or not isinstance(v, (int, np.integer)) or not 0 < v <= _MAX_SIDE:
            raise ValueError(f"{name}: expected an integer from 1 to {_MAX_SIDE}, got {v!r}")
    if isinstance(scale, bool) or not isinstance(scale, (int, float, np.floating, np.integer)) or \
            not (math.isfinite(scale) and scale > 0):
        raise ValueError(f"scale: expected a finite number above 0, got {scale!r}")
    return int(width), int(height), float(scale)


def render_pixels(scene, mode, width=None, height=None, scale=None, frame=-1):
    """(h, w, 4) uint8 pixels in the library's RGB0 or RGBA0 mode."""
    w, h, s = _canvas(scene, width, height, scale)
    compiled = scene._compile(w, h, s)
    out = np.empty((h, w, 4), dtype=np.uint8)
    call(lib.vokri_scenefile_render, C.byref(compiled.records), mode, frame,
         out.ctypes.data_as(C.POINTER(C.c_uint32)), w * h)
    return out


def render_rgba(scene, width=None, height=None, scale=None):
    """Straight-alpha pixels over transparent black: an (h, w, 4) uint8
    array, channels R, G, B, A."""
    return render_pixels(scene, R.RGBA0, width, height, scale)


def render_rgb(scene, width=None, height=None, scale=None):
    """Opaque pixels over the background (14, 17, 24): an (h, w, 3) uint8
    array, channels R, G, B (a view of the library's R, G, B, 0 pixels)."""
    return render_pixels(scene, R.RGB0, width, height, scale)[..., :3]


def write_frame(path, scene, mode, width=None, height=None, scale=None, frame=-1):
    """Renders and writes `path` in any of the library's file modes (the PNG
    of render_png, the straight-alpha PNG of --alpha, raw pixels), whole or
    not at all; missing folders are made."""
    w, h, s = _canvas(scene, width, height, scale)
    path_bytes = os.fsencode(path)
    if b"\0" in path_bytes or not path_bytes:
        raise ValueError(f"path: not a usable file path: {path!r}")
    compiled = scene._compile(w, h, s)
    call(lib.vokri_scenefile_render_file, C.byref(compiled.records), mode, frame, path_bytes)


def render_png(path, scene, width=None, height=None, scale=None):
    """Renders as render_rgb and writes an 8-bit RGB PNG file at `path`
    (whole or not at all). The folder must exist."""
    folder = os.path.dirname(os.fspath(path))
    if folder and not os.path.isdir(folder):
        raise FileNotFoundError(errno.ENOENT, f"the folder {folder!r} does not exist", os.fspath(path))
    write_frame(path, scene, R.PNG, width, height, scale)


def png_bytes(scene, width=None, height=None, scale=None, mode=R.PNG, frame=-1):
    """The bytes of the PNG file render_png would write (mode PNG_ALPHA: the
    straight-alpha PNG)."""
    with tempfile.TemporaryDirectory(prefix="vokri-") as d:
        path = os.path.join(d, "frame.png")
        write_frame(path, scene, mode, width, height, scale, frame)
        with open(path, "rb") as f:
            return f.read()


def pick(x, y, scene, width=None, height=None, scale=None):
    """The id of the topmost item that paints pixel (x, y), or 0."""
    w, h, s = _canvas(scene, width, height, scale)
    for name, v, limit in (("x", x, w), ("y", y, h)):
        if isinstance(v, bool) or not isinstance(v, (int, np.integer)) or not 0 <= v < limit:
            raise ValueError(f"{name}: expected an integer from 0 to {limit - 1}, got {v!r}")
    compiled = scene._compile(w, h, s)
    out = C.c_int32(0)
    call(lib.vokri_scenefile_pick, C.byref(compiled.records), -1, int(x), int(y), C.byref(out))
    return out.value


def same_drawing(a, b, width=None, height=None, scale=None):
    """True when scenes `a` and `b` draw the same pixels on the canvas: the
    same records and the same bytes behind them, as the library compares
    them (an animation's held frames are copies, not renders)."""
    first, second = (s._compile(*_canvas(s, width, height, scale)) for s in (a, b))
    return lib.vokri_scenefile_same_drawing(C.byref(first.records), C.byref(second.records)) == 1


def read_png(path):
    """A PNG file (any colour type and bit depth) as an (h, w, 4) uint8
    array of straight-alpha RGBA, decoded as image items decode their files."""
    w, h = C.c_uint32(), C.c_uint32()
    pixels = C.POINTER(C.c_uint8)()
    call(lib.vokri_scenefile_read_png, os.fsencode(path), C.byref(w), C.byref(h), C.byref(pixels))
    try:
        return np.ctypeslib.as_array(pixels, (h.value, w.value, 4)).copy()
    finally:
        lib.vokri_scenefile_pixels_free(pixels)
