// Argument records: one named input or output of a process. Its value names
// the PFA file whose data files it stands for; its parent is the process that
// holds it once attached.
#include "node/lifecycle.h"
#include "process/process_internal.h"

namespace {

// Losing an argument is a change of its process (when it has one). The
// remove keeps the process's list pointer on what remains.
pm_Argument *remove_from_process(pm_Argument *argument) noexcept {
  pm::mark_changed(argument->node.parent);
  return pm_ArgumentRemove(argument);
}

}  // namespace

extern "C" {

PM_API pm_Argument *pm_ArgumentCreate(const char *name, const char *value, pm_PFAType type,
                                      pm_ArgumentMode mode, pm_ArgumentHide hide) {
  auto *argument = pm::as_kind<pm_Argument>(pm::node_alloc(sizeof(pm_Argument), PM_KIND_NONE));
  if (!argument) return nullptr;
  pm_ArgumentInitialize(argument);
  if (!pm::copy_text(&argument->node.name, name) || !pm::copy_text(&argument->value, value))
    return pm_ArgumentDestroy(argument);
  argument->type = type;
  argument->mode = mode;
  argument->hide = hide;
  return argument;
}

PM_API void pm_ArgumentInitialize(pm_Argument *argument) {
  if (!argument) return;
  pm::node_reset(&argument->node);
  argument->value = nullptr;
  argument->type = 0;
  argument->mode = 0;
  argument->hide = 0;
}

PM_API void pm_ArgumentClear(pm_Argument *argument) {
  if (!argument) return;
  pm::release_text(&argument->value);
  pm::clear_name(&argument->node);
}

PM_API pm_Argument *pm_ArgumentDestroy(pm_Argument *argument) {
  return pm::destroy_record(argument, remove_from_process, pm_ArgumentClear);
}

PM_API pm_Argument *pm_ArgumentDestroyList(pm_Argument *list) { return pm::destroy_list(list, remove_from_process, pm_ArgumentClear); }

// Processes in list order, and within each its arguments in list order, so
// the earliest definition of a value wins.
PM_API pm_Argument *pm_ArgumentFindByValue(pm_Process *list, const char *value) {
  if (!value) return nullptr;
  for (auto *process = pm::as_kind<pm_Process>(pm::list_first(pm::as_node(list))); process;
       process = pm::next_of(process)) {
    for (auto *argument = pm::as_kind<pm_Argument>(pm::list_first(pm::as_node(process->arguments))); argument;
         argument = pm::next_of(argument)) {
      if (pm::names_equal(argument->value, value)) return argument;
    }
  }
  return nullptr;
}

PM_API char *pm_ArgumentGetValue(pm_Argument *a) { return pm::get_text(a, &pm_Argument::value); }
PM_API int pm_ArgumentSetValue(pm_Argument *a, const char *value) {
  return pm::set_text(a, &pm_Argument::value, value);
}
PM_API pm_PFAType pm_ArgumentGetType(pm_Argument *a) { return pm::get_value(a, &pm_Argument::type); }
PM_API int pm_ArgumentSetType(pm_Argument *a, pm_PFAType value) { return pm::set_value(a, &pm_Argument::type, value); }
PM_API pm_ArgumentMode pm_ArgumentGetMode(pm_Argument *a) { return pm::get_value(a, &pm_Argument::mode); }
PM_API int pm_ArgumentSetMode(pm_Argument *a, pm_ArgumentMode value) {
  return pm::set_value(a, &pm_Argument::mode, value);
}
PM_API pm_ArgumentHide pm_ArgumentGetHide(pm_Argument *a) { return pm::get_value(a, &pm_Argument::hide); }
PM_API int pm_ArgumentSetHide(pm_Argument *a, pm_ArgumentHide value) {
  return pm::set_value(a, &pm_Argument::hide, value);
}

}  // extern "C"
