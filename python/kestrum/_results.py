"""What the package's questions about a project answer with: the inputs a
process misses (Process.missing, Project.readiness) and the problems of a
project (Project.validate). The compiled part makes them."""
import enum
import pathlib
from typing import Any, List, NamedTuple, Optional


class Reason(enum.Enum):
    """Why an input of a process is missing at a node."""

    NOT_ON_DISK = "not on disk"
    """The data file names a file that does not exist."""
    NO_DATA_FILE = "no data file"
    """The node has no data file of that type (or there is no node to hold one)."""
    NO_DESCRIPTOR = "no descriptor"
    """The data file is there but names no file."""


class Missing(NamedTuple):
    """An input a process lacks at a node. str() gives the line `kestrum
    ready` prints ("photo at T3: $PROJECT/tiles/T3/photo.img is not on disk")."""

    argument: Any
    """The argument (kestrum.Argument) whose input it is."""
    node: Any
    """The project, tile or sample it was looked for at (None: there is no node to hold it)."""
    path: Optional[pathlib.Path]
    """The absolute path looked for (NOT_ON_DISK), else None."""
    stored: Optional[str]
    """The path as the project file stores it ("$PROJECT/...") (NOT_ON_DISK), else None."""
    reason: Reason
    text: str

    def __str__(self) -> str:
        return self.text


class Readiness(NamedTuple):
    """One process at one node of its level, as `kestrum ready` lists it."""

    process: Any
    node: Any
    ready: bool
    missing: List[Missing]


class Problem(NamedTuple):
    """Something a project holds that its file cannot mean or a host would
    misread. str() gives "place: message"."""

    place: str
    node: Any
    """The project, or the tile, sample, data file, PFA file, process or argument."""
    message: str

    def __str__(self) -> str:
        return "%s: %s" % (self.place, self.message)


class Relinked(NamedTuple):
    """A descriptor Project.relink() rewrote (or, without write, would)."""

    file: Any
    """The data file (kestrum.File)."""
    old: str
    """The descriptor before, as the project file stores it ("$PROJECT/..." inside its directory)."""
    new: str
    """The descriptor after, stored the same way."""
    found: bool
    """Whether the new descriptor names an existing file (a prefix may lead where nothing is)."""


class Ambiguous(NamedTuple):
    """A missing data file with several equally good candidates: left alone."""

    file: Any
    candidates: List[pathlib.Path]
    """The equally good candidates, at most ten of them."""
    count: int
    """How many there are in all."""


class RelinkReport(NamedTuple):
    """What Project.relink() did or, without write, would do."""

    relinked: List[Relinked]
    ambiguous: List[Ambiguous]
    not_found: List[Any]
    """The data files (kestrum.File) still missing that no prefix and no search reached."""
    written: bool
    """Whether the project was saved (write=True and something changed)."""
    warnings: List[str]
    """Directories of the search that could not be read, or that links led back to."""


class PackReport(NamedTuple):
    """What kestrum.pack() wrote."""

    project_file: pathlib.Path
    copied: int
    """Data files written, each distinct file once."""
    linked: int
    """Of those, the ones made as hard links."""
    bytes: int
    missing: List[str]
    """Descriptors (as stored) of the data files that named no file: listed, not packed."""
    skipped: List[str]
    """Descriptors of data files that are not regular files: left where they are."""
