// The project's file name and what is derived from it: the project's name,
// its base name and its project manager directory (where the project file
// lies, and what "$PROJECT" names stand for). The four texts are released and
// set together, so they never describe two different files.
#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"
#include "paths/directory_checks.h"

namespace {

// Stores the selected part of `path` in `field`; on failure leaves `message`
// over the toolkit's report and returns false.
bool take_part(pm::Reporter &r, const char *path, int selector, char **field, const char *message) noexcept {
  pm::InnerSlot inner;
  *field = tk_FileNamePart(path, selector, -1, &inner);
  if (!inner && *field) return true;
  r.push(inner.take(), "%s", message);
  return false;
}

}  // namespace

extern "C" {

// Returns 1 when the name was set. A directory part that is a plain file, or
// whose state cannot be told, still sets the name but leaves a report: the
// caller tests both the result and the slot. A missing directory is created,
// except inside a project load: the loaded file lies in it, and a load
// creates nothing.
PM_API int pm_ProjectSetFilename(pm_Project *project, const char *filename, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProjectSetFilename", slot);
  if (!project) return 0;
  pm::release_text(&project->node.name);
  pm::release_text(&project->filename);
  pm::release_text(&project->dirname);
  pm::release_text(&project->basename);
  if (!filename) return 0;

  project->filename = tk_PathExpand(filename, 0, 0);
  if (!project->filename) {
    r.push(nullptr, "Error expanding project file name %s", filename);
    return 0;
  }
  const char *path = project->filename;
  if (!take_part(r, path, TK_PART_BASE | TK_PART_EXT, &project->node.name, "Error getting project name")) return 0;
  if (!take_part(r, path, TK_PART_BASE, &project->basename, "Cannot get project base name")) return 0;
  if (!take_part(r, path, TK_PART_DIRECTORY, &project->dirname,
                 "Error getting local directory name"))
    return 0;

  const char *directory = project->dirname;
  pm::InnerSlot inner;
  int status = tk_PathExistsAsFileOrDir(directory, &inner);
  if (inner) {
    r.push(inner.take(), "Error checking directory %s", directory);
    return 0;
  }
  if (status == TK_PATH_ABSENT && pm::DirectoryCheckScope::may_create()) {
    int made = tk_MakeDir(directory, 0, &inner);
    if (inner || !made) {
      r.push(inner.take(), "Error creating directory %s", directory);
      return 0;
    }
  } else if (status == TK_PATH_FILE) {
    r.push(nullptr, "Error %s is a file", directory);
  } else if (status != TK_PATH_DIR) {
    r.push(nullptr, "Error checking %s status", directory);
  }
  pm::mark_changed(&project->node);
  return 1;
}

PM_API char *pm_ProjectGetFilename(pm_Project *project) {
  return project ? tk_StrDuplicate(project->filename) : nullptr;
}

PM_API char *pm_ProjectGetDirname(pm_Project *project) {
  return project ? tk_StrDuplicate(project->dirname) : nullptr;
}

PM_API char *pm_ProjectGetBasename(pm_Project *project) {
  return project ? tk_StrDuplicate(project->basename) : nullptr;
}

}  // extern "C"
