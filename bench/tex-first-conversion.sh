#!/usr/bin/env bash
# Times the first conversion of bench/data/formulas.json's 20 formulas with
# an empty cache (Node started, MathJax loaded, every formula typeset,
# the frame rendered), then the same render with every formula cached.
# Usage: bench/tex-first-conversion.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
render="${1:-build}/tools/vokri-render/vokri-render"
runs=${2:-5}
cache=$(mktemp -d)
trap 'rm -rf "$cache"' EXIT
ms() {  # runs the render, prints its wall time in milliseconds
  local t0 t1
  t0=$(date +%s%N)
  XDG_CACHE_HOME="$cache" "$render" --png bench/data/formulas.json /dev/null >/dev/null
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}
for _ in $(seq "$runs"); do
  rm -rf "${cache:?}"/*
  echo "first conversion: $(ms) ms"
done
for _ in $(seq "$runs"); do echo "all cached:       $(ms) ms"; done
