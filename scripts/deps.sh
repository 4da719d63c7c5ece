#!/usr/bin/env bash
# Installs the Debian packages the build, tests, tools, benchmarks, fuzz
# targets (clang with its libFuzzer and sanitizer runtimes) and the Python
# package (Debian's python3 with numpy, pytest and Hypothesis) need,
# skipping those already present. Runs apt-get as root (or through sudo).
# Node.js and npm come from Debian unless a node and npm are there already;
# then the TeX converter's packages (MathJax, pinned by its lock file) are
# installed with `npm ci`, from npm's cache once downloaded.
# With arguments, installs those packages instead (the same way).
set -euo pipefail
packages=(build-essential cmake pkg-config zlib1g-dev libgtest-dev libbenchmark-dev
          nlohmann-json3-dev libpng-dev libcairo2-dev binutils
          libharfbuzz-dev libharfbuzz-bin libfreetype-dev libfontconfig-dev libtinyxml2-dev fonts-dejavu-core fonts-lohit-deva
          clang libclang-rt-14-dev
          python3 python3-venv python3-pip python3-numpy python3-pytest python3-hypothesis python3-tqdm
          ffmpeg python3-distributed python3-matplotlib)
if [ $# -eq 0 ]; then
  { command -v node && command -v npm; } >/dev/null || packages+=(nodejs npm)
else
  packages=("$@")
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
if [ $# -eq 0 ]; then
  tex="$(dirname "$0")/../scenefile/tex"
  if [ ! -f "$tex/node_modules/.package-lock.json" ] || [ "$tex/package-lock.json" -nt "$tex/node_modules/.package-lock.json" ]; then
    echo "installing the TeX converter's packages (npm ci in scenefile/tex)"
    (cd "$tex" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error)
  fi
fi
