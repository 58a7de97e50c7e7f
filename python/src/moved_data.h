// kestrum._kestrum: data that moved. Project.missing_files(),
// Project.relink() and the module's pack(), over the tool's own code
// (tools/relink.h), so that the package and `kestrum check`, `relink` and
// `pack` give the same answers.
#ifndef KESTRUM_PYTHON_MOVED_DATA_H
#define KESTRUM_PYTHON_MOVED_DATA_H

#include <pybind11/pybind11.h>

#include "handles.h"

namespace kpy {

void bind_relink(py::class_<Project> &project, py::module_ &m);

}  // namespace kpy

#endif
