"""Loading libvokri_scenefile and declaring its functions. The scene library
carries the renderer; everything the package does not build itself (scene
files, tracks, meshes, colours, rendering, frame files, video) is its."""
import ctypes as C
import os
from pathlib import Path

from . import _records as R

_SONAME = "libvokri_scenefile.so.1"


def _candidates():
    """Where the library may be, in order: $VOKRI_SCENEFILE_LIBRARY, inside
    the package (pip install puts it there), the system loader."""
    env = os.environ.get("VOKRI_SCENEFILE_LIBRARY")
    if env:
        yield env
    here = Path(__file__).resolve().parent
    yield str(here / _SONAME)
    yield _SONAME


def _load():
    tried = []
    for path in _candidates():
        try:
            lib = C.CDLL(path)
        except OSError as e:
            tried.append(f"{path} ({e})")
            continue
        lib.vokri_scenefile_abi_version.restype = C.c_uint32
        if lib.vokri_scenefile_abi_version() == R.SCENEFILE_ABI_VERSION:
            return lib
        tried.append(f"{path} (ABI {lib.vokri_scenefile_abi_version()}, this package needs "
                     f"{R.SCENEFILE_ABI_VERSION})")
    raise ImportError("vokri: cannot load the scene library libvokri_scenefile; `pip install ./python` builds it "
                      "into the package, or set VOKRI_SCENEFILE_LIBRARY to its path. Looked in: " + "; ".join(tried))


lib = _load()

_ERROR = C.POINTER(C.POINTER(R.SceneFileErrorRecord))
_RECORDS = C.POINTER(R.SceneRecords)


def _declare(name, restype, *argtypes):
    f = getattr(lib, name)
    f.restype, f.argtypes = restype, list(argtypes)


_declare("vokri_scenefile_error_free", None, C.POINTER(R.SceneFileErrorRecord))
_declare("vokri_scenefile_core_abi_version", C.c_uint32)
_declare("vokri_scenefile_open", C.c_void_p, C.c_char_p, C.POINTER(R.SceneOptions), _ERROR)
_declare("vokri_scenefile_parse", C.c_void_p, C.c_char_p, C.c_size_t, C.c_char_p, C.c_char_p,
         C.POINTER(R.SceneOptions), _ERROR)
_declare("vokri_scenefile_close", None, C.c_void_p)
_declare("vokri_scenefile_info", None, C.c_void_p, C.POINTER(R.SceneInfo))
_declare("vokri_scenefile_frame", C.c_void_p, C.c_void_p, C.c_int64, _ERROR)
_declare("vokri_scenefile_frame_records", _RECORDS, C.c_void_p)
_declare("vokri_scenefile_frame_free", None, C.c_void_p)
_declare("vokri_scenefile_frame_warning_count", C.c_uint32, C.c_void_p)
_declare("vokri_scenefile_frame_warning", C.c_char_p, C.c_void_p, C.c_uint32)
_declare("vokri_scenefile_build_item", C.c_void_p, C.c_char_p, C.c_size_t, C.c_char_p, C.c_double, _ERROR)
_declare("vokri_scenefile_text_glyphs", C.c_void_p, C.c_char_p, C.c_size_t, C.c_char_p, _ERROR)
_declare("vokri_scenefile_render", C.c_int32, _RECORDS, C.c_int32, C.c_int64, C.POINTER(C.c_uint32), C.c_size_t,
         _ERROR)
_declare("vokri_scenefile_render_file", C.c_int32, _RECORDS, C.c_int32, C.c_int64, C.c_char_p, _ERROR)
_declare("vokri_scenefile_pick", C.c_int32, _RECORDS, C.c_int64, C.c_uint32, C.c_uint32, C.POINTER(C.c_int32),
         _ERROR)
_declare("vokri_scenefile_remove_stale_temporaries", C.c_int32, C.c_char_p)
_declare("vokri_scenefile_same_drawing", C.c_int32, _RECORDS, _RECORDS)
_declare("vokri_scenefile_video_open", C.c_void_p, C.c_char_p, C.c_int32, C.c_int32, C.c_double, C.c_int32, _ERROR)
_declare("vokri_scenefile_video_write", C.c_int32, C.c_void_p, C.POINTER(C.c_uint32), C.c_size_t, _ERROR)
_declare("vokri_scenefile_video_finish", C.c_int32, C.c_void_p, _ERROR)
_declare("vokri_scenefile_video_free", None, C.c_void_p)
_declare("vokri_scenefile_video_kind", C.c_int32, C.c_char_p)
_declare("vokri_scenefile_parse_colour", C.c_int32, C.c_char_p, C.POINTER(C.c_uint32))
_declare("vokri_scenefile_mesh", C.POINTER(R.SceneMesh), C.c_char_p, _ERROR)
_declare("vokri_scenefile_mesh_free", None, C.POINTER(R.SceneMesh))
_declare("vokri_scenefile_compose_model", None, C.POINTER(C.c_double), C.POINTER(C.c_double),
         C.POINTER(C.c_double), C.POINTER(C.c_float))
_declare("vokri_scenefile_read_png", C.c_int32, C.c_char_p, C.POINTER(C.c_uint32), C.POINTER(C.c_uint32),
         C.POINTER(C.POINTER(C.c_uint8)), _ERROR)
_declare("vokri_scenefile_pixels_free", None, C.POINTER(C.c_uint8))

if lib.vokri_scenefile_core_abi_version() != R.ABI_VERSION:
    raise ImportError(f"vokri: the scene library carries a renderer of ABI {lib.vokri_scenefile_core_abi_version()}, "
                      f"this package needs {R.ABI_VERSION}")
