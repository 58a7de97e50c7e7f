"""Data that moved, from Python: missing_files(), relink() and pack() give
what `kestrum check`, `kestrum relink` and `kestrum pack` give, since they
run the same code; these tests check the package's side of it (handles,
report objects, refusals, the write switch)."""
import shutil

import pytest

import kestrum

from conftest import run_tool


def moved_project(tmp_path):
    """A project with data in old/ (moved to new/), a file in old/ with two
    candidates under tree/, and one file nowhere."""
    project = kestrum.Project()
    (tmp_path / "old").mkdir()
    for name in ("a", "b", "c", "d"):
        (tmp_path / "old" / name).write_bytes(name.encode())
        project.levels[0].pfa_files.add(name, kestrum.Format.RASTER)
        project.files.add(name, tmp_path / "old" / name)
    (tmp_path / "p").mkdir()
    project.filename = tmp_path / "p" / "p.kpf"
    project.save()
    (tmp_path / "new").mkdir()
    for name in ("a", "b"):
        shutil.move(str(tmp_path / "old" / name), str(tmp_path / "new" / name))
    for place in ("x", "y"):
        (tmp_path / "tree" / place).mkdir(parents=True)
        shutil.copy(str(tmp_path / "old" / "c"), str(tmp_path / "tree" / place / "c"))
    (tmp_path / "old" / "c").unlink()
    (tmp_path / "old" / "d").unlink()
    return kestrum.Project.load(tmp_path / "p" / "p.kpf")


def test_missing_files_are_handles_of_what_check_lists(tmp_path, tool):
    project = moved_project(tmp_path)
    missing = project.missing_files()
    assert [f.type for f in missing] == ["a", "b", "c", "d"]
    assert all(isinstance(f, kestrum.File) and not f.exists for f in missing)
    status, out = run_tool(tool, "check", str(tmp_path / "p" / "p.kpf"))
    assert status == 1 and "4 of 4 descriptors name no file" in out


def test_relink_reports_and_writes_only_when_asked(tmp_path):
    project = moved_project(tmp_path)
    path = tmp_path / "p" / "p.kpf"
    before = path.read_bytes()
    report = project.relink({tmp_path / "old": str(tmp_path / "new")}, search=[tmp_path / "tree"])
    assert isinstance(report, kestrum.RelinkReport) and not report.written
    assert [(r.file.type, r.old, r.new, r.found) for r in report.relinked] == [
        ("a", str(tmp_path / "old" / "a"), str(tmp_path / "new" / "a"), True),
        ("b", str(tmp_path / "old" / "b"), str(tmp_path / "new" / "b"), True),
        # c and d lie under old/ too: the prefix takes them, to where they are not
        ("c", str(tmp_path / "old" / "c"), str(tmp_path / "new" / "c"), False),
        ("d", str(tmp_path / "old" / "d"), str(tmp_path / "new" / "d"), False)]
    assert path.read_bytes() == before and not project.dirty
    assert project.files["a"].descriptor == str(tmp_path / "old" / "a")

    searched = project.relink({}, search=[tmp_path / "tree"], write=True)
    assert searched.written is False  # c has two candidates, d none: nothing to change
    assert [(a.file.type, sorted(a.candidates), a.count) for a in searched.ambiguous] == [
        ("c", [tmp_path / "tree" / "x" / "c", tmp_path / "tree" / "y" / "c"], 2)]
    assert [f.type for f in searched.not_found] == ["a", "b", "d"]
    assert path.read_bytes() == before

    done = project.relink({"$PROJECT/../old": tmp_path / "new"}, write=True)
    assert done.written and [r.file.type for r in done.relinked if r.found] == ["a", "b"]
    assert kestrum.Project.load(path).files["b"].descriptor == str(tmp_path / "new" / "b")


@pytest.mark.parametrize("prefixes", [{"old": "/new"}, {"/same": "/same"}, {"/x": ""}])
def test_relink_refuses_prefixes_that_mean_nothing(tmp_path, prefixes):
    project = moved_project(tmp_path)
    with pytest.raises(ValueError):
        project.relink(prefixes)


def test_relink_search_of_a_directory_that_is_not_there_is_an_error(tmp_path):
    with pytest.raises(kestrum.Error, match="cannot search"):
        moved_project(tmp_path).relink({}, search=[tmp_path / "nowhere"])


def test_pack_copies_what_exists_and_the_copy_works_elsewhere(tmp_path, demo):
    report = kestrum.pack(demo, tmp_path / "packed")
    assert isinstance(report, kestrum.PackReport)
    assert report.project_file == tmp_path / "packed" / "survey.kpf"
    # The demo misses three inputs and has not made its eight outputs yet.
    assert report.copied == 12 and report.linked == 0 and len(report.missing) == 11
    shutil.move(str(tmp_path / "packed"), str(tmp_path / "elsewhere"))
    moved = kestrum.Project.load(tmp_path / "elsewhere" / "survey.kpf")
    assert len(moved.missing_files()) == 11
    with pytest.raises(kestrum.Error, match="not empty"):
        kestrum.pack(demo, tmp_path / "elsewhere")
