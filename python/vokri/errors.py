"""The exceptions of the package, made from the scene library's structured
errors: the same fields and the same one-line text as vokri-render prints."""
import ctypes as C

from . import _records as R
from ._library import lib


class SceneFileError(ValueError):
    """A fault in a scene file: `file` is the file (or ''), `path` the JSON
    path of the offending value ('items[3].points[2][1]', '' for the whole
    document), `message` what is wrong, `frame` the frame (or None). str()
    is the line vokri-render prints."""

    def __init__(self, path, message, file="", frame=None, text=None):
        self.path, self.message, self.file, self.frame = path, message, file, frame
        super().__init__(text if text is not None else ": ".join(p for p in (file, path, message) if p))

    def __reduce__(self):
        return (SceneFileError, (self.path, self.message, self.file, self.frame, str(self)))


class RenderError(RuntimeError):
    """The renderer failed: `error` is its error name ('TooFewPoints');
    `index` and `kind` name the item that failed, or are None when no single
    item did (writing the file, a canvas too large for memory); `frame` is
    the frame of an animation, or None."""

    def __init__(self, error, index=None, kind=None, frame=None, text=None):
        self.error, self.index, self.kind, self.frame = error, index, kind, frame
        if text is None:
            where = f"items[{index}] ({kind}): " if index is not None else ""
            when = f"frame {frame}: " if frame is not None else ""
            text = f"{when}{where}{error}"
        super().__init__(text)

    def __reduce__(self):  # keeps the fields across processes
        return (RenderError, (self.error, self.index, self.kind, self.frame, str(self)))


class OutputError(OSError):
    """An output file or video could not be written (`filename` names it)."""


def _text(b):
    return b.decode("utf-8", "replace") if b else ""


def exception(status, error, frame=None):
    """The exception for a failed call's status and VokriSceneFileError."""
    if not error:
        return MemoryError("vokri: out of memory")
    e = error.contents
    text = _text(e.text)
    frame = e.frame if e.frame >= 0 else frame
    if status == R.RENDER_FAILED:
        index = e.item_index if e.item_index >= 0 else None
        return RenderError(_text(e.error_name), index, _text(e.item_kind) if index is not None else None, frame,
                           text)
    if status == R.BAD_SCENE:
        return SceneFileError(_text(e.json_path), _text(e.message), _text(e.file), frame, text)
    if status == R.OUTPUT_FAILED:
        error = OutputError(text)
        error.filename = _text(e.file) or None
        return error
    return ValueError(text)


def call(function, *args):
    """Calls a library function that takes a trailing error pointer and
    returns a status; raises the matching exception on failure."""
    error = C.POINTER(R.SceneFileErrorRecord)()
    status = function(*args, C.byref(error))
    if status != R.OK:
        try:
            raise exception(status, error)
        finally:
            lib.vokri_scenefile_error_free(error)
    return status


def call_handle(function, *args):
    """Calls a library function that returns a handle (null on failure)."""
    error = C.POINTER(R.SceneFileErrorRecord)()
    handle = function(*args, C.byref(error))
    if not handle:
        status = error.contents.status if error else R.BAD_SCENE
        try:
            raise exception(status, error)
        finally:
            lib.vokri_scenefile_error_free(error)
    return handle
