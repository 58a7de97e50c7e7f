// kestrum._kestrum: the Python face of the C interface.
//
// Every behaviour is the library's; the package only maps it, and adds
// lifetime safety (handles.h). Each concern has a file of its own: errors,
// texts and enumerations (values), handles and their lifetimes, lists, the
// tree's nodes, the processing model with readiness, the project, and its
// conversion to and from dicts. This file only puts them into the module,
// in an order where each class's parts are there before it is used.
#include <pybind11/pybind11.h>

#include "errors.h"
#include "nodes.h"
#include "processing.h"
#include "project.h"
#include "values.h"

PYBIND11_MODULE(_kestrum, m) {
  m.doc() = "The compiled part of the kestrum package; use the kestrum package itself.";
  kpy::bind_errors(m);
  kpy::bind_enums(m);
  kpy::bind_nodes(m);
  kpy::bind_processing(m);
  kpy::bind_project(m);
}
