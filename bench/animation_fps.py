#!/usr/bin/env python3
"""Frames per second of vokri-render over an animation, one job against all
cores, as a PNG sequence, as raw frames and as an H.264 video. Not a test:
run it on an idle machine.

    python3 bench/animation_fps.py [--render build/tools/vokri-render/vokri-render]
                                   [--scene examples/animation.json] [--frames 0:180]

Prints one line per run and the two ratios the animation work aims at:
throughput with every core over one job (ideal: the core count), and the
video's time over the raw render's with the same jobs (ffmpeg's share).
"""
import argparse
import os
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def timed(args):
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--render", default=str(ROOT / "build" / "tools" / "vokri-render" / "vokri-render"))
    ap.add_argument("--scene", default=str(ROOT / "examples" / "animation.json"))
    ap.add_argument("--frames", default="0:180")
    opts = ap.parse_args()
    a, b = (int(x) for x in opts.frames.split(":"))
    count = b - a
    cores = len(os.sched_getaffinity(0))
    base = [opts.render, "--frames", opts.frames]
    print(f"{count} frames of {opts.scene}, {cores} cores")
    print(f"{'run':<28}{'jobs':>5}{'seconds':>10}{'frames/s':>10}")
    results = {}
    with tempfile.TemporaryDirectory() as d:
        for jobs in sorted({1, cores}):
            runs = {
                "raw rgb0 frames": base + ["--jobs", str(jobs), "--rgb", opts.scene, "-"],
                "PNG sequence": base + ["--jobs", str(jobs), opts.scene, f"{d}/f_{jobs}_%05d.png"],
                "H.264 video (veryfast)": base + ["--jobs", str(jobs), "--video", f"{d}/v_{jobs}.mp4", opts.scene],
            }
            for name, args in runs.items():
                s = timed(args)
                results[name, jobs] = s
                print(f"{name:<28}{jobs:>5}{s:>10.2f}{count / s:>10.1f}")
    for name in ("raw rgb0 frames", "PNG sequence"):
        print(f"scaling, {name}: {results[name, 1] / results[name, cores]:.2f} x with {cores} jobs "
              f"(target at least {0.9 * cores:.1f})")
    over = results["H.264 video (veryfast)", cores] / results["raw rgb0 frames", cores] - 1
    print(f"video over the raw render, {cores} jobs: {100 * over:+.0f} % (target at most +20 %)")


if __name__ == "__main__":
    main()
