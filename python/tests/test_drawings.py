"""Text, SVG drawings and dashes, end to end: scene files and the Python
classes give the same bytes, SVG elements draw as the vector records they
stand for, and faults and unsupported features are reported."""
import json
import os
import subprocess
import sys
import warnings

import numpy as np
import pytest

import vokri
from conftest import RENDER

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def cli(*args):
    return subprocess.run([RENDER, *map(str, args)], capture_output=True)


def scene_file(tmp_path, items, width=160, height=90, scale=20):
    path = tmp_path / "scene.json"
    path.write_text(json.dumps({"width": width, "height": height, "scale": scale, "items": items}))
    return path


def test_scene_file_text_is_vokri_text_byte_for_byte(tmp_path):
    fields = dict(text=[{"text": "Vokri ", "fill_color": "#ff6b6b"}, {"text": "ffi\nwrites", "fill_color": "#48dbfb"}],
                  size=0.9, align="center", baseline="middle", stroke_color="#ffffff", stroke_width=0.02,
                  progress=0.7, transform=[1, 0, 0.2, 1, 0.3, 0.1], dash=[0.05, 0.03])
    path = scene_file(tmp_path, [{"kind": "text", **fields}])
    r = cli("--rgba", path, "-")
    assert r.returncode == 0, r.stderr
    text = vokri.Text(**fields)
    pixels = vokri.render_rgba(vokri.Scene([text], width=160, height=90, scale=20))
    assert pixels.tobytes() == r.stdout and pixels[..., 3].any()
    shapes = vokri.text_outlines("Vokri", font=DEJAVU, size=1.0)
    assert len(shapes) == 5 and [s.reveal_order for s in shapes] == list(range(5))
    assert all(s.segments.shape[1] == 8 and s.segments.dtype == np.float64 for s in shapes)
    assert shapes[0].subpath_ends[-1] == len(shapes[0].segments) and shapes[1].subpath_closed.all()


def test_text_faults_and_missing_characters(tmp_path):
    with pytest.raises(vokri.SceneFileError, match='no installed font has the family "Nonesuch Sans"'):
        vokri.Text("x", font="Nonesuch Sans")
    with pytest.raises(ValueError, match="size"):
        vokri.Text("x", size=float("nan"))
    with pytest.warns(vokri.DrawingWarning, match="U\\+E0042"):
        vokri.Text("a\U000e0042b")  # a tag character: no installed font has it
    path = scene_file(tmp_path, [{"kind": "text", "text": "x", "font": "missing/font.ttf"}])
    r = cli("--rgba", path, "-")
    assert r.returncode == 3 and b"items[0].font: cannot open the font file " in r.stderr


SVG_STRAIGHT = """<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" viewBox="0 0 40 20">
  <defs><polygon id="tri" points="0,0 4,0 2,3"/></defs>
  <rect x="2" y="2" width="10" height="6" fill="#ff0000" stroke="#ffffff" stroke-width="0.5"/>
  <g transform="translate(20 2) scale(2)" style="fill: #00ff00; opacity: 0.5">
    <use xlink:href="#tri"/>
    <polygon points="5,0 8,0 8,3" fill="blue" fill-opacity="0.5"/>
  </g>
  <polyline points="2,18 8,12 14,18" fill="none" stroke="#ffff00" stroke-width="1"/>
  <line x1="20" y1="18" x2="38" y2="12" stroke="#00ffff" stroke-width="1.5"/>
  <path d="M24 10 h4 v4 H24 z m6 0 l2 0 l0 2 z" fill="#ff00ff"/>
</svg>"""


def straight(a, b):
    (x0, y0), (x1, y1) = a, b
    return [x0, y0, x0 + (x1 - x0) / 3, y0 + (y1 - y0) / 3, x0 + 2 * (x1 - x0) / 3, y0 + 2 * (y1 - y0) / 3, x1, y1]


def outline(points, closed):
    """Straight pieces through the points (in SVG units, y down), centred on
    the 40 x 20 view box and flipped to y up."""
    p = [(x - 20.0, -(y - 10.0)) for x, y in points]
    segs = [straight(a, b) for a, b in zip(p, p[1:])]
    if closed and p[0] != p[-1]:
        segs.append(straight(p[-1], p[0]))
    return segs


def shape(points, closed=True, **paint):
    return vokri.VectorShape(outline(points, closed), subpath_closed=closed, **paint)


def test_svg_elements_draw_as_their_vector_records(tmp_path):
    (tmp_path / "d.svg").write_text(SVG_STRAIGHT)
    mid = lambda a: int(round(a * 255))  # noqa: E731
    expected = [
        shape([(2, 2), (12, 2), (12, 8), (2, 8)], fill_color="#ff0000", stroke_color="#ffffff", stroke_width=0.5),
        shape([(20, 2), (28, 2), (24, 8)], fill_color=(0, 255, 0, mid(0.5))),
        shape([(30, 2), (36, 2), (36, 8)], fill_color=(0, 0, 255, mid(0.25))),
        shape([(2, 18), (8, 12), (14, 18)], closed=False, stroke_color="#ffff00", stroke_width=1),
        shape([(20, 18), (38, 12)], closed=False, stroke_color="#00ffff", stroke_width=1.5),
        vokri.VectorShape(outline([(24, 10), (28, 10), (28, 14), (24, 14)], True) +
                          outline([(30, 10), (32, 10), (32, 12)], True), subpath_ends=[4, 7],
                          fill_color="#ff00ff"),
    ]
    for i, s in enumerate(expected):
        s.reveal_order = i
    direct = vokri.Scene([vokri.Vector(expected, stagger_count=len(expected))], width=160, height=80, scale=4)
    drawn = vokri.Scene([vokri.SVG(tmp_path / "d.svg")], width=160, height=80, scale=4)
    assert np.array_equal(vokri.render_rgba(drawn), vokri.render_rgba(direct))
    path = scene_file(tmp_path, [{"kind": "svg", "file": "d.svg"}], width=160, height=80, scale=4)
    assert cli("--rgba", path, "-").stdout == vokri.render_rgba(drawn).tobytes()


def test_svg_faults_and_unsupported_features(tmp_path):
    bad = {"broken.svg": ("<svg><rect width='1' height='1'></svg>", r"broken\.svg.*line 1"),
           "entity.svg": ('<!DOCTYPE svg [<!ENTITY a "b">]><svg/>', "entit"),
           "cycle.svg": ('<svg xmlns:xlink="http://www.w3.org/1999/xlink"><g id="a"><use xlink:href="#a"/></g></svg>',
                         "cycle"),
           "huge.svg": ("<svg><rect width='1e400' height='1'/></svg>", "out of range")}
    for name, (text, message) in bad.items():
        (tmp_path / name).write_text(text)
        with pytest.raises(vokri.SceneFileError, match=message):
            vokri.SVG(tmp_path / name)
    (tmp_path / "g.svg").write_text('<svg viewBox="0 0 10 10">\n<linearGradient id="g"/>\n<linearGradient id="h"/>\n'
                                    '<rect width="5" height="5" fill="url(#g)"/>\n<rect width="3" height="3"/></svg>')
    with pytest.warns(vokri.DrawingWarning, match="line 2.*gradient"):
        vokri.SVG(tmp_path / "g.svg", height=1)
    path = scene_file(tmp_path, [{"kind": "svg", "file": "g.svg", "height": 1}])
    r = cli("--rgba", path, "-")
    lines = r.stderr.decode().splitlines()
    assert r.returncode == 0 and all(line.startswith("vokri-render: warning: ") for line in lines)
    assert "line 2: <linearGradient>" in lines[0] and len(lines) == 2  # the second gradient adds nothing


def test_dashes_and_marching_dashes(tmp_path):
    ring = {"kind": "shape", "shape_type": "circle", "p0": 1.5, "fill_color": "#204080",
            "stroke_color": "#ffffff", "stroke_width": 0.1, "dash": [0.3, 0.2]}
    solid = dict(ring, dash=[0, 0])
    frames = []
    for item in (ring, dict(ring, dash_offset=0.25), solid, dict(ring, dash=None)):
        item = {k: v for k, v in item.items() if v is not None}
        r = cli("--rgba", scene_file(tmp_path, [item]), "-")
        assert r.returncode == 0, r.stderr
        frames.append(r.stdout)
    dashed, marched, all_zero, plain = frames
    assert dashed != marched and all_zero == plain and dashed != plain
    px = np.frombuffer(dashed, np.uint8).reshape(90, 160, 4)
    assert (px[45, 80] == [0x20, 0x40, 0x80, 255]).all()  # the fill stays whole
    circle = vokri.Shape("circle", p0=1.5, fill_color="#204080", stroke_color="#ffffff", stroke_width=0.1,
                         dash=[0.3, 0.2])
    assert vokri.render_rgba(vokri.Scene([circle], width=160, height=90, scale=20)).tobytes() == dashed
    wave = vokri.VectorShape([[-3, 0, -1, 2, 1, -2, 3, 0]], subpath_closed=False, stroke_color="#ffffff",
                             stroke_width=0.1)
    item = {"kind": "vector", "dash": [0.2, 0.1], "dash_offset": 0.05,
            "shapes": [{"segments": [[-3, 0, -1, 2, 1, -2, 3, 0]], "subpath_closed": False,
                        "stroke_color": "#ffffff", "stroke_width": 0.1}]}
    assert vokri.render_rgba(vokri.Scene([vokri.Vector([wave], dash=[0.2, 0.1], dash_offset=0.05)], width=160,
                                         height=90, scale=20)).tobytes() == cli("--rgba", scene_file(tmp_path, [item]),
                                                                                "-").stdout


def test_scene_file_tex_is_vokri_tex_and_tex_errors_raise(tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))
    fields = dict(tex=r"\frac{-b \pm \sqrt{b^2-4ac}}{2a}", size=0.8, align="center", baseline="middle",
                  fill_color="#feca57", progress=0.6, transform=[1, 0, 0.1, 1, 0.2, 0], display=False)
    path = scene_file(tmp_path, [{"kind": "tex", **fields}])
    r = cli("--rgba", path, "-")
    assert r.returncode == 0, r.stderr
    pixels = vokri.render_rgba(vokri.Scene([vokri.Tex(**fields)], width=160, height=90, scale=20))
    assert pixels.tobytes() == r.stdout and pixels[..., 3].any()
    # fill_color is the formula's colour; \color keeps its own.
    red = vokri.render_rgba(vokri.Scene([vokri.Tex(r"\color{red}{x}", size=2)], width=80, height=80, scale=20))
    inked = red[red[..., 3] == 255]
    assert len(inked) and (inked[:, :3] == [255, 0, 0]).all()
    with pytest.raises(vokri.SceneFileError, match=r"^tex: Undefined control sequence \\nosuch$"):
        vokri.Tex(r"x + \nosuch")


def test_tex_without_node_says_what_to_install(tmp_path):
    code = "import vokri\ntry:\n    vokri.Tex('a + b')\nexcept vokri.SceneFileError as e:\n    print(e)\n"
    env = dict(os.environ, XDG_CACHE_HOME=str(tmp_path), VOKRI_NODE=str(tmp_path / "no-node"))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env,
                         cwd=os.path.dirname(os.path.dirname(vokri.__file__)))
    assert "is not installed; tex items need it: apt-get install nodejs npm" in out.stdout, out.stderr
