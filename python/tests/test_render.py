"""The Python API end to end: scene files render the bytes of vokri-render,
defaults draw, buffers outlive the caller's references, errors are
exceptions naming what is wrong, and threads render at once."""
import gc
import subprocess
import threading

import numpy as np
import pytest

import vokri
from conftest import EXAMPLES, RENDER

SCENES = sorted(EXAMPLES.glob("*.json"))


def cli(*args):
    return subprocess.run([RENDER, *map(str, args)], check=True, capture_output=True).stdout


@pytest.mark.parametrize("path", SCENES, ids=lambda p: p.name)
def test_scene_files_render_as_the_command_line_does(path, tmp_path):
    scene = vokri.load_scene(path)  # an animation's first frame
    assert vokri.render_rgba(scene).tobytes() == cli("--frames", "0:1", "--rgba", path, "-")
    rgb0 = np.frombuffer(cli("--frames", "0:1", "--rgb", path, "-"), np.uint8).reshape(scene.height, scene.width, 4)
    assert np.array_equal(vokri.render_rgb(scene), rgb0[..., :3])
    vokri.render_png(tmp_path / "py.png", scene)
    assert (tmp_path / "py.png").read_bytes() == cli("--frames", "0:1", path, "-")
    assert vokri.pick(scene.width // 2, scene.height // 2, scene) == int(
        cli("--pick", f"{scene.width // 2},{scene.height // 2}", path))


def test_defaults_draw_and_numpy_arrays_are_used_in_place():
    points = np.array([[-1.0, -1.0], [1.0, -1.0], [0.0, 1.0]])
    shape = vokri.Shape("polygon", points=points, fill_color="#ff0000")
    assert shape.points is points
    px = vokri.render_rgba(vokri.Scene([shape], width=8, height=8, scale=2))
    assert px.shape == (8, 8, 4) and px.dtype == np.uint8
    assert tuple(px[4, 4]) == (255, 0, 0, 255)


def test_buffers_live_as_long_as_the_scene_needs_them():
    def build():
        elements = np.abs(np.random.default_rng(1).uniform(-3, 3, (50, 3))) * [1, 1, 0.1] + [-1, -1, 0.05]
        colours = np.full(50, 0x3366FFFF, dtype=np.uint32)
        raster = np.random.default_rng(2).integers(0, 256, (16, 16, 4), dtype=np.uint8)
        return vokri.Scene([vokri.Batch("circles", elements, fill_colors=colours),
                            vokri.Image(raster, display_width=2, display_height=2)], width=64, height=48, scale=8)
    scene = build()
    first = vokri.render_rgba(scene)
    gc.collect()
    np.random.default_rng(3).integers(0, 256, 1 << 20)  # reuse freed memory
    assert np.array_equal(vokri.render_rgba(scene), first)


def test_failures_are_exceptions_naming_the_argument_or_the_item(tmp_path):
    scene = vokri.Scene([vokri.Shape("circle", p0=1, fill_color="#ffffff"),
                         vokri.Line(a2=1, colour1="#ffffff"),
                         vokri.Shape("polygon", points=[[0, 0], [1, 1]], fill_color="#ff0000", id=7)],
                        width=8, height=6, scale=1)
    with pytest.raises(vokri.RenderError) as e:
        vokri.render_rgb(scene)
    assert (e.value.index, e.value.kind, e.value.error) == (2, "shape", "TooFewPoints")
    with pytest.raises(FileNotFoundError, match="missing"):
        vokri.render_png(tmp_path / "missing" / "x.png", vokri.Scene(width=4, height=4, scale=1))
    with pytest.raises(ValueError, match="width"):
        vokri.render_rgba(scene, width=0)
    with pytest.raises(ValueError, match="scale"):
        vokri.render_rgba(scene, scale=float("nan"))
    with pytest.raises(ValueError, match="x"):
        vokri.pick(8, 0, scene)
    with pytest.raises(ValueError, match="points"):
        vokri.Shape("polygon", points=np.zeros((4, 3)))
    with pytest.raises(ValueError, match="pixels"):
        vokri.Image(np.zeros(60, dtype=np.uint8), width=4, height=4)
    with pytest.raises(ValueError, match="count"):
        vokri.Batch("circles", [[0, 0, 1]], count=2, fill_colors="#fff")
    with pytest.raises(TypeError):
        vokri.Image(np.zeros((2, 2, 4)))  # float pixels
    with pytest.raises(vokri.SceneFileError, match=r"items\[0\]\.p0: duplicate key"):
        vokri.parse_scene('{"width": 4, "height": 4, "scale": 1, "items": [{"kind": "shape", "p0": 1, "p0": 2}]}')


def test_threads_render_at_once():
    scene = vokri.load_scene(EXAMPLES / "showcase.json")
    serial = vokri.render_rgba(scene).tobytes()
    results = []

    def work():
        results.append(vokri.render_rgba(scene).tobytes())
    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [serial] * 4
