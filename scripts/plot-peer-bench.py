#!/usr/bin/env python3
"""Draws docs/performance.png from the table that the peer bench prints
(../shared/peer-bench, `VOKRI_SO=build/libvokri_core.so ./run.sh > table.txt`):
per scene, the median frame time of vokri and of each peer, relative to
Cairo's like-for-like 4 x 4 mode (cairo-fast), on a log scale, with Skia's
engine (its median less the `skia-calls` median: Skia's drawing without the
JavaScript binding's per-call cost) and vokri's targets as marks.

    python3 scripts/plot-peer-bench.py table.txt [docs/performance.png] [--title "machine, date"]
    python3 scripts/plot-peer-bench.py table.txt --markdown   # the README's table instead

Needs matplotlib (Debian python3-matplotlib).
"""
import argparse
import re
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import matplotlib.ticker  # noqa: E402

SCENES = ["S1", "S2", "S3", "S4", "S5", "S6", "S7"]
RENDERERS = [("vokri-rgb0", "vokri (rgb0)", "#ff8a3d"), ("vokri-rgba0", "vokri (rgba0)", "#ffc38a"),
             ("cairo-fast", "Cairo, 4 x 4 (fast)", "#4c78a8"), ("cairo", "Cairo, default", "#9ecae9"),
             ("agg", "AGG", "#54a24b"), ("skia", "Skia (other process)", "#b279a2"),
             ("skia-engine", "Skia engine (skia - skia-calls)", "#d6a5c9")]
# Targets: (renderer, ratio to cairo-fast or None, ratio to Skia's engine or
# None, ratio to Cairo's default or None).
TARGETS = {"S1": ("vokri-rgb0", 0.5, 0.95, None), "S2": ("vokri-rgb0", 0.35, 0.95, None),
           "S3": ("vokri-rgb0", 0.8, 1.3, None), "S4": ("vokri-rgb0", 0.5, 0.7, None),
           "S5": ("vokri-rgba0", None, None, 0.35), "S6": ("vokri-rgba0", None, None, 0.4),
           "S7": ("vokri-rgb0", 0.6, 0.8, None)}
ROW = re.compile(r"^\|\s*(S\d)\s+([\w-]+)\s*\|\s*([\w-]+)\s*\|\s*([\d.]+)\s*\|")


def read_table(path):
    times, names = {}, {}
    for line in Path(path).read_text().splitlines():
        m = ROW.match(line)
        if m:
            scene, name, renderer, median = m.group(1), m.group(2), m.group(3), float(m.group(4))
            times[scene, renderer] = median
            names[scene] = name
    for scene in list(names):
        if (scene, "skia") in times and (scene, "skia-calls") in times:
            times[scene, "skia-engine"] = times[scene, "skia"] - times[scene, "skia-calls"]
    return times, names


def target_marks(times, scenes, reference):
    """Per scene, the strictest target as a ratio to the chart's reference."""
    marks = []
    for j, s in enumerate(scenes):
        if s not in TARGETS or not reference[s]:
            continue
        _, fast, engine, cairo = TARGETS[s]
        bounds = []
        if fast is not None and (s, "cairo-fast") in times:
            bounds.append(fast * times[s, "cairo-fast"])
        if engine is not None and (s, "skia-engine") in times:
            bounds.append(engine * times[s, "skia-engine"])
        if cairo is not None and (s, "cairo") in times:
            bounds.append(cairo * times[s, "cairo"])
        if bounds:
            marks.append((j, min(bounds) / reference[s]))
    return marks


TITLES = {"S0": "S0 background", "S1": "S1 2000 filled circles", "S2": "S2 the same at alpha 128",
          "S3": "S3 circles filled + stroked 3 px", "S4": "S4 500 polylines × 50 points, 2.5 px",
          "S5": "S5 100 000 hairlines (one batch)", "S6": "S6 100 000 boxes (one batch)",
          "S7": "S7 300 cubic outlines"}


def target_text(scene):
    if scene not in TARGETS:
        return "–"
    key, fast, engine, cairo = TARGETS[scene]
    if cairo is not None:
        return f"rgba0 ≤ {cairo:g} × Cairo default"
    return f"≤ {fast:g} / ≤ {engine:g}"


def markdown(times):
    """The README's table: median ms per renderer, and vokri's ratios."""
    def ms(scene, key):
        v = times.get((scene, key))
        return "–" if v is None else (f"{v:.3f}" if v < 1 else f"{v:.1f}")

    def ratio(scene, key, ref):
        a, b = times.get((scene, key)), times.get((scene, ref))
        return "–" if a is None or not b else f"{a / b:.2f}"

    print("| scene | vokri rgb0 | vokri rgba0 | Cairo 4 × 4 | Cairo default | AGG | Skia | Skia engine | "
          "rgb0 ÷ Cairo 4 × 4 | rgb0 ÷ Skia engine | target ÷ Cairo 4 × 4 / ÷ Skia engine |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for s in TITLES:
        if (s, "vokri-rgb0") not in times:
            continue
        cells = [ms(s, k) for k in ("vokri-rgb0", "vokri-rgba0", "cairo-fast", "cairo", "agg", "skia", "skia-engine")]
        cells += [ratio(s, "vokri-rgb0", "cairo-fast"), ratio(s, "vokri-rgb0", "skia-engine"), target_text(s)]
        print(f"| {TITLES[s]} | " + " | ".join(cells) + " |")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("table")
    ap.add_argument("out", nargs="?", default=str(Path(__file__).resolve().parent.parent / "docs" / "performance.png"))
    ap.add_argument("--title", default="")
    ap.add_argument("--markdown", action="store_true", help="print the README's table instead of drawing")
    opts = ap.parse_args()
    times, names = read_table(opts.table)
    if opts.markdown:
        return markdown(times)
    scenes = [s for s in SCENES if (s, "vokri-rgb0") in times]
    # S6 has no cairo-fast row in the bench; Cairo's default stands in.
    reference = {s: times.get((s, "cairo-fast"), times.get((s, "cairo"))) for s in scenes}
    fig, ax = plt.subplots(figsize=(11, 4.8), dpi=110)
    width = 0.8 / len(RENDERERS)
    for i, (key, label, colour) in enumerate(RENDERERS):
        xs, ys = [], []
        for j, s in enumerate(scenes):
            if (s, key) in times and reference[s]:
                xs.append(j + (i - (len(RENDERERS) - 1) / 2) * width)
                ys.append(times[s, key] / reference[s])
        ax.bar(xs, ys, width, label=label, color=colour, edgecolor="#333333", linewidth=0.4)
    for j, ratio in target_marks(times, scenes, reference):
        ax.hlines(ratio, j - 0.45, j + 0.45, colors="#c0392b", linestyles="dashed", linewidth=1.2,
                  label="vokri's target (the strictest)" if j == 0 else None)
    ax.axhline(1.0, color="#333333", linewidth=0.8)
    ax.set_yscale("log")
    ticks = [0.1, 0.2, 0.3, 0.5, 0.7, 1, 1.5, 2, 3, 5]
    ax.set_yticks(ticks)
    ax.yaxis.set_major_formatter(matplotlib.ticker.FuncFormatter(lambda v, _: f"{v:g}"))
    ax.yaxis.set_minor_formatter(matplotlib.ticker.NullFormatter())
    ax.set_ylabel("frame time / Cairo 4 x 4 (lower is faster)")
    ax.set_xticks(range(len(scenes)))
    ax.set_xticklabels([f"{s}\n{names[s]}" for s in scenes], fontsize=8)
    ax.set_title(opts.title or "1920 x 1080, one thread, median of the peer bench", fontsize=10)
    ax.legend(fontsize=8, ncol=3, loc="upper left")
    ax.grid(axis="y", which="both", alpha=0.25)
    fig.tight_layout()
    fig.savefig(opts.out)
    print(f"wrote {opts.out}")


if __name__ == "__main__":
    main()
