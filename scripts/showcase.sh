#!/usr/bin/env bash
# Installs what is missing, builds, and renders examples/showcase.json to
# showcase.png and the example animation, examples/animation.json, to
# showcase.mp4.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target vokri-render
build/tools/vokri-render/vokri-render examples/showcase.json showcase.png
echo "wrote showcase.png"
build/tools/vokri-render/vokri-render --video showcase.mp4 examples/animation.json
echo "wrote showcase.mp4"
