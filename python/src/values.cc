// kestrum._kestrum: texts, paths and enumerations (see values.h).
#include "values.h"

#include <cctype>
#include <cstddef>

#include "cli.h"
#include "node/value_names.h"

namespace kpy {

py::str decode(const std::string &text) {
  PyObject *object = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
  if (!object) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(object);
}

py::str decode_display(const std::string &text) {
  PyObject *object = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
  if (!object) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(object);
}

py::object take_text(char *text) {
  if (!text) return py::none();
  std::string copy = kcli::take(text);
  return decode(copy);
}

std::string encode(const py::handle &value, const char *what) {
  if (!PyUnicode_Check(value.ptr())) throw py::type_error(std::string(what) + " must be a str");
  PyObject *bytes = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape");
  if (!bytes) throw py::error_already_set();
  std::string text(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  if (text.find('\0') != std::string::npos) throw py::value_error(std::string(what) + " contains a NUL character");
  return text;
}

OptionalText encode_optional(const py::handle &value, const char *what) {
  OptionalText result;
  if (value.is_none()) return result;
  result.present = true;
  result.text = encode(value, what);
  return result;
}

std::string encode_path(const py::handle &value) {
  PyObject *path = PyOS_FSPath(value.ptr());
  if (!path) throw py::error_already_set();
  py::object owned = py::reinterpret_steal<py::object>(path);
  if (PyBytes_Check(path)) {
    std::string text(PyBytes_AS_STRING(path), static_cast<std::size_t>(PyBytes_GET_SIZE(path)));
    if (text.find('\0') != std::string::npos) throw py::value_error("path contains a NUL character");
    return text;
  }
  return encode(owned, "path");
}

namespace {

PyObject *g_enums[kEnumCount] = {};
std::size_t g_enum_sizes[kEnumCount] = {};

}  // namespace

py::object enum_value(EnumKind kind, int32_t value) {
  if (value >= 0 && static_cast<std::size_t>(value) < g_enum_sizes[kind])
    return py::reinterpret_borrow<py::object>(g_enums[kind])(value);
  return py::int_(value);
}

int32_t enum_arg(const py::handle &value) {
  if (!PyLong_Check(value.ptr())) throw py::type_error("an enum member or int is required");
  const long long number = value.cast<long long>();
  if (number < INT32_MIN || number > INT32_MAX) throw py::value_error("value out of the 32-bit range");
  return static_cast<int32_t>(number);
}

// The enumerations, named as the project file and the tool name them.
void bind_enums(py::module_ &m) {
  py::object int_enum = py::module_::import("enum").attr("IntEnum");
  struct EnumDef {
    EnumKind kind;
    const char *name;
    kcli::Names names;
    const char *doc;
  };
  const EnumDef enums[] = {
      {kProjectType, "ProjectType", pm::kProjectTypeNames, "How the project samples: single or double."},
      {kSwitch, "Switch", pm::kSwitchNames, "An analysis switch of the project."},
      {kSelection, "Selection", pm::kSelectionNames, "How a tile or sample was selected."},
      {kFormat, "Format", pm::kPFATypeNames, "What the files of a PFA file or argument hold."},
      {kMode, "Mode", pm::kModeNames, "Whether an argument is an input or output, strict or optional."},
      {kHide, "Hide", pm::kHideNames, "Whether hosts show an argument."},
      {kOutput, "Output", pm::kOutputNames, "Whether a process requests or generates its output."},
  };
  for (const EnumDef &entry : enums) {
    py::list members;
    for (std::size_t i = 0; i < entry.names.size(); ++i) {
      std::string upper = entry.names[i];
      for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      members.append(py::make_tuple(upper, i));
    }
    py::object cls = int_enum(entry.name, members, py::arg("module") = "kestrum");
    cls.attr("__doc__") = entry.doc;
    m.attr(entry.name) = cls;
    g_enums[entry.kind] = cls.inc_ref().ptr();  // lives as long as the interpreter
    g_enum_sizes[entry.kind] = entry.names.size();
  }
}

}  // namespace kpy
