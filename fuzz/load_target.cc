// Fuzz target: load a project from arbitrary file bytes. A load either fails
// with a report and leaves nothing behind, or gives a sound project that the
// model's read-only operations can walk.
#include "fuzz_support.h"

namespace {

// Walks what the host typically asks of a project it just loaded.
void Exercise(pm_Project *project) {
  pm_ProjectGetTotalNodes(project);
  pm_ProjectGetTotalSamples(project);
  for (int level = 0; level < 3; ++level) {
    for (pm_Process *p = pm_ProcessListGetByType(project, level); p != nullptr;
         p = reinterpret_cast<pm_Process *>(p->node.next)) {
      tk_ErrorReport *report = nullptr;
      tk_HeapFree(pm_ProcessCommandLine(p, &report));
      tk_ErrorReportDelete(&report);
      pm_PFAFileFindLevel(p->arguments, project->pfa_root, &report);
      tk_ErrorReportDelete(&report);
    }
    tk_ErrorReport *report = nullptr;
    tk_StringListDelete(pm_PFAFileGetList(pm_PFAFileListGetByType(project, level), &report), nullptr);
    tk_ErrorReportDelete(&report);
  }
  tk_ErrorReport *report = nullptr;
  tk_StringListDelete(pm_TileGetList(project->tiles, &report), nullptr);
  tk_ErrorReportDelete(&report);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string path = kestrum_fuzz::ScratchDir() + "/input.kpr";
  kestrum_fuzz::WriteInputOrDie(path, data, size);
  pm_Project *project = kestrum_fuzz::CheckedLoad(path);
  if (project != nullptr) Exercise(project);
  pm_ProjectDestroy(project);
  return 0;
}
