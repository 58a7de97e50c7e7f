"""Handles against every way a node can go: a seeded generator of random
operations (adds, removals, renames, list rebuilds, clears, loads, projects
dropped) beside a model of which node each handle refers to. After every
step a handle whose node lives must read that node, and one whose node went
must raise StaleHandleError, also when a new node took the freed address."""
import gc
import random

import pytest

import kestrum

NAMES = ["A", "B", "C", "D", "E"]
TYPES = ["photo", "mask", "plot", "report"]


class Model:
    """Which nodes exist, as paths, and an identity per node that survives
    renames and moves but not removal."""

    def __init__(self):
        self.ids = {}  # path -> id; paths: ("T", t), ("S", t, s), ("F", owner, type), ("P", lv, p), ("A", lv, p, a), ("Q", lv, name)
        self.next_id = 0

    def add(self, path):
        self.next_id += 1
        self.ids[path] = self.next_id

    def drop(self, test):
        for path in [p for p in self.ids if test(p)]:
            del self.ids[path]

    def rename(self, old, new):
        """Re-keys every path whose key begins with `old`."""
        moved = {}
        for path, ident in list(self.ids.items()):
            if path[: len(old)] == old:
                moved[new + path[len(old):]] = ident
                del self.ids[path]
        self.ids.update(moved)

    def under(self, owner):
        """A test for the node at `owner` and everything below it (its files, samples)."""
        def test(path):
            if path == owner:
                return True
            if path[0] == "F" and (path[1] == owner or (owner[0] == "T" and path[1][:2] == ("S", owner[1]))):
                return True
            return owner[0] == "T" and path[0] == "S" and path[1] == owner[1]
        return test


def owner_path(node):
    if isinstance(node, kestrum.Project):
        return ("/",)
    if isinstance(node, kestrum.Tile):
        return ("T", node.name)
    return ("S", node.tile.name, node.name)


def walk(project):
    """The project's nodes as model paths, read through the package."""
    paths = set()
    owners = [project]
    for tile in project.tiles:
        paths.add(("T", tile.name))
        owners.append(tile)
        for sample in tile.samples:
            paths.add(("S", tile.name, sample.name))
            owners.append(sample)
    for owner in owners:
        for f in owner.files:
            paths.add(("F", owner_path(owner), f.type))
    for level in project.levels:
        for pfa in level.pfa_files:
            paths.add(("Q", level.index, pfa.name))
        for process in level.processes:
            paths.add(("P", level.index, process.name))
            for argument in process.arguments:
                paths.add(("A", level.index, process.name, argument.name))
    return paths


def resolve(project, path):
    kind = path[0]
    if kind == "T":
        return project.tiles[path[1]]
    if kind == "S":
        return project.tiles[path[1]].samples[path[2]]
    if kind == "F":
        owner = path[1]
        node = project if owner == ("/",) else resolve(project, owner)
        return node.files[path[2]]
    if kind == "Q":
        return project.levels[path[1]].pfa_files[path[2]]
    if kind == "P":
        return project.levels[path[1]].processes[path[2]]
    return project.levels[path[1]].processes[path[2]].arguments[path[3]]


def node_name(handle):
    return handle.type if isinstance(handle, kestrum.File) else handle.name


class Run:
    def __init__(self, seed, directory):
        self.rng = random.Random(seed)
        self.directory = directory
        self.project = kestrum.Project()
        self.model = Model()
        self.held = []  # (handle, id) of the current project
        self.frozen = []  # (handle, name) of projects given up; they must stay readable

    def pick(self, kind):
        paths = [p for p in self.model.ids if p[0] == kind]
        return self.rng.choice(paths) if paths else None

    def owner(self):
        owners = [("/",)] + [p for p in self.model.ids if p[0] in "TS"]
        return self.rng.choice(owners)

    def node(self, path):
        return self.project if path == ("/",) else resolve(self.project, path)

    def expect_refusal(self, call):
        with pytest.raises(kestrum.Error):
            call()

    def step(self):
        rng, model, project = self.rng, self.model, self.project
        op = rng.randrange(14)
        name = rng.choice(NAMES)
        if op == 0:
            path = ("T", name)
            if path in model.ids:
                self.expect_refusal(lambda: project.tiles.add(name))
            else:
                project.tiles.add(name)
                model.add(path)
        elif op == 1 and (tile := self.pick("T")):
            path = ("S", tile[1], name)
            if path in model.ids:
                self.expect_refusal(lambda: project.tiles[tile[1]].samples.add(name))
            else:
                project.tiles[tile[1]].samples.add(name)
                model.add(path)
        elif op == 2:
            owner, ftype = self.owner(), rng.choice(TYPES)
            path = ("F", owner, ftype)
            if path in model.ids:
                self.expect_refusal(lambda: self.node(owner).files.add(ftype, "/x/" + ftype, strict=False))
            else:
                self.node(owner).files.add(ftype, "/x/" + ftype, strict=False)
                model.add(path)
        elif op == 3:
            victim = self.pick(rng.choice("TSF"))
            if victim:
                handle = resolve(project, victim)
                parent = project if victim[0] == "T" else (handle.tile if victim[0] == "S" else handle.parent)
                lists = {"T": lambda: parent.tiles, "S": lambda: parent.samples, "F": lambda: parent.files}
                del lists[victim[0]]()[node_name(handle)]
                model.drop(model.under(victim) if victim[0] != "F" else (lambda p: p == victim))
        elif op == 4 and (tile := self.pick("T")):
            new = ("T", name)
            if new == tile:
                return
            if new in model.ids:
                self.expect_refusal(lambda: setattr(project.tiles[tile[1]], "name", name))
            else:
                project.tiles[tile[1]].name = name
                model.rename(("T", tile[1]), new)
                model.rename(("S", tile[1]), ("S", name))
                for path in [p for p in model.ids if p[0] == "F" and p[1][:2] in (("T", tile[1]), ("S", tile[1]))]:
                    model.ids[("F", (p1 := path[1])[:1] + (name,) + p1[2:], path[2])] = model.ids.pop(path)
        elif op == 5:
            names = rng.sample(NAMES, rng.randrange(len(NAMES) + 1))
            project.tiles.set_names(names)
            for tile in [p for p in model.ids if p[0] == "T" and p[1] not in names]:
                model.drop(model.under(tile))
            for tname in names:
                if ("T", tname) not in model.ids:
                    model.add(("T", tname))
                    for pfa in project.levels[1].pfa_files.names():
                        model.add(("F", ("T", tname), pfa))
        elif op == 6 and (tile := self.pick("T")):
            names = rng.sample(NAMES, rng.randrange(len(NAMES) + 1))
            project.tiles[tile[1]].samples.set_names(names)
            for sample in [p for p in model.ids if p[0] == "S" and p[1] == tile[1] and p[2] not in names]:
                model.drop(model.under(sample))
            for sname in names:
                if ("S", tile[1], sname) not in model.ids:
                    model.add(("S", tile[1], sname))
                    for pfa in project.levels[2].pfa_files.names():
                        model.add(("F", ("S", tile[1], sname), pfa))
        elif op == 7:
            owner = self.owner()
            level = {"/": 0, "T": 1, "S": 2}[owner[0]]
            kept = project.levels[level].pfa_files.names()
            self.node(owner).files.rebuild()
            model.drop(lambda p: p[0] == "F" and p[1] == owner and p[2] not in kept)
            for ftype in kept:
                if ("F", owner, ftype) not in model.ids:
                    model.add(("F", owner, ftype))
        elif op == 8:
            level, pname = rng.randrange(3), rng.choice(TYPES[:3])
            path = ("Q", level, pname)
            if path in model.ids:
                del project.levels[level].pfa_files[pname]
                model.drop(lambda p: p == path)
            else:
                project.levels[level].pfa_files.add(pname, rng.randrange(5))
                model.add(path)
        elif op == 9:
            level = rng.randrange(3)
            path = ("P", level, name)
            if path in model.ids and rng.random() < 0.5:
                del project.levels[level].processes[name]
                model.drop(lambda p: p[:3] == path or (p[0] == "A" and p[1:3] == path[1:]))
            elif path not in model.ids:
                project.levels[level].processes.add(name)
                model.add(path)
            else:
                arg = rng.choice(NAMES)
                args = project.levels[level].processes[name].arguments
                if ("A", level, name, arg) in model.ids:
                    del args[arg]
                    model.drop(lambda p: p == ("A", level, name, arg))
                else:
                    args.add(arg, rng.choice(TYPES))
                    model.add(("A", level, name, arg))
        elif op == 10:
            owner = self.owner()
            self.node(owner).files.clear()
            model.drop(lambda p: p[0] == "F" and p[1] == owner)
        elif op == 11:
            # Iterating while the element given last is removed.
            tiles = iter(project.tiles)
            first = next(tiles, None)
            if first is not None:
                gone = ("T", first.name)
                del project.tiles[first.name]
                model.drop(model.under(gone))
                with pytest.raises(ValueError):
                    next(tiles)
        elif op == 12:
            # Save, load, and carry on with the loaded project; the old one
            # lives on through the handles kept to it.
            path = self.directory / "p.kpf"
            project.filename = str(path)
            try:
                project.save()
            except kestrum.Error:
                return  # a name the file cannot hold (a sample named like a file type)
            self.freeze()
            self.project = kestrum.Project.load(path)
            assert walk(self.project) == set(self.model.ids)
            self.model = Model()
            for node_path in walk(self.project):
                self.model.add(node_path)
        elif op == 13:
            # Drop every reference to the project but the handles.
            self.freeze()
            self.project = kestrum.Project()
            del project
            self.model = Model()
            gc.collect()
        # Grab a few handles of what exists now.
        for _ in range(3):
            path = self.pick(rng.choice("TSFQPA"))
            if path:
                self.held.append((resolve(self.project, path), self.model.ids[path]))

    def freeze(self):
        live = {ident: path for path, ident in self.model.ids.items()}
        for handle, ident in self.held:
            if ident in live:
                self.frozen.append((handle, node_name(handle)))
        self.held = []

    def check(self):
        assert walk(self.project) == set(self.model.ids)
        live = {ident: path for path, ident in self.model.ids.items()}
        for handle, ident in self.held:
            if ident in live:
                assert handle.alive and node_name(handle) == live[ident][-1]
            else:
                assert not handle.alive
                with pytest.raises(kestrum.StaleHandleError):
                    node_name(handle)
                with pytest.raises(kestrum.StaleHandleError):
                    if isinstance(handle, (kestrum.Tile, kestrum.Sample)):
                        len(handle.files)
                    elif isinstance(handle, kestrum.Process):
                        handle.ready()
                    elif isinstance(handle, kestrum.File):
                        handle.comment = "Z"
                    else:
                        handle.name = "Z"
        for handle, name in self.frozen[-5:]:
            assert node_name(handle) == name


@pytest.mark.parametrize("seed", range(3))
def test_random_operations_never_revive_or_touch_a_freed_node(seed, tmp_path):
    run = Run(seed, tmp_path)
    for _ in range(200):
        run.step()
        run.check()
        if len(run.held) > 200:
            run.held = run.held[-100:]
    for handle, name in run.frozen:
        assert node_name(handle) == name and handle.project.to_dict()["tiles"] is not None


def test_a_handle_keeps_its_project_alive():
    def make():
        project = kestrum.Project()
        sample = project.tiles.add("T1").samples.add("S1")
        return sample.files.add("photo", "/a.img", strict=False)
    photo = make()
    gc.collect()
    for _ in range(100):  # reuse what a freed project would have left
        kestrum.Project().tiles.add("T1").samples.add("S1").files.add("photo", "/b.img", strict=False)
    assert photo.descriptor == "/a.img" and photo.parent.tile.project.tiles.names() == ["T1"]
