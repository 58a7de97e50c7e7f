"""Both ways of installing the package, as a user takes them:

1. `cmake --install` into a prefix puts it where the system's python3 looks
   under that prefix, and it imports there with the installed libraries;
2. `pip install --no-build-isolation ./python` in a venv made with
   --system-site-packages builds it against that installed kestrum (found by
   pkg-config), with Debian's setuptools and pybind11 and no network.

    install_check.py BUILD_DIR SOURCE_DIR WORK_DIR
"""
import os
import shutil
import site
import subprocess
import sys

SMOKE = """
import kestrum, sys
project = kestrum.Project()
project.tiles.add("T1").files.add("photo", "/a.img")
assert kestrum.Project.from_dict(project.to_dict()).tiles["T1"].files["photo"].descriptor == "/a.img"
print(kestrum.__file__)
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

    venv = os.path.join(work, "venv")
    run(sys.executable, "-m", "venv", "--system-site-packages", venv)
    python = os.path.join(venv, "bin", "python")
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_PRELOAD")}
    env["PKG_CONFIG_PATH"] = os.path.join(prefix, "lib", "pkgconfig")
    for libdir in ("lib", os.path.join("lib", "x86_64-linux-gnu")):
        if os.path.isdir(os.path.join(prefix, libdir, "pkgconfig")):
            env["PKG_CONFIG_PATH"] = os.path.join(prefix, libdir, "pkgconfig")
    env["CFLAGS"] = "-O0 -g0"  # this checks the packaging; keep the compile short
    # pip builds in the tree it is given: a copy of python/ beside links to
    # the parts of the source it reads, so that the checkout stays clean.
    tree = os.path.join(work, "source")
    shutil.copytree(os.path.join(source, "python"), os.path.join(tree, "python"),
                    ignore=shutil.ignore_patterns("build", "*.egg-info"))
    for part in ("include", "node", "persist", "toolkit", "tools"):
        os.symlink(os.path.join(source, part), os.path.join(tree, part))
    run(python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--quiet",
        os.path.join(tree, "python"), env=env)
    where = run(python, "-c", SMOKE, env=env).strip()
    assert where.startswith(venv), where
    stubs = os.path.join(os.path.dirname(where), "__init__.pyi")
    assert os.path.isfile(stubs), stubs
    print("cmake --install and pip install both give an importable kestrum")


if __name__ == "__main__":
    main()
