"""from_dict against hostile documents, made by a generator: one part of a
valid document at a time is replaced by something hostile (deep nesting,
huge numbers, wrong types, lone surrogates, surrogate-escaped bytes, NULs,
keys that are no str, cycles). from_dict either builds the project or
raises kestrum.Error, ValueError or TypeError naming the JSON pointer of the
fault, and never crashes. Where the document has a JSON text, the tool's
import of that text must do exactly what from_dict does."""
import json
import math
import os
import random
import subprocess

import pytest

import kestrum
from conftest import run_tool


def base_document():
    project = kestrum.Project()
    project.levels[1].pfa_files.add("photo", kestrum.Format.RASTER)
    tile = project.tiles.add("T1")
    tile.files.add("photo", "/data/a.img")
    tile.samples.add("S1")
    project.levels[1].processes.add("segment", params="/p.txt").arguments.add("in", "photo")
    return project.to_dict()


def places(value, pointer=""):
    """Every JSON pointer of the document, with the container and key."""
    if isinstance(value, dict):
        for key, item in value.items():
            yield pointer + "/" + key, value, key
            yield from places(item, pointer + "/" + key)
    elif isinstance(value, list):
        for index, item in enumerate(value):
            yield pointer + "/" + str(index), value, index
            yield from places(item, pointer + "/" + str(index))


def nested(depth, leaf):
    for _ in range(depth):
        leaf = [leaf] if depth % 2 else {"k": leaf}
    return leaf


def hostile_values(rng):
    cycle = []
    cycle.append(cycle)
    loop = {}
    loop["again"] = loop
    return [
        nested(rng.randrange(20, 200), 1), nested(rng.randrange(1, 6), "x"),
        2 ** 63, -2 ** 63 - 1, 2 ** 64, 2 ** 70, 10 ** 400, -(10 ** 400), float("nan"), float("inf"), 1e308,
        True, None, 0, -1, 2 ** 31, 1.5,
        {1, 2}, b"bytes", bytearray(b"x"), object(), 1j, (1, 2), range(3), {"a": 1}.keys(),
        "\ud800", "a\udfffb", "caf\udce9", "\udcff\udc80", "a\0b", "", "x" * 5000, "a:b", "Project", "\u2028",
        {1: "int key"}, {None: 1}, {("t",): 1}, {"hex": "zz"}, {"hex": "00"}, {"hex": "e9"},
        cycle, loop, [], {},
    ]


def pointer_in(message):
    marker = "bad project JSON at "
    assert marker in message, message
    rest = message.split(marker, 1)[1]
    return "" if rest.startswith("the top level") else rest.split(": ", 1)[0]


def mutations(seed, count):
    rng = random.Random(seed)
    for _ in range(count):
        document = base_document()
        pointer, container, key = rng.choice(list(places(document)) + [("", None, None)])
        value = rng.choice(hostile_values(rng))
        if container is None:
            yield pointer, value  # the whole document
            continue
        if isinstance(container, dict) and rng.random() < 0.2:
            container[rng.choice([5, None, "extra", "\udce9"])] = value  # a key of its own
            pointer = pointer[: pointer.rindex("/")]
        else:
            container[key] = value
        yield pointer, document


def test_hostile_documents_are_refused_at_their_place_and_never_crash():
    outcomes = {"built": 0, "refused": 0}
    for pointer, document in mutations(1, 400):
        try:
            kestrum.Project.from_dict(document).to_dict()
            outcomes["built"] += 1
        except (kestrum.Error, ValueError, TypeError) as error:
            outcomes["refused"] += 1
            named = pointer_in(str(error))
            # The fault is where the change was, or within what was put there
            # (one is a prefix of the other), or at the top level's keys.
            assert named.startswith(pointer) or pointer.startswith(named), (pointer, str(error))
    assert outcomes["built"] and outcomes["refused"] > outcomes["built"], outcomes


def json_text(document):
    """The JSON text of a document whose values JSON holds exactly; None
    for one that json.dumps would change or could not write as UTF-8."""
    try:
        text = json.dumps(document, ensure_ascii=False, allow_nan=False)
        text.encode("utf-8")
    except (TypeError, ValueError, RecursionError, UnicodeError):
        return None
    return text if json.loads(text) == document else None


def test_from_dict_does_what_the_tools_import_of_the_same_text_does(tool, tmp_path):
    compared = 0
    for index, (_pointer, document) in enumerate(mutations(2, 120)):
        text = json_text(document)
        if text is None:
            continue
        compared += 1
        try:
            mine = kestrum.Project.from_dict(document, tmp_path / "p.kpf").to_dict()
        except kestrum.Error as error:
            mine = "kestrum: " + str(error).split(": ", 1)[1] if str(error).startswith("bad JSON") else str(error)
        source = tmp_path / ("d%d.json" % index)
        source.write_text(text, encoding="utf-8")
        target = tmp_path / ("d%d.kpf" % index)
        env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "PYTHONMALLOC")}
        done = subprocess.run([tool, "import", str(source), str(target)], capture_output=True, text=True, env=env)
        if done.returncode == 0:
            theirs = json.loads(run_tool(tool, "export", str(target))[1])
        else:
            theirs = done.stderr.splitlines()[0].split("kestrum: ", 1)[1]
            if theirs.startswith("cannot save"):
                continue  # built alike; the tool's save is another matter
        if isinstance(mine, str):
            assert isinstance(theirs, str) and theirs.startswith(mine.split(": ", 1)[0]), (mine, theirs)
            assert pointer_in(mine) == pointer_in(theirs), (mine, theirs)
        else:
            assert mine == theirs, text
    assert compared > 30


def test_document_texts_keep_their_bytes():
    # A text read from a file that is not UTF-8 comes to Python as surrogate
    # escapes; from_dict takes them back to the same bytes, as the rest of
    # the package does, and to_dict writes such a text as {"hex": ...}.
    latin = b"Caf\xe9".decode("utf-8", "surrogateescape")
    document = base_document()
    document["tiles"][0]["name"] = latin
    project = kestrum.Project.from_dict(document)
    assert project.tiles[0].name == latin
    assert project.to_dict()["tiles"][0]["name"] == {"hex": "436166e9"}
    assert kestrum.Project.from_dict(project.to_dict()).tiles[0].name == latin
    huge = base_document()
    huge["levels"][1]["processes"][0]["output"] = 2 ** 80
    with pytest.raises(kestrum.Error, match="at /levels/1/processes/0/output: number out of range"):
        kestrum.Project.from_dict(huge)
    times = base_document()
    times["tiles"][0]["files"][0]["time"] = float("nan")
    assert math.isnan(kestrum.Project.from_dict(times).tiles[0].files[0].time)
