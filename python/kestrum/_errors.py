"""The exceptions of the kestrum package.

The compiled part raises them through report(), which picks the class: a
failure whose cause is the file system (a missing file, a directory where a
file belongs, a full disk) is also the matching OSError, so that
`except FileNotFoundError` works as it does for open().
"""
import errno as _errno
import os
from typing import Dict, Optional, Tuple, Type

Chain = Tuple[Tuple[str, str], ...]


class Error(Exception):
    """A failure the library reported.

    str(e) is the outermost message and, when the cause lies deeper, the
    innermost one after it ("Error saving project file for the first time:
    a node name may not contain ':'"). e.chain is the whole report chain,
    outermost first, as (function, message) tuples; e.cause and e.function
    are the innermost report's message and function. Failures of a call
    about a file carry its name in e.filename.
    """

    chain: Chain = ()
    filename: Optional[str] = None
    message: Optional[str] = None

    @property
    def cause(self) -> Optional[str]:
        """The innermost report's message (None without a chain)."""
        return self.chain[-1][1] if self.chain else None

    @property
    def function(self) -> Optional[str]:
        """The function that made the innermost report (None without a chain)."""
        return self.chain[-1][0] if self.chain else None

    def __str__(self) -> str:
        text = self.message if self.message is not None else Exception.__str__(self)
        inner = self.cause
        if inner and len(self.chain) > 1 and inner not in text:
            text = "%s: %s" % (text, inner)
        if self.filename is not None and isinstance(self, OSError) and self.filename not in text:
            text = "%s: %r" % (text, self.filename)
        return text


class FileError(Error, OSError):
    """A failure whose cause is the file system; e.errno tells which.
    Each is also the OSError subclass of its errno (FileNotFoundError,
    IsADirectoryError, ...)."""


class NotFoundError(KeyError):
    """A name looked up in a list that holds none of that name. The
    message says which list and what it holds; e.key is the name."""

    key: object = None

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else ""


# The OSError subclass Python itself raises for each errno.
_OS_CLASSES: Dict[int, Type[OSError]] = {}
for _number in _errno.errorcode:
    _made = OSError(_number, "")
    if type(_made) is not OSError:
        _OS_CLASSES[_number] = type(_made)
del _number, _made

_FILE_ERRORS: Dict[int, Type[FileError]] = {}

# The library words a file-system failure as "...: <the system's message>".
_BY_MESSAGE = {os.strerror(number): number for number in _errno.errorcode}


def _file_error_class(number: int) -> Type[FileError]:
    made = _FILE_ERRORS.get(number)
    if made is None:
        base = _OS_CLASSES.get(number)
        made = FileError if base is None else type(base.__name__, (FileError, base), {"__module__": "kestrum"})
        _FILE_ERRORS[number] = made
    return made


def _errno_in(chain: Chain) -> Optional[int]:
    for _function, message in reversed(chain):
        tail = message.rsplit(": ", 1)[-1]
        if tail in _BY_MESSAGE:
            return _BY_MESSAGE[tail]
    return None


def _errno_on_disk(filename: str, writing: bool) -> Optional[int]:
    """What the file system says about a file a call failed on, when the
    report does not: the library words some of these in its own way."""
    try:
        if os.path.isdir(filename):
            return _errno.EISDIR
        if not writing:
            return None if os.path.lexists(filename) else _errno.ENOENT
        parent = os.path.dirname(os.path.abspath(filename))
        while parent and not os.path.lexists(parent):
            parent = os.path.dirname(parent) if parent != os.path.dirname(parent) else ""
        if parent and not os.path.isdir(parent):
            return _errno.ENOTDIR
    except (OSError, ValueError):
        pass
    return None


def report(message: str, chain: Chain, filename: Optional[str] = None, writing: bool = False) -> Error:
    """The exception for a report chain (outermost first). With a filename,
    a file-system cause makes it the matching FileError."""
    number = _errno_in(chain)
    if number is None and filename is not None:
        number = _errno_on_disk(filename, writing)
    error: Error
    if number is not None:
        error = _file_error_class(number)(number, os.strerror(number), filename)
    else:
        error = Error(message)
    error.message = message
    error.chain = chain
    error.filename = filename
    return error


def not_found(key: object, message: str) -> NotFoundError:
    error = NotFoundError(message)
    error.key = key
    return error


class StaleHandleError(ReferenceError):
    """A handle was used after its node was removed or replaced by a list rebuild."""
