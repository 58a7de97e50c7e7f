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
