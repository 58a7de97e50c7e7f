"""What the package maps: lists, fields and enums, reports as exceptions, the
JSON of export, readiness. The library's own behaviour is tested in C++;
these check that the package hands it over unchanged."""
import json
import os

import pytest

import kestrum
from conftest import run_tool, tool_json


def test_lists_fields_and_enums_map_the_library(tmp_path):
    project = kestrum.Project()
    assert len(project.tiles) == 0 and not project.tiles
    for name in ("T2", "T1", "T3"):
        project.tiles.add(name)
    assert [t.name for t in project.tiles] == ["T2", "T1", "T3"] == project.tiles.names()
    assert project.tiles[1] == project.tiles["T1"] and project.tiles[-1].name == "T3"
    assert "T1" in project.tiles and "T9" not in project.tiles and 7 not in project.tiles
    with pytest.raises(KeyError):
        project.tiles["T9"]
    with pytest.raises(IndexError):
        project.tiles[3]
    project.tiles.sort()
    assert project.tiles.names() == ["T1", "T2", "T3"]

    tile = project.tiles["T1"]
    sample = tile.samples.add("S1")
    assert sample.tile == tile and tile.project == project
    photo = sample.files.add("photo", "/data/a b.img", 12.5, "ok", None, strict=False)
    assert (photo.type, photo.descriptor, photo.time, photo.verified, photo.comment) == (
        "photo", "/data/a b.img", 12.5, "ok", None)
    photo.descriptor = "/moved/a.img"
    photo.comment = "moved"
    assert sample.files["photo"].descriptor == "/moved/a.img" and photo.parent == sample
    assert not photo.exists

    tile.automatic = kestrum.Selection.AUTOMATIC
    assert tile.automatic is kestrum.Selection.AUTOMATIC
    project.type = kestrum.ProjectType.DOUBLE_SAMPLING
    project.use_dot_grid = 1
    assert project.use_dot_grid is kestrum.Switch.ENABLED
    with pytest.raises(ValueError, match="Project.use_poly_tool takes a Switch"):
        project.use_poly_tool = 7

    level = project.levels[1]
    assert [lv.index for lv in project.levels] == [0, 1, 2]
    level.pfa_files.add("photo", kestrum.Format.RASTER)
    level.pfa_files.add("mask", kestrum.Format.AOI)
    assert level.pfa_files["mask"].format is kestrum.Format.AOI
    process = level.processes.add("segment", "Segment", None, None, "_seg", kestrum.Output.GENERATE)
    process.arguments.add("in", "photo")
    process.arguments.add("out", "segments", kestrum.Format.VECTOR, kestrum.Mode.STRICT_OUTPUT)
    process.arguments.add("quiet", None, kestrum.Format.TEXT, kestrum.Mode.OPTIONAL_INPUT, kestrum.Hide.HIDE)
    assert process.command_line == "in $photo out $segments"
    assert process.arguments["out"].process == process and process.output is kestrum.Output.GENERATE
    del process.arguments["quiet"]
    assert process.arguments.names() == ["in", "out"]

    # Names and texts that are not UTF-8 come back as the same bytes.
    latin = b"Caf\xe9".decode("utf-8", "surrogateescape")
    tile.name = latin
    assert project.tiles[latin].name == latin
    with pytest.raises(ValueError):
        project.tiles.add("a\0b")
    with pytest.raises(TypeError):
        project.tiles.add(b"T5")

    project.save_as(tmp_path / "copy.kpf")
    assert project.dirty  # the project's own file (none yet) is still behind
    project.filename = str(tmp_path / "own.kpf")
    project.save()
    assert not project.dirty
    loaded = kestrum.Project.load(tmp_path / "own.kpf")
    assert loaded.to_dict() == project.to_dict()
    assert loaded.tiles[latin].samples["S1"].files["photo"].descriptor == "/moved/a.img"


def test_reports_become_errors_with_the_whole_chain(tmp_path):
    project = kestrum.Project()
    project.tiles.add("T1")
    with pytest.raises(kestrum.Error) as caught:
        project.tiles.add("T1")
    assert caught.value.chain == (
        ("pm_ProjectAppendTile", "Cannot append tile T1 to project node"),
        ("pm_TileAppend", "Error appending tile T1"),
        ("pm_NodeAppend", 'Name "T1" already in use, please use another name'),
    )
    assert str(caught.value) == 'Cannot append tile T1 to project node: Name "T1" already in use, please use another name'
    assert (caught.value.function, caught.value.cause) == caught.value.chain[-1]
    assert project.tiles.names() == ["T1"]  # the refused tile was freed, the list unchanged

    with pytest.raises(kestrum.Error) as caught:
        kestrum.Project().save()
    assert caught.value.chain[0][0] == "pm_ProjectSave"

    broken = tmp_path / "broken.kpf"
    broken.write_bytes(b"not a project file")
    with pytest.raises(kestrum.Error) as caught:
        kestrum.Project.load(broken)
    assert caught.value.chain[0][0] == "pm_ProjectLoad" and len(caught.value.chain) > 1

    with pytest.raises(kestrum.Error, match="bad project JSON at /tiles/0/name"):
        kestrum.Project.from_dict({**project.to_dict(), "tiles": [{"samples": []}]})
    assert issubclass(kestrum.Error, Exception) and kestrum.Error("x").chain == ()


def test_dicts_are_the_export_json_and_round_trip(tool, demo, tmp_path):
    project = kestrum.Project.load(demo)
    document = project.to_dict()
    assert json.dumps(document, indent=2, ensure_ascii=False) + "\n" == run_tool(tool, "export", str(demo))[1]
    rebuilt = kestrum.Project.from_dict(document, tmp_path / "rebuilt.kpf")
    assert rebuilt.to_dict() == document
    rebuilt.save()
    assert kestrum.Project.from_dict(document).files[0].descriptor.startswith(os.getcwd() + "/data/")
    assert run_tool(tool, "export", str(tmp_path / "rebuilt.kpf"))[1] == run_tool(tool, "export", str(demo))[1]


def test_readiness_is_what_the_tool_reports(tool, demo):
    project = kestrum.Project.load(demo)
    nodes = {"/": project}
    for tile in project.tiles:
        nodes[tile.name] = tile
        for sample in tile.samples:
            nodes[tile.name + "/" + sample.name] = sample
    checks = tool_json(tool, "ready", str(demo), "--json")["checks"]
    assert checks
    for check in checks:
        process = project.levels[check["level"]].processes[check["process"]]
        node = nodes[check["node"]]
        assert process.ready(node) == (check["state"] == "ready")
        assert [str(m) for m in process.missing(node)] == check["missing"] + check["missing_one_of"]
        assert check["command"] == process.name + (" " + process.command_line if process.command_line else "")
    with pytest.raises(ValueError):
        process.ready(kestrum.Project())
    with pytest.raises(TypeError):
        process.ready(process)

    # All of it in one pass, in the tool's order, each missing input with
    # what a script needs in place of its line.
    rows = project.readiness()
    assert [(r.node, r.process.name, r.ready) for r in rows] == [
        (nodes[c["node"]], c["process"], c["state"] == "ready") for c in checks]
    reasons = {"is not on disk": kestrum.Reason.NOT_ON_DISK, "no data file of that type": kestrum.Reason.NO_DATA_FILE,
               "the data file names no file": kestrum.Reason.NO_DESCRIPTOR}
    seen = set()
    for row, check in zip(rows, checks):
        assert [str(m) for m in row.missing] == check["missing"] + check["missing_one_of"]
        for missing in row.missing:
            seen.add(missing.reason)
            assert missing.argument.process == row.process and missing.argument.value in str(missing)
            assert [r for text, r in reasons.items() if str(missing).endswith(text)] == [missing.reason]
            if missing.reason is kestrum.Reason.NOT_ON_DISK:
                assert missing.path.is_absolute() and not missing.path.exists()
                assert missing.stored.startswith("$PROJECT/")
                assert str(missing.path) == str(demo.parent) + missing.stored[len("$PROJECT"):]
                assert missing.node.files[missing.argument.value].path == missing.path
            else:
                assert missing.path is None and missing.stored is None
    assert kestrum.Reason.NOT_ON_DISK in seen


def test_stubs_declare_the_module_as_it_is():
    # The stubs are written by hand; editors trust them, so they must name
    # every public class of the module and every enum value it really has.
    import ast
    stubs = ast.parse(open(os.path.join(os.path.dirname(kestrum.__file__), "__init__.pyi")).read())
    declared = {node.name: node for node in stubs.body if isinstance(node, ast.ClassDef)}
    public = {name for name in dir(kestrum) if not name.startswith("_") and isinstance(getattr(kestrum, name), type)}
    assert public <= set(declared), public - set(declared)
    for name, node in declared.items():
        runtime = getattr(kestrum, name, None)
        if isinstance(runtime, type) and issubclass(runtime, int) and hasattr(runtime, "__members__"):
            values = {target.id: stmt.value.value for stmt in node.body if isinstance(stmt, ast.Assign)
                      for target in stmt.targets}
            assert values == {member.name: member.value for member in runtime}, name
