"""vokri: Python bindings of the vokri_core frame renderer.

    import vokri
    scene = vokri.Scene([vokri.Shape("circle", p0=1.5, fill_color="#ff8a3d")], width=640, height=360, scale=60)
    pixels = vokri.render_rgba(scene)          # (360, 640, 4) uint8, straight alpha
    vokri.render_png("frame.png", scene)

    animation = vokri.load_animation("examples/animation.json")
    for k, frame in enumerate(vokri.render_frames(animation, executor=pool)):
        ...                                      # frames in order, rendered on the pool's workers

Calls release the GIL: several threads may render at once.
"""
from ._library import lib as _lib
from ._mesh import cube, sphere, torus
from ._records import ABI_VERSION
from .animation import Animation, render_frames
from .items import (Batch, ComplexGrid, Fractal, Grid, Image, Infinite, Item, Line, Mesh, MeshLayer, Morph, RawItem,
                    Shape, Vector, VectorShape)
from .render import RenderError, pick, render_png, render_rgb, render_rgba
from .scene import Scene
from .scene_file import SceneFileError, load_animation, load_scene, parse_animation, parse_scene

__version__ = "3.0.0"


def abi_version():
    """The interface version of the loaded library (3)."""
    return _lib.vokri_abi_version()


__all__ = ["ABI_VERSION", "Animation", "Batch", "ComplexGrid", "Fractal", "Grid", "Image", "Infinite", "Item", "Line", "Mesh",
           "MeshLayer", "Morph", "RawItem", "RenderError", "Scene", "SceneFileError", "Shape", "Vector",
           "VectorShape", "abi_version", "cube", "load_animation", "load_scene", "parse_animation", "parse_scene",
           "pick", "render_frames", "render_png", "render_rgb", "render_rgba", "sphere", "torus"]
