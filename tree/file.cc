// Data file records: one file of the analysis attached to the project, a tile
// or a sample. The node name holds the file type, which is unique within the
// owner's files list; the rest is what the host keeps about the file.
#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"

extern "C" {

PM_API pm_File *pm_FileCreate(const char *type, const char *descriptor, double time, const char *verified,
                              const char *comment) {
  auto *file = pm::as_kind<pm_File>(pm::node_alloc(sizeof(pm_File), PM_KIND_NONE));
  if (!file) return nullptr;
  pm_FileInitialize(file);
  file->time = time;
  if (!pm::copy_text(&file->node.name, type) || !pm::copy_text(&file->descriptor, descriptor) ||
      !pm::copy_text(&file->verified, verified) || !pm::copy_text(&file->comment, comment))
    return pm_FileDestroy(file);
  return file;
}

PM_API void pm_FileInitialize(pm_File *file) {
  if (!file) return;
  pm::node_reset(&file->node);
  file->descriptor = nullptr;
  file->time = 0;
  file->verified = nullptr;
  file->comment = nullptr;
}

PM_API void pm_FileClear(pm_File *file) {
  if (!file) return;
  pm::clear_name(&file->node);
  pm::release_text(&file->descriptor);
  pm::release_text(&file->verified);
  pm::release_text(&file->comment);
}

PM_API pm_File *pm_FileDestroy(pm_File *file) { return pm::destroy_record(file, pm_FileRemove, pm_FileClear); }

PM_API pm_File *pm_FileDestroyList(pm_File *list) { return pm::destroy_list(list, pm_FileRemove, pm_FileClear); }

PM_API char *pm_FileGetDescriptor(pm_File *f) { return pm::get_text(f, &pm_File::descriptor); }
PM_API int pm_FileSetDescriptor(pm_File *f, const char *text) { return pm::set_text(f, &pm_File::descriptor, text); }
PM_API char *pm_FileGetVerified(pm_File *f) { return pm::get_text(f, &pm_File::verified); }
PM_API int pm_FileSetVerified(pm_File *f, const char *text) { return pm::set_text(f, &pm_File::verified, text); }
PM_API char *pm_FileGetComment(pm_File *f) { return pm::get_text(f, &pm_File::comment); }
PM_API int pm_FileSetComment(pm_File *f, const char *text) { return pm::set_text(f, &pm_File::comment, text); }
PM_API double pm_FileGetDate(pm_File *f) { return pm::get_value(f, &pm_File::time); }
PM_API int pm_FileSetDate(pm_File *f, double time) { return pm::set_value(f, &pm_File::time, time); }

// Callers must look at the slot, not at the value: -1 (no kind at all) comes
// back with either report so that it can never pass for the project's 0.
PM_API pm_NodeKind pm_FileGetParentType(pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_FileGetParentType", slot);
  if (!file) {
    r.push(nullptr, "No file to check");
    return PM_KIND_NONE;
  }
  if (!file->node.parent) {
    r.push(nullptr, "No parent to check");
    return PM_KIND_NONE;
  }
  return file->node.parent->kind;
}

}  // extern "C"
