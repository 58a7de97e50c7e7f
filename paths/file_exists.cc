// The existence test of a data file's descriptor: a question about a name on
// disk, so it sits with the names, below the readiness of processes that asks it.
#include "node/node.h"
#include "node/report.h"

extern "C" {

// The descriptor is tested as stored: expanding "$PROJECT" names is the
// caller's business.
PM_API int pm_FileDescriptorExists(pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_FileDescriptorExists", slot);
  if (!file || !file->descriptor) return 0;
  pm::InnerSlot inner;
  int exists = tk_FileExists(file->descriptor, &inner);
  if (inner) r.push(inner.take(), "Error check file existance for %s", file->descriptor);
  return exists;
}

}  // extern "C"
