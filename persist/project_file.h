// The whole project file: writing and reading the complete node tree, and
// removing the old top-level nodes before a rewrite. The exported load,
// save and save-as (project_file.cc) open the file and run these.
#ifndef KESTRUM_PERSIST_PROJECT_FILE_H
#define KESTRUM_PERSIST_PROJECT_FILE_H

#include "include/kestrum.h"
#include "persist/designs.h"

namespace pm {

// pm_RootSave: writes node "Project", the tiles, the project's files, the
// three PFA level nodes and every process, marking each object saved as it
// is written and the project last. 1 on success, 0 with a report.
int root_save(tk_TreeFile *file, const char *directory, pm_Project *project, const DesignTable *table,
              tk_ErrorReport **slot) noexcept;
// pm_RootLoad: reads the whole tree into an empty project. 1 on success, 0
// with a report (the project then holds whatever was read before).
int root_load(tk_TreeFile *file, pm_Project *project, const DesignTable *table, tk_ErrorReport **slot) noexcept;
// pm_RootSaveChanged: deletes "Project", every tile and project file and the
// three PFA level nodes (with the processes beneath them).
int root_save_changed(tk_TreeFile *file, tk_ErrorReport **slot) noexcept;

}  // namespace pm

#endif
