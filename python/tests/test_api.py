"""The Python side as a user meets it: the same messages as the command line
on the cases where the two once differed, values (colours, transforms,
non-finite numbers), readable objects, notebooks, videos and progress."""
import math
import struct
import subprocess
import zlib

import numpy as np
import pytest

import vokri
from conftest import RENDER


def png16(path, width, height):
    """A 16-bit RGBA PNG, written by hand: the red channel ramps across."""
    rows = b"".join(b"\0" + b"".join(struct.pack(">HHHH", x * 65535 // max(width - 1, 1), 0, 30000, 65535)
                                     for x in range(width)) for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 16, 6, 0, 0, 0))
                     + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def cli(*args):
    return subprocess.run([RENDER, *map(str, args)], capture_output=True)


CASES = {
    "16-bit image": (b'{"width": 8, "height": 4, "scale": 1, "items": [{"kind": "image", "file": "deep.png", '
                     b'"display_width": 8, "display_height": 4}]}'),
    "byte-order mark": b'\xef\xbb\xbf{"width": 8, "height": 4, "scale": 1, "items": [{"kind": "grid", "a2": 1, "a3": 1}]}',
    "bad bytes": b'{"width": 8, "height": 4, "scale": 1, "items": [{"kind": "\xff\xfe"}]}',
    "huge canvas": b'{"width": 100000, "height": 100000, "scale": 1}',
}


@pytest.mark.parametrize("case", CASES)
def test_the_command_line_and_python_agree(tmp_path, case, capfd):
    png16(tmp_path / "deep.png", 8, 4)
    scene = tmp_path / "scene.json"
    scene.write_bytes(CASES[case])
    r = cli("--rgba", scene, "-")
    try:
        pixels = vokri.render_rgba(vokri.load_scene(scene))
    except vokri.SceneFileError as e:
        assert r.returncode == 3 and r.stderr.decode() == f"vokri-render: {e}\n"
        assert str(e).startswith(str(scene) + ": ")
        return
    assert r.returncode == 0 and pixels.tobytes() == r.stdout and capfd.readouterr().err == ""
    if case == "16-bit image":  # decoded to 8 bits: the ramp reaches full red
        assert vokri.read_png(tmp_path / "deep.png")[0, -1, 0] == 255


def test_render_errors_print_nothing_and_allocate_nothing(tmp_path, capfd):
    scene = vokri.Scene([vokri.Shape("polygon", points=[[0, 0], [1, 1]], fill_color="red")], width=8, height=8,
                        scale=1)
    with pytest.raises(vokri.RenderError) as e:
        vokri.render_png(tmp_path / "x.png", scene)
    assert str(e.value) == "items[0] (shape): TooFewPoints"
    huge = vokri.Scene(width=100000, height=100000, scale=1)
    with pytest.raises(vokri.RenderError) as e:
        vokri.render_png(tmp_path / "huge.png", huge)
    assert (e.value.error, e.value.index) == ("OutOfMemory", None)
    assert capfd.readouterr().err == "" and sorted(p.name for p in tmp_path.iterdir()) == []


def test_values_colours_and_transforms():
    for spelled in ("#ff8000", "#ff8000ff", "#FF8000", (255, 128, 0), (1.0, 128 / 255, 0.0, 1.0)):
        assert vokri.colour(spelled) == 0xFF8000FF, spelled
    assert vokri.colour("#f80") == 0xFF8800FF and vokri.colour("rebeccapurple") == 0x663399FF
    assert vokri.colour("transparent") == 0 and vokri.colour("#f808") == 0xFF880088
    with pytest.raises(ValueError, match="fill_color"):
        vokri.Shape("circle", fill_color="#ff800")
    t = vokri.compose(vokri.translate(2, 1), vokri.rotate(math.pi / 2), vokri.scale(3))
    assert np.allclose(vokri.apply(t, 1, 0), (2, 4))
    assert np.allclose(vokri.apply(vokri.rotate(math.pi, about=(1, 1)), 0, 0), (2, 2))
    for bad in (dict(p0=math.nan), dict(transform=[1, 0, 0, 1, math.inf, 0]), dict(opacity=-math.inf)):
        with pytest.raises(ValueError, match=next(iter(bad))):
            vokri.Shape("circle", **bad)
    with pytest.raises(ValueError, match="elements"):
        vokri.Batch("circles", [[0, 0, math.nan]], fill_colors="white")


def test_objects_read_well_and_show_in_notebooks():
    circle = vokri.Shape("circle", p0=1.5, fill_color="#ff8a3d", id=4)
    assert repr(circle) == "Shape(shape_type='circle', p=(1.5, 0, 0, 0, 0, 0, 0, 0), fill_color='#ff8a3dff', id=4)"
    scene = vokri.Scene([circle, vokri.Grid(a2=1, a3=1)], width=32, height=16, scale=4)
    assert repr(scene) == "<vokri.Scene 32 x 16 at scale 4: 1 Shape, 1 Grid>"
    png = scene._repr_png_()
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[16:24] == struct.pack(">II", 32, 16)
    assert vokri.render_rgb(scene).shape == (16, 32, 3)
    animation = vokri.Animation(lambda t: scene, duration=0.5, fps=24)
    assert len(animation) == 12 and "embedded" not in repr(animation)
    html = animation._repr_html_()
    assert html.startswith("<video") and "base64," in html


@pytest.mark.parametrize("name, alpha, pix_fmt", [("a.MOV", True, "yuva444p"), ("b.webm", True, None),
                                                  ("c.mp4", False, "yuv420p")])
def test_videos_from_python(tmp_path, name, alpha, pix_fmt, capfd):
    scene = vokri.Scene([vokri.Shape("circle", p0=1, fill_color="#ff800080")], width=32, height=18, scale=6)
    animation = vokri.Animation(lambda t: scene, frames=6, fps=12)
    vokri.render_video(animation, tmp_path / name, alpha=alpha, progress=True)
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=nb_read_frames,pix_fmt:stream_tags=alpha_mode", "-of", "default=nw=1",
                            tmp_path / name], capture_output=True, text=True, check=True).stdout
    assert "nb_read_frames=6" in probe
    assert (f"pix_fmt={pix_fmt}" in probe) if pix_fmt else ("alpha_mode=1" in probe.lower())
    err = capfd.readouterr().err
    assert "6/6" in err or "frame 6 of 6" in err  # tqdm's bar, or the plain line without tqdm
    with pytest.raises(ValueError, match="no alpha channel"):
        vokri.render_video(animation, tmp_path / "d.mp4", alpha=True)
    assert sorted(p.name for p in tmp_path.iterdir()) == [name]
