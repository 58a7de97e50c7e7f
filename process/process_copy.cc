// Copies of arguments and processes. A copy is a new, detached record marked
// changed; copies of lists keep the order of their source.
#include "node/append.h"
#include "process/process_internal.h"

namespace {

pm_Argument *copy_argument(pm_Argument *argument, tk_ErrorReport **) noexcept { return pm_ArgumentCopy(argument); }

}  // namespace

extern "C" {

PM_API pm_Argument *pm_ArgumentCopy(pm_Argument *argument) {
  if (!argument) return nullptr;
  return pm_ArgumentCreate(argument->node.name, argument->value, argument->type, argument->mode, argument->hide);
}

// The copies have no parent: the list belongs to whoever asked for it.
PM_API pm_Argument *pm_ArgumentCopyList(pm_Argument *list, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ArgumentCopyList", slot);
  const pm::NameText failed = "Error appending copy of argument %s to list";
  return pm::copy_list(r, list, copy_argument, pm::argument_append, pm_ArgumentDestroy, failed, failed);
}

// The copied arguments belong to the new process, so destroying one of them
// marks the copy changed and keeps its argument list pointer valid. When the
// arguments cannot all be copied, the process is returned with those that
// were, and a report.
PM_API pm_Process *pm_ProcessCopy(pm_Process *process, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProcessCopy", slot);
  if (!process) return nullptr;
  pm_Process *copy = pm_ProcessCreate(process->node.name, process->title, process->params, process->labels,
                                      process->suffix, process->output);
  if (!copy) {
    r.push(nullptr, "Out of memory copying process %s", pm::text_or_null(process->node.name));
    return nullptr;
  }
  pm::InnerSlot inner;
  copy->arguments = pm_ArgumentCopyList(process->arguments, &inner);
  for (pm_Argument *a = copy->arguments; a; a = pm::next_of(a)) a->node.parent = &copy->node;
  if (inner) r.push(inner.take(), "Error copying argument list for process %s", pm::text_or_null(process->node.name));
  return copy;
}

PM_API pm_Process *pm_ProcessCopyList(pm_Process *list, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProcessCopyList", slot);
  return pm::copy_list(r, list, pm_ProcessCopy, pm_ProcessAppend, pm_ProcessDestroy, "Error copying process %s",
                       "Error appending copy of process %s to list");
}

}  // extern "C"
