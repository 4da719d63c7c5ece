"""Checking and converting the values a caller passes: numbers, colours,
names, transforms and numpy arrays. Every failure is a ValueError or a
TypeError naming the field."""
import ctypes as C
import math
import numbers

import numpy as np

from ._library import lib

IDENTITY = (1.0, 0.0, 0.0, 1.0, 0.0, 0.0)
U32_MAX = 0xFFFFFFFF


def number(v, what):
    """A finite number: NaN and the infinities never reach the library."""
    if isinstance(v, bool) or not isinstance(v, numbers.Real):
        raise TypeError(f"{what}: expected a number, got {type(v).__name__}")
    v = float(v)
    if not math.isfinite(v):
        raise ValueError(f"{what}: expected a finite number, got {v!r}")
    return v


def u32(v, what):
    if isinstance(v, bool) or not isinstance(v, numbers.Integral):
        if isinstance(v, numbers.Real) and float(v).is_integer():
            v = int(v)
        else:
            raise TypeError(f"{what}: expected an integer, got {type(v).__name__}")
    if not 0 <= int(v) <= U32_MAX:
        raise ValueError(f"{what}: expected an integer from 0 to {U32_MAX}, got {v}")
    return int(v)


def flag(v, what):
    if isinstance(v, bool):
        return int(v)
    return u32(v, what)


def name_or_u32(v, names, what):
    """One of `names` (its position) or an integer."""
    if isinstance(v, str):
        if v not in names:
            raise ValueError(f"{what}: unknown name {v!r} (expected one of {', '.join(map(repr, names))} "
                             "or an integer)")
        return names.index(v)
    return u32(v, what)


def colour(v, what):
    """A colour as 0xRRGGBBAA: a string the scene library parses ('#rgb',
    '#rgba', '#rrggbb', '#rrggbbaa', a CSS name), a tuple (r, g, b[, a]) of
    integers 0..255 or of floats 0..1, or an integer 0xRRGGBBAA."""
    if isinstance(v, str):
        out = C.c_uint32()
        if lib.vokri_scenefile_parse_colour(v.encode("utf-8", "replace"), C.byref(out)) != 0:
            raise ValueError(f"{what}: expected a colour ('#rrggbbaa', '#rrggbb', '#rgb', a CSS name, an (r, g, b[, "
                             f"a]) tuple or an integer 0xRRGGBBAA), got {v!r}")
        return out.value
    if isinstance(v, tuple):
        return _tuple_colour(v, what)
    return u32(v, what)


def _tuple_colour(v, what):
    if len(v) not in (3, 4) or any(isinstance(c, bool) or not isinstance(c, numbers.Real) for c in v):
        raise ValueError(f"{what}: expected (r, g, b) or (r, g, b, a), got {v!r}")
    if all(isinstance(c, numbers.Integral) for c in v):
        channels = [int(c) for c in v]
    elif all(0.0 <= float(c) <= 1.0 for c in v):
        channels = [int(math.floor(float(c) * 255.0 + 0.5)) for c in v]
    else:
        raise ValueError(f"{what}: channels are integers 0..255 or floats 0..1, got {v!r}")
    if any(not 0 <= c <= 255 for c in channels):
        raise ValueError(f"{what}: channels are integers 0..255, got {v!r}")
    if len(channels) == 3:
        channels.append(255)
    r, g, b, a = channels
    return r << 24 | g << 16 | b << 8 | a


def colours(v, count, what):
    """One colour for every element (a string, a tuple or an integer), or a
    list of at least `count` colours."""
    if v is None:
        return None
    if isinstance(v, (str, tuple, numbers.Integral)) and not isinstance(v, bool):
        return np.full(max(count, 1), colour(v, what), dtype=np.uint32)
    if isinstance(v, np.ndarray) and v.dtype.kind in "ui":
        arr = np.ascontiguousarray(v.reshape(-1), dtype=np.uint32)
        if v.size and (v.min() < 0 or v.max() > U32_MAX):
            raise ValueError(f"{what}: colours must lie in 0..0xFFFFFFFF")
    else:
        arr = np.array([colour(c, f"{what}[{i}]") for i, c in enumerate(v)], dtype=np.uint32)
    if len(arr) < count:
        raise ValueError(f"{what}: has {len(arr)} entries but count is {count}")
    return arr


def numbers_list(v, count, what):
    """One number for every element, or a list of at least `count` numbers."""
    if v is None:
        return None
    if isinstance(v, numbers.Real) and not isinstance(v, bool):
        return np.full(max(count, 1), float(v), dtype=np.float64)
    arr = f64(v, what).reshape(-1)
    if len(arr) < count:
        raise ValueError(f"{what}: has {len(arr)} entries but count is {count}")
    return arr


def f64(v, what):
    """A float64 C-contiguous array of finite numbers; no copy when `v`
    already is one."""
    try:
        arr = np.asarray(v, dtype=np.float64)
    except (TypeError, ValueError) as e:
        raise TypeError(f"{what}: expected numbers ({e})") from None
    return finite_array(np.ascontiguousarray(arr), what)


def finite_array(arr, what):
    if arr.dtype.kind == "f" and arr.size and not np.isfinite(arr).all():
        i = int(np.flatnonzero(~np.isfinite(arr.reshape(-1)))[0])
        raise ValueError(f"{what}: expected finite numbers, got {arr.reshape(-1)[i]!r} at flat position {i}")
    return arr


def tuples(v, k, what, dtype=np.float64):
    """Rows of k values: an (n, k) array or a flat array of n * k values, as an
    (n, k) C-contiguous array of `dtype`."""
    if dtype == np.uint32:
        arr = np.asarray(v)
        if arr.size and arr.dtype.kind not in "ui":
            raise TypeError(f"{what}: expected integers, got {arr.dtype}")
        if arr.size and (arr.min() < 0 or arr.max() > U32_MAX):
            raise ValueError(f"{what}: values must lie in 0..{U32_MAX}")
        arr = np.ascontiguousarray(arr, dtype=np.uint32)
    else:
        try:
            arr = finite_array(np.ascontiguousarray(np.asarray(v, dtype=dtype)), what)
        except TypeError as e:
            raise TypeError(f"{what}: expected numbers ({e})") from None
    if arr.ndim == 2 and arr.shape[1] == k:
        return arr
    if arr.ndim == 1 and arr.size % k == 0:
        return arr.reshape(-1, k)
    if arr.ndim == 1 and arr.size == 0:
        return arr.reshape(0, k)
    raise ValueError(f"{what}: expected an (n, {k}) array or a flat array of n * {k} values, got shape {arr.shape}")


def fixed(v, n, what, default=None):
    """Exactly n numbers."""
    if v is None:
        return tuple(default) if default is not None else (0.0,) * n
    vals = [number(x, f"{what}[{i}]") for i, x in enumerate(v)]
    if len(vals) != n:
        raise ValueError(f"{what}: expected {n} numbers, got {len(vals)}")
    return tuple(vals)


def count(explicit, available, what):
    """An explicit count, which may not exceed what is given, or the number given."""
    if explicit is None:
        if available > U32_MAX:
            raise ValueError(f"more {what} than a u32 count can hold")
        return available
    n = u32(explicit, f"{what} count")
    if n > available:
        raise ValueError(f"{what} count {n} exceeds the {available} {what} given")
    return n


def f32(x):
    """f64 to f32 as the C conversion does, magnitudes beyond the f32 range
    becoming infinite."""
    if math.isnan(x):
        return float("nan")
    with np.errstate(over="ignore"):
        return float(np.float32(x))
