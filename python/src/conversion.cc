// kestrum._kestrum: a project as Python values and back (see conversion.h).
#include "conversion.h"

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
    // The walk names them with literals, so the text's address finds its
    // str almost always, without comparing a byte; and it names them in
    // the same order every time, so the one after the last is tried first.
    if (guess_ < keys_.size() && keys_[guess_].data == name.data() && keys_[guess_].text.size() == name.size()) {
      key_ = keys_[guess_++].value.ptr();
      return;
    }
    for (std::size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i].data == name.data() && keys_[i].text.size() == name.size()) {
        key_ = keys_[i].value.ptr();
        guess_ = i + 1;
        return;
      }
    // The same name from another place (the address is only compared,
    // never read: the text compared is the entry's own copy).
    py::object value;
    for (const Key &known : keys_)
      if (known.text == name) value = known.value;
    if (!value) value = text(name);
    keys_.push_back({name.data(), std::string(name), value});
    key_ = value.ptr();
    guess_ = keys_.size();
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
    const int failed = PyDict_Check(top) ? PyDict_SetItem(top, key_, value.ptr()) : PyList_Append(top, value.ptr());
    if (failed) throw py::error_already_set();
  }

  struct Key {
    const char *data;  // where the walk's text of the name was
    std::string text;
    py::object value;
  };

  std::vector<py::object> containers_;
  std::vector<Key> keys_;
  PyObject *key_ = nullptr;  // the pending member's name, held by keys_
  std::size_t guess_ = 0;    // where the next name is likely to be in keys_
  py::object result_;
};

// Hands a document of Python values to the importer, value by value, as a
// parse of its text would. Only what json.dumps would write as JSON is taken
// (dict with str keys, list, tuple, str, int, float, bool, None); anything
// else is refused at its place. Strings go as their UTF-8 bytes, with
// surrogate escapes back to the bytes they stand for (a name read from a
// file that is not UTF-8); a lone surrogate that stands for no byte is
// refused. Every value is held (a new reference) while it is walked, since
// a finalizer run by an allocation could drop it from its container.
class DocumentWalk {
 public:
  explicit DocumentWalk(kcli::DocumentReader &out) : out_(out) {}

  bool value(PyObject *object) {
    if (object == Py_None) return out_.null();
    if (PyBool_Check(object)) return out_.boolean(object == Py_True);
    if (PyLong_Check(object)) return integer(object);
    if (PyFloat_Check(object)) return out_.number_float(PyFloat_AS_DOUBLE(object), kNoText);
    if (PyUnicode_Check(object)) {
      std::string text;
      return bytes(object, text) && out_.string(text);
    }
    if (PyDict_Check(object)) return mapping(object);
    if (PyList_Check(object) || PyTuple_Check(object)) return sequence(object);
    return out_.refuse(std::string("expected a JSON value (dict, list, str, int, float, bool or None), found ") +
                       Py_TYPE(object)->tp_name);
  }

 private:
  // Whole numbers as a parse reads them: 64-bit when they fit, else as a
  // double, and out of range past that.
  bool integer(PyObject *object) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (!overflow) return out_.number_integer(number);
    if (overflow > 0) {
      const unsigned long long large = PyLong_AsUnsignedLongLong(object);
      if (!PyErr_Occurred()) return out_.number_unsigned(large);
      PyErr_Clear();
    }
    const double approximate = PyLong_AsDouble(object);
    if (approximate == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      return out_.refuse("number out of range");
    }
    return out_.number_float(approximate, kNoText);
  }

  bool bytes(PyObject *object, std::string &text) {
    Py_ssize_t size = 0;
    if (const char *utf8 = PyUnicode_AsUTF8AndSize(object, &size)) {
      text.assign(utf8, static_cast<std::size_t>(size));
      return true;
    }
    PyErr_Clear();
    PyObject *encoded = PyUnicode_AsEncodedString(object, "utf-8", "surrogateescape");
    if (!encoded) {
      PyErr_Clear();
      return out_.refuse("a string with a lone surrogate, which stands for no bytes");
    }
    text.assign(PyBytes_AS_STRING(encoded), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
    Py_DECREF(encoded);
    return true;
  }

  bool mapping(PyObject *object) {
    if (!out_.start_object(static_cast<std::size_t>(PyDict_GET_SIZE(object)))) return false;
    PyObject *key_item = nullptr;
    PyObject *value_item = nullptr;
    Py_ssize_t at = 0;
    std::string key;
    while (PyDict_Next(object, &at, &key_item, &value_item)) {
      const py::object held_key = py::reinterpret_borrow<py::object>(key_item);
      const py::object held_value = py::reinterpret_borrow<py::object>(value_item);
      if (!PyUnicode_Check(key_item))
        return out_.refuse(std::string("a key must be a str, found ") + Py_TYPE(key_item)->tp_name);
      if (!bytes(key_item, key) || !out_.key(key) || !value(held_value.ptr())) return false;
    }
    return out_.end_object();
  }

  bool sequence(PyObject *object) {
    const bool list = PyList_Check(object);
    auto size = [&] { return list ? PyList_GET_SIZE(object) : PyTuple_GET_SIZE(object); };
    if (!out_.start_array(static_cast<std::size_t>(size()))) return false;
    for (Py_ssize_t i = 0; i < size(); ++i) {
      const py::object item =
          py::reinterpret_borrow<py::object>(list ? PyList_GET_ITEM(object, i) : PyTuple_GET_ITEM(object, i));
      if (!value(item.ptr())) return false;
    }
    return out_.end_array();
  }

  static inline const std::string kNoText;
  kcli::DocumentReader &out_;
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
  kcli::ProjectPtr built = kcli::import_document(
      [&document](kcli::DocumentReader &reader) { return DocumentWalk(reader).value(document.ptr()); }, directory);
  if (!filename.empty()) {
    kcli::Report report;
    pm_ProjectSetFilename(built.get(), filename.c_str(), report.slot());
    raise_if(report);
  }
  return wrap_new(built.release());
}

}  // namespace kpy
