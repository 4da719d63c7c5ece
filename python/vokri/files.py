"""Scene files (docs/scene-format.md), read by the scene library: the
document, its tracks, generated meshes and image files are the library's;
this module turns each frame's records into a Scene of item objects."""
import ctypes as C
import math
import os

from . import _convert
from . import _records as R
from ._library import lib
from .animation import Animation
from .drawings import warn_new
from .errors import call_handle
from .scene import Scene


def _options(width, height, scale):
    o = R.SceneOptions()
    for name, v in (("width", width), ("height", height)):
        if v is not None:
            if isinstance(v, bool) or not isinstance(v, int) or not 1 <= v <= 32768:
                raise ValueError(f"{name}: expected an integer from 1 to 32768, got {v!r}")
            setattr(o, name, v)
    if scale is not None:
        if isinstance(scale, bool) or not isinstance(scale, (int, float)) or not (math.isfinite(scale) and scale > 0):
            raise ValueError(f"scale: expected a finite number above 0, got {scale!r}")
        o.scale = float(scale)
    return o


class _Document:
    """An open scene-library document; closed when collected."""

    def __init__(self, source, text, base_dir, name, canvas):
        self._source = (source, text, base_dir, name, canvas)
        options = _options(*canvas)
        if text is None:
            self._handle = call_handle(lib.vokri_scenefile_open, os.fsencode(source), C.byref(options))
        else:
            data = text.encode("utf-8", "surrogateescape") if isinstance(text, str) else bytes(text)
            self._handle = call_handle(lib.vokri_scenefile_parse, data, len(data),
                                       None if base_dir is None else os.fsencode(base_dir),
                                       None if name is None else os.fsencode(name), C.byref(options))
        info = R.SceneInfo()
        lib.vokri_scenefile_info(self._handle, C.byref(info))
        self.info = info

    def __del__(self):
        handle = getattr(self, "_handle", None)
        if handle:
            lib.vokri_scenefile_close(handle)
            self._handle = None

    def __reduce__(self):  # reopened where it is unpickled
        return (_Document, self._source)

    def scene(self, k):
        """The Scene of frame k, its items made from the frame's records."""
        frame = call_handle(lib.vokri_scenefile_frame, self._handle, k)
        try:
            warn_new(frame)
            r = lib.vokri_scenefile_frame_records(frame).contents
            scene = Scene(_convert.items(r), width=r.width, height=r.height, scale=r.scale)
        finally:
            lib.vokri_scenefile_frame_free(frame)
        return scene


class SceneFileAnimation(Animation):
    """The frames of a scene file: frame k is the document read at time
    k / fps. Pickles as the file's text (or path), so an executor's workers
    open the document themselves."""

    def __init__(self, document):
        info = document.info
        super().__init__(None, frames=info.frame_count, fps=info.fps if info.animated else None)
        self.animated = bool(info.animated)
        self._document = document

    def scene(self, k):
        if not 0 <= k < self.frame_count:
            raise IndexError(f"frame {k} is outside 0..{self.frame_count - 1}")
        return self._document.scene(k)

    def scene_at(self, t):
        return self.scene(min(self.frame_count - 1, max(0, round(t * self.fps)))) if self.fps else self.scene(0)

    def __repr__(self):
        name = self._document._source[0] or self._document._source[3] or "text"
        return f"<vokri animation {name}: {self.frame_count} frames at {self.fps or 0:g} fps>"


def _read(path):
    path = os.fspath(path)
    return path if path == "-" else os.path.abspath(path)


def _base(base_dir):
    """Relative image files of a text are found in `base_dir`, by default
    the current folder (made absolute, so that a pickled animation finds
    them from a worker in another folder)."""
    return os.path.abspath(os.getcwd() if base_dir is None else os.fspath(base_dir))


def parse_scene(text, base_dir=None, width=None, height=None, scale=None, name=None):
    """A Scene from the text of a scene file (an animation at time 0); width,
    height and scale override the file's canvas; `name` is the file name
    that messages give. Raises SceneFileError."""
    return _Document(None, text, _base(base_dir), name, (width, height, scale)).scene(0)


def load_scene(path, width=None, height=None, scale=None):
    """A Scene from a scene file (relative image files are found beside it).
    Raises SceneFileError, naming the file."""
    return _Document(_read(path), None, None, None, (width, height, scale)).scene(0)


def parse_animation(text, base_dir=None, width=None, height=None, scale=None, name=None):
    """The animation of the text of a scene file (one frame at time 0 when it
    has no "animation" block). Raises SceneFileError."""
    return SceneFileAnimation(_Document(None, text, _base(base_dir), name, (width, height, scale)))


def load_animation(path, width=None, height=None, scale=None):
    """The animation of a scene file. Raises SceneFileError, naming the file."""
    return SceneFileAnimation(_Document(_read(path), None, None, None, (width, height, scale)))
