"""Paths as Python users write them: every file name or descriptor takes
str or os.PathLike, a relative one is made absolute as open() would read it,
and the save keeps what lies under the project as "$PROJECT/..."."""
import os
import pathlib

import pytest

import kestrum


def test_paths_take_pathlike_and_relative_ones_are_read_as_open_would(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    project = kestrum.Project()
    project.levels[1].pfa_files.add("photo", kestrum.Format.RASTER)
    tile = project.tiles.add("T1")
    (tmp_path / "data").mkdir()
    (tmp_path / "data" / "a.img").write_bytes(b"x")
    setters = [  # (set it, read it back) for every kind of path
        (lambda v: tile.files.add("photo", v), lambda: tile.files["photo"].descriptor),
        (lambda v: setattr(tile.files["photo"], "descriptor", v), lambda: tile.files["photo"].descriptor),
        (lambda v: setattr(project.levels[1].processes["p"], "labels", v),
         lambda: project.levels[1].processes["p"].labels),
        (lambda v: setattr(project.levels[1].processes["p"], "params", v),
         lambda: project.levels[1].processes["p"].params),
    ]
    forms = ["data/a.img", pathlib.Path("data/a.img"), b"data/a.img", "./data/../data/a.img",
             str(tmp_path / "data" / "a.img"), pathlib.Path(tmp_path, "data", "a.img")]
    project.levels[1].processes.add("p", params="data/a.img")
    assert project.levels[1].processes["p"].params == str(tmp_path / "data" / "a.img")
    for put, get in setters:
        for form in forms:
            put(form)
            assert get() == str(tmp_path / "data" / "a.img"), form
            if put is setters[0][0]:
                del tile.files["photo"]
                put(form)
                break
    photo = tile.files["photo"]
    assert photo.exists and photo.path == tmp_path / "data" / "a.img"
    photo.descriptor = "$PROJECT/data/a.img"  # the stored form is kept as given
    assert photo.descriptor == "$PROJECT/data/a.img"
    photo.descriptor = None
    assert photo.path is None and not photo.exists
    with pytest.raises(TypeError):
        photo.descriptor = 42
    with pytest.raises(ValueError):
        photo.descriptor = "a\0b"

    # Bound to a file, "$PROJECT" expands against its directory, and the
    # save stores what lies beneath it relative to it.
    project.filename = "survey.kpf"
    assert project.filename == str(tmp_path / "survey.kpf")
    photo.descriptor = pathlib.Path("data/a.img")
    project.save()
    document = kestrum.Project.load(tmp_path / "survey.kpf").to_dict()
    assert document["tiles"][0]["files"][0]["descriptor"] == "$PROJECT/data/a.img"
    photo.descriptor = "$PROJECT/data/a.img"  # now it means a place: it is stored so
    assert photo.descriptor == str(tmp_path / "data" / "a.img") and photo.exists
    os.chdir("/")
    moved = kestrum.Project.load(pathlib.Path(tmp_path, "survey.kpf"))
    assert moved.tiles["T1"].files["photo"].path == tmp_path / "data" / "a.img"
