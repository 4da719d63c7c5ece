"""The four Scene functions of the library, with numpy output and errors
raised as exceptions."""
import ctypes as C
import math
import os
import tempfile
import threading

import numpy as np

from ._library import lib
from .scene import Scene

_MAX_SIDE = 2**31 - 1


class RenderError(RuntimeError):
    """The library failed a render (return code 1). `error` is its error
    name (e.g. 'TooFewPoints'); `index` and `kind` name the first item that
    fails, or are None when the items all draw and the failure lies
    elsewhere (writing the file, for one). `frame` is the frame of an
    animation that failed, or None."""

    def __init__(self, error, index=None, kind=None, frame=None):
        self.error, self.index, self.kind, self.frame = error, index, kind, frame
        where = f"items[{index}] ({kind}): " if index is not None else ""
        when = f"frame {frame}: " if frame is not None else ""
        super().__init__(f"{when}{where}{error}")

    def __reduce__(self):  # keeps the fields across processes
        return (RenderError, (self.error, self.index, self.kind, self.frame))


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


def _check(rc, function):
    if rc == 2:  # every argument was checked above; this guards against an oversight
        raise ValueError(f"{function} rejected the arguments")
    return rc


# The library writes its error line to file descriptor 2; naming the failing
# item captures it, one search at a time.
_capture_lock = threading.Lock()


def _captured(fn):
    fd = os.dup(2)
    with tempfile.TemporaryFile() as tmp:
        try:
            os.dup2(tmp.fileno(), 2)
            rc = fn()
        finally:
            os.dup2(fd, 2)
            os.close(fd)
        tmp.seek(0)
        return rc, tmp.read().decode("utf-8", "replace")


def _error_name(text):
    # "vokri scene render error: TooFewPoints" -> "TooFewPoints"
    return text.strip().rpartition(": ")[2] or "unknown error"


def _failure(compiled, render, whole=None):
    """The RenderError of a failed call: the shortest failing prefix of the
    item list (it stops at its first error), found by bisection. When every
    item draws, `whole` (by default rendering them all) is repeated for the
    library's error name. None when that repetition succeeds."""
    with _capture_lock:
        n = compiled.item_count
        rc = render(n) if n else 0
        if rc != 1:
            rc, text = _captured(whole or (lambda: render(n)))
            return RenderError(_error_name(text)) if rc == 1 else None
        lo, hi = 0, n
        while hi - lo > 1:
            mid = (lo + hi) // 2
            rc, _ = _captured(lambda: render(mid))
            lo, hi = (lo, mid) if rc == 1 else (mid, hi)
        rc, text = _captured(lambda: render(hi))
    return RenderError(_error_name(text), hi - 1, compiled.kind_name(hi - 1))


def _render_pixels(function, scene, width, height, scale):
    w, h, s = _canvas(scene, width, height, scale)
    compiled = scene._compile(s)
    out = np.empty((h, w, 4), dtype=np.uint8)
    ptr = out.ctypes.data_as(C.POINTER(C.c_uint32))

    def render(n):
        return function(w, h, s, compiled.items, n, *compiled.arrays, ptr, w * h)
    if _check(render(compiled.item_count), function.__name__) == 1:
        error = _failure(compiled, render)
        if error is not None:  # None: the repeated render drew every item
            raise error
    return out


def render_rgba(scene, width=None, height=None, scale=None):
    """Straight-alpha pixels over transparent black: an (h, w, 4) uint8
    array, channels R, G, B, A."""
    return _render_pixels(lib.vokri_render_scene_rgba0, scene, width, height, scale)


def render_rgb(scene, width=None, height=None, scale=None):
    """Opaque pixels over the background (14, 17, 24): an (h, w, 4) uint8
    array, channels R, G, B and 0."""
    return _render_pixels(lib.vokri_render_scene_rgb0, scene, width, height, scale)


def render_png(path, scene, width=None, height=None, scale=None):
    """Renders as render_rgb and writes an 8-bit RGB PNG file at `path`."""
    w, h, s = _canvas(scene, width, height, scale)
    path_bytes = os.fsencode(path)
    if b"\0" in path_bytes or not path_bytes:
        raise ValueError(f"path: not a usable file path: {path!r}")
    compiled = scene._compile(s)
    rc = lib.vokri_render_scene_frame(path_bytes, w, h, s, compiled.items, compiled.item_count, *compiled.arrays)
    if _check(rc, "vokri_render_scene_frame") == 1:
        pixels = np.empty(w * h, dtype=np.uint32)
        ptr = pixels.ctypes.data_as(C.POINTER(C.c_uint32))
        error = _failure(compiled, lambda n: lib.vokri_render_scene_rgb0(w, h, s, compiled.items, n,
                                                                          *compiled.arrays, ptr, w * h),
                         lambda: lib.vokri_render_scene_frame(path_bytes, w, h, s, compiled.items,
                                                              compiled.item_count, *compiled.arrays))
        if error is not None:
            raise error


def pick(x, y, scene, width=None, height=None, scale=None):
    """The id of the topmost item that paints pixel (x, y), or 0."""
    w, h, s = _canvas(scene, width, height, scale)
    for name, v, limit in (("x", x, w), ("y", y, h)):
        if isinstance(v, bool) or not isinstance(v, (int, np.integer)) or not 0 <= v < limit:
            raise ValueError(f"{name}: expected an integer from 0 to {limit - 1}, got {v!r}")
    compiled = scene._compile(s)
    out = C.c_int32(0)

    def render(n):
        return lib.vokri_pick_scene_object(w, h, s, compiled.items, compiled.ids, n, *compiled.arrays, int(x),
                                           int(y), C.byref(out))
    if _check(render(compiled.item_count), "vokri_pick_scene_object") == 1:
        error = _failure(compiled, render)
        if error is not None:  # None: the repeated render drew every item
            raise error
    return out.value
