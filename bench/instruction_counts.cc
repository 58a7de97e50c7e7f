// kestrum_instruction_counts FILE: the whole-project operations on the
// project file FILE (made by kestrum_reference_project), each run once
// between callgrind client requests, so that a run under
//   valgrind --tool=callgrind --instr-atstart=no
// leaves one dump per operation that counts that operation alone. In
// order: load, a readiness pass, save-as into FILE's directory, save into
// that now existing file, destroy. Prints the number of records the file
// holds ("nodes N"), which bench/instructions.sh divides by. Outside
// callgrind the requests do nothing, so the program also runs plainly.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <exception>
#include <string>

#include "generator.h"
#include "kestrum.h"

namespace {

// Runs `op` with instrumentation on and dumps its counts under `name`.
template <typename Op>
void counted(const char *name, Op op) {
  CALLGRIND_START_INSTRUMENTATION;
  CALLGRIND_ZERO_STATS;
  op();
  CALLGRIND_DUMP_STATS_AT(name);
  CALLGRIND_STOP_INSTRUMENTATION;
}

// Readiness of every process at every node of its level: the project's
// processes at the project, the tiles' at every tile, the samples' at every
// sample.
void readiness_pass(pm_Project *project) {
  tk_ErrorReport *report = nullptr;
  auto each_process = [&](int level, void *node) {
    for (pm_Process *p = pm_ProcessListGetByType(project, level); p;
         p = reinterpret_cast<pm_Process *>(p->node.next)) {
      pm_IsProcessReady(project, p, node, &report);
      bench::must(report, "ready");
    }
  };
  each_process(0, project);
  for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
    each_process(1, t);
    for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next)) each_process(2, s);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrum_instruction_counts FILE\n");
    return 2;
  }
  try {
    const std::string file = argv[1];
    const std::string dir = file.substr(0, file.find_last_of('/'));
    const std::string copy = dir + "/instruction-counts-copy.kpf";
    std::remove(copy.c_str());
    tk_ErrorReport *report = nullptr;
    pm_Project *project = nullptr;
    counted("load", [&] { project = pm_ProjectLoad(file.c_str(), 0, &report); });
    bench::must(report, "load");
    std::printf("nodes %zu\n", bench::text_stats(project, dir).nodes);
    counted("ready", [&] { readiness_pass(project); });
    pm_ProjectSetFilename(project, copy.c_str(), &report);
    bench::must(report, "set filename");
    counted("save_as", [&] { pm_ProjectSaveAs(project, copy.c_str(), 0, &report); });
    bench::must(report, "save as");
    counted("save", [&] { pm_ProjectSave(project, 0, &report); });
    bench::must(report, "save");
    counted("destroy", [&] { pm_ProjectDestroy(project); });
    std::remove(copy.c_str());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "kestrum_instruction_counts: %s\n", e.what());
    return 1;
  }
  return 0;
}
