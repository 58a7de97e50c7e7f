// kestrum._kestrum: the processing model (levels, PFA files, processes,
// arguments) and readiness.
#ifndef KESTRUM_PYTHON_PROCESSING_H
#define KESTRUM_PYTHON_PROCESSING_H

#include <pybind11/pybind11.h>

#include "handles.h"

namespace kpy {

// A level of the processing model, as project.levels gives it.
struct Level {
  CorePtr core;
  int index;
};

// Every process at every node of its level, as `kestrum ready` checks
// them: a list of kestrum.Readiness (process, node, ready, missing).
// kestrum.Error when a test cannot be made.
pybind11::list readiness(const CorePtr &core);

// Adds PFAFileList, ProcessList, ArgumentList, PFAFile, Process, Argument
// and Level.
void bind_processing(pybind11::module_ &m);

}  // namespace kpy

#endif
