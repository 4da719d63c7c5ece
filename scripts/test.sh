#!/usr/bin/env bash
# CI: installs what is missing, then
#   1. checks that src/ includes go down its floors only (check-floors.py),
#      builds everything with warnings as errors and runs every test, the
#      Python package's tests too;
#      installs into a temporary prefix and builds and runs the C example
#      against the installed library, three ways;
#      builds for aarch64 and checks under qemu that tests and fuzz corpus
#      give the same bytes as here;
#   2. runs every test again under AddressSanitizer and UndefinedBehaviorSanitizer
#      (LeakSanitizer included);
#   3. runs the threading tests and a fast subset under ThreadSanitizer;
#   4. builds the libFuzzer targets with clang and fuzzes each for a minute:
#      the Scene target from the committed seed corpus, past findings
#      (fuzz/regressions) and a corpus generated afresh from the current
#      sample scenes and showcase; the scene-file target (the scene
#      library's C API: scene files, text, SVG, dashes) from the examples;
#      the SVG reader from the example drawing.
# Each step prints its start time; the whole run takes about 25 minutes on
# two cores.
# VOKRI_FUZZ_SECONDS sets the fuzzing time per target (default 60; 0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${VOKRI_FUZZ_SECONDS:-60}
scripts/deps.sh
jobs=$(nproc)
t0=$(date +%s)
step() { echo "=== [$(($(date +%s) - t0)) s] $*"; }

step "normal build and tests"
scripts/check-floors.py
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOKRI_WERROR=ON -DVOKRI_BUILD_TOOLS=ON -DVOKRI_BUILD_TESTS=ON \
  -DVOKRI_BUILD_SCENEFILE=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure --no-tests=error -j"$jobs")

step "Python package (pytest, Debian's python3)"
(cd python && VOKRI_BUILD_DIR="$PWD/../build" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests)

step "install, then build and run the C example against it (CMake package, pkg-config, subproject)"
scripts/check-install.sh "$PWD/build-install"

step "aarch64 (cross build, qemu): tests and the corpus give the bytes of this machine"
scripts/test-aarch64.sh build

step "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOKRI_WERROR=ON \
  -DVOKRI_SANITIZE=address,undefined -DVOKRI_BUILD_BENCH=OFF -DVOKRI_BUILD_TOOLS=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure --no-tests=error -j"$jobs")

step "ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOKRI_WERROR=ON \
  -DVOKRI_SANITIZE=thread -DVOKRI_BUILD_BENCH=OFF -DVOKRI_BUILD_TOOLS=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target vokri_tests vokri-render
# The threading tests, plus everything that is quick; the limit tests reserve
# terabytes of address space, which ThreadSanitizer shadows, and the
# allocation-failure sweep is covered by the ASan build.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/vokri_tests --gtest_brief=1 \
  --gtest_filter='-Limits.*:Samples/AllocFailure.*'
# vokri-render's frame pool: frames built and rendered on four threads,
# written in order to files and to an ffmpeg child.
tsan_out=$(mktemp -d)
tsan_render=(env TSAN_OPTIONS=halt_on_error=1 build-tsan/tools/vokri-render/vokri-render --jobs 4 --width 160
             --height 90 --scale 12.5 --frames 0:12)
"${tsan_render[@]}" examples/animation.json "$tsan_out/f_%02d.png"
"${tsan_render[@]}" --video "$tsan_out/v.gif" examples/animation.json
rm -rf "$tsan_out"

step "fuzz targets (clang, libFuzzer, ASan + UBSan)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOKRI_BUILD_FUZZ=ON \
  -DVOKRI_SANITIZE=address,undefined -DVOKRI_BUILD_TESTS=OFF -DVOKRI_BUILD_BENCH=OFF \
  -DVOKRI_BUILD_TOOLS=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target scene_fuzzer scene_file_fuzzer svg_fuzzer make_corpus
rm -rf build-fuzz/corpus-fresh build-fuzz/work-* && mkdir -p build-fuzz/corpus-fresh
build-fuzz/fuzz/make_corpus build-fuzz/corpus-fresh examples/showcase.json
# The seed corpora of each target (the first directory collects what the run
# adds). A per-input limit of 60 s: a slow sanitized input on a loaded machine
# is not a hang.
fuzz() {
  local target=$1
  shift
  [ "$fuzz_seconds" -gt 0 ] || return 0
  step "fuzzing $target for $fuzz_seconds s"
  mkdir -p "build-fuzz/work-$target"
  XDG_CACHE_HOME="$PWD/build-fuzz/tex-cache" ASAN_OPTIONS=detect_leaks=1 "build-fuzz/fuzz/$target" -close_fd_mask=2 -timeout=60 -rss_limit_mb=2048 \
    -max_total_time="$fuzz_seconds" -print_final_stats=1 "build-fuzz/work-$target" "$@"
}
fuzz scene_fuzzer fuzz/corpus fuzz/regressions build-fuzz/corpus-fresh
fuzz scene_file_fuzzer -dict=fuzz/scene_file.dict examples
mkdir -p build-fuzz/corpus-svg && cp examples/*.svg build-fuzz/corpus-svg/
fuzz svg_fuzzer -dict=fuzz/svg.dict build-fuzz/corpus-svg
step "done"
