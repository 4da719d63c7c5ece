#!/usr/bin/env python3
"""Frames per second of vokri-render over an animation, one job against all
cores, as a PNG sequence, as raw frames and as an H.264 video. Not a test:
run it on an idle machine.

    python3 bench/animation_fps.py [--render build/tools/vokri-render/vokri-render]
                                   [--scene examples/animation.json] [--frames 0:180]

Prints one line per run and the two ratios the animation work aims at:
throughput with every core over one job (ideal: the core count), and the
video's time over the raw render's with the same jobs (ffmpeg's share).

Then the hold case: the showcase as a six-second animation in which one
item moves, once all the time and once holding still from 2 s to 4 s. Held
frames are copies of the frame before them, not renders: what a held frame
adds to a run is set against what a rendered frame adds (target at most
5 %). In a video ffmpeg still encodes every frame it is sent.
"""
import argparse
import json
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


def moving_showcase(path, hold):
    """The showcase at 30 fps for 6 s, its first placed item sliding right
    (and, with `hold`, standing still from 2 s to 4 s)."""
    doc = json.loads((ROOT / "examples" / "showcase.json").read_text())
    doc["animation"] = {"fps": 30, "frames": 180}
    item = next(i for i in doc["items"] if isinstance(i.get("transform"), list) and len(i["transform"]) == 6)
    x = item["transform"][4]
    keys = [[0, x], [2, x + 1], [4, x + 1], [6, x + 2]] if hold else [[0, x], [6, x + 2]]
    item["transform"][4] = {"keys": keys}
    path.write_text(json.dumps(doc))
    for p in (ROOT / "examples").iterdir():  # the files the items read
        if p.suffix in (".png", ".svg") and not (path.parent / p.name).exists():
            (path.parent / p.name).write_bytes(p.read_bytes())
    return path


def frames_cost(render, jobs, scene, out, first, count):
    """Seconds a frame of frames first .. first+count-1 adds to a run: the
    run of all of them less the run of the first alone (start-up and the
    first render cancel), over count - 1; the best of five."""
    def best(n):
        return min(timed([render, "--jobs", str(jobs), "--frames", f"{first}:{first + n}", str(scene), out])
                   for _ in range(5))
    return (best(count) - best(1)) / (count - 1)


def hold_case(render, cores, d):
    print(f"\nthe showcase, 180 frames at 1920 x 1080, holding still from 2 s to 4 s, {cores} jobs")
    scene = moving_showcase(Path(d) / "hold.json", True)
    print(f"{'run':<36}{'seconds':>10}{'frames/s':>10}")
    for tag, hold in (("moving all the time", False), ("with the hold", True)):
        path = moving_showcase(Path(d) / f"{tag[:4]}.json", hold)
        for name, args in (("PNG sequence", [str(path), f"{d}/{tag[:4]}_%05d.png"]),
                           ("H.264 video", ["--video", f"{d}/{tag[:4]}.mp4", str(path)])):
            s = timed([render, "--jobs", str(cores), *args])
            print(f"{name + ', ' + tag:<36}{s:>10.2f}{180 / s:>10.1f}")
    for name, out in (("raw frames", "-"), ("PNG sequence", f"{d}/c_%05d.png")):
        rendered = frames_cost(render, 1, scene, out, 0, 30)
        held = frames_cost(render, 1, scene, out, 60, 30)
        print(f"{name}, one job: a rendered frame {1000 * rendered:.1f} ms, a held frame {1000 * held:.2f} ms: "
              f"{100 * held / rendered:.1f} % (target at most 5 %)")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--render", default=str(ROOT / "build" / "tools" / "vokri-render" / "vokri-render"))
    ap.add_argument("--scene", default=str(ROOT / "examples" / "animation.json"))
    ap.add_argument("--frames", default="0:180")
    ap.add_argument("--hold-only", action="store_true", help="only the hold case")
    opts = ap.parse_args()
    if opts.hold_only:
        with tempfile.TemporaryDirectory() as d:
            hold_case(opts.render, len(os.sched_getaffinity(0)), d)
        return
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
    with tempfile.TemporaryDirectory() as d:
        hold_case(opts.render, cores, d)


if __name__ == "__main__":
    main()
