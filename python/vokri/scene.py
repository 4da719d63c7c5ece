"""A Scene: the canvas and an ordered list of draw items, turned into the
library's arrays for the length of one call."""
import ctypes as C

from . import _records as R
from .items import Item, RawItem

_ARRAYS = (  # DrawItem kind -> record type, in the order of the export's arguments
    (R.ITEM_SHAPE, R.ShapeRecord), (R.ITEM_BATCH, R.BatchRecord), (R.ITEM_VECTOR, R.VectorRecord),
    (R.ITEM_IMAGE, R.ImageRecord), (R.ITEM_INFINITE, R.InfiniteGeometryRecord), (R.ITEM_MESH, R.MeshRecord),
    (R.ITEM_MORPH, R.MorphRecord))


class Scene:
    """Draw items painted in order, later over earlier, on a canvas of
    width x height pixels at `scale` pixels per user unit (which the render
    functions may override). The item list may be changed between calls."""

    def __init__(self, items=(), width=None, height=None, scale=None):
        self.items = []
        self.width, self.height, self.scale = width, height, scale
        for item in items:
            self.add(item)

    def add(self, item):
        if not isinstance(item, Item):
            raise TypeError(f"expected a vokri item (Shape, Batch, ...), got {type(item).__name__}")
        self.items.append(item)
        return item

    def __len__(self):
        return len(self.items)

    def ids(self):
        """The id picking reports per item: its own, or its 1-based position."""
        return [i + 1 if item.id is None else item.id for i, item in enumerate(self.items)]

    def _compile(self, scale):
        return _Compiled(self.items, self.ids(), scale)


class _Compiled:
    """The ctypes arrays of one call. Every buffer a record points to is held
    in `keep` until this object goes away, after the call returns."""

    def __init__(self, items, ids, scale):
        self.keep = []
        records = {kind: [] for kind, _ in _ARRAYS}
        draw = []
        for item in items:
            if isinstance(item, RawItem):
                draw.append((item.kind, item.index))
                continue
            rec = records[item.kind]
            draw.append((item.kind, len(rec)))
            rec.append(item._record(self.keep, scale))
        self.item_count = len(draw)
        self.items = (R.DrawItem * max(len(draw), 1))(*[R.DrawItem(k, i) for k, i in draw])
        self.ids = (C.c_int32 * max(len(ids), 1))(*ids)
        self.arrays = []
        for kind, rtype in _ARRAYS:
            rec = records[kind]
            arr = (rtype * max(len(rec), 1))(*rec)
            self.arrays += [C.cast(arr, C.POINTER(rtype)), len(rec)]
            self.keep.append(arr)
        self.kinds = [kind for kind, _ in draw]
        self.geometry = [None if isinstance(item, RawItem) or item.kind != R.ITEM_INFINITE else item.geometry_kind
                         for item in items]

    def kind_name(self, i):
        names = ("shape", "batch", "vector", "morph", "image", "mesh")
        k = self.kinds[i]
        if k < len(names):
            return names[k]
        if k == R.ITEM_INFINITE and self.geometry[i] is not None:
            g = self.geometry[i]
            return R.GEOMETRY_KINDS[g] if g < 4 else "infinite"
        return f"kind {k}"
