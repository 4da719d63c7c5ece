"""Text, SVG drawings and TeX formulas, built by the scene library from the
same fields as a scene file's "text", "svg" and "tex" items: shaped with
HarfBuzz, outlined by FreeType, fonts found by fontconfig, SVG read and
placed, formulas typeset by MathJax; each is one vector record when
rendered."""
import ctypes as C
import json
import os
import warnings

from . import _convert
from . import _records as R
from . import _values as V
from ._library import lib
from .errors import call_handle
from .items import Item, _show


class DrawingWarning(UserWarning):
    """Something a text or an SVG drawing asks for that is drawn only in part
    (a character no installed font has, an SVG feature the renderer cannot
    draw). Each is given once."""


_warned = set()


def warn_new(frame):
    """Gives the warnings of a library frame, each once per process."""
    for i in range(lib.vokri_scenefile_frame_warning_count(frame)):
        text = lib.vokri_scenefile_frame_warning(frame, i).decode("utf-8", "replace")
        if text not in _warned:
            _warned.add(text)
            warnings.warn(text, DrawingWarning, stacklevel=4)


class _Frame:
    """A library frame handle, freed with the last reference."""

    def __init__(self, handle):
        self.handle = handle

    def __del__(self):
        if self.handle:
            lib.vokri_scenefile_frame_free(self.handle)
            self.handle = None

    def records(self):
        return lib.vokri_scenefile_frame_records(self.handle).contents


def _build(fields, base_dir, glyphs=False):
    text = json.dumps(fields, allow_nan=False).encode()
    where = None if base_dir is None else os.fsencode(base_dir)
    handle = (call_handle(lib.vokri_scenefile_text_glyphs, text, len(text), where) if glyphs else
              call_handle(lib.vokri_scenefile_build_item, text, len(text), where, 1.0))
    frame = _Frame(handle)
    warn_new(frame.handle)
    return frame


_KIND_ARRAYS = ((R.ITEM_SHAPE, "shapes", "shape_count", R.ShapeRecord),
                (R.ITEM_VECTOR, "vectors", "vector_count", R.VectorRecord))


def build_records(fields, keep, scale):
    """The (kind, record) pairs of a scene file's item built by the library,
    in drawing order, their buffers kept alive by `keep`."""
    frame = _build(fields, None)
    keep.append(frame)
    r = frame.records()
    taken = {kind: 0 for kind, *_ in _KIND_ARRAYS}
    out = []
    for i in range(r.item_count):
        kind = r.items[i].kind
        array, count, rtype = next((a, c, t) for k, a, c, t in _KIND_ARRAYS if k == kind)
        out.append((kind, rtype.from_buffer_copy(getattr(r, array)[taken[kind]])))
        taken[kind] += 1
    return out


def _numbers(fields, names):
    for name in names:
        if name in fields and fields[name] is not None:
            fields[name] = V.number(fields[name], name)


class _Drawing(Item):
    """An item the scene library builds from scene-file fields; its fields
    may be changed, and it is built again when they have."""
    kind = R.ITEM_VECTOR
    _kind_name = None

    def __init__(self, fields, base_dir, id):
        super().__init__(id)
        self._base_dir = base_dir
        self._built = None
        self.fields = fields
        self._frame()  # faults show now

    def _json(self):
        out = {"kind": self._kind_name}
        out.update({k: v for k, v in self.fields.items() if v is not None})
        return out

    def _frame(self):
        key = json.dumps(self._json(), allow_nan=False)  # notices edits deep in the fields too
        if self._built is None or self._built[0] != key:
            self._built = (key, _build(self._json(), self._base_dir))
        return self._built[1]

    def __getstate__(self):
        """Copies and pickles carry the fields; the library's build (a
        handle of this process) is made again where it is needed."""
        state = dict(self.__dict__)
        state["_built"] = None
        return state

    def _records(self, keep, scale):
        """The vector records the library built (a text fading in a glyph
        has two), their buffers kept alive by `keep`."""
        frame = self._frame()
        keep.append(frame)
        r = frame.records()
        return [(R.ITEM_VECTOR, R.VectorRecord.from_buffer_copy(r.vectors[i])) for i in range(r.vector_count)]

    def to_vector(self):
        """The drawing as a vokri.Vector of its outlines, to change freely
        (a text: a shape per glyph)."""
        frame = _build(self._json(), self._base_dir, glyphs=self._kind_name == "text")
        r = frame.records()
        if r.vector_count == 0:  # nothing drawn now (a hidden item)
            return _convert.vector(R.VectorRecord(), self.id)
        return _convert.vector(r.vectors[0], self.id)

    def __repr__(self):
        shown = ", ".join(f"{k}={_show(k, v)}" for k, v in self.fields.items() if v is not None)
        return f"{type(self).__name__}({shown})"


def _paint_fields(fill_color, stroke_color):
    return (None if fill_color is None else V.colour(fill_color, "fill_color"),
            None if stroke_color is None else V.colour(stroke_color, "stroke_color"))


def _runs(text):
    if isinstance(text, str):
        return text
    runs = []
    for i, run in enumerate(text):
        if isinstance(run, str):
            run = {"text": run}
        if not isinstance(run, dict) or not isinstance(run.get("text"), str):
            raise TypeError(f"text[{i}]: expected a string or a dict with 'text' (and fill_color, stroke_color)")
        out = {"text": run["text"]}
        for key in ("fill_color", "stroke_color"):
            if run.get(key) is not None:
                out[key] = V.colour(run[key], f"text[{i}].{key}")
        unknown = set(run) - {"text", "fill_color", "stroke_color"}
        if unknown:
            raise ValueError(f"text[{i}]: unknown field {sorted(unknown)[0]!r}")
        runs.append(out)
    return runs


def _dash(dash, dash_offset):
    if dash is None:
        return None, None if dash_offset is None else V.number(dash_offset, "dash_offset")
    return ([V.number(d, f"dash[{i}]") for i, d in enumerate(dash)],
            None if dash_offset is None else V.number(dash_offset, "dash_offset"))


class Text(_Drawing):
    """Text set in outlines (the scene file's "text" kind, same fields):
    `text` a string ('\\n' breaks lines) or a list of runs {'text': ...,
    'fill_color': ..., 'stroke_color': ...}; `font` a family name or a font
    file; `size` the em size in user units; `align` 'left', 'center' or
    'right'; `baseline` 'alphabetic', 'middle', 'top' or 'bottom'; the anchor
    is the user origin before `transform`. `progress` reveals the glyphs in
    reading order (a "write" effect)."""
    _kind_name = "text"

    def __init__(self, text, font=None, size=None, align=None, baseline=None, line_height=None, fill_color=None,
                 stroke_color=None, stroke_width=None, transform=None, opacity=None, progress=None, dash=None,
                 dash_offset=None, base_dir=None, id=None):
        if not isinstance(text, (str, list, tuple)):
            raise TypeError(f"text: expected a string or a list of runs, got {type(text).__name__}")
        fill, stroke = _paint_fields(fill_color, stroke_color)
        dash, dash_offset = _dash(dash, dash_offset)
        fields = dict(text=_runs(text), font=None if font is None else os.fspath(font), size=size, align=align,
                      baseline=baseline, line_height=line_height, fill_color=fill, stroke_color=stroke,
                      stroke_width=stroke_width, opacity=opacity, progress=progress, dash=dash,
                      dash_offset=dash_offset,
                      transform=None if transform is None else list(V.fixed(transform, 6, "transform")))
        _numbers(fields, ("size", "line_height", "stroke_width", "opacity", "progress"))
        super().__init__(fields, os.getcwd() if base_dir is None else os.fspath(base_dir), id)


class SVG(_Drawing):
    """An SVG file's drawing (the scene file's "svg" kind, same fields): its
    shapes filled and stroked as vector outlines, `width` or `height` in
    user units (the other follows the drawing; default one SVG unit per user
    unit), centred on the origin or with `align='top_left'` its top left
    corner there; `progress` reveals the shapes in document order."""
    _kind_name = "svg"

    def __init__(self, file, width=None, height=None, align=None, transform=None, opacity=None, progress=None,
                 dash=None, dash_offset=None, id=None):
        dash, dash_offset = _dash(dash, dash_offset)
        fields = dict(file=os.path.abspath(os.fspath(file)), width=width, height=height, align=align,
                      opacity=opacity, progress=progress, dash=dash, dash_offset=dash_offset,
                      transform=None if transform is None else list(V.fixed(transform, 6, "transform")))
        _numbers(fields, ("width", "height", "opacity", "progress"))
        super().__init__(fields, None, id)


class Tex(_Drawing):
    """A TeX formula typeset by MathJax (the scene file's "tex" kind, same
    fields; needs Node.js and the converter's packages, which the README's
    setup installs): `tex` the formula; `display` False for inline style;
    `size` the em size in user units, as for vokri.Text, so that a text and
    a formula of the same size share a baseline; `align` 'left', 'center' or
    'right' and `baseline` 'alphabetic', 'middle', 'top' or 'bottom' place
    the user origin before `transform`; `fill_color` is the formula's colour
    (what \\color leaves alone); `progress` reveals glyphs and bars in
    document order. TeX errors raise SceneFileError with MathJax's message.
    Each formula is converted once and kept (also on disk, in
    $XDG_CACHE_HOME/vokri)."""
    _kind_name = "tex"

    def __init__(self, tex, display=None, size=None, align=None, baseline=None, fill_color=None, transform=None,
                 opacity=None, progress=None, dash=None, dash_offset=None, id=None):
        if not isinstance(tex, str):
            raise TypeError(f"tex: expected a string, got {type(tex).__name__}")
        fill, _ = _paint_fields(fill_color, None)
        dash, dash_offset = _dash(dash, dash_offset)
        fields = dict(tex=tex, display=None if display is None else bool(display), size=size, align=align,
                      baseline=baseline, fill_color=fill, opacity=opacity, progress=progress, dash=dash,
                      dash_offset=dash_offset,
                      transform=None if transform is None else list(V.fixed(transform, 6, "transform")))
        _numbers(fields, ("size", "opacity", "progress"))
        super().__init__(fields, None, id)


def text_outlines(text, **fields):
    """The outlines of a text, for hosts that morph or deform text
    themselves: a list of vokri.VectorShape, one per glyph in the order the
    glyphs are drawn, each with `segments` (n, 8), `subpath_ends` and
    `subpath_closed` numpy arrays in user units (y up, the anchor at the
    origin) and `reveal_order` its place in reading order. Takes the fields
    of vokri.Text."""
    return Text(text, **fields).to_vector().shapes
