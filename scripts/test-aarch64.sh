#!/usr/bin/env bash
# Builds for aarch64 with Debian's cross compiler and checks, under
# qemu-aarch64, that the library gives the bytes it gives on this machine:
#   1. the test suite, less what emulation cannot carry (the command-line
#      tool run through the shell, threads, terabyte address reservations,
#      the allocation-failure sweeps and a fork with a file-size limit);
#   2. every input of the fuzz corpus and its regressions through the four
#      exports (PNG included): the digests must equal those of the native
#      build in $1 (default build/).
# VOKRI_ARM_MUTATIONS=N adds N changed variants of each input. With them a
# known difference shows: the elementary functions (sin, cos, log, ...)
# come from the C library, and glibc's x86-64 forms (FMA variants chosen at
# run time) and its aarch64 forms differ in the last bit for some
# arguments; a pixel that hinges on such a bit (seen: a pen wider than
# 2^24 pixels, built from sin and cos) differs by one sample. Elementary
# functions of the library's own are the step that closes it.
# Installs what is missing (the arm64 architecture is added to dpkg).
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
mutations=${VOKRI_ARM_MUTATIONS:-0}

if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture arm64; else sudo dpkg --add-architecture arm64; fi
fi
scripts/deps.sh g++-aarch64-linux-gnu qemu-user zlib1g-dev:arm64 libpng-dev:arm64 libgtest-dev:arm64

# The renderer alone: the scene library and the tool (and their tests) are
# not cross-built.
cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVOKRI_WERROR=ON -DVOKRI_BUILD_TESTS=ON -DVOKRI_BUILD_BENCH=OFF -DVOKRI_BUILD_TOOLS=OFF \
  -DVOKRI_BUILD_SCENEFILE=OFF >/dev/null
cmake --build build-aarch64 -j"$(nproc)" --target vokri_tests corpus-digest
run() { qemu-aarch64 -L /usr/aarch64-linux-gnu "$@"; }

run build-aarch64/tests/vokri_tests --gtest_brief=1 \
  --gtest_filter='-VokriRender.*:Limits.*:Threads.*:*AllocFailure*:*OutOfMemory*:Png.PartialWrite*'

cmake --build "$native" -j"$(nproc)" --target corpus-digest >/dev/null
dirs=(fuzz/corpus fuzz/regressions)
"$native/tools/corpus-digest/corpus-digest" --mutations "$mutations" "${dirs[@]}" > build-aarch64/digest-native.txt 2>/dev/null
run build-aarch64/tools/corpus-digest/corpus-digest --mutations "$mutations" "${dirs[@]}" \
  > build-aarch64/digest-aarch64.txt 2>/dev/null
if ! cmp -s build-aarch64/digest-native.txt build-aarch64/digest-aarch64.txt; then
  echo "test-aarch64: the outputs differ from the native build's:" >&2
  diff build-aarch64/digest-native.txt build-aarch64/digest-aarch64.txt | head -20 >&2
  exit 1
fi
echo "test-aarch64: $(wc -l < build-aarch64/digest-native.txt) scenes render the same bytes on $(uname -m) and aarch64"
