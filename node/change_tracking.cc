// Change tracking: the dirty questions and the changed, unchanged and saved
// marks over single records, node lists, the two processing containers and
// the whole project.
//
// A dirty question over a list is a short-circuit walk from the list's first
// element that looks at an element's own flags before its sub-lists; an
// unchanged walk visits every element and clears the sub-lists before the
// element itself. Neither changes a list or allocates. Null handles are
// ignored by the marks and answered with 0 by the questions.
#include "node/node.h"

using pm::as_node;

namespace {

template <typename T>
T *first_of(T *list) noexcept {
  return pm::as_kind<T>(pm::list_first(as_node(list)));
}

// 1 as soon as an element is dirty or `below` finds something dirty under it.
template <typename T, typename Below>
int list_dirty(T *list, Below below) noexcept {
  for (T *n = first_of(list); n; n = pm::next_of(n))
    if (pm::is_dirty(as_node(n)) || below(n)) return 1;
  return 0;
}

template <typename T>
int flat_list_dirty(T *list) noexcept {
  return list_dirty(list, [](T *) { return false; });
}

// Every element to {0, 0}, after `below` has cleared what hangs under it.
template <typename T, typename Below>
void list_unchanged(T *list, Below below) noexcept {
  for (T *n = first_of(list); n; n = pm::next_of(n)) {
    below(n);
    pm::mark_unchanged(as_node(n));
  }
}

template <typename T>
void flat_list_unchanged(T *list) noexcept {
  list_unchanged(list, [](T *) {});
}

}  // namespace

extern "C" {

// ---- single records -------------------------------------------------------

PM_API int pm_TileDirty(pm_Tile *n) { return pm::is_dirty(as_node(n)); }
PM_API int pm_SampleDirty(pm_Sample *n) { return pm::is_dirty(as_node(n)); }
PM_API int pm_FileDirty(pm_File *n) { return pm::is_dirty(as_node(n)); }
PM_API int pm_PFAFileDirty(pm_PFAFile *n) { return pm::is_dirty(as_node(n)); }
PM_API int pm_ProcessDirty(pm_Process *n) { return pm::is_dirty(as_node(n)); }
PM_API int pm_ArgumentDirty(pm_Argument *n) { return pm::is_dirty(as_node(n)); }

PM_API void pm_ProjectChanged(pm_Project *n) { pm::mark_changed(as_node(n)); }
PM_API void pm_TileChanged(pm_Tile *n) { pm::mark_changed(as_node(n)); }
PM_API void pm_SampleChanged(pm_Sample *n) { pm::mark_changed(as_node(n)); }
PM_API void pm_FileChanged(pm_File *n) { pm::mark_changed(as_node(n)); }
PM_API void pm_PFAFileChanged(pm_PFAFile *n) { pm::mark_changed(as_node(n)); }
PM_API void pm_ProcessChanged(pm_Process *n) { pm::mark_changed(as_node(n)); }
PM_API void pm_ArgumentChanged(pm_Argument *n) { pm::mark_changed(as_node(n)); }

PM_API void pm_TileUnchanged(pm_Tile *n) { pm::mark_unchanged(as_node(n)); }
PM_API void pm_SampleUnchanged(pm_Sample *n) { pm::mark_unchanged(as_node(n)); }
PM_API void pm_FileUnchanged(pm_File *n) { pm::mark_unchanged(as_node(n)); }
PM_API void pm_PFAFileUnchanged(pm_PFAFile *n) { pm::mark_unchanged(as_node(n)); }
PM_API void pm_ProcessUnchanged(pm_Process *n) { pm::mark_unchanged(as_node(n)); }
PM_API void pm_ArgumentUnchanged(pm_Argument *n) { pm::mark_unchanged(as_node(n)); }

PM_API void pm_TileSaved(pm_Tile *n) { pm::mark_saved(as_node(n)); }
PM_API void pm_SampleSaved(pm_Sample *n) { pm::mark_saved(as_node(n)); }
PM_API void pm_FileSaved(pm_File *n) { pm::mark_saved(as_node(n)); }
PM_API void pm_PFAFileSaved(pm_PFAFile *n) { pm::mark_saved(as_node(n)); }
PM_API void pm_ArgumentSaved(pm_Argument *n) { pm::mark_saved(as_node(n)); }

// A process is written together with its arguments, so both are saved.
PM_API void pm_ProcessSaved(pm_Process *process) {
  if (!process) return;
  pm::mark_saved(as_node(process));
  for (pm_Argument *a = first_of(process->arguments); a; a = pm::next_of(a)) pm::mark_saved(as_node(a));
}

// The root record of the project file holds the project and its PFA root;
// tiles, files and the processing lists are written (and marked) on their own.
PM_API void pm_ProjectSaved(pm_Project *project) {
  if (!project) return;
  pm::mark_saved(as_node(project));
  pm_ProcFilesSaved(project->pfa_root);
}

// ---- lists ------------------------------------------------------------------

PM_API int pm_FileListDirty(pm_File *list) { return flat_list_dirty(list); }
PM_API int pm_PFAFileListDirty(pm_PFAFile *list) { return flat_list_dirty(list); }
PM_API int pm_ArgumentListDirty(pm_Argument *list) { return flat_list_dirty(list); }

PM_API int pm_SampleListDirty(pm_Sample *list) {
  return list_dirty(list, [](pm_Sample *s) { return pm_FileListDirty(s->files) != 0; });
}

PM_API int pm_TileListDirty(pm_Tile *list) {
  return list_dirty(list, [](pm_Tile *t) {
    return pm_SampleListDirty(t->samples) != 0 || pm_FileListDirty(t->files) != 0;
  });
}

PM_API int pm_ProcessListDirty(pm_Process *list) {
  return list_dirty(list, [](pm_Process *p) { return pm_ArgumentListDirty(p->arguments) != 0; });
}

PM_API void pm_FileListUnchanged(pm_File *list) { flat_list_unchanged(list); }
PM_API void pm_PFAFileListUnchanged(pm_PFAFile *list) { flat_list_unchanged(list); }
PM_API void pm_ArgumentListUnchanged(pm_Argument *list) { flat_list_unchanged(list); }

PM_API void pm_SampleListUnchanged(pm_Sample *list) {
  list_unchanged(list, [](pm_Sample *s) { pm_FileListUnchanged(s->files); });
}

PM_API void pm_TileListUnchanged(pm_Tile *list) {
  list_unchanged(list, [](pm_Tile *t) {
    pm_SampleListUnchanged(t->samples);
    pm_FileListUnchanged(t->files);
  });
}

PM_API void pm_ProcessListUnchanged(pm_Process *list) {
  list_unchanged(list, [](pm_Process *p) { pm_ArgumentListUnchanged(p->arguments); });
}

// ---- the processing containers ---------------------------------------------

PM_API int pm_ProcessListsDirty(pm_ProcessLists *lists) {
  if (!lists) return 0;
  for (pm_Process *level : lists->lists)
    if (pm_ProcessListDirty(level)) return 1;
  return 0;
}

PM_API void pm_ProcessListsUnchanged(pm_ProcessLists *lists) {
  if (!lists) return;
  for (pm_Process *level : lists->lists) pm_ProcessListUnchanged(level);
}

PM_API void pm_ProcFilesChanged(pm_ProcFiles *root) {
  if (root && root->state) *root->state = pm_ChangeState{1, 0};
}

PM_API void pm_ProcFilesSaved(pm_ProcFiles *root) {
  if (root && root->state) root->state->saved = 1;
}

// Both conditions are required: the root's own record must be dirty and one
// of its level lists must hold a dirty PFA file. A host that edits PFA files
// declares the associations changed with pm_ProcFilesChanged.
PM_API int pm_ProcFilesDirty(pm_ProcFiles *root) {
  if (!root || !pm::state_dirty(root->state)) return 0;
  for (pm_PFAFile *level : root->lists)
    if (pm_PFAFileListDirty(level)) return 1;
  return 0;
}

PM_API void pm_ProcFilesUnchanged(pm_ProcFiles *root) {
  if (!root) return;
  if (root->state) *root->state = pm_ChangeState{0, 0};
  for (pm_PFAFile *level : root->lists) pm_PFAFileListUnchanged(level);
}

// ---- the whole project ------------------------------------------------------

// The project's own flags, then its tree, then its processing model; the
// first true answer ends the walk.
PM_API int pm_ProjectDirty(pm_Project *project) {
  if (!project) return 0;
  return pm::is_dirty(as_node(project)) || pm_TileListDirty(project->tiles) ||
         pm_FileListDirty(project->files) || pm_ProcFilesDirty(project->pfa_root) ||
         pm_ProcessListsDirty(project->process_lists);
}

// The project itself is cleared last, after everything it owns.
PM_API void pm_ProjectUnchanged(pm_Project *project) {
  if (!project) return;
  pm_TileListUnchanged(project->tiles);
  pm_FileListUnchanged(project->files);
  pm_ProcFilesUnchanged(project->pfa_root);
  pm_ProcessListsUnchanged(project->process_lists);
  pm::mark_unchanged(as_node(project));
}

}  // extern "C"
