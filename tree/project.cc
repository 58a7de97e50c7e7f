// The project record: the root of the tree. It owns its tiles, its
// project-level data files, the texts derived from its file name, and the two
// containers of the processing model (the PFA root and the process lists).
#include "node/lifecycle.h"
#include "node/node.h"

extern "C" {

PM_API pm_Project *pm_ProjectCreate(void) {
  auto *project = pm::as_kind<pm_Project>(pm::node_alloc(sizeof(pm_Project), PM_KIND_PROJECT));
  if (!project) return nullptr;
  pm_ProjectInitialize(project);
  project->pfa_root = pm_ProcFilesCreate();
  project->process_lists = pm_ProcessListsCreate();
  if (!project->pfa_root || !project->process_lists) {
    pm_ProjectDestroy(project);
    return nullptr;
  }
  return project;
}

PM_API void pm_ProjectInitialize(pm_Project *project) {
  if (!project) return;
  pm::node_reset(&project->node);
  project->tiles = nullptr;
  project->files = nullptr;
  project->filename = nullptr;
  project->dirname = nullptr;
  project->basename = nullptr;
  project->type = 0;
  project->use_dot_grid = 0;
  project->use_poly_tool = 0;
  project->pfa_root = nullptr;
  project->process_lists = nullptr;
}

// Keeps the settings, the project's own change state and both containers
// (emptied), so the project stays usable; destroying tiles and files marks
// it changed on the way.
PM_API void pm_ProjectClear(pm_Project *project) {
  if (!project) return;
  project->tiles = pm_TileDestroyList(project->tiles);
  project->files = pm_FileDestroyList(project->files);
  pm::clear_name(&project->node);
  pm::release_text(&project->filename);
  pm::release_text(&project->dirname);
  pm::release_text(&project->basename);
  if (project->pfa_root) pm_ProcFilesClear(project->pfa_root);
  if (project->process_lists) pm_ProcessListsClear(project->process_lists);
}

PM_API void pm_ProjectDestroy(pm_Project *project) {
  if (!project) return;
  pm_ProjectClear(project);
  pm_ProcFilesDestroy(project->pfa_root);
  pm_ProcessListsDestroy(project->process_lists);
  pm::node_free(&project->node);
}

// Handing the project the containers it already holds must keep them:
// destroying first and storing after would leave the project holding freed
// memory. A null project takes nothing, and the caller keeps both.
PM_API void pm_ProjectTypesApply(pm_Project *project, pm_ProcFiles *root, pm_ProcessLists *lists) {
  if (!project) return;
  if (project->pfa_root != root) {
    pm_ProcFilesDestroy(project->pfa_root);
    project->pfa_root = root;
  }
  if (project->process_lists != lists) {
    pm_ProcessListsDestroy(project->process_lists);
    project->process_lists = lists;
  }
}

}  // extern "C"
