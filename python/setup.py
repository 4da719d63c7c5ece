# The vokri package: Python bindings over the scene library. Building the
# package (pip install ./python, pip wheel ./python) builds libvokri_scenefile
# and libvokri_core from this source tree with CMake and puts them inside
# the package, so that it needs nothing installed beside it. No network is
# used: setuptools comes from the environment (with a pip newer than
# Debian's, pass --no-build-isolation).
#
# VOKRI_USE_SYSTEM_LIBRARY=1 skips the build: the package then loads an
# installed libvokri_scenefile.so.1 (cmake --install) or the one that
# $VOKRI_SCENEFILE_LIBRARY names.
import os
import shutil
import subprocess
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent
LIBRARIES = ("scenefile/libvokri_scenefile.so.1", "libvokri_core.so.3")


class BuildWithLibraries(build_py):
    """build_py, then the two libraries built with CMake into the package."""

    def run(self):
        super().run()
        if os.environ.get("VOKRI_USE_SYSTEM_LIBRARY") == "1":
            return
        if not (SOURCE / "CMakeLists.txt").is_file() or not (SOURCE / "scenefile").is_dir():
            raise SystemExit(f"vokri: the library sources are not beside the package (looked for {SOURCE}/"
                             "CMakeLists.txt); build from the source tree, or set VOKRI_USE_SYSTEM_LIBRARY=1 to use "
                             "an installed libvokri_scenefile")
        if shutil.which("cmake") is None:
            raise SystemExit("vokri: building the package needs CMake and a C++ compiler (Debian: apt-get install "
                             "cmake g++ zlib1g-dev libpng-dev nlohmann-json3-dev)")
        build = Path(os.path.abspath(os.path.join(self.build_lib, "..", "vokri-cmake")))
        jobs = str(os.cpu_count() or 1)
        subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DVOKRI_BUILD_TESTS=OFF", "-DVOKRI_BUILD_BENCH=OFF", "-DVOKRI_BUILD_TOOLS=OFF",
                        "-DVOKRI_BUILD_SCENEFILE=ON", "-DVOKRI_INSTALL=OFF"], check=True)
        subprocess.run(["cmake", "--build", str(build), "-j", jobs, "--target", "vokri_scenefile", "vokri_core"],
                       check=True)
        target = Path(self.build_lib) / "vokri"
        for name in LIBRARIES:
            # The files themselves, under their SONAMEs, not the links.
            shutil.copyfile(build / name, target / Path(name).name)


class BinaryDistribution(Distribution):
    """The package carries compiled libraries: its wheel is for one platform."""

    def has_ext_modules(self):
        return os.environ.get("VOKRI_USE_SYSTEM_LIBRARY") != "1"


setup(
    name="vokri",
    version="3.0.0",
    description="Python bindings of the vokri_core frame renderer (ctypes, numpy)",
    license="MIT",
    packages=["vokri"],
    python_requires=">=3.9",
    install_requires=["numpy"],
    extras_require={"progress": ["tqdm"], "dask": ["distributed"]},
    cmdclass={"build_py": BuildWithLibraries},
    distclass=BinaryDistribution,
    zip_safe=False,
)
