#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds and runs the C
# example against it three ways: the CMake package (find_package),
# pkg-config, and the source tree as a subproject (add_subdirectory). Checks
# what the install put where, then installs the Python package with pip and
# runs its example against the installed library. Usage: scripts/check-install.sh [WORKDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
work=${1:-$(mktemp -d)}
prefix=$work/prefix
rm -rf "$work/lib-build" "$work/example-"* "$work/venv" "$prefix"
jobs=$(nproc)

# The library and the tool only: no test or benchmark dependency is needed.
cmake -S . -B "$work/lib-build" -DCMAKE_BUILD_TYPE=Release -DVOKRI_BUILD_TESTS=OFF -DVOKRI_BUILD_BENCH=OFF \
  -DVOKRI_BUILD_TOOLS=ON >/dev/null
cmake --build "$work/lib-build" -j"$jobs" >/dev/null
cmake --install "$work/lib-build" --prefix "$prefix" >/dev/null
for f in lib/libvokri_core.so.3 lib/libvokri_core.so include/vokri_core.h lib/pkgconfig/vokri_core.pc \
         lib/cmake/vokri_core/vokri_coreConfig.cmake lib/cmake/vokri_core/vokri_coreConfigVersion.cmake \
         bin/vokri-render; do
  [ -e "$prefix/$f" ] || { echo "check-install: $f was not installed" >&2; exit 1; }
done
"$prefix/bin/vokri-render" --version

run_example() {  # NAME BINARY
  (cd "$work" && LD_LIBRARY_PATH="$prefix/lib" "$2" "$work/$1.png")
  [ -s "$work/$1.png" ] || { echo "check-install: $1 wrote no PNG" >&2; exit 1; }
}

cmake -S examples/c -B "$work/example-package" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example-package" >/dev/null
run_example package "$work/example-package/render_frame"

mkdir -p "$work/example-pkgconfig"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror examples/c/render_frame.c \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs vokri_core) \
  -o "$work/example-pkgconfig/render_frame"
run_example pkgconfig "$work/example-pkgconfig/render_frame"

cmake -S examples/c -B "$work/example-subproject" -DVOKRI_SOURCE_DIR="$src" >/dev/null
cmake --build "$work/example-subproject" -j"$jobs" >/dev/null
run_example subproject "$work/example-subproject/render_frame"

# The Python package, installed with pip into a virtual environment that
# sees Debian's numpy, runs its example against the installed library.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install -q ./python
(cd "$work" && VOKRI_CORE_LIBRARY="$prefix/lib/libvokri_core.so.3" "$work/venv/bin/python" \
  "$src/examples/python/render_frame.py")
[ -s "$work/showcase-python.png" ] || { echo "check-install: the Python example wrote no PNG" >&2; exit 1; }

cmp "$work/package.png" "$work/pkgconfig.png"
cmp "$work/package.png" "$work/subproject.png"
echo "check-install: installed to $prefix; the example built three ways renders the same frame"
