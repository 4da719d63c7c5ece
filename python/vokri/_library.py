"""Loading libvokri_core and declaring its five functions."""
import ctypes as C
import os
from pathlib import Path

from . import _records as R

_SONAME = "libvokri_core.so.3"


def _candidates():
    env = os.environ.get("VOKRI_CORE_LIBRARY")
    if env:
        yield env
        return
    here = Path(__file__).resolve().parent
    for name in (_SONAME, "libvokri_core.so"):
        if (here / name).exists():
            yield str(here / name)
    yield _SONAME  # the system loader: an installed library


def _load():
    errors = []
    for path in _candidates():
        try:
            return C.CDLL(path)
        except OSError as e:
            errors.append(f"{path}: {e}")
    raise ImportError("vokri: cannot load the vokri_core library; install it (cmake --install), put it next to "
                      "the package, or set VOKRI_CORE_LIBRARY to its path. Tried: " + "; ".join(errors))


lib = _load()

_SCENE = [C.POINTER(R.ShapeRecord), C.c_uint32, C.POINTER(R.BatchRecord), C.c_uint32,
          C.POINTER(R.VectorRecord), C.c_uint32, C.POINTER(R.ImageRecord), C.c_uint32,
          C.POINTER(R.InfiniteGeometryRecord), C.c_uint32, C.POINTER(R.MeshRecord), C.c_uint32,
          C.POINTER(R.MorphRecord), C.c_uint32]
_CANVAS = [C.c_int32, C.c_int32, C.c_double]

lib.vokri_abi_version.restype = C.c_uint32
lib.vokri_abi_version.argtypes = []
for _name in ("vokri_render_scene_rgba0", "vokri_render_scene_rgb0"):
    _f = getattr(lib, _name)
    _f.restype = C.c_int32
    _f.argtypes = _CANVAS + [C.POINTER(R.DrawItem), C.c_uint32] + _SCENE + [C.POINTER(C.c_uint32), C.c_size_t]
lib.vokri_render_scene_frame.restype = C.c_int32
lib.vokri_render_scene_frame.argtypes = [C.c_char_p] + _CANVAS + [C.POINTER(R.DrawItem), C.c_uint32] + _SCENE
lib.vokri_pick_scene_object.restype = C.c_int32
lib.vokri_pick_scene_object.argtypes = (_CANVAS + [C.POINTER(R.DrawItem), C.POINTER(C.c_int32), C.c_uint32]
                                        + _SCENE + [C.c_uint32, C.c_uint32, C.POINTER(C.c_int32)])

if lib.vokri_abi_version() != R.ABI_VERSION:
    raise ImportError(f"vokri: the loaded vokri_core has ABI {lib.vokri_abi_version()}, this package needs "
                      f"{R.ABI_VERSION}")
