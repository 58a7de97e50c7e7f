#!/usr/bin/env python3
"""The Python package against `kestrum export` on the reference project
(2,000 tiles x 50 samples, 300,000 data files), all measured in one run:

- export: `kestrum export FILE` to a pipe (load, walk, write the JSON);
- walk:   Project.load(FILE), then every data file of the project, its tiles
          and samples read from Python (type and descriptor);
- dict:   Project.load(FILE), then project.to_dict().

Each is the best of --repeat runs; the ratios to export are printed.

    PYTHONPATH=build/python bench/python_walk.py --tool build/tools/kestrum \\
        --builder build/bench/kestrum_reference_project [--dir DIR] [--tiles N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time


def best(repeat, work):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def walk(path):
    import kestrum
    project = kestrum.Project.load(path)
    count = 0
    for f in project.files:
        count += len(f.type) + len(f.descriptor)
    for tile in project.tiles:
        for f in tile.files:
            count += len(f.type) + len(f.descriptor)
        for sample in tile.samples:
            for f in sample.files:
                count += len(f.type) + len(f.descriptor)
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--builder", required=True, help="kestrum_reference_project")
    parser.add_argument("--dir", default="/tmp/kestrum-python-bench")
    parser.add_argument("--tiles", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    import kestrum
    shutil.rmtree(args.dir, ignore_errors=True)
    path = subprocess.run([args.builder, args.dir, str(args.tiles)], check=True, capture_output=True,
                          text=True).stdout.strip()
    files = sum(1 for _ in kestrum.Project.load(path).files)
    project = kestrum.Project.load(path)
    files += sum(len(t.files) + sum(len(s.files) for s in t.samples) for t in project.tiles)
    del project
    print("%s: %d tiles, %d data files" % (path, args.tiles, files))

    export = best(args.repeat, lambda: subprocess.run([args.tool, "export", path], check=True,
                                                      stdout=subprocess.DEVNULL))
    walked = best(args.repeat, lambda: walk(path))
    dicted = best(args.repeat, lambda: kestrum.Project.load(path).to_dict())
    print("kestrum export        %7.3f s" % export)
    print("load + walk files     %7.3f s   %.2fx export" % (walked, walked / export))
    print("load + to_dict()      %7.3f s   %.2fx export" % (dicted, dicted / export))
    shutil.rmtree(args.dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
