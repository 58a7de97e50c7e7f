// kestrum._kestrum: a project as Python values and back (see conversion.h).
#include "conversion.h"

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json.h"
#include "values.h"

namespace kpy {

namespace {

// Builds the export's document as Python values while the project is
// walked, instead of writing its text and parsing that again (json.loads of
// a large export costs more than the whole export). The values are those
// json.loads would give for the text: the walk hands over only UTF-8
// strings, whole numbers and doubles that read back as themselves.
class DictWriter final : public kcli::Writer {
 public:
  void begin_object() override { open(PyDict_New()); }
  void end_object() override { containers_.pop_back(); }
  void begin_array() override { open(PyList_New(0)); }
  void end_array() override { containers_.pop_back(); }
  void key(std::string_view name) override {
    // A handful of member names recur a million times; each is made once.
    auto found = keys_.find(name);
    if (found == keys_.end()) found = keys_.emplace(std::string(name), text(name)).first;
    key_ = found->second;
  }
  void element() override {}
  void null() override { put(py::none()); }
  void number(long long value) override { put(steal(PyLong_FromLongLong(value))); }
  void number(double value) override { put(steal(PyFloat_FromDouble(value))); }
  void string(std::string_view value) override { put(text(value)); }

  py::object result() const { return result_; }

 private:
  static py::object steal(PyObject *object) {
    if (!object) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(object);
  }
  static py::object text(std::string_view value) {
    return steal(PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "strict"));
  }
  void open(PyObject *container) {
    py::object value = steal(container);
    put(value);
    containers_.push_back(std::move(value));
  }
  // The value goes into the open container: under the pending key of an
  // object, or at the end of an array; the first one is the document.
  void put(const py::object &value) {
    if (containers_.empty()) {
      result_ = value;
      return;
    }
    PyObject *top = containers_.back().ptr();
    const int failed = PyDict_Check(top) ? PyDict_SetItem(top, key_.ptr(), value.ptr())
                                         : PyList_Append(top, value.ptr());
    if (failed) throw py::error_already_set();
  }

  std::vector<py::object> containers_;
  std::map<std::string, py::object, std::less<>> keys_;
  py::object key_;
  py::object result_;
};

}  // namespace

// The cyclic collector is held off while the walk makes its millions of
// containers (none of them can be garbage yet), which would otherwise scan
// them again and again.
py::object export_dict(pm_Project *project) {
  py::module_ gc = py::module_::import("gc");
  const bool enabled = gc.attr("isenabled")().cast<bool>();
  gc.attr("disable")();
  try {
    DictWriter document;
    kcli::write_json(project, document);
    if (enabled) gc.attr("enable")();
    return document.result();
  } catch (...) {
    if (enabled) gc.attr("enable")();
    throw;
  }
}

Project import_dict(const py::object &document, const py::object &path) {
  // "$PROJECT/..." names become absolute: under the file's directory,
  // or without a file under the current one.
  std::string directory = encode_path(py::module_::import("os").attr("getcwd")());
  std::string filename;
  if (!path.is_none()) {
    filename = encode_path(path);
    directory = encode_path(py::module_::import("os.path").attr("dirname")(
        py::module_::import("os.path").attr("abspath")(py::bytes(filename))));
  }
  const py::object text = py::module_::import("json").attr("dumps")(document);
  const std::string json = encode(text, "document");
  kcli::ProjectPtr built = kcli::import_json(json, "the document", directory);
  if (!filename.empty()) {
    kcli::Report report;
    pm_ProjectSetFilename(built.get(), filename.c_str(), report.slot());
    raise_if(report);
  }
  return wrap_new(built.release());
}

}  // namespace kpy
