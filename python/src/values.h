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

// A path argument: str, bytes or os.PathLike.
std::string encode_path(const py::handle &value);

// The enumerations of the project file, as the module names them.
enum EnumKind { kProjectType, kSwitch, kSelection, kFormat, kMode, kHide, kOutput, kEnumCount };

// A stored value as its enum member; values the enum does not know (the
// library does not validate them) stay plain ints.
py::object enum_value(EnumKind kind, int32_t value);
// An enum member or int argument as the library's 32-bit value.
int32_t enum_arg(const py::handle &value);

// Adds the IntEnum classes to the module.
void bind_enums(py::module_ &m);

}  // namespace kpy

#endif
