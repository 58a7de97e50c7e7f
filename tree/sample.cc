// Sample records: the second level below the project. A sample owns its
// sample-level data files.
#include "node/lifecycle.h"
#include "node/node.h"

extern "C" {

PM_API pm_Sample *pm_SampleCreate(const char *name) {
  auto *sample = pm::as_kind<pm_Sample>(pm::node_alloc(sizeof(pm_Sample), PM_KIND_SAMPLE));
  if (!sample) return nullptr;
  pm_SampleInitialize(sample);
  if (!pm::copy_text(&sample->node.name, name)) return pm_SampleDestroy(sample);
  return sample;
}

PM_API void pm_SampleInitialize(pm_Sample *sample) {
  if (!sample) return;
  pm::node_reset(&sample->node);
  sample->files = nullptr;
  sample->automatic = 0;
}

PM_API void pm_SampleClear(pm_Sample *sample) {
  if (!sample) return;
  sample->files = pm_FileDestroyList(sample->files);
  pm::clear_name(&sample->node);
}

PM_API pm_Sample *pm_SampleDestroy(pm_Sample *sample) {
  return pm::destroy_record(sample, pm_SampleRemove, pm_SampleClear);
}

PM_API pm_Sample *pm_SampleDestroyList(pm_Sample *list) { return pm::destroy_list(list, pm_SampleRemove, pm_SampleClear); }

}  // extern "C"
