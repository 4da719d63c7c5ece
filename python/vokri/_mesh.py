"""Mesh primitives and model matrices, computed as vokri-render computes
them (f64 arithmetic, then rounded to f32), so that a scene file renders the
same from Python and from the command line."""
import math

import numpy as np

from . import _values as V

MAX_DIVISIONS = 2048


def _divisions(p, key, fallback, low=3):
    if key not in p:
        return fallback
    n = p[key]
    if isinstance(n, bool) or not isinstance(n, (int, float)) or not float(n).is_integer() or \
            not low <= n <= MAX_DIVISIONS:
        raise ValueError(f"primitive.{key}: expected an integer from {low} to {MAX_DIVISIONS}, got {n!r}")
    return int(n)


def _mesh(positions, normals, indices):
    return (np.array(positions, dtype=np.float64).astype(np.float32).reshape(-1, 3),
            np.array(normals, dtype=np.float64).astype(np.float32).reshape(-1, 3),
            np.array(indices, dtype=np.uint32))


def cube(size=1.0):
    """24 vertices with flat face normals, triangles counter-clockwise seen from outside."""
    h = size * 0.5
    faces = [((1, 0, 0), (0, 0, -1), (0, 1, 0)), ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
             ((0, 1, 0), (1, 0, 0), (0, 0, -1)), ((0, -1, 0), (1, 0, 0), (0, 0, 1)),
             ((0, 0, 1), (1, 0, 0), (0, 1, 0)), ((0, 0, -1), (-1, 0, 0), (0, 1, 0))]
    pos, nor, idx = [], [], []
    for n, u, v in faces:
        base = len(pos)
        for c0, c1 in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
            pos.append([h * (n[k] + c0 * u[k] + c1 * v[k]) for k in range(3)])
            nor.append(n)
        idx += [base, base + 1, base + 2, base, base + 2, base + 3]
    return _mesh(pos, nor, idx)


def sphere(radius=1.0, segments=32, rings=16):
    pos, nor, idx = [], [], []
    for i in range(rings + 1):
        theta = math.pi * i / rings
        for j in range(segments):
            phi = 2.0 * math.pi * j / segments
            nx, ny, nz = math.sin(theta) * math.cos(phi), math.cos(theta), math.sin(theta) * math.sin(phi)
            pos.append((radius * nx, radius * ny, radius * nz))
            nor.append((nx, ny, nz))

    def at(i, j):
        return i * segments + j % segments
    for i in range(rings):
        for j in range(segments):
            a, b, c, d = at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)
            if i != 0:
                idx += [a, d, c]
            if i + 1 != rings:
                idx += [a, c, b]
    return _mesh(pos, nor, idx)


def torus(major_radius=1.0, minor_radius=0.25, segments=48, sides=None):
    sides = max(3, segments // 2) if sides is None else sides
    pos, nor, idx = [], [], []
    for i in range(segments):
        phi = 2.0 * math.pi * i / segments
        for j in range(sides):
            psi = 2.0 * math.pi * j / sides
            ny = math.sin(psi)
            ring = major_radius + minor_radius * math.cos(psi)
            pos.append((ring * math.cos(phi), minor_radius * ny, ring * math.sin(phi)))
            nor.append((math.cos(psi) * math.cos(phi), ny, math.cos(psi) * math.sin(phi)))

    def at(i, j):
        return (i % segments) * sides + j % sides
    for i in range(segments):
        for j in range(sides):
            a, b, c, d = at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)
            idx += [a, d, c, a, c, b]
    return _mesh(pos, nor, idx)


def make_primitive(p):
    """positions, normals, indices of {'type': 'cube' | 'sphere' | 'torus', ...}."""
    if not isinstance(p, dict) or not isinstance(p.get("type"), str):
        raise ValueError("primitive: expected {'type': 'cube' | 'sphere' | 'torus', ...}")
    kind = p["type"]
    allowed = {"cube": {"size"}, "sphere": {"radius", "segments", "rings"},
               "torus": {"major_radius", "minor_radius", "segments", "sides"}}
    if kind not in allowed:
        raise ValueError(f"primitive.type: unknown primitive {kind!r} (expected 'cube', 'sphere' or 'torus')")
    for key in p:
        if key != "type" and not key.startswith("_") and key not in allowed[kind]:
            raise ValueError(f"primitive.{key}: unknown field")
    num = lambda key, d: V.number(p.get(key, d), f"primitive.{key}")  # noqa: E731
    if kind == "cube":
        return cube(num("size", 1.0))
    if kind == "sphere":
        return sphere(num("radius", 1.0), _divisions(p, "segments", 32), _divisions(p, "rings", 16, low=2))
    segments = _divisions(p, "segments", 48)
    return torus(num("major_radius", 1.0), num("minor_radius", 0.25), segments,
                 _divisions(p, "sides", max(3, segments // 2)))


def compose_model(t, rot, sc):
    """M = T * Rz * Ry * Rx * S, row by row, angles in degrees; 16 f32 values."""
    d = math.pi / 180.0
    cx, sx = math.cos(rot[0] * d), math.sin(rot[0] * d)
    cy, sy = math.cos(rot[1] * d), math.sin(rot[1] * d)
    cz, sz = math.cos(rot[2] * d), math.sin(rot[2] * d)
    rx = ((1, 0, 0), (0, cx, -sx), (0, sx, cx))
    ry = ((cy, 0, sy), (0, 1, 0), (-sy, 0, cy))
    rz = ((cz, -sz, 0), (sz, cz, 0), (0, 0, 1))

    def mul(p, q):
        out = []
        for i in range(3):
            row = []
            for j in range(3):
                acc = 0.0
                for k in range(3):
                    acc += p[i][k] * q[k][j]
                row.append(acc)
            out.append(row)
        return out
    m = mul(mul(rz, ry), rx)
    model = []
    for i in range(3):
        model += [V.f32(m[i][j] * sc[j]) for j in range(3)] + [V.f32(t[i])]
    return tuple(model + [0.0, 0.0, 0.0, 1.0])
