// kestrum._kestrum: texts, paths and enumerations between Python and the
// library.
//
// Texts of the library are bytes; those that are not UTF-8 (a Latin-1 name
// from an old file) come through as surrogate escapes, like file names in
// os, and go back to the same bytes. Enumerations are IntEnum classes made
// from the file schema's value names.
#ifndef KESTRUM_PYTHON_VALUES_H
#define KESTRUM_PYTHON_VALUES_H

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "kestrum.h"

namespace kpy {

namespace py = pybind11;

// A library text as str, non-UTF-8 bytes as surrogate escapes.
py::str decode(const std::string &text);
// Display texts (report messages) replace what is not UTF-8.
py::str decode_display(const std::string &text);
// A library string handed over to us: None for null; it is freed.
py::object take_text(char *text);

// A str argument as bytes for the library; a NUL would cut it short, so it
// is refused rather than silently truncated. `what` names the argument.
std::string encode(const py::handle &value, const char *what);

// An optional text argument: None stays null.
struct OptionalText {
  bool present = false;
  std::string text;
  const char *c_str() const { return present ? text.c_str() : nullptr; }
};
OptionalText encode_optional(const py::handle &value, const char *what);

// A path argument: str, bytes or os.PathLike. A relative one is made
// absolute against the current directory, as open() would read it, so that
// what is stored does not depend on where the script ran; a name that
// begins with "$" (the "$PROJECT/..." form) is kept as given.
std::string encode_path(const py::handle &value);
// The same for an optional one: None stays null. With a project bound to a
// file, "$PROJECT/..." is expanded against its directory, so that the
// library, which tests the name as it is, finds what the name means.
OptionalText encode_optional_path(const py::handle &value, pm_Project *project = nullptr);

// A descriptor as an absolute pathlib.Path: "$PROJECT/..." expanded
// against the project's directory; None for an empty one.
py::object absolute_path(pm_Project *project, const std::string &descriptor);

// The enumerations of the project file, as the module names them.
enum EnumKind { kProjectType, kSwitch, kSelection, kFormat, kMode, kHide, kOutput, kEnumCount };

// A stored value as its enum member; values the enum does not know (a file
// may hold them: the library does not validate them) stay plain ints.
py::object enum_value(EnumKind kind, int32_t value);
// Why `value` is no value of the enumeration, naming `field` and the values
// it has; empty when it is one.
std::string enum_fault(EnumKind kind, int32_t value, const char *field);
// An argument for the enumerated `field` ("Tile.automatic") as the
// library's value: a member of the enum or its int value. A member of
// another enum is a TypeError, an int it has no member for a ValueError.
int32_t enum_arg(const py::handle &value, EnumKind kind, const char *field);

// Adds the IntEnum classes to the module.
void bind_enums(py::module_ &m);

}  // namespace kpy

#endif
