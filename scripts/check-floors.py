#!/usr/bin/env python3
"""Checks that every include in src/ goes down the floors or stays on its own:
common -> surface (and png, the encoder of Surfaces, beside it) -> raster -> items -> scene -> api.
Prints each include that goes up and exits 1 when there is one."""
import re
import sys
from pathlib import Path

FLOORS = {"common": 0, "surface": 1, "png": 1.5, "raster": 2, "items": 3, "scene": 4, "api": 5}
SRC = Path(__file__).resolve().parent.parent / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')

bad = []
for path in sorted(SRC.rglob("*")):
    if path.suffix not in (".h", ".cpp", ".inc"):
        continue
    floor = path.relative_to(SRC).parts[0]
    for n, line in enumerate(path.read_text().splitlines(), 1):
        m = INCLUDE.match(line)
        if not m or m.group(1) not in FLOORS:
            continue
        to = m.group(1)
        if FLOORS[to] > FLOORS[floor] or (FLOORS[to] == FLOORS[floor] and to != floor):
            bad.append(f"src/{path.relative_to(SRC)}:{n}: {floor} includes {to}/ ({line.strip()})")
print("\n".join(bad) if bad else "check-floors: every include in src/ goes down the floors")
sys.exit(1 if bad else 0)
