// The argument part of a process's command line: each shown argument adds its
// name and, when it has a value, a blank, a dollar sign and the value, so
// that the host's shell-like runner substitutes the file the value names.
// The process's own name is not part of the line.
#include "node/node.h"
#include "node/report.h"

extern "C" {

// Null when no argument contributes. On a formatting failure the line as it
// stood before the failing argument comes back together with the report. An
// argument with a value but no name that opens the line contributes "$value"
// alone, without a leading blank.
PM_API char *pm_ProcessCommandLine(pm_Process *process, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProcessCommandLine", slot);
  if (!process) {
    r.push(nullptr, "No process");
    return nullptr;
  }
  char *line = nullptr;
  for (pm_Argument *a = pm::as_kind<pm_Argument>(pm::list_first(pm::as_node(process->arguments))); a;
       a = pm::next_of(a)) {
    if (a->hide != 0) continue;
    const char *name = a->node.name;
    char *next = nullptr;
    if (name) {
      pm::InnerSlot inner;
      next = line ? tk_Sprintf(0, "%s %s", &inner, line, name) : tk_Sprintf(0, "%s", &inner, name);
      if (inner || !next) {
        tk_HeapFree(next);
        r.push(inner.take(), "Cannot copy argument name");
        break;
      }
    }
    if (a->value) {
      const char *partial = next ? next : line;
      pm::InnerSlot inner;
      char *with_value =
          partial ? tk_Sprintf(0, "%s $%s", &inner, partial, a->value) : tk_Sprintf(0, "$%s", &inner, a->value);
      tk_HeapFree(next);
      next = with_value;
      if (inner || !next) {
        tk_HeapFree(next);
        r.push(inner.take(), "Cannot copy argument value");
        break;
      }
    }
    if (next) {
      tk_HeapFree(line);
      line = next;
    }
  }
  return line;
}

}  // extern "C"
