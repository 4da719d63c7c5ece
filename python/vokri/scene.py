"""A Scene: the canvas and an ordered list of draw items, turned into the
library's records for the length of one call."""
import ctypes as C

from . import _records as R
from .items import Item, RawItem

_ARRAYS = (  # DrawItem kind -> record type and the VokriSceneRecords fields of its array
    (R.ITEM_SHAPE, R.ShapeRecord, "shapes"), (R.ITEM_BATCH, R.BatchRecord, "batches"),
    (R.ITEM_VECTOR, R.VectorRecord, "vectors"), (R.ITEM_IMAGE, R.ImageRecord, "images"),
    (R.ITEM_INFINITE, R.InfiniteGeometryRecord, "infinite_geometry"), (R.ITEM_MESH, R.MeshRecord, "meshes"),
    (R.ITEM_MORPH, R.MorphRecord, "morphs"))
_COUNTS = {"shapes": "shape_count", "batches": "batch_count", "vectors": "vector_count", "images": "image_count",
           "infinite_geometry": "infinite_geometry_count", "meshes": "mesh_count", "morphs": "morph_count"}


class Scene:
    """Draw items painted in order, later over earlier, on a canvas of
    width x height pixels at `scale` pixels per user unit (which the render
    functions may override). The item list may be changed between calls.
    In a notebook, a Scene shows as its rendered frame."""

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

    def __iter__(self):
        return iter(self.items)

    def __repr__(self):
        kinds = {}
        for item in self.items:
            kinds[type(item).__name__] = kinds.get(type(item).__name__, 0) + 1
        listed = ", ".join(f"{n} {k}" for k, n in kinds.items()) or "no items"
        return f"<vokri.Scene {self.width} x {self.height} at scale {self.scale}: {listed}>"

    def _repr_png_(self):
        """The frame as PNG bytes, for notebooks."""
        from .render import png_bytes
        return png_bytes(self)

    def ids(self):
        """The id picking reports per item: its own, or its 1-based position."""
        return [i + 1 if item.id is None else item.id for i, item in enumerate(self.items)]

    def _compile(self, width, height, scale):
        return _Compiled(self.items, self.ids(), width, height, scale)


_NAMES = {R.ITEM_SHAPE: "shape", R.ITEM_BATCH: "batch", R.ITEM_VECTOR: "vector", R.ITEM_MORPH: "morph",
          R.ITEM_IMAGE: "image", R.ITEM_MESH: "mesh"}


def _kind_name(item):
    """The kind errors name an item by: that of scene files."""
    if getattr(item, "_kind_name", None):
        return item._kind_name
    if isinstance(item, RawItem):
        return f"kind {item.kind}"
    if item.kind == R.ITEM_INFINITE:
        g = item.geometry_kind
        return R.GEOMETRY_KINDS[g] if g < len(R.GEOMETRY_KINDS) else "infinite"
    return _NAMES[item.kind]


class _Compiled:
    """The VokriSceneRecords of one call. Every buffer a record points to is
    held in `keep` until this object goes away, after the call returns."""

    def __init__(self, items, ids, width, height, scale):
        self.keep = []
        records = {kind: [] for kind, _, _ in _ARRAYS}
        draw, draw_ids, sources = [], [], []
        kinds = []
        for position, (item, item_id) in enumerate(zip(items, ids)):
            if isinstance(item, RawItem):
                draw.append((item.kind, item.index))
                made = [None]
            else:
                made = (item._records(self.keep, scale) if hasattr(item, "_records")
                        else [(item.kind, item._record(self.keep, scale))])
                for kind, record in made:  # an item may make several records: a DrawItem each, named by the item
                    draw.append((kind, len(records[kind])))
                    records[kind].append(record)
            draw_ids += [item_id] * len(made)
            sources += [position] * len(made)
            kinds += [_kind_name(item).encode()] * len(made)
        r = R.SceneRecords(width=width, height=height, scale=scale, item_count=len(draw))
        draw_items = (R.DrawItem * max(len(draw), 1))(*[R.DrawItem(k, i) for k, i in draw])
        id_array = (C.c_int32 * max(len(draw_ids), 1))(*draw_ids)
        source_array = (C.c_uint32 * max(len(sources), 1))(*sources)
        r.items, r.ids = C.cast(draw_items, C.POINTER(R.DrawItem)), C.cast(id_array, C.POINTER(C.c_int32))
        kind_array = (C.c_char_p * max(len(kinds), 1))(*kinds)
        r.sources = C.cast(source_array, C.POINTER(C.c_uint32))
        r.kinds = C.cast(kind_array, C.POINTER(C.c_char_p))
        self.keep += [draw_items, id_array, source_array, kind_array]
        for kind, rtype, field in _ARRAYS:
            rec = records[kind]
            arr = (rtype * max(len(rec), 1))(*rec)
            setattr(r, field, C.cast(arr, C.POINTER(rtype)))
            setattr(r, _COUNTS[field], len(rec))
            self.keep.append(arr)
        self.records = r
