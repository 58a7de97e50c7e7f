"""Builds the kestrum package with the library inside it.

    pip wheel --no-build-isolation ./python      # a wheel, in the current directory
    pip install --no-build-isolation ./python    # into the current environment

Nothing needs installing first. The library, its toolkit and the extension
are built by CMake from the source tree this directory is part of (Release,
only the targets the package needs, in pip's build directory), or taken from
a build tree that has them already: set KESTRUM_BUILD_DIR to a tree
configured with -DKESTRUM_BUILD_PYTHON=ON and built. Either way the package
carries libkestrum and libkestrum-toolkit beside the extension, which finds
them there ($ORIGIN); at run time it needs only what they link (the C++
runtime and mimalloc: Debian's libmimalloc2.0). --no-build-isolation lets
pip use the system's setuptools instead of fetching its own.
"""
import glob
import os
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
# What the extension loads, by the names it asks for (the sonames).
LIBRARIES = ["libkestrum.so.1", "libkestrum-toolkit.so.1"]


def version():
    with open(os.path.join(SOURCE, "include", "kestrum.h")) as header:
        for line in header:
            if line.startswith("#define KESTRUM_VERSION_STRING"):
                return line.split('"')[1]
    raise SystemExit("include/kestrum.h names no version")


class BuiltByCMake(Extension):
    """The extension CMake builds (python/CMakeLists.txt); no sources here."""

    def __init__(self, name):
        super().__init__(name, sources=[])


class BuildWithCMake(build_ext):
    def run(self):
        tree = os.environ.get("KESTRUM_BUILD_DIR")
        if tree:
            tree = os.path.abspath(tree)
        else:
            tree = os.path.abspath(os.path.join(self.build_temp, "cmake"))
            self.cmake(tree)
        for extension in self.extensions:
            self.bundle(tree, self.get_ext_fullpath(extension.name))

    def cmake(self, tree):
        if not os.path.isfile(os.path.join(SOURCE, "CMakeLists.txt")):
            raise SystemExit("build from kestrum's source tree: %s has no CMakeLists.txt" % SOURCE)
        subprocess.run(["cmake", "-S", SOURCE, "-B", tree, "-DCMAKE_BUILD_TYPE=Release", "-DKESTRUM_BUILD_PYTHON=ON",
                        "-DKESTRUM_BUILD_TESTS=OFF", "-DPython3_EXECUTABLE=" + sys.executable], check=True)
        subprocess.run(["cmake", "--build", tree, "--target", "kestrum_python", "--parallel", str(os.cpu_count() or 2)],
                       check=True)

    def bundle(self, tree, target):
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        built = os.path.join(tree, "python", "kestrum", "_kestrum" + suffix)
        if not os.path.isfile(built):
            found = glob.glob(os.path.join(tree, "python", "kestrum", "_kestrum*.so"))
            raise SystemExit("%s holds no extension for this Python (%s)%s" % (
                tree, suffix, ": it has %s" % ", ".join(map(os.path.basename, found)) if found else
                "; configure it with -DKESTRUM_BUILD_PYTHON=ON and build it"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        copies = [target]
        shutil.copyfile(built, target)
        for name in LIBRARIES:
            library = os.path.join(tree, name)
            if not os.path.exists(library):
                raise SystemExit("%s has no %s" % (tree, name))
            copy = os.path.join(os.path.dirname(target), name)
            shutil.copyfile(os.path.realpath(library), copy)
            copies.append(copy)
        # Each that looks for libraries of the build finds them beside itself
        # instead, wherever the package lands (CMake edits the ELF files).
        script = os.path.join(self.build_temp, "runpath.cmake")
        os.makedirs(self.build_temp, exist_ok=True)
        with open(script, "w") as out:
            out.write('foreach(file IN LISTS FILES)\n'
                      '  unset(runpath)\n  unset(rpath)\n'
                      '  file(READ_ELF "${file}" RUNPATH runpath RPATH rpath)\n'
                      '  if(runpath OR rpath)\n'
                      '    file(RPATH_SET FILE "${file}" NEW_RPATH "$ORIGIN")\n'
                      '  endif()\n'
                      'endforeach()\n')
        subprocess.run(["cmake", "-DFILES=" + ";".join(copies), "-P", script], check=True, stdout=subprocess.DEVNULL)


setup(
    name="kestrum",
    version=version(),
    description="Image-analysis projects: tiles, samples, data files and their processing model",
    long_description=open(os.path.join(HERE, "README.md")).read(),
    long_description_content_type="text/markdown",
    packages=["kestrum"],
    package_data={"kestrum": ["__init__.pyi", "py.typed"]},
    ext_modules=[BuiltByCMake("kestrum._kestrum")],
    cmdclass={"build_ext": BuildWithCMake},
    python_requires=">=3.9",
    zip_safe=False,
)
