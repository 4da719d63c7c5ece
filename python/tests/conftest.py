"""Finds the scene library and the command-line tool of the build tree
unless the environment names them (VOKRI_SCENEFILE_LIBRARY, VOKRI_RENDER)."""
import os
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("VOKRI_BUILD_DIR", ROOT / "build"))
os.environ.setdefault("VOKRI_SCENEFILE_LIBRARY", str(BUILD / "scenefile" / "libvokri_scenefile.so.1"))
RENDER = os.environ.get("VOKRI_RENDER", str(BUILD / "tools" / "vokri-render" / "vokri-render"))
EXAMPLES = ROOT / "examples"
INCLUDE = ROOT / "include"
SCENEFILE_INCLUDE = ROOT / "scenefile" / "include"
