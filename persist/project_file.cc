// Load, save and save-as of a whole project, and the tree walks they run.
//
// The tree file keeps every change in memory until it is closed, and closing
// replaces the file on disk in one step. A save therefore either reaches the
// disk whole or not at all: whenever any step fails the file is abandoned,
// the old file stays exactly as it was, and the change flags of the project
// are put back as they were before the save, since nothing of it was kept.
// A failure to write the file when closing it is a failed save like any
// other.
#include "persist/project_file.h"

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "node/node.h"
#include "node/report.h"
#include "paths/directory_checks.h"
#include "persist/kept_nodes.h"
#include "persist/name_clash.h"
#include "persist/node_io.h"
#include "persist/process_records.h"
#include "persist/tree_records.h"

namespace pm {

namespace {

const char *shown(const char *text) noexcept { return text ? text : "(null)"; }

}  // namespace

int root_save(tk_TreeFile *file, const char *directory, pm_Project *project, const DesignTable *table,
              tk_ErrorReport **slot) noexcept {
  Reporter r("pm_RootSave", slot);
  // Where the file goes is a real path: a "$" in it is not a variable.
  const DirectoryCheckScope::RealDirectory real(directory);
  RootRecord record{pm_ProjectGetType(project), pm_ProjectGetUseDotGrid(project),
                    pm_ProjectGetUsePolyTool(project)};
  InnerSlot inner;
  tk_TreeObjectWrite(file, ":", kProjectNodeName, kDesigns[kRootDesign].name, TK_WRITE_NEW, &record,
                     table->design[kRootDesign], &inner);
  if (inner) {
    r.push(inner.take(), "Error saving root node");
    return 0;
  }
  const Listed root(":", 0);  // the root is node 0 of every tree file
  if (!tile_list_save(file, directory, project->tiles, root, table, &inner)) {
    r.push(inner.take(), "Error saving tile list");
    return 0;
  }
  if (!file_list_save(file, directory, project->files, root, table, &inner)) {
    r.push(inner.take(), "Error saving file list");
    return 0;
  }
  for (int level = 0; level < kLevelCount; ++level) {
    if (!pfa_nodes_write(file, pm_PFAFileListGetByType(project, level), kLevelNodeNames[level], table, &inner)) {
      r.push(inner.take(), "Error writing Level %d Process File Association Nodes", level + 1);
      return 0;
    }
  }
  for (int level = 0; level < kLevelCount; ++level) {
    if (!process_list_save(file, directory, pm_ProcessListGetByType(project, level), kLevelNodeNames[level],
                           table, &inner)) {
      r.push(inner.take(), "Error saving pfa node");
      return 0;
    }
  }
  pm_ProjectSaved(project);
  return 1;
}

int root_load(tk_TreeFile *file, pm_Project *project, const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_RootLoad", slot);
  ReadBuffer<RootRecord> record;
  InnerSlot inner;
  tk_TreeObjectRead(file, ":", kProjectNodeName, TK_READ_RECORD, record.get(), table->design[kRootDesign], &inner);
  if (inner) {
    r.push(inner.take(), "Error loading root node");
    return 0;
  }
  pm_ProjectSetType(project, record->project_type);
  pm_ProjectSetUseDotGrid(project, record->dot_grid);
  pm_ProjectSetUsePolyTool(project, record->poly_tool);
  OwnedText directory;
  directory.text = pm_ProjectGetDirname(project);
  // Where the file lies is a real path: a "$" in it is not a variable.
  const DirectoryCheckScope::RealDirectory real(directory.text);
  const Listed root(":", 0);  // the root is node 0 of every tree file
  if (!tile_list_load(file, directory.text, project, root, table, &inner)) {
    r.push(inner.take(), "Error reading tile nodes");
    return 0;
  }
  if (!file_list_load(file, directory.text, project, root, table, &inner)) {
    r.push(inner.take(), "Error reading file nodes");
    return 0;
  }
  // Each level's list is stored as read, also when reading it failed part
  // way, so that destroying the project releases it.
  for (int level = 0; level < kLevelCount; ++level) {
    pm_PFAFile *list = pfa_nodes_read(file, kLevelNodeNames[level], table, &inner);
    project->pfa_root->lists[level] = list;
    if (inner) {
      r.push(inner.take(), "Error reading Level %d Process File Association Nodes", level + 1);
      return 0;
    }
  }
  for (int level = 0; level < kLevelCount; ++level) {
    pm_Process *list = process_list_load(file, directory.text, kLevelNodeNames[level], table, &inner);
    project->process_lists->lists[level] = list;
    if (inner) {
      r.push(inner.take(), "Error reading Level %d Processes", level + 1);
      return 0;
    }
  }
  return 1;
}

int root_save_changed(tk_TreeFile *file, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_RootSaveChanged", slot);
  InnerSlot inner;
  if (!node_delete(file, kProjectNodeName, &inner)) {
    r.push(inner.take(), "Cannot remove root node");
    return 0;
  }
  if (!tiles_delete(file, ":", &inner)) {
    r.push(inner.take(), "Error deleting tile nodes");
    return 0;
  }
  if (!files_delete(file, ":", &inner)) {
    r.push(inner.take(), "Error deleting file nodes");
    return 0;
  }
  for (int level = 0; level < kLevelCount; ++level) {
    if (!node_delete(file, kLevelNodeNames[level], &inner)) {
      r.push(inner.take(), "Cannot remove Level %d PFA node", level + 1);
      return 0;
    }
  }
  return 1;
}

namespace {

// The change flags of every record of a project, taken before a save and
// put back when the save fails: a failed save keeps nothing on disk, so no
// object may report itself saved by it.
class ChangeFlags {
 public:
  // False when memory runs out.
  bool capture(pm_Project *project) noexcept {
    try {
      // Counted first, so the record of them is one block of the exact
      // size; only the values are kept, and a restore walks the same way.
      // Flags are 0 or 1 as the library sets them: then one byte holds a
      // record's pair, an eighth of the room of the pair itself.
      size_t count = 0;
      bool small = true;
      walk(project, [&](pm_ChangeState *state) {
        ++count;
        small = small && (state->changed & ~1) == 0 && (state->saved & ~1) == 0;
      });
      if (small) {
        packed_.reserve(count);
        walk(project, [&](pm_ChangeState *state) {
          packed_.push_back(static_cast<uint8_t>(state->changed | state->saved << 1));
        });
      } else {
        full_.reserve(count);
        walk(project, [&](pm_ChangeState *state) { full_.push_back(*state); });
      }
      project_ = project;
      return true;
    } catch (...) {
      return false;
    }
  }

  void restore() const noexcept {
    if (!project_) return;
    size_t next = 0;
    walk(project_, [&](pm_ChangeState *state) {
      if (next < packed_.size()) {
        state->changed = packed_[next] & 1;
        state->saved = packed_[next] >> 1;
      } else if (next < full_.size()) {
        *state = full_[next];
      }
      ++next;
    });
  }

 private:
  // Calls visit(state) for every change state of the project.
  template <typename Visit>
  static void walk(pm_Project *project, Visit visit) {
    auto add = [&](pm_ChangeState *state) {
      if (state) visit(state);
    };
    auto each = [&](auto *list, auto below) {
      using T = std::remove_pointer_t<decltype(list)>;
      for (T *element = static_cast<T *>(tk_ListStart(list)); element; element = next_of(element)) {
        add(element->node.state);
        below(element);
      }
    };
    auto none = [](auto *) {};
    add(project->node.state);
    if (project->pfa_root) {
      add(project->pfa_root->state);
      for (pm_PFAFile *list : project->pfa_root->lists) each(list, none);
    }
    each(project->tiles, [&](pm_Tile *tile) {
      each(tile->samples, [&](pm_Sample *sample) { each(sample->files, none); });
      each(tile->files, none);
    });
    each(project->files, none);
    if (project->process_lists) {
      for (pm_Process *list : project->process_lists->lists)
        each(list, [&](pm_Process *process) { each(process->arguments, none); });
    }
  }

  pm_Project *project_ = nullptr;
  std::vector<uint8_t> packed_;       // changed | saved << 1, when every flag is 0 or 1
  std::vector<pm_ChangeState> full_;  // otherwise the pairs as they are
};

// Closes a file whose changes are to be kept. Not being able to write it is
// a failure of the save, never a success.
bool close_written(tk_TreeFile *file, const char *filename, Reporter &r) noexcept {
  InnerSlot inner;
  if (tk_TreeFileClose(file, &inner) && !inner) return true;
  r.push(inner.take(), "Cannot write QDX file %s", shown(filename));
  return false;
}

// pm_ProjectSaveAs without the flag bookkeeping: writes the whole project
// into a new file under `filename`, which replaces any file of that name
// only once it is complete.
bool save_as(pm_Project *project, const char *filename, int32_t access, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProjectSaveAs", slot);
  OwnedText directory;
  {
    InnerSlot inner;
    directory.text = tk_FileNamePart(filename, TK_PART_DIRECTORY, -1, &inner);
    if (inner || !directory.text) {
      r.push(inner.take(), "Error getting local directory name");
      return false;
    }
  }
  InnerSlot inner;
  tk_TreeFile *file = tk_TreeFileCreate(filename, access, &inner);
  if (inner || !file) {
    tk_TreeFileAbandon(file);
    r.push(inner.take(), "Cannot create QDX file");
    return false;
  }
  DesignTable *table = designs_create(file, &inner);
  if (inner) {
    r.push(inner.take(), "Error creating dexil designs");
  } else if (!root_save(file, directory.text, project, table, &inner)) {
    r.push(inner.take(), "Error saving root node");
  }
  designs_free(table);
  if (r.failed()) {
    tk_TreeFileAbandon(file);
    return false;
  }
  return close_written(file, filename, r);
}

// pm_ProjectSave without the flag bookkeeping.
bool save(pm_Project *project, int32_t access, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProjectSave", slot);
  OwnedText filename;
  filename.text = pm_ProjectGetFilename(project);
  if (!filename.text) {
    r.push(nullptr, "Project Filename not set");
    return false;
  }
  InnerSlot inner;
  int exists = tk_FileExists(filename.text, &inner);
  if (inner) {
    r.push(inner.take(), "Error checking existence of %s", filename.text);
    return false;
  }
  if (!exists) {
    if (!save_as(project, filename.text, access, &inner)) {
      r.push(inner.take(), "Error saving project file for the first time");
      return false;
    }
    pm_ProjectUnchanged(project);
    return true;
  }
  // The save deletes the old tree before it writes the new one, so the old
  // records are checked only once the deleted ones are gone: what is kept
  // (nodes of other designs or where no load looks) is checked as opening
  // would, and nothing that is replaced is ever decoded.
  tk_TreeFile *file = tk_TreeFileOpen(filename.text, "rb+", access, &inner, TK_OPEN_CHECK_RECORDS_LATER);
  if (inner || !file) {
    tk_TreeFileAbandon(file);
    r.push(inner.take(), "Error opening QDX Project Manager file %s", filename.text);
    return false;
  }
  DesignTable *table = designs_read(file, &inner, true);
  OwnedText directory;
  {
    // What the load did not read beneath the nodes rewritten here goes back
    // under the same paths; its records hold the file's designs, so they
    // are released before the file is closed.
    KeptNodes kept;
    if (inner) {
      r.push(inner.take(), "Error reading dexil designs");
    } else if (!kept.take(file, table, r)) {
      // r holds why.
    } else if (!root_save_changed(file, &inner)) {
      r.push(inner.take(), "Error deleting root nodes");
    } else if (!tk_TreeFileCheckRecords(file, &inner) || inner) {
      r.push(inner.take(), "Error opening QDX Project Manager file %s", filename.text);
    } else {
      directory.text = pm_ProjectGetDirname(project);
      if (!root_save(file, directory.text, project, table, &inner)) {
        r.push(inner.take(), "Error saving project information");
      } else {
        kept.put_back(file, r);
      }
    }
  }
  designs_free(table);
  if (r.failed()) {
    tk_TreeFileAbandon(file);
    return false;
  }
  if (!close_written(file, filename.text, r)) return false;
  pm_ProjectUnchanged(project);
  return true;
}

// pm_ProjectLoad's steps into an empty project, opening the file with
// `flags`. The caller closes *file and frees *table whatever the outcome.
bool load(pm_Project *project, const char *filename, int32_t access, int flags, tk_TreeFile **file,
          DesignTable **table, Reporter &r) noexcept {
  InnerSlot inner;
  int exists = tk_FileExists(filename, &inner);
  if (inner) {
    r.push(inner.take(), "Error checking existence of %s", shown(filename));
    return false;
  }
  if (!exists) {
    r.push(nullptr, "Project Manager file does not exist");
    return false;
  }
  *file = tk_TreeFileOpen(filename, "rb", access, &inner, flags);
  if (inner || !*file) {
    r.push(inner.take(), "Error opening QDX Project Manager file %s", shown(filename));
    return false;
  }
  *table = designs_read(*file, &inner);
  if (inner) {
    r.push(inner.take(), "Error reading dexil designs");
    return false;
  }
  if (!pm_ProjectSetFilename(project, filename, &inner) || inner) {
    r.push(inner.take(), "Error setting project filename");
    return false;
  }
  if (!root_load(*file, project, *table, &inner)) {
    r.push(inner.take(), "Error loading root node");
    return false;
  }
  if (!names_fit_file(project, r)) return false;
  pm_ProjectUnchanged(project);
  return true;
}

// Runs a save with the project's change flags put back when it fails.
template <typename Save>
void save_keeping_flags(const char *function, pm_Project *project, tk_ErrorReport **slot, Save run) noexcept {
  ChangeFlags flags;
  if (project && !flags.capture(project)) {
    Reporter r(function, slot);
    r.push(nullptr, "Out of memory preparing the save");
    return;
  }
  tk_ErrorReport *own = nullptr;
  tk_ErrorReport **report = slot ? slot : &own;
  if (!run(report)) flags.restore();
  tk_ErrorReportDelete(&own);
}

// pm_ProjectLoad opening the file with `flags`: the project, or null with
// the reports in `slot`. With TK_OPEN_CHECK_RECORDS_ON_READ, *damaged says
// whether a record of the file is damaged, read by the load or not.
pm_Project *load_project(const char *filename, int32_t access, int flags, tk_ErrorReport **slot,
                         bool *damaged) noexcept {
  Reporter r("pm_ProjectLoad", slot);
  *damaged = false;
  pm_Project *project = pm_ProjectCreate();
  if (!project || !project->pfa_root || !project->process_lists) {
    pm_ProjectDestroy(project);
    r.push(nullptr, "Out of memory creating the project");
    return nullptr;
  }
  tk_TreeFile *file = nullptr;
  DesignTable *table = nullptr;
  bool loaded = load(project, filename, access, flags, &file, &table, r);
  if (file && flags != 0) *damaged = !tk_TreeFileCheckRecords(file, nullptr);
  // Nothing was changed in the file, so nothing is lost with a failed close.
  if (file) tk_TreeFileClose(file, nullptr);
  designs_free(table);
  if (!loaded || *damaged) {
    pm_ProjectDestroy(project);
    return nullptr;
  }
  return project;
}

}  // namespace

}  // namespace pm

extern "C" {

// Fast path (plain twin: every record checked when the file is opened, then
// decoded again by the load): the load's own reads check the records they
// decode and the few it never reads are checked after it, so that each
// record is decoded once. A file found damaged that way is loaded again the
// plain way, whose reports are the ones a damaged file gives; a load that
// fails on a sound file keeps its reports, which are the plain way's.
PM_API pm_Project *pm_ProjectLoad(const char *filename, int32_t access, tk_ErrorReport **slot) {
  // Each directory is checked once per load, and a load creates nothing.
  pm::DirectoryCheckScope checks(pm::DirectoryCheckScope::Mode::read_only);
  bool damaged = false;
  if (!pm::slow_paths()) {
    tk_ErrorReport *report = nullptr;
    pm_Project *project = pm::load_project(filename, access, TK_OPEN_CHECK_RECORDS_ON_READ, &report, &damaged);
    if (!damaged) {
      if (slot) *slot = report; else tk_ErrorReportDelete(&report);
      return project;
    }
    tk_ErrorReportDelete(&report);
  }
  return pm::load_project(filename, access, 0, slot, &damaged);
}

PM_API void pm_ProjectSave(pm_Project *project, int32_t access, tk_ErrorReport **slot) {
  pm::DirectoryCheckScope checks(pm::DirectoryCheckScope::Mode::may_create);  // one check per directory
  pm::save_keeping_flags("pm_ProjectSave", project, slot,
                         [&](tk_ErrorReport **report) { return pm::save(project, access, report); });
}

PM_API void pm_ProjectSaveAs(pm_Project *project, const char *filename, int32_t access, tk_ErrorReport **slot) {
  pm::DirectoryCheckScope checks(pm::DirectoryCheckScope::Mode::may_create);  // one check per directory
  pm::save_keeping_flags("pm_ProjectSaveAs", project, slot, [&](tk_ErrorReport **report) {
    if (!project) {
      pm::Reporter r("pm_ProjectSaveAs", report);
      r.push(nullptr, "No project to save");
      return false;
    }
    return pm::save_as(project, filename, access, report);
  });
}

}  // extern "C"
