// PFA file records: a process-file association names one kind of data file
// that every node of a level carries, and gives its file type.
#include "process/process_internal.h"

extern "C" {

PM_API pm_PFAFile *pm_PFAFileCreate(const char *name, pm_PFAType type) {
  auto *pfa = pm::as_kind<pm_PFAFile>(pm::node_alloc(sizeof(pm_PFAFile), PM_KIND_NONE));
  if (!pfa) return nullptr;
  pm_PFAFileInitialize(pfa);
  if (!pm::copy_text(&pfa->node.name, name)) return pm_PFAFileDestroy(pfa);
  pfa->type = type;
  return pfa;
}

PM_API void pm_PFAFileInitialize(pm_PFAFile *pfa) {
  if (!pfa) return;
  pm::node_reset(&pfa->node);
  pfa->type = 0;
}

PM_API void pm_PFAFileClear(pm_PFAFile *pfa) {
  if (pfa) pm::clear_name(&pfa->node);
}

PM_API pm_PFAFile *pm_PFAFileDestroy(pm_PFAFile *pfa) {
  return pm::destroy_record(pfa, pm_PFAFileRemove, pm_PFAFileClear);
}

PM_API pm_PFAFile *pm_PFAFileDestroyList(pm_PFAFile *list) { return pm::destroy_list(list, pm_PFAFileRemove, pm_PFAFileClear); }

PM_API pm_PFAType pm_PFAFileGetType(pm_PFAFile *pfa) { return pm::get_value(pfa, &pm_PFAFile::type); }

PM_API int pm_PFAFileSetType(pm_PFAFile *pfa, pm_PFAType type) { return pm::set_value(pfa, &pm_PFAFile::type, type); }

}  // extern "C"
