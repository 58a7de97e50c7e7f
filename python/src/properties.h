// kestrum._kestrum: the kinds of field a node handle has, each made into a
// Python property the same way for every class that has one.
#ifndef KESTRUM_PYTHON_PROPERTIES_H
#define KESTRUM_PYTHON_PROPERTIES_H

#include <pybind11/pybind11.h>

#include <new>
#include <string>

#include "errors.h"
#include "values.h"

namespace kpy {

// "Argument.mode": the field as messages name it.
template <class H>
std::string field_name(const py::class_<H> &cls, const char *name) {
  return cls.attr("__name__").template cast<std::string>() + "." + name;
}

// A text property of a data file, process or argument, read where it lies
// in the record and written by a setter that copies (0 only when memory runs
// out). Reading the field instead of a getter's copy keeps a copy that
// failed from reading as None: a failure here is a MemoryError. A path
// (`is_path`) takes os.PathLike too and is stored absolute.
template <class H, class Node>
void text_property(py::class_<H> &cls, const char *name, char *Node::*field, int (*setter)(Node *, const char *),
                   const char *doc, bool is_path = false) {
  cls.def_property(
      name,
      [field](const H &self) -> py::object {
        const char *text = self.get()->*field;
        if (!text) return py::none();
        return decode(std::string(text));
      },
      [setter, name, is_path](const H &self, const py::object &value) {
        const OptionalText text = is_path ? encode_optional_path(value, self.core->project) : encode_optional(value, name);
        if (!setter(self.get(), text.c_str())) throw std::bad_alloc();
      },
      doc);
}

// An enumerated field: its enum's members (or their int values) only.
template <class H, class Node>
void enum_property(py::class_<H> &cls, const char *name, EnumKind kind, int32_t (*getter)(Node *),
                   int (*setter)(Node *, int32_t), const char *doc) {
  cls.def_property(
      name, [getter, kind](const H &self) { return enum_value(kind, getter(self.get())); },
      [setter, kind, field = field_name(cls, name)](const H &self, const py::object &value) {
        const int32_t number = enum_arg(value, kind, field.c_str());
        setter(self.get(), number);
      },
      doc);
}

// A rename through the library (unique names; the report when taken),
// after `check` has refused a name the file could not hold.
template <class H, class Node, class Check>
void name_property(py::class_<H> &cls, char *(*getter)(Node *), int (*setter)(Node *, const char *, tk_ErrorReport **),
                   Check check, const char *doc) {
  cls.def_property(
      "name", [getter](const H &self) { return take_text(getter(self.get())); },
      [setter, check](const H &self, const py::object &value) {
        const std::string name = encode(value, "name");
        Node *node = self.get();
        check(self, node, name);
        kcli::Report report;
        setter(node, name.c_str(), report.slot());
        raise_if(report);
      },
      doc);
}

}  // namespace kpy

#endif
