// The project's two containers of the processing model: ProcFiles holds the
// PFA list of each level and has a change state of its own; ProcessLists
// holds the process list of each level and is as dirty as its processes.
// The project holds one of each; the lists of a level are read through it.
#include "process/process_internal.h"

namespace {

bool valid_level(pm_Level level) noexcept { return level >= pm::kLevelProject && level <= pm::kLevelSample; }

}  // namespace

extern "C" {

PM_API pm_ProcFiles *pm_ProcFilesCreate(void) {
  auto *root = static_cast<pm_ProcFiles *>(tk_HeapMalloc(sizeof(pm_ProcFiles)));
  auto *state = static_cast<pm_ChangeState *>(tk_HeapMalloc(sizeof(pm_ChangeState)));
  if (!root || !state) {
    tk_HeapFree(root);
    tk_HeapFree(state);
    return nullptr;
  }
  root->state = state;
  pm_ProcFilesInitialize(root);
  return root;
}

PM_API void pm_ProcFilesInitialize(pm_ProcFiles *root) {
  if (!root) return;
  for (auto &list : root->lists) list = nullptr;
  if (root->state) {
    root->state->changed = 1;
    root->state->saved = 0;
  }
}

// Empties every level; the emptied container reads as changed.
PM_API void pm_ProcFilesClear(pm_ProcFiles *root) {
  if (!root) return;
  for (pm_PFAFile *list : root->lists) pm_PFAFileDestroyList(list);
  pm_ProcFilesInitialize(root);
}

PM_API void pm_ProcFilesDestroy(pm_ProcFiles *root) {
  if (!root) return;
  pm_ProcFilesClear(root);
  tk_HeapFree(root->state);
  tk_HeapFree(root);
}

PM_API pm_ProcessLists *pm_ProcessListsCreate(void) {
  auto *lists = static_cast<pm_ProcessLists *>(tk_HeapMalloc(sizeof(pm_ProcessLists)));
  pm_ProcessListsInitialize(lists);
  return lists;
}

PM_API void pm_ProcessListsInitialize(pm_ProcessLists *lists) {
  if (!lists) return;
  for (auto &list : lists->lists) list = nullptr;
}

PM_API void pm_ProcessListsClear(pm_ProcessLists *lists) {
  if (!lists) return;
  for (pm_Process *list : lists->lists) pm_ProcessDestroyList(list);
  pm_ProcessListsInitialize(lists);
}

PM_API void pm_ProcessListsDestroy(pm_ProcessLists *lists) {
  if (!lists) return;
  pm_ProcessListsClear(lists);
  tk_HeapFree(lists);
}

PM_API pm_Process *pm_ProcessListGetByType(pm_Project *project, pm_Level level) {
  if (!project || !project->process_lists || !valid_level(level)) return nullptr;
  return pm::as_kind<pm_Process>(pm::list_first(pm::as_node(project->process_lists->lists[level])));
}

PM_API pm_PFAFile *pm_PFAFileListGetByType(pm_Project *project, pm_Level level) {
  if (!project || !project->pfa_root || !valid_level(level)) return nullptr;
  return pm::as_kind<pm_PFAFile>(pm::list_first(pm::as_node(project->pfa_root->lists[level])));
}

}  // extern "C"
