// Process records: one processing step the host can run, with its own
// parameter and label files and an ordered list of arguments that it owns.
#include "node/append.h"
#include "node/lifecycle.h"
#include "node/report.h"
#include "process/process_internal.h"

extern "C" {

PM_API pm_Process *pm_ProcessCreate(const char *name, const char *title, const char *params,
                                    const char *labels, const char *suffix, pm_ProcessOutput output) {
  auto *process = pm::as_kind<pm_Process>(pm::node_alloc(sizeof(pm_Process), PM_KIND_NONE));
  if (!process) return nullptr;
  pm_ProcessInitialize(process);
  process->output = output;
  if (!pm::copy_text(&process->node.name, name) || !pm::copy_text(&process->title, title) ||
      !pm::copy_text(&process->params, params) || !pm::copy_text(&process->labels, labels) ||
      !pm::copy_text(&process->suffix, suffix))
    return pm_ProcessDestroy(process);
  return process;
}

PM_API void pm_ProcessInitialize(pm_Process *process) {
  if (!process) return;
  pm::node_reset(&process->node);
  process->title = nullptr;
  process->params = nullptr;
  process->labels = nullptr;
  process->suffix = nullptr;
  process->output = 1;
  process->arguments = nullptr;
}

// Releases the arguments and texts; the fields are left null so that a
// second clear is harmless.
PM_API void pm_ProcessClear(pm_Process *process) {
  if (!process) return;
  process->arguments = pm_ArgumentDestroyList(process->arguments);
  pm::clear_name(&process->node);
  pm::release_text(&process->title);
  pm::release_text(&process->params);
  pm::release_text(&process->labels);
  pm::release_text(&process->suffix);
}

PM_API pm_Process *pm_ProcessDestroy(pm_Process *process) {
  return pm::destroy_record(process, pm_ProcessRemove, pm_ProcessClear);
}

PM_API pm_Process *pm_ProcessDestroyList(pm_Process *list) { return pm::destroy_list(list, pm_ProcessRemove, pm_ProcessClear); }

// On refusal the argument stays detached and belongs to the caller; the
// process keeps the arguments it had.
PM_API void pm_ProcessAppendArgument(pm_Process *process, pm_Argument *argument, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProcessAppendArgument", slot);
  if (!process || !argument) return;
  pm::InnerSlot inner;
  pm_Argument *head = pm::argument_append(process->arguments, argument, &inner);
  if (inner) {
    r.push(inner.take(), "Error appending argument %s to process %s", pm::text_or_null(argument->node.name),
           pm::text_or_null(process->node.name));
    return;
  }
  if (!pm::appended(head, argument)) return;
  process->arguments = head;
  argument->node.parent = &process->node;
}

PM_API char *pm_ProcessGetTitle(pm_Process *p) { return pm::get_text(p, &pm_Process::title); }
PM_API int pm_ProcessSetTitle(pm_Process *p, const char *text) { return pm::set_text(p, &pm_Process::title, text); }
PM_API char *pm_ProcessGetParams(pm_Process *p) { return pm::get_text(p, &pm_Process::params); }
PM_API int pm_ProcessSetParams(pm_Process *p, const char *text) { return pm::set_text(p, &pm_Process::params, text); }
PM_API char *pm_ProcessGetLabels(pm_Process *p) { return pm::get_text(p, &pm_Process::labels); }
PM_API int pm_ProcessSetLabels(pm_Process *p, const char *text) { return pm::set_text(p, &pm_Process::labels, text); }
PM_API char *pm_ProcessGetSuffix(pm_Process *p) { return pm::get_text(p, &pm_Process::suffix); }
PM_API int pm_ProcessSetSuffix(pm_Process *p, const char *text) { return pm::set_text(p, &pm_Process::suffix, text); }
PM_API pm_ProcessOutput pm_ProcessGetOutput(pm_Process *p) { return pm::get_value(p, &pm_Process::output); }
PM_API int pm_ProcessSetOutput(pm_Process *p, pm_ProcessOutput value) {
  return pm::set_value(p, &pm_Process::output, value);
}

}  // extern "C"
