// kestrum._kestrum: the Project class.
#ifndef KESTRUM_PYTHON_PROJECT_H
#define KESTRUM_PYTHON_PROJECT_H

#include <pybind11/pybind11.h>

namespace kpy {

// Adds Project: creation, load, save, its fields and lists, and the
// conversion to and from dicts.
void bind_project(pybind11::module_ &m);

}  // namespace kpy

#endif
