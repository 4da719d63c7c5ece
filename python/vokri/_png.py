"""Reads 8-bit PNG files into straight-alpha RGBA bytes, as the scene
files' `file` field needs them. Other bit depths and interlaced files are
refused with a clear message (convert them, or pass the pixels)."""
import struct
import zlib

import numpy as np

_SIGNATURE = b"\x89PNG\r\n\x1a\n"
_CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


class PngError(ValueError):
    pass


def _chunks(data):
    if not data.startswith(_SIGNATURE):
        raise PngError("not a PNG file")
    pos = 8
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise PngError("truncated file")
        yield kind, body
        pos += 12 + length
        if kind == b"IEND":
            return
    raise PngError("truncated file")


def _unfilter(raw, height, stride, bpp):
    out = np.zeros((height, stride), dtype=np.uint8)
    prev = np.zeros(stride, dtype=np.int32)
    pos = 0
    for y in range(height):
        ftype = raw[pos]
        line = np.frombuffer(raw, dtype=np.uint8, count=stride, offset=pos + 1).astype(np.int32)
        pos += stride + 1
        if ftype == 0:
            cur = line
        elif ftype == 1 or ftype == 3 or ftype == 4:
            cur = line.copy()
            for x in range(stride):  # left-dependent filters run byte by byte
                a = cur[x - bpp] if x >= bpp else 0
                b = prev[x]
                if ftype == 1:
                    pred = a
                elif ftype == 3:
                    pred = (a + b) >> 1
                else:
                    c = prev[x - bpp] if x >= bpp else 0
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[x] = (cur[x] + pred) & 0xFF
        elif ftype == 2:
            cur = (line + prev) & 0xFF
        else:
            raise PngError(f"bad filter type {ftype}")
        out[y] = cur
        prev = cur
    return out


def read_png_rgba(path, max_pixels):
    """(width, height, flat RGBA uint8 array) of the PNG file at `path`."""
    with open(path, "rb") as f:
        data = f.read()
    header, idat, palette, trns = None, [], None, None
    for kind, body in _chunks(data):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"PLTE":
            palette = np.frombuffer(body, dtype=np.uint8).reshape(-1, 3)
        elif kind == b"tRNS":
            trns = body
        elif kind in (b"gAMA", b"iCCP", b"cHRM"):
            if kind != b"gAMA" or not 44000 <= struct.unpack(">I", body)[0] <= 47000:
                raise PngError("has colour-space information other than sRGB; only plain 8-bit sRGB files are read")
    if header is None:
        raise PngError("no IHDR chunk")
    width, height, depth, ctype, _, _, interlace = header
    if depth != 8 or interlace != 0 or ctype not in _CHANNELS:
        raise PngError(f"bit depth {depth}, colour type {ctype}, interlace {interlace}: only 8-bit "
                       "non-interlaced files are read here (convert the file or give the pixels)")
    if width * height > max_pixels:
        raise PngError(f"{width} x {height} pixels is more than the limit of {max_pixels}")
    channels = _CHANNELS[ctype]
    try:
        raw = zlib.decompress(b"".join(idat))
    except zlib.error as e:
        raise PngError(f"bad image data ({e})") from None
    if len(raw) < height * (width * channels + 1):
        raise PngError("image data too short")
    px = _unfilter(raw, height, width * channels, channels).reshape(height, width, channels)
    rgba = np.empty((height, width, 4), dtype=np.uint8)
    if ctype == 3:
        if palette is None:
            raise PngError("palette image without PLTE")
        index = px[:, :, 0]
        if index.size and index.max() >= len(palette):
            raise PngError("palette index out of range")
        rgba[:, :, :3] = palette[index]
        alpha = np.full(256, 255, dtype=np.uint8)
        if trns:
            alpha[:len(trns)] = np.frombuffer(trns, dtype=np.uint8)[:256]
        rgba[:, :, 3] = alpha[index]
    elif ctype in (0, 4):
        rgba[:, :, :3] = px[:, :, :1]
        rgba[:, :, 3] = px[:, :, 1] if ctype == 4 else 255
        if ctype == 0 and trns and len(trns) >= 2:
            rgba[:, :, 3][px[:, :, 0] == (struct.unpack(">H", trns[:2])[0] & 0xFF)] = 0
    else:
        rgba[:, :, :3] = px[:, :, :3]
        rgba[:, :, 3] = px[:, :, 3] if ctype == 6 else 255
        if ctype == 2 and trns and len(trns) >= 6:
            key = [v & 0xFF for v in struct.unpack(">HHH", trns[:6])]
            rgba[:, :, 3][np.all(px[:, :, :3] == key, axis=2)] = 0
    return width, height, rgba.reshape(-1)
