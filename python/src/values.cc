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
  std::string text;
  if (PyBytes_Check(path)) {
    text.assign(PyBytes_AS_STRING(path), static_cast<std::size_t>(PyBytes_GET_SIZE(path)));
    if (text.find('\0') != std::string::npos) throw py::value_error("path contains a NUL character");
  } else {
    text = encode(owned, "path");
  }
  if (text.empty() || text.front() == '/' || text.front() == '$') return text;
  // os.path.abspath of the bytes: the current directory may be any bytes.
  py::object absolute = py::module_::import("os.path").attr("abspath")(py::bytes(text));
  return absolute.cast<std::string>();
}

OptionalText encode_optional_path(const py::handle &value, pm_Project *project) {
  OptionalText result;
  if (value.is_none()) return result;
  result.present = true;
  result.text = encode_path(value);
  const std::string directory = project ? kcli::text_of(project->dirname) : std::string();
  if (!directory.empty()) result.text = kcli::project_absolute(directory, result.text);
  return result;
}

py::object absolute_path(pm_Project *project, const std::string &descriptor) {
  if (descriptor.empty()) return py::none();
  const std::string directory = kcli::text_of(project->dirname);
  const std::string path = directory.empty() ? descriptor : kcli::project_absolute(directory, descriptor);
  return py::module_::import("pathlib").attr("Path")(decode(path));
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

namespace {

PyObject *g_enum_base = nullptr;  // enum.Enum
const char *g_enum_names[kEnumCount] = {};
kcli::Names g_enum_values[kEnumCount];

std::string upper(const char *name) {
  std::string text = name;
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// "SINGLE_SAMPLING (0), DOUBLE_SAMPLING (1)"
std::string members_text(EnumKind kind) {
  std::string text;
  for (std::size_t i = 0; i < g_enum_values[kind].size(); ++i)
    text += (i ? ", " : "") + upper(g_enum_values[kind][i]) + " (" + std::to_string(i) + ")";
  return text;
}

}  // namespace

std::string enum_fault(EnumKind kind, int32_t value, const char *field) {
  if (value >= 0 && static_cast<std::size_t>(value) < g_enum_sizes[kind]) return {};
  return std::string(field) + " is " + std::to_string(value) + ", which is no " + g_enum_names[kind] +
         "; it takes " + members_text(kind);
}

int32_t enum_arg(const py::handle &value, EnumKind kind, const char *field) {
  PyObject *object = value.ptr();
  const std::string expected = std::string(field) + " takes a " + g_enum_names[kind] + " (" + members_text(kind) + ")";
  if (Py_TYPE(object) != reinterpret_cast<PyTypeObject *>(g_enums[kind])) {
    if (!PyLong_Check(object))
      throw py::type_error(expected + ", not " + Py_TYPE(object)->tp_name);
    const int other = PyObject_IsInstance(object, g_enum_base);
    if (other < 0) throw py::error_already_set();
    if (other) throw py::type_error(expected + ", not " + py::repr(value).cast<std::string>());
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow || number < 0 || static_cast<unsigned long long>(number) >= g_enum_sizes[kind])
    throw py::value_error(expected + "; " + py::str(value).cast<std::string>() + " is none of them");
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
  g_enum_base = py::object(py::module_::import("enum").attr("Enum")).inc_ref().ptr();
  for (const EnumDef &entry : enums) {
    py::list members;
    for (std::size_t i = 0; i < entry.names.size(); ++i) members.append(py::make_tuple(upper(entry.names[i]), i));
    py::object cls = int_enum(entry.name, members, py::arg("module") = "kestrum");
    cls.attr("__doc__") = entry.doc;
    m.attr(entry.name) = cls;
    g_enums[entry.kind] = cls.inc_ref().ptr();  // lives as long as the interpreter
    g_enum_sizes[entry.kind] = entry.names.size();
    g_enum_names[entry.kind] = entry.name;
    g_enum_values[entry.kind] = entry.names;
  }
}

}  // namespace kpy
