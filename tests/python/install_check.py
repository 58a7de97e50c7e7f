"""Both ways of installing the package, as a user takes them:

1. `cmake --install` into a prefix puts it where the system's python3 looks
   under that prefix, and it imports there with the installed libraries;
2. `pip wheel --no-build-isolation ./python` makes a wheel with the
   libraries inside (from this build tree, KESTRUM_BUILD_DIR, so that
   nothing is compiled again), with Debian's setuptools and no network, and
   the wheel installs into a fresh venv without the system's packages and
   imports there, with no other kestrum in reach.

    install_check.py BUILD_DIR SOURCE_DIR WORK_DIR
"""
import glob
import os
import shutil
import site
import subprocess
import sys
import zipfile

SMOKE = """
import kestrum, sys
project = kestrum.Project()
project.levels[1].pfa_files.add("photo", kestrum.Format.RASTER)
project.tiles.add("T1").files.add("photo", "/a.img")
assert kestrum.Project.from_dict(project.to_dict()).tiles["T1"].files["photo"].descriptor == "/a.img"
print(kestrum.__file__)
"""

# The libraries the process has loaded.
MAPS = """
print("\\n".join(sorted({line.split()[-1] for line in open("/proc/self/maps") if ".so" in line})))
"""

WORK = None


def run(*args, env=None):
    # Run from an empty place: the current directory comes first on sys.path.
    done = subprocess.run(args, capture_output=True, text=True, env=env, cwd=os.path.join(WORK, "empty"))
    if done.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(map(str, args)), done.stdout, done.stderr))
    return done.stdout


def main():
    build, source, work = sys.argv[1:4]
    global WORK
    WORK = work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "empty"))
    prefix = os.path.join(work, "prefix")
    run("cmake", "--install", build, "--prefix", prefix)

    # Where python3 looks under that prefix (Debian: lib/python3.X/dist-packages).
    places = [p for p in site.getsitepackages([prefix]) if os.path.isdir(os.path.join(p, "kestrum"))]
    assert places, "the package is in none of %s" % site.getsitepackages([prefix])
    env = dict(os.environ, PYTHONPATH=places[0])
    where = run(sys.executable, "-c", SMOKE, env=env).strip()
    assert where.startswith(places[0]), where

    # pip builds in the tree it is given: a copy of python/ beside a link to
    # the header it reads the version from, so that the checkout stays clean.
    tree = os.path.join(work, "source")
    shutil.copytree(os.path.join(source, "python"), os.path.join(tree, "python"),
                    ignore=shutil.ignore_patterns("build", "*.egg-info"))
    os.symlink(os.path.join(source, "include"), os.path.join(tree, "include"))
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_PRELOAD", "LD_LIBRARY_PATH")}
    wheels = os.path.join(work, "wheels")
    run(sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-index", "--quiet",
        "-w", wheels, os.path.join(tree, "python"), env=dict(env, KESTRUM_BUILD_DIR=os.path.abspath(build)))
    [wheel] = glob.glob(os.path.join(wheels, "kestrum-*.whl"))
    held = set(zipfile.ZipFile(wheel).namelist())
    for name in ("kestrum/__init__.pyi", "kestrum/py.typed", "kestrum/libkestrum.so.1",
                 "kestrum/libkestrum-toolkit.so.1"):
        assert name in held, (name, sorted(held))

    venv = os.path.join(work, "venv")
    run(sys.executable, "-m", "venv", venv)
    python = os.path.join(venv, "bin", "python")
    run(python, "-m", "pip", "install", "--no-index", "--quiet", wheel, env=env)
    # What the extension loaded must be the wheel's own libraries.
    where = run(python, "-c", SMOKE + MAPS, env=env).split()
    assert where[0].startswith(venv), where
    loaded = [path for path in where[1:] if "libkestrum" in path]
    assert loaded and all(path.startswith(os.path.dirname(where[0])) for path in loaded), loaded
    print("cmake --install and the wheel both give an importable kestrum")


if __name__ == "__main__":
    main()
