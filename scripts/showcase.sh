#!/usr/bin/env bash
# Installs what is missing, builds, and renders examples/showcase.json to
# showcase.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target vokri-render
build/tools/vokri-render/vokri-render examples/showcase.json showcase.png
echo "wrote showcase.png"
