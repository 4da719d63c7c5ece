"""Renders a frame from Python: a few items built with numpy, then the
showcase scene file. Shows the frame with matplotlib when asked (--show) and
that is installed; always writes frame.png.

    python3 examples/python/render_frame.py [--show]
"""
import sys
from pathlib import Path

import numpy as np

import vokri

# Twelve dots on a ring around a circle, over a faint grid.
angles = np.linspace(0, 2 * np.pi, 12, endpoint=False)
dots = np.column_stack([2.2 * np.cos(angles), 2.2 * np.sin(angles), np.full(12, 0.12)])
scene = vokri.Scene([
    vokri.Grid(a2=0.5, a3=0.5, colour1="#ffffff20"),
    vokri.Shape("circle", p0=1.4, fill_color="#ff8a3d", stroke_color="#ffffff", stroke_width=0.06),
    vokri.Batch("circles", dots, fill_colors="#06d6a0"),
], width=640, height=360, scale=60)

pixels = vokri.render_rgba(scene)  # (360, 640, 4) uint8, straight alpha
print("centre pixel", pixels[180, 320])
vokri.render_png("frame.png", scene)

showcase = vokri.load_scene(Path(__file__).resolve().parents[1] / "showcase.json")
vokri.render_png("showcase-python.png", showcase)
print("wrote frame.png and showcase-python.png")

if "--show" in sys.argv:
    import matplotlib.pyplot as plt
    plt.imshow(vokri.render_rgb(showcase)[:, :, :3])
    plt.axis("off")
    plt.show()
