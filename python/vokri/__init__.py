"""vokri: Python bindings of the vokri_core frame renderer, through its
scene library (libvokri_scenefile, which `pip install` builds into the
package).

    import vokri
    scene = vokri.Scene([vokri.Shape("circle", p0=1.5, fill_color="#ff8a3d")], width=640, height=360, scale=60)
    pixels = vokri.render_rgba(scene)          # (360, 640, 4) uint8, straight alpha
    vokri.render_png("frame.png", scene)

    animation = vokri.load_animation("examples/animation.json")
    for k, frame in enumerate(vokri.render_frames(animation, executor=pool, progress=True)):
        ...                                      # frames in order, rendered on the pool's workers
    vokri.render_video(animation, "out.mp4")

Calls release the GIL: several threads may render at once.
"""
from ._library import lib as _lib
from ._records import ABI_VERSION
from .animation import Animation, render_frames, render_video
from .drawings import SVG, DrawingWarning, Tex, Text, text_outlines
from .errors import OutputError, RenderError, SceneFileError
from .files import load_animation, load_scene, parse_animation, parse_scene
from .items import (Batch, ComplexGrid, Fractal, Grid, Image, Infinite, Item, Line, Mesh, MeshLayer, Morph, RawItem,
                    Shape, Vector, VectorShape)
from .meshes import compose_model, cube, sphere, torus
from .render import pick, read_png, render_png, render_rgb, render_rgba, same_drawing
from .scene import Scene
from .transforms import IDENTITY, apply, compose, rotate, scale, translate
from . import _values

__version__ = "3.0.0"


def colour(value):
    """A colour as 0xRRGGBBAA: '#rgb', '#rgba', '#rrggbb', '#rrggbbaa', a CSS
    name, an (r, g, b[, a]) tuple (integers 0..255 or floats 0..1) or an
    integer; strings are parsed by the scene library, as in scene files."""
    return _values.colour(value, "colour")


def abi_version():
    """The interface version of the renderer in the loaded library (3)."""
    return _lib.vokri_scenefile_core_abi_version()


__all__ = ["ABI_VERSION", "Animation", "Batch", "ComplexGrid", "DrawingWarning", "Fractal", "Grid", "IDENTITY", "Image",
           "Infinite", "SVG", "Tex", "Text", "text_outlines",
           "Item", "Line", "Mesh", "MeshLayer", "Morph", "OutputError", "RawItem", "RenderError", "Scene",
           "SceneFileError", "Shape", "Vector", "VectorShape", "abi_version", "apply", "colour", "compose",
           "compose_model", "cube", "load_animation", "load_scene", "parse_animation", "parse_scene", "pick",
           "read_png", "render_frames", "render_png", "render_rgb", "render_rgba", "render_video", "rotate",
           "same_drawing", "scale", "sphere", "torus", "translate"]
