// What a named process of a level stands for at a node: the data file that
// one of its arguments names, and the process's label file. Both look the
// process up by name in the project's process list of the level; neither
// changes anything or tests the disk.
#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"

namespace {

// The process of that name in the level's list, or null with a report.
pm_Process *find_process(pm::Reporter &r, pm_Project *project, pm_Level level, const char *process_name) noexcept {
  if (!project) {
    r.push(nullptr, "No project supplied");
    return nullptr;
  }
  pm_Process *list = pm_ProcessListGetByType(project, level);
  if (!list) {
    r.push(nullptr, "Cannot find process list for level %d", level);
    return nullptr;
  }
  pm_Process *process = pm_ProcessFind(list, process_name);
  if (!process) r.push(nullptr, "Cannot find required process \"%s\"", pm::text_or_null(process_name));
  return process;
}

}  // namespace

extern "C" {

// The level chooses only the process list; the file is looked up among the
// node's own files, the given project's for a project node or a null one.
PM_API pm_File *pm_FileGetFromProcessArg(pm_Project *project, pm_Level level, const char *process_name,
                                         const char *argument_name, void *node, tk_ErrorReport **slot) {
  pm::Reporter r("pm_FileGetFromProcessArg", slot);
  pm_Process *process = find_process(r, project, level, process_name);
  if (!process) return nullptr;
  pm_Argument *argument = pm_ArgumentFind(process->arguments, argument_name);
  if (!argument) {
    r.push(nullptr, "Cannot find required argument \"%s\" of process \"%s\"", pm::text_or_null(argument_name),
           pm::text_or_null(process_name));
    return nullptr;
  }
  if (!argument->value) {
    r.push(nullptr, "Value not set for argument \"%s\" of process \"%s\"", pm::text_or_null(argument_name),
           pm::text_or_null(process_name));
    return nullptr;
  }
  pm_Node *owner = pm_NodeGetType(node) == PM_KIND_PROJECT ? &project->node : static_cast<pm_Node *>(node);
  pm_File *file = pm_FileFind(pm::files_at(owner), argument->value);
  if (!file) r.push(nullptr, "Cannot find file \"%s\" for root node", argument->value);
  return file;
}

PM_API char *pm_LabelFileGetFromProcess(pm_Project *project, pm_Level level, const char *process_name,
                                        tk_ErrorReport **slot) {
  pm::Reporter r("pm_LabelFileGetFromProcess", slot);
  pm_Process *process = find_process(r, project, level, process_name);
  return process ? pm_ProcessGetLabels(process) : nullptr;
}

}  // extern "C"
