// kestrum._kestrum: a project as Python values and back, the document of
// `kestrum export` and `kestrum import`.
#ifndef KESTRUM_PYTHON_CONVERSION_H
#define KESTRUM_PYTHON_CONVERSION_H

#include <pybind11/pybind11.h>

#include "handles.h"

namespace kpy {

// The export's document as Python values (dicts, lists, str, int, float,
// None).
pybind11::object export_dict(pm_Project *project);

// A project built from such a document; with a path (not None) bound to
// that file, not yet written.
Project import_dict(const pybind11::object &document, const pybind11::object &path);

}  // namespace kpy

#endif
