"""Builds the kestrum package against an installed kestrum.

    pip install --no-build-isolation ./python

kestrum is found through pkg-config (set PKG_CONFIG_PATH to
PREFIX/lib/pkgconfig for an installation outside the usual places). The
extension is the one CMake builds (src/*.cc); the JSON mapping and the
readiness explanation it uses are the command-line tool's own sources, taken
from the source tree beside this directory.
"""
import glob
import os
import subprocess

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(os.path.dirname(HERE), "tools")
# The parts of the tool the extension calls into (the CMake build links the
# tool's library instead).
with open(os.path.join(HERE, "tool_sources.txt")) as listing:
    TOOL_SOURCES = [line.strip() for line in listing if line.strip() and not line.startswith("#")]


def pkg_config(*args):
    try:
        out = subprocess.run(["pkg-config", *args, "kestrum"], check=True, capture_output=True, text=True)
    except (OSError, subprocess.CalledProcessError) as error:
        raise SystemExit("kestrum not found by pkg-config (install it, or set PKG_CONFIG_PATH): %s" % error)
    return out.stdout.split()


def version():
    with open(os.path.join(os.path.dirname(HERE), "include", "kestrum.h")) as header:
        for line in header:
            if line.startswith("#define KESTRUM_VERSION_STRING"):
                return line.split('"')[1]
    raise SystemExit("include/kestrum.h names no version")


if not os.path.isdir(TOOLS):
    raise SystemExit("build from kestrum's source tree: %s is missing" % TOOLS)

libdirs = [flag[2:] for flag in pkg_config("--libs-only-L")]
extension = Pybind11Extension(
    "kestrum._kestrum",
    sorted(os.path.relpath(path, HERE) for path in glob.glob(os.path.join(HERE, "src", "*.cc")))
    + [os.path.relpath(os.path.join(TOOLS, name), HERE) for name in TOOL_SOURCES],
    # The installed headers first; the tool's sources and the header-only
    # name hash and file schema they use come from the source tree.
    include_dirs=[flag[2:] for flag in pkg_config("--cflags-only-I")]
    + [TOOLS, os.path.join(os.path.dirname(HERE), "toolkit"), os.path.dirname(HERE)],
    library_dirs=libdirs,
    libraries=[flag[2:] for flag in pkg_config("--libs-only-l")],
    runtime_library_dirs=libdirs,
    cxx_std=20,
)

setup(
    name="kestrum",
    version=version(),
    description="Image-analysis projects: tiles, samples, data files and their processing model",
    packages=["kestrum"],
    package_data={"kestrum": ["__init__.pyi", "py.typed"]},
    ext_modules=[extension],
    cmdclass={"build_ext": build_ext},
    python_requires=">=3.9",
)
