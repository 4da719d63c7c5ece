#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds and runs the C
# example against it three ways: the CMake package (find_package),
# pkg-config, and the source tree as a subproject (add_subdirectory), and
# the scene library's example through pkg-config. Checks what the install
# put where. Then the Python package, on its own: `pip install ./python` and
# `pip wheel ./python` each into a fresh virtual environment, which then run
# the Python example and a notebook's _repr_png_ with nothing else
# installed. Usage: scripts/check-install.sh [WORKDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
work=${1:-$(mktemp -d)}
prefix=$work/prefix
rm -rf "$work/lib-build" "$work/example-"* "$work/venv"* "$work/wheel" "$prefix"
jobs=$(nproc)

# The library and the tool only: no test or benchmark dependency is needed.
cmake -S . -B "$work/lib-build" -DCMAKE_BUILD_TYPE=Release -DVOKRI_BUILD_TESTS=OFF -DVOKRI_BUILD_BENCH=OFF \
  -DVOKRI_BUILD_TOOLS=ON >/dev/null
cmake --build "$work/lib-build" -j"$jobs" >/dev/null
cmake --install "$work/lib-build" --prefix "$prefix" >/dev/null
for f in lib/libvokri_core.so.3 lib/libvokri_core.so include/vokri_core.h lib/pkgconfig/vokri_core.pc \
         lib/cmake/vokri_core/vokri_coreConfig.cmake lib/cmake/vokri_core/vokri_coreConfigVersion.cmake \
         lib/libvokri_scenefile.so.1 include/vokri_scenefile.h lib/pkgconfig/vokri_scenefile.pc bin/vokri-render; do
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

# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror examples/c/render_scene_file.c \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs vokri_scenefile) \
  -o "$work/example-pkgconfig/render_scene_file"
(cd "$work" && LD_LIBRARY_PATH="$prefix/lib" "$work/example-pkgconfig/render_scene_file" \
  "$src/examples/showcase.json" "$work/scenefile.png")
cmp "$work/scenefile.png" <("$prefix/bin/vokri-render" "$src/examples/showcase.json" -)

# The build tree's own CMake package works without installing.
cmake -S examples/c -B "$work/example-buildtree" -Dvokri_core_DIR="$work/lib-build" >/dev/null
cmake --build "$work/example-buildtree" >/dev/null
run_example buildtree "$work/example-buildtree/render_frame"

cmake -S examples/c -B "$work/example-subproject" -DVOKRI_SOURCE_DIR="$src" >/dev/null
cmake --build "$work/example-subproject" -j"$jobs" >/dev/null
run_example subproject "$work/example-subproject/render_frame"

# The Python package in virtual environments that see Debian's numpy, with
# nothing else: the libraries come inside the package.
python_checks() {  # VENV
  (cd "$work" && env -u VOKRI_SCENEFILE_LIBRARY "$1/bin/python" "$src/examples/python/render_frame.py")
  [ -s "$work/showcase-python.png" ] || { echo "check-install: the Python example wrote no PNG" >&2; exit 1; }
  (cd "$work" && env -u VOKRI_SCENEFILE_LIBRARY "$1/bin/python" -c "
import vokri, sys
png = vokri.load_scene(sys.argv[1])._repr_png_()
assert png[:8] == b'\x89PNG\r\n\x1a\n', png[:8]
assert vokri.__file__.startswith(sys.argv[2]), vokri.__file__
" "$src/examples/showcase.json" "$1")
  rm -f "$work/showcase-python.png"
}
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install -q ./python
python_checks "$work/venv"
"$work/venv/bin/pip" wheel -q --no-deps -w "$work/wheel" ./python
/usr/bin/python3 -m venv --system-site-packages "$work/venv-wheel"
"$work/venv-wheel/bin/pip" install -q --no-index "$work/wheel"/vokri-*.whl
python_checks "$work/venv-wheel"

cmp "$work/package.png" "$work/pkgconfig.png"
cmp "$work/package.png" "$work/subproject.png"
cmp "$work/package.png" "$work/buildtree.png"
echo "check-install: installed to $prefix; the example built three ways renders the same frame"
