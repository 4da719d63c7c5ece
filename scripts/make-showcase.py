#!/usr/bin/env python3
"""Writes the showcase scenes for vokri-render:

  examples/showcase-full.json  every item kind and every shape type
  examples/showcase.json       the same frame restricted to the kinds given
                               with --kinds (those the library draws today)

Usage: scripts/make-showcase.py [--kinds shape,batch,...] [--probe TOOL]
  --kinds  kinds to keep in showcase.json (default: all)
  --probe  keep only the items that TOOL (a vokri-render binary) renders
           without error, each tried on its own
The frame is 1280 x 720 at 100 pixels per unit: x runs from -6.4 to 6.4 and
y from -3.6 to 3.6, y up."""
import argparse
import json
import math
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ALL_KINDS = ["shape", "batch", "vector", "morph", "image", "mesh", "line", "grid", "complex_grid", "fractal", "text",
             "svg", "tex"]


def r4(v):
    return round(v, 4) + 0.0


def move(x, y):
    return [1, 0, 0, 1, r4(x), r4(y)]


def rot(deg, x, y, s=1.0):
    c, d = math.cos(math.radians(deg)) * s, math.sin(math.radians(deg)) * s
    return [r4(c), r4(-d), r4(d), r4(c), r4(x), r4(y)]


def hsv(h, s, v, a=255):
    i = int(h * 6) % 6
    f = h * 6 - int(h * 6)
    p, q, t = v * (1 - s), v * (1 - f * s), v * (1 - (1 - f) * s)
    r, g, b = [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i]
    return "#%02x%02x%02x%02x" % (round(r * 255), round(g * 255), round(b * 255), a)


# ---- cubic outlines for the vector glyphs -----------------------------------

def title_text():
    colours = ["#ff6b6b", "#ff9f43", "#feca57", "#48dbfb", "#a29bfe"]
    return {"kind": "text", "_note": "the word 'vokri' set in DejaVu Sans Bold, written letter by letter: the last "
                                     "letter is half way in",
            "text": [{"text": c, "fill_color": colour} for c, colour in zip("vokri", colours)],
            "font": "DejaVu Sans:bold", "size": 1.75, "stroke_color": "#ffffff70", "stroke_width": 0.015,
            "progress": 0.9, "transform": [1.0, 0, 0, 1.0, -5.95, 2.1]}


# ---- the frame -----------------------------------------------------------------

def scene():
    items = []
    add = items.append

    # Backdrop: the Mandelbrot set on the right, dark far away.
    add({"kind": "fractal", "variant": "mandelbrot", "a0": 160, "a1": 8, "p1": [1.6, 0], "t": 0.39,
         "colour1": "#06070c", "colour2": "#3050ff", "transform": [1.1, 0, 0, 1.1, 4.6, 2.0],
         "line_width": 0.01})
    # A bent grid: the lines of a square grid carried through a half-turned Moebius map.
    add({"kind": "complex_grid", "variant": 3, "t": 0.55, "a2": 0.35, "a3": 0.35,
         "colour1": "#ff6b6b30", "colour2": "#48dbfb30", "line_width": 0.012,
         "transform": [2.2, 0, 0, 2.2, -7.0, 4.1]})

    # Chart panel: graph paper, axes, bars growing, dots flying in, a curve.
    ox, oy = -5.9, -1.65
    add({"kind": "shape", "shape_type": "rectangle", "p0": 6.0, "p1": 2.6, "transform": move(-3.25, -0.45),
         "fill_color": "#0e1118d8", "stroke_color": "#ffffff30", "stroke_width": 0.02})
    add({"kind": "grid", "a0": ox, "a1": oy, "a2": 0.25, "a3": 0.25, "colour1": "#8fb3ff1c", "line_width": 0.01})
    add({"kind": "line", "a0": ox, "a1": oy, "a2": 1, "a3": 0, "colour1": "#ffffff50", "line_width": 0.02})
    add({"kind": "line", "a0": ox, "a1": oy, "a2": 0, "a3": 1, "colour1": "#ffffff50", "line_width": 0.02})
    bars, targets, bar_colours = [], [], []
    for i in range(12):
        h0 = 0.25 + 0.15 * ((i * 7) % 5)
        h1 = 0.5 + 1.6 * (0.5 + 0.5 * math.sin(i * 0.55 + 0.4))
        x = ox + 0.35 + i * 0.45
        bars.append([r4(x), r4(oy + h0 / 2), 0.3, r4(h0)])
        targets.append([r4(x), r4(oy + h1 / 2), 0.3, r4(h1)])
        bar_colours.append(hsv(0.55 + i * 0.025, 0.65, 0.95, 200))
    add({"kind": "batch", "mode": "rectangles", "_note": "bars in transition at t = 0.6",
         "elements": bars, "target_elements": targets, "fill_colors": bar_colours,
         "target_fill_colors": "#48dbfbd0", "t": 0.6})
    dots, dot_targets, dot_colours = [], [], []
    for i in range(40):
        a = i / 40 * 2 * math.pi
        dots.append([r4(-3.2 + 0.9 * math.cos(a)), r4(-0.35 + 0.9 * math.sin(a)), 0.06])
        x = ox + 0.2 + i * 0.14
        dot_targets.append([r4(x), r4(oy + 1.35 + 0.75 * math.sin(x * 1.3)), 0.05])
        dot_colours.append(hsv(i / 40, 0.7, 1.0))
    add({"kind": "batch", "mode": "circles", "_note": "a ring of dots on its way to a sine wave",
         "elements": dots, "target_elements": dot_targets, "fill_colors": dot_colours,
         "stroke_colors": "#ffffffc0", "stroke_widths": 0.012, "t": 0.55})
    curve = [[r4(ox + i * 0.05), r4(oy + 1.35 + 0.75 * math.sin((ox + i * 0.05) * 1.3))] for i in range(117)]
    add({"kind": "shape", "shape_type": "polyline", "points": curve, "stroke_color": "#feca5790",
         "stroke_width": 0.025})
    rays = []
    for i in range(24):
        a = i / 24 * 2 * math.pi
        rays.append([r4(-3.2 + 0.3 * math.cos(a)), r4(-0.35 + 0.3 * math.sin(a)),
                     r4(-3.2 + 0.7 * math.cos(a)), r4(-0.35 + 0.7 * math.sin(a))])
    add({"kind": "batch", "mode": "segments", "_note": "hairline rays",
         "elements": rays, "stroke_colors": "#ffffff90", "stroke_widths": 0.01})

    # Title.
    add(title_text())

    # Morph strip: a circle becoming a square.
    for i in range(5):
        t = i / 4
        x, y = -5.6 + i * 1.0, 1.3
        add({"kind": "morph", "t": t, "_note": "t = %g" % t, "id": 100 + i,
             "from": {"shape_type": "circle", "p0": 0.3, "fill_color": "#ff6b6bd0", "stroke_color": "#ffffff",
                      "stroke_width": 0.02, "transform": move(x, y)},
             "to": {"shape_type": "square", "p0": 0.52, "fill_color": "#48dbfbd0", "stroke_color": "#ffffff",
                    "stroke_width": 0.02, "transform": rot(45, x, y)}})

    # Lit meshes.
    add({"kind": "mesh", "eye": [0, 0.9, 7.5], "target": [0, 0, 0], "fov_y": 38, "near": 0.5, "far": 50,
         "layers": [
             {"primitive": {"type": "torus", "major_radius": 0.62, "minor_radius": 0.21, "segments": 64,
                            "sides": 32}, "rotate": [62, 0, 18], "translate": [1.75, -0.4, 0],
              "colour": "#ff9f43"},
             {"primitive": {"type": "cube", "size": 0.62}, "rotate": [24, 38, 0], "translate": [3.15, -0.3, -0.3],
              "colour": "#8c7bff"},
             {"primitive": {"type": "sphere", "radius": 0.4, "segments": 48, "rings": 24},
              "translate": [2.45, -0.7, 0.9], "colour": "#1dd1a1", "opacity": 0.7}]})

    # Image: the badge, slightly turned.
    add({"kind": "image", "file": "vokri-badge.png", "display_width": 1.3, "display_height": 1.3,
         "transform": rot(-12, 5.45, -0.75), "opacity": 0.95})

    # Shape gallery along the bottom: every shape type, filled and stroked,
    # opaque and translucent.
    gallery = [
        {"shape_type": "line", "p0": -0.4, "p1": -0.35, "p2": 0.4, "p3": 0.35, "stroke_color": "#ff6b6b",
         "stroke_width": 0.08},
        {"shape_type": "polyline", "points": [[-0.45, -0.3], [-0.22, 0.3], [0, -0.3], [0.22, 0.3], [0.45, -0.3]],
         "stroke_color": "#feca57b0", "stroke_width": 0.07},
        {"shape_type": "polygon",
         "points": [[r4(0.45 * math.cos(math.pi / 2 + k * 4 * math.pi / 5)),
                     r4(0.45 * math.sin(math.pi / 2 + k * 4 * math.pi / 5))] for k in range(5)],
         "fill_color": "#ff9f4390", "stroke_color": "#ff9f43", "stroke_width": 0.03},
        {"shape_type": "rectangle", "p0": 0.9, "p1": 0.55, "fill_color": "#1dd1a1", "stroke_color": "#ffffff80",
         "stroke_width": 0.05},
        {"shape_type": "square", "p0": 0.6, "transform": rot(30, 0, 0), "fill_color": "#48dbfb80",
         "stroke_color": "#48dbfb", "stroke_width": 0.04},
        {"shape_type": "circle", "p0": 0.36, "fill_color": "#a29bfe70", "stroke_color": "#a29bfe",
         "stroke_width": 0.09},
        {"shape_type": "ellipse", "p0": 0.46, "p1": 0.26, "transform": rot(-20, 0, 0), "fill_color": "#ff6b6b"},
        {"shape_type": "arc", "p0": 0.36, "p1": 0.3, "p2": 4.6, "stroke_color": "#feca57", "stroke_width": 0.09},
        {"shape_type": "regular_polygon", "p0": 6, "p1": 0.42, "p2": 0.0, "fill_color": "#5f27cdc0",
         "stroke_color": "#c8b6ff", "stroke_width": 0.04},
        {"shape_type": "cubic_bezier", "p0": -0.45, "p1": -0.3, "p2": -0.1, "p3": 0.9, "p4": 0.1, "p5": -0.9,
         "p6": 0.45, "p7": 0.3, "stroke_color": "#ff9ff3c0", "stroke_width": 0.07},
    ]
    for i, g in enumerate(gallery):
        x = -5.67 + i * 1.26
        add({"kind": "shape", "shape_type": "square", "p0": 1.1, "transform": move(x, -2.85),
             "fill_color": "#ffffff0a", "stroke_color": "#ffffff26", "stroke_width": 0.015})
        tr = g.pop("transform", [1, 0, 0, 1, 0, 0])
        add({"kind": "shape", **g, "transform": [tr[0], tr[1], tr[2], tr[3], r4(x + tr[4]), r4(-2.85 + tr[5])],
             "id": 200 + i})
    # A subtitle, an SVG drawing and a dashed ring (last, so that the
    # animation's item numbers stay those of the items above).
    add({"kind": "text", "text": "frames exact to the byte", "size": 0.3, "fill_color": "#ffffffb0",
         "transform": move(-5.85, 1.85), "_note": "set in DejaVu Sans, the default font"})
    add({"kind": "svg", "file": "vokri-mark.svg", "height": 1.9, "transform": move(0.55, -0.35)})
    add({"kind": "shape", "shape_type": "circle", "p0": 0.82, "transform": rot(-12, 5.45, -0.75),
         "stroke_color": "#feca57", "stroke_width": 0.03, "dash": [0.16, 0.09], "dash_offset": 0.0,
         "_note": "a dashed ring around the badge"})
    # A formula typeset by MathJax beside text of the same size, on one
    # baseline.
    add({"kind": "text", "text": "and Euler:", "size": 0.34, "fill_color": "#ffffffb0",
         "transform": move(0.35, 2.95)})
    add({"kind": "tex", "tex": r"e^{i\pi} + 1 = 0", "size": 0.34, "fill_color": "#c8b6ff",
         "transform": move(2.2, 2.95), "_note": "TeX, typeset by MathJax"})
    return {"width": 1280, "height": 720, "scale": 100, "items": items}


def dump(doc, path):
    lines = ["{", '  "_about": "vokri_core showcase; regenerate with scripts/make-showcase.py",',
             '  "width": %d, "height": %d, "scale": %g,' % (doc["width"], doc["height"], doc["scale"]),
             '  "items": [']
    lines += ["    " + json.dumps(it, separators=(", ", ": ")) + ("," if n + 1 < len(doc["items"]) else "")
              for n, it in enumerate(doc["items"])]
    lines += ["  ]", "}"]
    path.write_text("\n".join(lines) + "\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kinds", default=",".join(ALL_KINDS), help="kinds for examples/showcase.json")
    ap.add_argument("--probe", help="vokri-render binary: keep only the items it draws without error")
    args = ap.parse_args()
    kinds = set(args.kinds.split(","))
    doc = scene()
    dump(doc, ROOT / "examples" / "showcase-full.json")
    doc["items"] = [it for it in doc["items"] if it["kind"] in kinds]
    if args.probe:
        probe = ROOT / "examples" / ".probe.json"
        kept = []
        for it in doc["items"]:
            probe.write_text(json.dumps({"width": 128, "height": 72, "scale": 10, "items": [it]}))
            r = subprocess.run([args.probe, "--rgb", str(probe), os.devnull], capture_output=True)
            if r.returncode == 0:
                kept.append(it)
            else:
                print("left out (%s): %s" % (r.stderr.decode().strip(), json.dumps(it)[:70]))
        probe.unlink()
        doc["items"] = kept
    dump(doc, ROOT / "examples" / "showcase.json")


if __name__ == "__main__":
    main()
