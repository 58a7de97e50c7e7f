#!/usr/bin/env python3
"""The Python package against the tool on the reference project (2,000 tiles
x 50 samples, 300,000 data files), CPU time, all measured in one run:

- export:    `kestrum export FILE` to a pipe (load, walk, write the JSON);
- to_dict:   Project.load(FILE), then project.to_dict();
- walk:      Project.load(FILE), then every data file of the project, its
             tiles and samples read from Python (type and descriptor);
- import:    `kestrum import JSON OUT` (parse, build, save);
- from_dict: Project.from_dict(document) of the same JSON, read beforehand
             with json.load (build only);
- from_dict + save: the same and save_as, the whole of what import does.

Each figure is the median of --repeat runs with the range (min-max); the
tool's CPU time is its own (user + system) as the kernel counts it for a
child, the package's that of this process. Ratios are to export (reading)
and to import (building).

    PYTHONPATH=build/python bench/python_walk.py --tool build/tools/kestrum \\
        --builder build/bench/kestrum_reference_project [--dir DIR] [--tiles N] [--repeat N]
"""
import argparse
import gc
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def child_cpu(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def own_cpu(work):
    gc.collect()
    start = time.process_time()
    work()
    return time.process_time() - start


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
    parser.add_argument("--dir", help="a directory of its own for the project (default: a new temporary one)")
    parser.add_argument("--tiles", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    import kestrum
    work = args.dir or tempfile.mkdtemp(prefix="kestrum-python-bench.")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    path = subprocess.run([args.builder, os.path.join(work, "project"), str(args.tiles)], check=True,
                          capture_output=True, text=True).stdout.strip()
    text = os.path.join(work, "project.json")
    with open(text, "w") as out:
        subprocess.run([args.tool, "export", path], check=True, stdout=out)
    with open(text) as source:
        document = json.load(source)
    imported = os.path.join(work, "imported.kpf")

    def fresh(target):
        if os.path.exists(target):
            os.remove(target)
        return target

    cases = {
        "export": lambda: child_cpu([args.tool, "export", path]),
        "to_dict": lambda: own_cpu(lambda: kestrum.Project.load(path).to_dict()),
        "walk": lambda: own_cpu(lambda: walk(path)),
        "import": lambda: child_cpu([args.tool, "import", text, fresh(imported)]),
        "from_dict": lambda: own_cpu(lambda: kestrum.Project.from_dict(document)),
        "from_dict + save": lambda: own_cpu(
            lambda: kestrum.Project.from_dict(document).save_as(fresh(imported))),
    }
    times = {name: [] for name in cases}
    for _ in range(args.repeat):  # interleaved, so that a busy moment hits every case alike
        for name, case in cases.items():
            times[name].append(case())
    medians = {name: statistics.median(values) for name, values in times.items()}
    print("%s: %d tiles, CPU seconds, median of %d (min-max)" % (path, args.tiles, args.repeat))
    for name, values in times.items():
        base = "import" if name.startswith("from_dict") else "export"
        ratio = "" if name in ("export", "import") else "  %.2fx %s" % (medians[name] / medians[base], base)
        print("  %-18s %6.3f  (%.3f-%.3f)%s" % (name, medians[name], min(values), max(values), ratio))
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
