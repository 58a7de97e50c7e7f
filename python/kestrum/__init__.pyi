"""Type stubs of the kestrum package (the classes come from its compiled part)."""
import enum
import os
import pathlib
from typing import Any, Generic, Iterable, Iterator, List, Mapping, NamedTuple, Optional, Tuple, TypeVar, Union

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
_Node = Union["Project", "Tile", "Sample", None]

class Error(Exception):
    """A failure the library reported; str(e) is the outermost message and the innermost cause."""
    chain: Tuple[Tuple[str, str], ...]
    """The whole report chain, outermost first, as (function, message) tuples."""
    filename: Optional[str]
    """The file the failing call was about (load, save, save_as, filename), else None."""
    message: Optional[str]
    @property
    def cause(self) -> Optional[str]:
        """The innermost report's message."""
    @property
    def function(self) -> Optional[str]:
        """The function that made the innermost report."""

class FileError(Error, OSError):
    """A failure whose cause is the file system; also the OSError subclass of its errno."""

class NotFoundError(KeyError):
    """A name no list entry has; the message names the list and what it holds."""
    key: object

class StaleHandleError(ReferenceError):
    """A handle was used after its node was removed or replaced by a list rebuild."""

class Reason(enum.Enum):
    NOT_ON_DISK = "not on disk"
    NO_DATA_FILE = "no data file"
    NO_DESCRIPTOR = "no descriptor"

class Missing(NamedTuple):
    """An input a process lacks at a node; str() is the line `kestrum ready` prints."""
    argument: "Argument"
    node: Union["Project", "Tile", "Sample", None]
    path: Optional[pathlib.Path]
    stored: Optional[str]
    reason: Reason
    text: str

class Readiness(NamedTuple):
    process: "Process"
    node: Union["Project", "Tile", "Sample"]
    ready: bool
    missing: List[Missing]

class Problem(NamedTuple):
    """Something the project holds that its file cannot mean; str() is "place: message"."""
    place: str
    node: Union["Project", "Tile", "Sample", "File", "PFAFile", "Process", "Argument"]
    message: str

class Relinked(NamedTuple):
    """A descriptor Project.relink() rewrote (or, without write, would); old and new as stored."""
    file: "File"
    old: str
    new: str
    found: bool

class Ambiguous(NamedTuple):
    """A missing data file with several equally good candidates: left alone."""
    file: "File"
    candidates: List[pathlib.Path]
    """At most ten of them; count says how many there are."""
    count: int

class RelinkReport(NamedTuple):
    relinked: List[Relinked]
    ambiguous: List[Ambiguous]
    not_found: List["File"]
    written: bool
    warnings: List[str]

class PackReport(NamedTuple):
    project_file: pathlib.Path
    copied: int
    linked: int
    bytes: int
    missing: List[str]
    skipped: List[str]

def pack(path: _Path, out: _Path, *, force: bool = False, link: bool = False) -> PackReport:
    """Copies the project and every data file it names that exists into out, as `kestrum pack` does."""

class ProjectType(enum.IntEnum):
    SINGLE_SAMPLING = 0
    DOUBLE_SAMPLING = 1

class Switch(enum.IntEnum):
    DISABLED = 0
    ENABLED = 1

class Selection(enum.IntEnum):
    MANUAL = 0
    AUTOMATIC = 1

class Format(enum.IntEnum):
    RASTER = 0
    VECTOR = 1
    TEXT = 2
    ANNOTATION = 3
    AOI = 4

class Mode(enum.IntEnum):
    STRICT_INPUT = 0
    STRICT_OUTPUT = 1
    OPTIONAL_INPUT = 2
    OPTIONAL_OUTPUT = 3
    EDITABLE_OUTPUT = 4

class Hide(enum.IntEnum):
    SHOW = 0
    HIDE = 1

class Output(enum.IntEnum):
    REQUEST = 0
    GENERATE = 1

_H = TypeVar("_H")

class _List(Generic[_H]):
    """A list of the library: list order, lookup by name or index, del by name or index."""
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[_H]: ...
    def __getitem__(self, key: Union[str, int]) -> _H: ...
    def __contains__(self, name: object) -> bool: ...
    def __delitem__(self, key: Union[str, int]) -> None: ...
    def __bool__(self) -> bool: ...
    def names(self) -> List[str]:
        """The names in list order."""
    def clear(self) -> None:
        """Removes (and frees) every element; their handles go stale."""

class _Handle:
    @property
    def alive(self) -> bool:
        """False once the node was removed or replaced by a list rebuild."""
    @property
    def project(self) -> "Project":
        """The project the node is in."""

class _TreeList(_List[_H]):
    def add(self, name: str) -> _H:
        """Appends a new node; kestrum.Error when the name is taken."""
    def set_names(self, names: Iterable[str]) -> None:
        """Makes the list exactly these, in this order (kept, created, destroyed)."""
    def sort(self) -> None:
        """Sorts by name (bytes compared)."""

class TileList(_TreeList["Tile"]): ...
class SampleList(_TreeList["Sample"]): ...

class FileList(_List["File"]):
    def add(self, type: str, descriptor: Optional[_Path] = None, time: float = 0.0,
            verified: Optional[str] = None, comment: Optional[str] = None, *, strict: bool = True) -> "File":
        """Appends a new data file; kestrum.Error when the file type is taken, ValueError when
        no PFA file of the node's level defines it (unless strict=False)."""
    def rebuild(self) -> None:
        """One data file per PFA file of the node's level, keeping the matching ones."""

class PFAFileList(_List["PFAFile"]):
    def add(self, name: str, format: Union[Format, int]) -> "PFAFile":
        """Appends a new PFA file; kestrum.Error when the name is taken."""

class ProcessList(_List["Process"]):
    def add(self, name: str, title: Optional[str] = None, params: Optional[_Path] = None,
            labels: Optional[_Path] = None, suffix: Optional[str] = None,
            output: Union[Output, int] = Output.REQUEST) -> "Process":
        """Appends a new process; kestrum.Error when the name is taken."""

class ArgumentList(_List["Argument"]):
    def add(self, name: str, value: Optional[str] = None, format: Union[Format, int] = Format.RASTER,
            mode: Union[Mode, int] = Mode.STRICT_INPUT, hide: Union[Hide, int] = Hide.SHOW) -> "Argument":
        """Appends a new argument; kestrum.Error when the name is taken."""

class Tile(_Handle):
    name: str
    automatic: Union[Selection, int]
    @property
    def samples(self) -> SampleList: ...
    @property
    def files(self) -> FileList: ...

class Sample(_Handle):
    name: str
    automatic: Union[Selection, int]
    @property
    def files(self) -> FileList: ...
    @property
    def tile(self) -> Optional[Tile]: ...

class File(_Handle):
    type: str
    @property
    def descriptor(self) -> Optional[str]:
        """Where the file lies on disk, or None."""
    @descriptor.setter
    def descriptor(self, value: Optional[_Path]) -> None: ...
    @property
    def path(self) -> Optional[pathlib.Path]:
        """The descriptor as an absolute path ("$PROJECT" expanded), or None."""
    time: float
    verified: Optional[str]
    comment: Optional[str]
    @property
    def exists(self) -> bool:
        """Whether the descriptor names an existing file."""
    @property
    def parent(self) -> Union["Project", Tile, Sample, None]: ...

class PFAFile(_Handle):
    name: str
    format: Union[Format, int]

class Process(_Handle):
    name: str
    title: Optional[str]
    @property
    def params(self) -> Optional[str]: ...
    @params.setter
    def params(self, value: Optional[_Path]) -> None: ...
    @property
    def labels(self) -> Optional[str]: ...
    @labels.setter
    def labels(self, value: Optional[_Path]) -> None: ...
    suffix: Optional[str]
    output: Union[Output, int]
    @property
    def arguments(self) -> ArgumentList: ...
    @property
    def command_line(self) -> Optional[str]:
        """The argument part of its command line, or None."""
    def ready(self, node: _Node = None) -> bool:
        """Whether the process may run at the node (None is the project)."""
    def missing(self, node: _Node = None) -> List[Missing]:
        """Each missing input and where it was looked for; empty when ready."""

class Argument(_Handle):
    name: str
    value: Optional[str]
    format: Union[Format, int]
    mode: Union[Mode, int]
    hide: Union[Hide, int]
    @property
    def process(self) -> Optional[Process]: ...

class Level:
    @property
    def index(self) -> int: ...
    @property
    def pfa_files(self) -> PFAFileList: ...
    @property
    def processes(self) -> ProcessList: ...

class Project:
    """A kestrum project; Project() is new and empty, Project.load(path) reads a file."""
    def __init__(self) -> None: ...
    @staticmethod
    def load(path: _Path) -> "Project": ...
    @staticmethod
    def from_dict(document: Any, path: Optional[_Path] = None) -> "Project":
        """Builds a project from what to_dict() gives."""
    def to_dict(self) -> Any:
        """The project as `kestrum export` writes it, as Python values."""
    def save(self) -> None: ...
    def save_as(self, path: _Path) -> None: ...
    def readiness(self) -> List[Readiness]:
        """Every process at every node of its level, as `kestrum ready` checks them."""
    def validate(self) -> List[Problem]:
        """What the project holds that its file cannot mean or a host would misread."""
    def missing_files(self) -> List["File"]:
        """The data files whose descriptor names no file, as `kestrum check` lists them."""
    def relink(self, prefixes: Mapping[_Path, _Path], *, search: Iterable[_Path] = (), write: bool = False,
               all: bool = False) -> RelinkReport:
        """Points descriptors that name no file at where the files are now, as `kestrum relink` does."""
    @property
    def dirty(self) -> bool: ...
    @property
    def name(self) -> Optional[str]: ...
    @property
    def filename(self) -> Optional[str]: ...
    @filename.setter
    def filename(self, value: _Path) -> None: ...
    type: Union[ProjectType, int]
    use_dot_grid: Union[Switch, int]
    use_poly_tool: Union[Switch, int]
    @property
    def tiles(self) -> TileList: ...
    @property
    def files(self) -> FileList: ...
    @property
    def levels(self) -> Tuple[Level, Level, Level]: ...
