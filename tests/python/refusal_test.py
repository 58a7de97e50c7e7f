"""What the package refuses and how it says so: exceptions that carry the
cause and the file, lookups that name the list, enumerated fields that take
only their enum, names and file types the project file cannot mean (refused
when set, exactly where the save would refuse them), and validate() for
projects that already hold them."""
import ctypes
import errno
import json
import os
import random

import pytest

import kestrum

ENUM_FIELDS = [  # (what holds the field, field, its enum)
    (lambda p: p, "type", kestrum.ProjectType),
    (lambda p: p, "use_dot_grid", kestrum.Switch),
    (lambda p: p, "use_poly_tool", kestrum.Switch),
    (lambda p: p.tiles["T1"], "automatic", kestrum.Selection),
    (lambda p: p.tiles["T1"].samples["S1"], "automatic", kestrum.Selection),
    (lambda p: p.levels[1].pfa_files["photo"], "format", kestrum.Format),
    (lambda p: p.levels[1].processes["segment"], "output", kestrum.Output),
    (lambda p: p.levels[1].processes["segment"].arguments["in"], "format", kestrum.Format),
    (lambda p: p.levels[1].processes["segment"].arguments["in"], "mode", kestrum.Mode),
    (lambda p: p.levels[1].processes["segment"].arguments["in"], "hide", kestrum.Hide),
]
ENUMS = [kestrum.ProjectType, kestrum.Switch, kestrum.Selection, kestrum.Format, kestrum.Mode, kestrum.Hide,
         kestrum.Output]


def small_project():
    project = kestrum.Project()
    project.levels[1].pfa_files.add("photo", kestrum.Format.RASTER)
    project.levels[2].pfa_files.add("plot", kestrum.Format.VECTOR)
    tile = project.tiles.add("T1")
    tile.samples.add("S1")
    project.levels[1].processes.add("segment").arguments.add("in", "photo")
    return project


def document(**changes):
    """A project document with the given parts replaced."""
    base = small_project().to_dict()
    base.update(changes)
    return base


def test_errors_give_the_cause_and_file_errors_are_oserrors(tmp_path):
    missing = tmp_path / "none.kpf"
    with pytest.raises(FileNotFoundError) as caught:
        kestrum.Project.load(missing)
    error = caught.value
    assert isinstance(error, kestrum.Error) and isinstance(error, kestrum.FileError)
    assert error.errno == errno.ENOENT and error.filename == str(missing) and str(missing) in str(error)
    with pytest.raises(IsADirectoryError):
        kestrum.Project.load(tmp_path)
    (tmp_path / "plain").write_text("x")
    with pytest.raises(kestrum.Error) as caught:
        kestrum.Project.load(tmp_path / "plain")
    assert not isinstance(caught.value, OSError) and caught.value.filename == str(tmp_path / "plain")
    with pytest.raises(FileNotFoundError):
        small_project().save_as(tmp_path / "no" / "such" / "p.kpf")
    with pytest.raises(NotADirectoryError):
        small_project().save_as(tmp_path / "plain" / "p.kpf")

    # A name the file cannot hold, in a project that came in holding it: the
    # save's outermost message and the innermost cause on one line.
    held = kestrum.Project.from_dict(document(tiles=[{"name": "a:b"}]))
    with pytest.raises(kestrum.Error) as caught:
        held.save_as(tmp_path / "held.kpf")
    error = caught.value
    assert not isinstance(error, OSError) and len(error.chain) > 2
    assert str(error) == "%s: %s" % (error.chain[0][1], error.chain[-1][1])
    assert str(error).endswith("a node name may not contain ':'")
    assert (error.function, error.cause) == error.chain[-1] and error.filename == str(tmp_path / "held.kpf")


def test_a_full_disk_at_any_step_of_a_save_is_an_oserror_and_leaves_the_project_dirty(tmp_path):
    inject = ctypes.CDLL("libkestrum-toolkit.so.1").tk_FaultInject
    inject.argtypes, inject.restype = [ctypes.c_long, ctypes.c_int, ctypes.c_int], ctypes.c_long
    if inject(0, 0, 0) < 0:
        pytest.skip("fault injection is not compiled in")
    project = small_project()
    project.tiles["T1"].files.add("photo", tmp_path / "a.img")
    target = tmp_path / "p.kpf"
    project.save_as(target)
    expected = kestrum.Project.load(target).to_dict()
    for nth in range(1, 500):
        if target.exists():
            os.remove(target)
        inject(nth, errno.ENOSPC, 0)
        try:
            project.save_as(target)
        except OSError as error:
            assert isinstance(error, kestrum.FileError) and error.errno == errno.ENOSPC, (nth, error.chain)
            assert error.filename == str(target) and project.dirty
            continue
        finally:
            counted = inject(0, 0, 0)
        # A step whose failure the save may get past (a check it can make
        # another way); what it reports as saved must be there.
        assert kestrum.Project.load(target).to_dict() == expected, nth
        if counted < nth:
            break
    else:
        pytest.fail("the save never got through")


def test_lookup_misses_name_the_list_and_what_it_holds(tmp_path):
    rng = random.Random(7)
    for count in range(9):
        project = kestrum.Project()
        if count % 2:
            project.filename = tmp_path / "survey.kpf"
        names = ["T%02d" % i for i in rng.sample(range(99), count)]
        for name in names:
            project.tiles.add(name)
        with pytest.raises(KeyError) as caught:
            project.tiles["X1"]
        error = caught.value
        assert isinstance(error, kestrum.NotFoundError) and error.key == "X1"
        text = str(error)
        assert text.startswith("no tile 'X1' in " + ("project 'survey'" if count % 2 else "the project"))
        shown = text.split(": ", 1)[1].split(", ") if count else []
        assert shown[: min(count, 5)] == names[:5] and (("..." in shown) == (count > 5))
        assert ("%d tile" % count in text) if count else "it has no tiles" in text
    process = small_project().levels[1].processes["segment"]
    with pytest.raises(KeyError, match="no argument 'out' in process 'segment'; 1 argument: in"):
        process.arguments["out"]
    with pytest.raises(IndexError, match="argument index out of range"):
        process.arguments[1]



def test_texts_never_read_as_none_when_the_heap_is_exhausted(tmp_path):
    """A text property is read where it lies: with every toolkit allocation
    failing, a set text still reads as itself, never as an absent None."""
    inject = ctypes.CDLL("libkestrum-toolkit.so.1").tk_FaultInjectAllocation
    inject.argtypes, inject.restype = [ctypes.c_long, ctypes.c_int], ctypes.c_long
    if inject(0, 0) < 0:
        pytest.skip("fault injection is not compiled in")
    small_project().save_as(tmp_path / "p.kpf")
    project = kestrum.Project.load(tmp_path / "p.kpf")
    file = project.tiles["T1"].files.add("photo", tmp_path / "a.img")
    file.comment, file.verified = "seen", "ok"
    process = project.levels[1].processes["segment"]
    process.title, process.suffix = "Segment", "_s"
    argument = process.arguments["in"]
    inject(1, 1)
    try:
        read = (file.type, file.descriptor, file.comment, file.verified, file.path,
                process.title, process.suffix, argument.value, project.filename, project.name)
    finally:
        inject(0, 0)
    assert read == ("photo", str(tmp_path / "a.img"), "seen", "ok", tmp_path / "a.img",
                    "Segment", "_s", "photo", str(tmp_path / "p.kpf"), project.name)
    assert project.name

def test_enumerated_fields_take_only_their_enum():
    project = small_project()
    for holder, field, enum in ENUM_FIELDS:
        node = holder(project)
        name = "%s.%s" % (type(node).__name__, field)
        for member in enum:
            setattr(node, field, member)
            assert getattr(node, field) is member
            setattr(node, field, int(member))
            assert getattr(node, field) is member
        for wrong in (-1, len(enum), 2 ** 31, 2 ** 70):
            with pytest.raises(ValueError, match=name):
                setattr(node, field, wrong)
        for other in ENUMS:
            if other is not enum:
                with pytest.raises(TypeError, match=name):
                    setattr(node, field, list(other)[-1])
        for wrong in ("0", 1.0, None):
            with pytest.raises(TypeError, match=name):
                setattr(node, field, wrong)
        assert getattr(node, field) is list(enum)[-1]
    level = project.levels[1]
    with pytest.raises(TypeError, match="PFAFile.format"):
        level.pfa_files.add("mask", kestrum.Hide.HIDE)
    with pytest.raises(ValueError, match="Argument.mode"):
        level.processes["segment"].arguments.add("out", "photo", mode=7)
    assert level.pfa_files.names() == ["photo"] and level.processes["segment"].arguments.names() == ["in"]


def names_to_try(rng):
    alphabet = "ab:/ T1"
    yield from ("", ":", "a:b", "Project", "Root Files", "Primary Files", "Secondary Files", "photo", "T1",
                "S1", "x" * 4096, "x" * 4097)
    for _ in range(40):
        yield "".join(rng.choice(alphabet) for _ in range(rng.randrange(1, 6)))


def save_refusal(project, tmp_path):
    """The innermost message of the save's refusal, or None when it saves."""
    try:
        project.save_as(tmp_path / "try.kpf")
        return None
    except kestrum.Error as error:
        return error.cause
    finally:
        if (tmp_path / "try.kpf").exists():
            os.remove(tmp_path / "try.kpf")


def test_names_are_refused_when_set_exactly_where_the_save_would_refuse_them(tmp_path):
    """Each way of naming a node, with generated names: refused at once
    precisely when a project that came in holding the name cannot be saved,
    and with the save's own words."""
    base = small_project()
    base.tiles["T1"].files.add("photo")
    base.files.add("report", strict=False)
    ways = {  # how to set the name, and where to put it in a document
        "tile": (lambda p, n: p.tiles.add(n), lambda d, n: d["tiles"].append({"name": n})),
        "tile rename": (lambda p, n: setattr(p.tiles["T1"], "name", n), lambda d, n: d["tiles"][0].update(name=n)),
        "sample": (lambda p, n: p.tiles["T1"].samples.add(n),
                   lambda d, n: d["tiles"][0]["samples"].append({"name": n})),
        "tile file": (lambda p, n: p.tiles["T1"].files.add(n, strict=False),
                      lambda d, n: d["tiles"][0]["files"].append({"type": n})),
        "project file": (lambda p, n: p.files.add(n, strict=False), lambda d, n: d["files"].append({"type": n})),
        "process": (lambda p, n: p.levels[2].processes.add(n),
                    lambda d, n: d["levels"][2]["processes"].append({"name": n})),
    }
    rng = random.Random(11)
    for name in names_to_try(rng):
        for way, (set_name, put) in ways.items():
            doc = base.to_dict()
            try:
                put(doc, name)
                held = kestrum.Project.from_dict(doc)
            except kestrum.Error:
                continue  # the list itself holds the name already
            refusal = save_refusal(held, tmp_path)
            project = kestrum.Project.from_dict(base.to_dict())
            try:
                set_name(project, name)
                refused = None
            except ValueError as error:
                refused = str(error)
            except kestrum.Error:
                continue  # taken in its own list: the library's refusal
            assert (refused is None) == (refusal is None), (way, name, refused, refusal)
            if refused:  # the save's words: its cause ends with the reason given
                assert refusal.endswith(refused.split("': ", 1)[1]), (way, name, refused, refusal)


def test_file_types_are_those_the_level_defines_unless_not_strict():
    project = small_project()
    tile = project.tiles["T1"]
    with pytest.raises(ValueError, match="no PFA file of level 1 defines the file type 'plto'; it defines photo"):
        tile.files.add("plto")
    with pytest.raises(ValueError, match="level 2 defines the file type 'photo'; it defines plot"):
        tile.samples["S1"].files.add("photo")
    with pytest.raises(ValueError, match="level 0 defines none"):
        project.files.add("photo")
    photo = tile.files.add("photo")
    with pytest.raises(ValueError):
        photo.type = "plto"
    repaired = tile.files.add("plto", strict=False)
    assert [str(p) for p in project.validate()] == [
        "data file 'plto' of tile 'T1': no PFA file of level 1 defines the file type 'plto'; it defines photo"]
    del tile.files["plto"]
    assert project.validate() == []


def test_validate_reports_what_a_loaded_project_holds_and_the_file_cannot_mean(tmp_path):
    doc = document()
    doc["settings"]["type"] = 5
    doc["tiles"].append({"name": "a:b", "selection": 9})
    doc["tiles"][0]["files"] = [{"type": "plto", "descriptor": "rel/x.img"}]
    doc["levels"][1]["pfa_files"][0]["type"] = 17
    doc["levels"][1]["processes"][0]["arguments"][0].update(mode=7, value="nothing")
    project = kestrum.Project.from_dict(doc)
    assert project.type == 5 and type(project.type) is int  # read as they are
    problems = project.validate()
    text = "\n".join(map(str, problems))
    for expected in ("the project: Project.type is 5, which is no ProjectType",
                     "tile 'a:b': a node name may not contain ':'",
                     "tile 'a:b': Tile.automatic is 9",
                     "data file 'plto' of tile 'T1': no PFA file of level 1 defines the file type 'plto'",
                     "data file 'plto' of tile 'T1': the descriptor 'rel/x.img' is relative",
                     "PFA file 'photo' of level 1: PFAFile.format is 17",
                     "argument 'in' of process 'segment' of level 1: Argument.mode is 7",
                     "it stands for 'nothing', which no PFA file of any level defines"):
        assert expected in text, expected
    assert len(problems) == 8, text
    nodes = {type(p.node).__name__ for p in problems}
    assert nodes == {"Project", "Tile", "File", "PFAFile", "Argument"}
    assert kestrum.Project.from_dict(json.loads(json.dumps(small_project().to_dict()))).validate() == []
    # A name the file keeps for its own nodes is refused where it stands.
    doc["files"] = [{"type": "Project"}]
    with pytest.raises(kestrum.Error, match="at /files/0/type: the project file keeps this name"):
        kestrum.Project.from_dict(doc)
