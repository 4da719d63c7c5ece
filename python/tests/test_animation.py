"""Animations end to end, through vokri-render and the Python API: tracks
read the same in both, frames are the same bytes however they are split
(jobs, shards, executors, a Dask cluster), faults are reported before
anything renders, and interrupted runs leave only whole files."""
import concurrent.futures
import json
import os
import pty
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import vokri
from conftest import EXAMPLES, RENDER

ANIMATION = EXAMPLES / "animation.json"


def run(*args, env=None, **kw):
    return subprocess.run([RENDER, *map(str, args)], capture_output=True, text=True, env=env, **kw)


def small(tmp_path, frames=12, extra_items=()):
    """The example animation at 160 x 90 (every kind, every ease)."""
    doc = json.loads(ANIMATION.read_text())
    doc.update(width=160, height=90, scale=12.5)
    doc["animation"] = {"fps": frames / 6, "frames": frames}
    doc["items"] += list(extra_items)
    path = tmp_path / "small.json"
    path.write_text(json.dumps(doc))
    for name in ("vokri-badge.png", "vokri-mark.svg"):  # the files the items read
        (tmp_path / name).write_bytes((EXAMPLES / name).read_bytes())
    return path


def frame_files(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir())}


def test_python_reads_tracks_as_the_command_line_does():
    animation = vokri.load_animation(ANIMATION)
    assert (animation.frame_count, animation.fps) == (180, 30.0)
    frames = [0, 37, 95, 179]  # every ease between keys, the hold steps, the last key
    for k, pixels in zip(frames, vokri.render_frames(animation, frames)):
        cli = subprocess.run([RENDER, "--rgb", "--frames", f"{k}:{k + 1}", ANIMATION, "-"], capture_output=True)
        assert pixels.tobytes() == np.frombuffer(cli.stdout, np.uint8).reshape(pixels.shape[:2] + (4,))[..., :3].tobytes()


def test_jobs_and_shards_give_the_bytes_of_one_serial_run(tmp_path):
    scene = small(tmp_path)
    for jobs in (1, 3):
        (tmp_path / f"jobs{jobs}").mkdir()
        assert run("--jobs", jobs, scene, tmp_path / f"jobs{jobs}" / "f_%03d.png").returncode == 0
    serial = frame_files(tmp_path / "jobs1")
    assert len(serial) == 12 and frame_files(tmp_path / "jobs3") == serial
    (tmp_path / "shards").mkdir()
    for k in range(3):
        r = run("--shard", f"{k}/3", scene, tmp_path / "shards" / "f_%03d.png")
        assert r.returncode == 0 and "4 frames in" in r.stderr
    assert frame_files(tmp_path / "shards") == serial
    threads = concurrent.futures.ThreadPoolExecutor(4)
    (tmp_path / "py").mkdir()
    written = list(vokri.render_frames(vokri.load_animation(scene), executor=threads,
                                       out=str(tmp_path / "py" / "f_%03d.png")))
    assert written == [str(tmp_path / "py" / f"f_{k:03d}.png") for k in range(12)]
    assert frame_files(tmp_path / "py") == serial


def test_a_dask_cluster_renders_the_serial_bytes(tmp_path):
    import distributed  # Debian python3-distributed
    animation = vokri.load_animation(small(tmp_path))
    serial = [f.tobytes() for f in vokri.render_frames(animation, mode="rgba")]
    os.environ["PYTHONPATH"] = os.pathsep.join([str(EXAMPLES.parent / "python"), os.environ.get("PYTHONPATH", "")])
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as c, \
            distributed.Client(c) as client:
        assert [f.tobytes() for f in vokri.render_frames(animation, executor=client, mode="rgba")] == serial
        assert [f.tobytes() for f in vokri.render_frames(animation, executor=client.get_executor(),
                                                         mode="rgba")] == serial


def test_alpha_frames_are_the_straight_alpha_pixels(tmp_path):
    scene = small(tmp_path, frames=2)
    assert run("--alpha", scene, tmp_path / "a_%d.png").returncode == 0
    for k, pixels in enumerate(vokri.render_frames(vokri.load_animation(scene), mode="rgba")):
        png = vokri.read_png(tmp_path / f"a_{k}.png")
        assert png.shape == (90, 160, 4) and np.array_equal(png, pixels)
    written = list(vokri.render_frames(vokri.load_animation(scene), mode="rgba", out=str(tmp_path / "py" / "a_%d.png")))
    assert [open(p, "rb").read() for p in written] == [(tmp_path / f"a_{k}.png").read_bytes() for k in range(2)]


def test_video_through_ffmpeg(tmp_path):
    scene = small(tmp_path)
    assert run("--video", tmp_path / "v.mp4", scene).returncode == 0
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=nb_read_frames,width,height", "-of", "csv=p=0", tmp_path / "v.mp4"],
                           capture_output=True, text=True, check=True)
    assert probe.stdout.strip() == "160,90,12"
    env = dict(os.environ, VOKRI_FFMPEG=str(tmp_path / "missing"))
    r = run("--video", tmp_path / "w.mp4", scene, env=env)
    assert r.returncode == 5 and "writing a video needs ffmpeg" in r.stderr
    failing = tmp_path / "ffmpeg"  # reads two frames' worth, complains, fails
    failing.write_text("#!/bin/sh\nhead -c 100000 >/dev/null\necho 'first complaint' >&2\n"
                       "echo 'Conversion failed!' >&2\nexit 3\n")
    failing.chmod(0o755)
    r = run("--video", tmp_path / "w.mp4", scene, env=dict(os.environ, VOKRI_FFMPEG=str(failing)))
    assert r.returncode == 5 and "exit status 3" in r.stderr and "Conversion failed!" in r.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["ffmpeg", "small.json", "v.mp4", "vokri-badge.png", "vokri-mark.svg"]


@pytest.mark.parametrize("track, path", [
    ({"keys": [[1, 0.5], [0.5, 1]]}, "items[0].p0.keys[1][0]"),
    ({"keys": [[0, 0.5], [0, 1]]}, "items[0].p0.keys[1][0]"),
    ({"keys": [[0, 0.5], [1, "NaN"]]}, "items[0].p0.keys[1][1]"),
    ({"keys": [[0, 0.5], [1, "#ff0000"]]}, "items[0].p0.keys[1][1]"),
    ({"keys": []}, "items[0].p0.keys"),
    ({"keys": [[0, 1]], "ease": "bounce"}, "items[0].p0.ease"),
])
def test_bad_tracks_are_refused_with_their_path(tmp_path, track, path):
    text = json.dumps({"width": 8, "height": 8, "scale": 1, "animation": {"fps": 10, "frames": 5},
                       "items": [{"kind": "shape", "shape_type": "circle", "p0": track}]})
    (tmp_path / "bad.json").write_text(text)
    r = run(tmp_path / "bad.json", tmp_path / "f_%d.png")
    assert r.returncode == 3 and f"bad.json: {path}: " in r.stderr
    with pytest.raises(vokri.SceneFileError) as e:
        vokri.parse_animation(text)
    assert e.value.path == path and e.value.message in r.stderr
    assert os.listdir(tmp_path) == ["bad.json"]


def test_outputs_are_checked_before_the_first_frame(tmp_path):
    scene = small(tmp_path, frames=3)
    r = run(scene, tmp_path / "one.png")
    assert r.returncode == 2 and "no frame-number field" in r.stderr
    r = run(scene, tmp_path / "f_%d.jpg")
    assert r.returncode == 2 and "writes PNG files (.png)" in r.stderr
    assert sorted(os.listdir(tmp_path)) == ["small.json", "vokri-badge.png", "vokri-mark.svg"]
    r = run(scene, tmp_path / "made" / "f_%d.png")  # a missing folder is made
    assert r.returncode == 0 and sorted(os.listdir(tmp_path / "made")) == ["f_0.png", "f_1.png", "f_2.png"]


def test_a_failing_frame_names_the_frame_and_the_item(tmp_path):
    bad = {"kind": "shape", "shape_type": "polygon", "points": [[0, 0], [1, 1]], "fill_color": "#ff0000",
           "visible": [3, 4]}  # too few points, drawn in frames 6 and 7
    scene = small(tmp_path, frames=12, extra_items=[bad])
    index = len(json.loads(scene.read_text())["items"]) - 1
    r = run("--jobs", 2, scene, tmp_path / "f_%02d.png")
    assert r.returncode == 1 and f"vokri-render: frame 6: items[{index}] (shape): TooFewPoints" in r.stderr
    assert not any(".tmp." in name for name in os.listdir(tmp_path))
    with pytest.raises(vokri.RenderError) as e:
        list(vokri.render_frames(vokri.load_animation(scene), executor=concurrent.futures.ThreadPoolExecutor(2)))
    assert (e.value.frame, e.value.index, e.value.error) == (6, index, "TooFewPoints")


def test_an_interrupted_run_leaves_whole_files_and_resumes(tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    args = [RENDER, "--jobs", "2", "--width", "640", "--height", "360", "--scale", "50", ANIMATION,
            out / "f_%03d.png"]
    child = subprocess.Popen(args, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while len([p for p in out.iterdir() if p.suffix == ".png"]) < 4 and time.monotonic() < deadline:
        time.sleep(0.02)
    child.send_signal(signal.SIGINT)
    _, err = child.communicate(timeout=60)
    assert child.returncode == 128 + signal.SIGINT and "--resume" in err
    names = sorted(p.name for p in out.iterdir())
    assert 4 <= len(names) < 180 and all(n.startswith("f_") and n.endswith(".png") for n in names)
    for name in names:  # every file whole: it ends with the IEND chunk
        assert (out / name).read_bytes()[-12:] == b"\0\0\0\0IEND\xaeB`\x82"
    first = (out / names[0]).read_bytes()
    r = subprocess.run(args[:1] + ["--resume"] + args[1:], capture_output=True, text=True)
    assert r.returncode == 0 and f"{180 - len(names)} frames in" in r.stderr and f"{len(names)} already" in r.stderr
    assert len(os.listdir(out)) == 180 and (out / names[0]).read_bytes() == first


def test_progress_shows_on_a_terminal(tmp_path):
    scene = small(tmp_path)
    leader, follower = pty.openpty()
    with open(tmp_path / "none", "w") as plain:
        r = subprocess.run([RENDER, "--jobs", "1", scene, tmp_path / "f_%d.png"], stderr=follower, stdout=plain)
    os.close(follower)
    seen = b""
    while True:
        try:
            chunk = os.read(leader, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    os.close(leader)
    assert r.returncode == 0
    assert b"frame 12 of 12" in seen and b"12 frames in" in seen
    assert "frame 1 of" not in run(scene, tmp_path / "g_%d.png").stderr  # not a terminal: the summary only


def _held_scene(t):
    """A circle that moves, holds still from 0.3 s to 0.8 s, and moves on."""
    x = min(t, 0.3) + max(t - 0.8, 0)
    return vokri.Scene(width=24, height=16, scale=8, items=[
        vokri.Shape("circle", p0=0.6, fill_color="white", transform=vokri.translate(x - 0.5, 0)),
        vokri.Text("hold", size=0.4)])


def test_held_frames_are_copies_with_their_own_bytes(tmp_path, monkeypatch):
    animation = vokri.Animation(_held_scene, frames=12, fps=10)
    alone = [vokri.render_rgb(animation.scene(k)) for k in range(12)]
    renders = []
    real = vokri.animation.render_pixels
    monkeypatch.setattr(vokri.animation, "render_pixels", lambda *a, **kw: renders.append(1) or real(*a, **kw))
    for executor in (None, concurrent.futures.ThreadPoolExecutor(3)):
        renders.clear()
        frames = list(vokri.render_frames(animation, executor=executor))
        assert [f.tobytes() for f in frames] == [a.tobytes() for a in alone]
        assert len(renders) == 7  # frames 4 to 8 draw what frame 3 drew
    frames[4][0, 0] = 0  # a copy, not the array of frame 3
    assert frames[3].tobytes() == alone[3].tobytes()
    vokri.render_video(animation, tmp_path / "held.mp4")
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=nb_read_frames", "-of", "csv=p=0", tmp_path / "held.mp4"],
                           capture_output=True, text=True, check=True)
    assert probe.stdout.strip() == "12"
