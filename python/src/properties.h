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

// A text property of a data file or process: a getter handing over a copy
// and a setter that copies (0 only when memory runs out).
template <class H, class Node>
void text_property(py::class_<H> &cls, const char *name, char *(*getter)(Node *), int (*setter)(Node *, const char *),
                   const char *doc) {
  cls.def_property(
      name, [getter](const H &self) { return take_text(getter(self.get())); },
      [setter, name](const H &self, const py::object &value) {
        const OptionalText text = encode_optional(value, name);
        if (!setter(self.get(), text.c_str())) throw std::bad_alloc();
      },
      doc);
}

template <class H, class Node>
void enum_property(py::class_<H> &cls, const char *name, EnumKind kind, int32_t (*getter)(Node *),
                   int (*setter)(Node *, int32_t), const char *doc) {
  cls.def_property(
      name, [getter, kind](const H &self) { return enum_value(kind, getter(self.get())); },
      [setter](const H &self, const py::object &value) { setter(self.get(), enum_arg(value)); }, doc);
}

// A rename through the library (unique names; the report when taken).
template <class H, class Node>
void name_property(py::class_<H> &cls, char *(*getter)(Node *), int (*setter)(Node *, const char *, tk_ErrorReport **),
                   const char *doc) {
  cls.def_property(
      "name", [getter](const H &self) { return take_text(getter(self.get())); },
      [setter](const H &self, const py::object &value) {
        const std::string name = encode(value, "name");
        kcli::Report report;
        setter(self.get(), name.c_str(), report.slot());
        raise_if(report);
      },
      doc);
}

}  // namespace kpy

#endif
