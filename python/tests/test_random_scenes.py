"""Random scenes built through the public API: every call returns or raises
one of the documented exceptions; nothing crashes the process."""
import numpy as np
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import vokri

num = st.one_of(st.floats(allow_nan=True, allow_infinity=True), st.integers(-10, 10))
small = st.floats(-4, 4)
colour = st.one_of(st.integers(0, 0xFFFFFFFF), st.sampled_from(["#ff8a3d", "#00000000", "#fff", "nope"]))
arrays = st.integers(0, 6).flatmap(lambda n: st.integers(1, 9).flatmap(
    lambda k: st.lists(small, min_size=n * k, max_size=n * k).map(lambda v: np.array(v).reshape(n, k))))


def build(kind, a, b, c, d, arr, col, count):
    if kind == 0:
        return vokri.Shape(st_type(a), p0=a, p1=b, p2=c, p3=d, points=arr, point_count=count, fill_color=col,
                           stroke_color=col, stroke_width=b)
    if kind == 1:
        return vokri.Batch(small_int(a, 4), arr, count=count, fill_colors=col, stroke_colors=col,
                           stroke_widths=b, t=c)
    if kind == 2:
        return vokri.Vector([vokri.VectorShape(arr, subpath_ends=[count or 0], subpath_closed=a > 0,
                                               fill_color=col, stroke_color=col, stroke_width=b)], progress=c)
    if kind == 3:
        return vokri.Image(np.zeros((3, 2, 4), np.uint8) + 200, display_width=a, display_height=b,
                           transform=[a, b, c, d, 0, 0])
    if kind == 4:
        return vokri.Infinite(small_int(a, 5), a0=a, a1=b, a2=c, a3=d, variant=small_int(b, 5), colour1=col,
                              colour2=col, line_width=d)
    if kind == 5:
        return vokri.Mesh([vokri.MeshLayer(primitive={"type": "cube", "size": a}, rotate=[a, b, c])],
                          fov_y=b, near=c, far=d)
    return vokri.Morph(vokri.Shape("circle", p0=a, fill_color=col), vokri.Shape(st_type(b), p0=b, p1=c), t=d)


def st_type(v):
    return small_int(v, 11)


def small_int(v, n):
    return int(abs(v)) % n if np.isfinite(v) else 0


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.lists(st.tuples(st.integers(0, 6), num, num, num, num, arrays, colour, st.one_of(st.none(),
                                                                                          st.integers(0, 8))),
                max_size=4),
       st.integers(-2, 40), st.integers(-2, 30), num)
def test_any_scene_returns_or_raises(item_args, width, height, scale):
    items = []
    for args in item_args:
        try:
            items.append(build(*args))
        except (ValueError, TypeError):
            pass
    scene = vokri.Scene(items)
    for call in (vokri.render_rgba, vokri.render_rgb):
        try:
            px = call(scene, width, height, scale)
            assert px.shape == (height, width, 4 if call is vokri.render_rgba else 3)
        except (ValueError, vokri.RenderError):
            pass
    try:
        vokri.pick(1, 1, scene, width, height, scale)
    except (ValueError, vokri.RenderError):
        pass
