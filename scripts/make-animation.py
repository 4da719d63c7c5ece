#!/usr/bin/env python3
"""Writes examples/animation.json: the showcase scene set in motion (six
seconds at 30 frames per second). Every moving value is a track; see the
"Animation" section of docs/scene-format.md.

    python3 scripts/make-animation.py
    vokri-render --video animation.mp4 examples/animation.json
"""
import json
import math
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DURATION, FPS = 6.0, 30


def track(keys, ease="linear"):
    return {"keys": [[round(t, 4), v] for t, v in keys], "ease": ease}


def wave(lo, hi, ease="smooth"):
    """lo at the start and the end, hi half way."""
    return track([(0, lo), (DURATION / 2, hi), (DURATION, lo)], ease)


def rotation(tx, ty, turns, scale=1.0, start=0.0, keys=48):
    """A transform turning `turns` times about (tx, ty); keys close enough
    that the straight lines between them stay rotations to the eye."""
    out = []
    for i in range(keys + 1):
        t = DURATION * i / keys
        a = start + 2 * math.pi * turns * i / keys
        c, s = scale * math.cos(a), scale * math.sin(a)
        out.append((t, [round(c, 6), round(s, 6), round(-s, 6), round(c, 6), tx, ty]))
    return track(out)


def main():
    scene = json.loads((ROOT / "examples" / "showcase.json").read_text())
    scene["_about"] = "vokri_core showcase in motion; regenerate with scripts/make-animation.py"
    scene["animation"] = {"fps": FPS, "duration": DURATION}
    items = scene["items"]
    for item in items:
        item.pop("_note", None)

    fractal, complex_grid = items[0], items[1]
    fractal["t"] = track([(0, 0.39), (DURATION, 1.39)])
    m = fractal["transform"]
    fractal["transform"] = track([(0, m), (DURATION, [1.6, 0, 0, 1.6, m[4], m[5]])], "smooth")
    complex_grid["t"] = wave(0.1, 1.0)

    bars, dots = items[6], items[7]
    bars["t"] = wave(0.0, 1.0)
    dots["t"] = track([(0, 0.0), (2.5, 1.0), (3.5, 1.0), (DURATION, 0.0)], "smooth")

    title = items[10]  # written letter by letter
    title["progress"] = track([(0, 0.0), (3.0, 1.0)], "smooth")
    formula = items[-1]  # writes itself, glyph by glyph
    formula["progress"] = track([(1.5, 0.0), (4.5, 1.0)], "smooth")

    for k, morph in enumerate(items[11:16]):
        phase = k / 4
        keys = [(0, phase), (DURATION * (1 - phase) / 2, 1.0), (DURATION * (1 - phase) / 2 + DURATION / 2, 0.0),
                (DURATION, phase)]
        morph["t"] = track([k for i, k in enumerate(keys) if i == 0 or k[0] > keys[i - 1][0]], "smooth")

    mesh = items[16]
    for layer, spin in zip(mesh["layers"], ([0, 360, 0], [180, 360, 0], [0, 0, 0])):
        r = layer.get("rotate", [0, 0, 0])
        layer["rotate"] = track([(0, r), (DURATION, [a + b for a, b in zip(r, spin)])])
    mesh["eye"] = track([(0, [0, 0.9, 7.5]), (DURATION / 2, [0, 1.6, 7.2]), (DURATION, [0, 0.9, 7.5])], "smooth")

    badge = items[17]
    t = badge["transform"]
    badge["transform"] = rotation(t[4], t[5], -1, start=math.atan2(t[1], t[0]))
    badge["opacity"] = track([(0, 0.0), (1.0, 0.95)], "smooth")

    line, polyline, polygon, rect, square, circle, ellipse, arc, hexagon, curve = items[19:39:2]
    line["p1"] = wave(-0.35, 0.35)
    line["p3"] = wave(0.35, -0.35)
    polyline["stroke_color"] = track([(0, "#feca57b0"), (3, "#ff6b6bb0"), (6, "#feca57b0")], "smooth")
    polygon["opacity"] = wave(1.0, 0.35)
    rect["p0"] = wave(0.9, 0.45)
    rect["p1"] = wave(0.55, 0.9)
    square["transform"] = rotation(square["transform"][4], square["transform"][5], 0.25, start=-math.pi / 6)
    circle["p0"] = wave(0.36, 0.2)
    circle["fill_color"] = track([(0, "#a29bfe70"), (3, "#48dbfbd0"), (6, "#a29bfe70")], "smooth")
    ellipse["transform"] = rotation(ellipse["transform"][4], ellipse["transform"][5], 0.5,
                                    start=math.atan2(ellipse["transform"][1], ellipse["transform"][0]))
    arc["p2"] = wave(0.3, 6.2)
    hexagon["p2"] = track([(0, 0.0), (DURATION, math.pi / 3)])
    hexagon["fill_color"] = track([(t, c) for t, c in zip(range(6), ("#5f27cdc0", "#ee5253c0", "#10ac84c0",
                                                                     "#2e86dec0", "#ff9f43c0", "#5f27cdc0"))], "hold")
    curve["p3"] = wave(0.9, -0.9)
    curve["p5"] = wave(-0.9, 0.9)

    ring = items[-1]  # the dashed ring around the badge: marching dashes
    ring["dash_offset"] = track([(0, 0.0), (DURATION, -2.5)])

    text = json.dumps(scene, separators=(", ", ": "))
    (ROOT / "examples" / "animation.json").write_text(text + "\n")


if __name__ == "__main__":
    main()
