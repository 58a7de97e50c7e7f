"""kestrum: image-analysis projects from Python.

A project holds tiles, each tile holds samples, and the project, its tiles and
its samples hold data files. Beside that tree it holds a processing model in
three levels (0 the project, 1 the tiles, 2 the samples): per level the PFA
files every node of the level carries, and the processes with their
arguments. Everything here is the kestrum C library underneath.

    import kestrum
    project = kestrum.Project.load("survey/survey.kpf")
    for row in project.readiness():           # every process at every node
        for missing in row.missing:           # .argument .node .path .stored .reason
            print(row.process.name, missing)
    project.tiles["T1"].files["photo"].descriptor = pathlib.Path("photo.img")
    project.save()

Lists (project.tiles, tile.samples, .files, level.pfa_files,
level.processes, process.arguments) have len(), iterate in order, look up by
name (kestrum.NotFoundError, a KeyError naming the list) or index, and change
through add(...) and del. Failures the library reports raise kestrum.Error:
str(e) gives the outermost message and the innermost cause, e.chain every
report; file-system causes are kestrum.FileError and the matching OSError
(FileNotFoundError, ...). Values the project file cannot mean (an int no
enum member has, a name with ':', a file type no PFA file defines) raise
ValueError or TypeError when set; project.validate() lists those a loaded
project holds. Paths take os.PathLike and are stored absolute. A handle keeps
its project alive; one whose node was removed raises
kestrum.StaleHandleError. The package's page (python/README.md in kestrum's
source) has the rest: installing, errors, lifetimes, enumerations, speed.
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
    pack,
)
from ._results import Ambiguous, Missing, PackReport, Problem, Readiness, Reason, Relinked, RelinkReport

__all__ = [
    "Ambiguous", "Argument", "ArgumentList", "Error", "File", "FileError", "FileList", "Format", "Hide", "Level",
    "Missing", "Mode", "NotFoundError", "Output", "PFAFile", "PFAFileList", "PackReport", "Problem", "Process",
    "ProcessList", "Project", "ProjectType", "Readiness", "Reason", "RelinkReport", "Relinked", "Sample", "SampleList",
    "Selection", "StaleHandleError", "Switch", "Tile", "TileList", "pack",
]

# help() and repr() show the classes where users import them from.
for _name in __all__:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
