"""Two threads using one project, and finalizers that change it from inside
the collector: every call either does its work or raises one of the
package's exceptions (a handle gone stale, a name gone), never touches a
freed node and never crashes the interpreter. The switch interval is made
tiny and the collector eager, so that threads change hands and finalizers
run at as many points inside the package's calls as can be reached."""
import gc
import random
import sys
import threading

import kestrum

EXPECTED = (kestrum.Error, kestrum.StaleHandleError, KeyError, IndexError, ValueError)


def build():
    project = kestrum.Project()
    project.levels[1].pfa_files.add("photo", kestrum.Format.RASTER)
    project.levels[2].pfa_files.add("plot", kestrum.Format.VECTOR)
    segment = project.levels[1].processes.add("segment")
    segment.arguments.add("in", "photo")
    count = project.levels[2].processes.add("count")
    count.arguments.add("in", "plot")
    for t in range(8):
        tile = project.tiles.add("T%d" % t)
        tile.files.add("photo", "/nowhere/T%d.img" % t)
        for s in range(3):
            tile.samples.add("S%d" % s).files.add("plot", "/nowhere/T%dS%d.img" % (t, s))
    return project


class Dropper:
    """Removes a tile when the collector frees it (it lives in a cycle)."""

    def __init__(self, project, name):
        self.project, self.name, self.me = project, name, self

    def __del__(self):
        try:
            del self.project.tiles[self.name]
        except EXPECTED:
            pass


def writer(project, rng, rounds, tmp_path, failures):
    try:
        for i in range(rounds):
            op = rng.randrange(8)
            try:
                if op == 0:
                    project.tiles.add("T%d" % rng.randrange(12)).files.rebuild()
                elif op == 1:
                    del project.tiles[rng.randrange(max(1, len(project.tiles)))]
                elif op == 2:
                    project.tiles.set_names(rng.sample(["T%d" % n for n in range(12)], rng.randrange(1, 10)))
                elif op == 3:
                    project.tiles[rng.randrange(max(1, len(project.tiles)))].samples.set_names(["S0", "S9"])
                elif op == 4:
                    Dropper(project, "T%d" % rng.randrange(12))  # freed by some later collection
                elif op == 5:
                    kestrum.Project.from_dict(project.to_dict())
                elif op == 6:
                    project.save_as(tmp_path / ("w%d.kpf" % (i % 3)))
                else:
                    project.validate()
            except EXPECTED:
                pass
    except BaseException as error:  # noqa: B902 - reported to the main thread
        failures.append(error)


def reader(project, rng, rounds, failures):
    try:
        for _ in range(rounds):
            try:
                for tile in project.tiles:
                    for f in tile.files:
                        f.descriptor, f.path, f.exists
                    for sample in tile.samples:
                        for f in sample.files:
                            f.type
                        project.levels[2].processes["count"].missing(sample)
                if rng.random() < 0.3:
                    for row in project.readiness():
                        row.node.files, [str(m) for m in row.missing]
                if rng.random() < 0.3:
                    project.to_dict()
            except EXPECTED:
                pass
    except BaseException as error:  # noqa: B902
        failures.append(error)


def test_two_threads_and_finalizers_never_touch_a_freed_node(tmp_path):
    interval, thresholds = sys.getswitchinterval(), gc.get_threshold()
    sys.setswitchinterval(1e-6)
    gc.set_threshold(50, 2, 2)
    failures = []
    try:
        for seed in range(3):
            project = build()
            threads = [threading.Thread(target=writer, args=(project, random.Random(seed), 300, tmp_path, failures)),
                       threading.Thread(target=reader, args=(project, random.Random(seed + 10), 60, failures))]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            gc.collect()
            # Whatever happened, the project is whole: it reads, saves and loads.
            project.save_as(tmp_path / "after.kpf")
            assert kestrum.Project.load(tmp_path / "after.kpf").to_dict()["tiles"] == project.to_dict()["tiles"]
    finally:
        sys.setswitchinterval(interval)
        gc.set_threshold(*thresholds)
    assert not failures, failures
