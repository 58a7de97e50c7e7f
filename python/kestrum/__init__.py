"""kestrum: image-analysis projects from Python.

A project holds tiles, each tile holds samples, and the project, its tiles and
its samples hold data files. Beside that tree it holds a processing model in
three levels (0 the project, 1 the tiles, 2 the samples): per level the PFA
files every node of the level carries, and the processes with their
arguments. Everything here is the kestrum C library underneath; this package
only gives it a Python face.

    import kestrum
    project = kestrum.Project.load("survey.kpf")
    for tile in project.tiles:
        for sample in tile.samples:
            for file in sample.files:
                print(tile.name, sample.name, file.type, file.descriptor)
    project.tiles["T1"].files["photo"].descriptor = "/new/place/photo.img"
    project.save()

Lists (project.tiles, tile.samples, .files, level.pfa_files,
level.processes, process.arguments) have len(), iterate in list order, look
up by name (KeyError when absent) or index, and change through add(...) and
del. Failures the library reports raise kestrum.Error with the report chain;
a handle whose node was removed raises kestrum.StaleHandleError. A handle
keeps its project alive.
"""
from ._kestrum import (
    Argument,
    ArgumentList,
    Error,
    File,
    FileError,
    FileList,
    Format,
    Hide,
    Level,
    Mode,
    NotFoundError,
    Output,
    PFAFile,
    PFAFileList,
    Process,
    ProcessList,
    Project,
    ProjectType,
    Sample,
    SampleList,
    Selection,
    StaleHandleError,
    Switch,
    Tile,
    TileList,
)
from ._results import Missing, Problem, Readiness, Reason

__all__ = [
    "Argument", "ArgumentList", "Error", "File", "FileError", "FileList", "Format", "Hide", "Level", "Missing",
    "Mode", "NotFoundError", "Output", "PFAFile", "PFAFileList", "Problem", "Process", "ProcessList", "Project",
    "ProjectType", "Readiness", "Reason", "Sample", "SampleList", "Selection", "StaleHandleError", "Switch", "Tile",
    "TileList",
]

# help() and repr() show the classes where users import them from.
for _name in __all__:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
