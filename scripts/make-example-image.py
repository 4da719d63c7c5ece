#!/usr/bin/env python3
"""Writes examples/vokri-badge.png, the raster of the showcase's image item:
a 128 x 128 RGBA badge (a plasma disc with a soft, transparent rim and a
light checker ring), using only the standard library."""
import math
import struct
import zlib
from pathlib import Path

W = H = 128


def pixel(x, y):
    u = (x + 0.5) / W * 2 - 1
    v = (y + 0.5) / H * 2 - 1
    r = math.hypot(u, v)
    a = math.atan2(v, u)
    # Plasma colours.
    p = math.sin(u * 5.0 + math.cos(v * 3.0)) + math.sin(v * 4.0 - u * 2.0) + math.sin(r * 9.0 - a * 2.0)
    red = 0.5 + 0.5 * math.sin(p * 1.7)
    green = 0.5 + 0.5 * math.sin(p * 1.7 + 2.1)
    blue = 0.5 + 0.5 * math.sin(p * 1.7 + 4.2)
    # A checker ring between radii 0.72 and 0.86.
    if 0.72 < r < 0.86:
        check = (int((a + math.pi) / (2 * math.pi) * 32) + int(r * 40)) % 2
        red, green, blue = (0.95, 0.95, 1.0) if check else (0.1, 0.12, 0.2)
    alpha = min(max((0.98 - r) / 0.06, 0.0), 1.0)
    return tuple(int(round(c * 255)) for c in (red, green, blue, alpha))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


rows = b"".join(b"\x00" + bytes(c for x in range(W) for c in pixel(x, y)) for y in range(H))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
out = Path(__file__).resolve().parent.parent / "examples" / "vokri-badge.png"
out.write_bytes(png)
print(f"wrote {out} ({len(png)} bytes)")
