// Building a process and its arguments in one call, for hosts that describe
// their processes in code.
#include <cstdarg>

#include "node/report.h"

namespace {

// Joins directory and file name for one of the process's files; false (with
// the report left) when the path cannot be built.
bool join_path(pm::Reporter &r, const char *directory, const char *name, char **path) noexcept {
  pm::InnerSlot inner;
  *path = pm_DirectoryCat(directory, name, &inner);
  if (!inner) return true;
  tk_HeapFree(*path);
  *path = nullptr;
  r.push(inner.take(), "Error creating parameter file name");
  return false;
}

}  // namespace

extern "C" {

// Null only when a path cannot be built (or memory runs out). An argument
// that cannot be attached ends the groups: it is released, the report is
// left, and the process is returned with the arguments attached before it.
PM_API pm_Process *pm_ProcessVaCreate(const char *name, const char *title, const char *directory,
                                      const char *params, const char *labels, const char *suffix,
                                      pm_ProcessOutput output, tk_ErrorReport **slot, ...) {
  pm::Reporter r("pm_ProcessVaCreate", slot);
  char *params_path = nullptr;
  char *labels_path = nullptr;
  if (!join_path(r, directory, params, &params_path)) return nullptr;
  if (!join_path(r, directory, labels, &labels_path)) {
    tk_HeapFree(params_path);
    return nullptr;
  }
  pm_Process *process = pm_ProcessCreate(name, title, params_path, labels_path, suffix, output);
  tk_HeapFree(params_path);
  tk_HeapFree(labels_path);
  if (!process) return nullptr;

  va_list groups;
  va_start(groups, slot);
  while (const char *argument_name = va_arg(groups, const char *)) {
    const char *value = va_arg(groups, const char *);
    int type = va_arg(groups, int);
    int mode = va_arg(groups, int);
    int hide = va_arg(groups, int);
    pm_Argument *argument = pm_ArgumentCreate(argument_name, value, type, mode, hide);
    pm::InnerSlot inner;
    pm_ProcessAppendArgument(process, argument, &inner);
    if (inner || !argument) {
      pm_ArgumentDestroy(argument);
      r.push(inner.take(), "Error adding argument to process");
      break;
    }
  }
  va_end(groups);
  return process;
}

}  // extern "C"
