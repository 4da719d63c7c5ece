# A pure-Python package: the bindings load the installed vokri_core library
# with ctypes. `pip install ./python` needs no network (setuptools as the
# system has it, no isolated build).
from setuptools import setup

setup(
    name="vokri",
    version="3.0.0",
    description="Python bindings of the vokri_core frame renderer (ctypes, numpy)",
    license="MIT",
    packages=["vokri"],
    python_requires=">=3.9",
    install_requires=["numpy"],
)
