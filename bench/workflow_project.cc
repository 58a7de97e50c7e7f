// kestrum_workflow_project DIR TILES: the reference project's tree (TILES
// tiles of 50 samples, files as bench::build_project lays them out) with a
// processing that makes sense to run: a process at every sample reading its
// raster and writing its vector, one at every tile reading its raster and
// all its samples' vectors, and one at the project reading every tile's
// vector. Every input that no process makes is on disk. Saved as
// DIR/workflow.kpf for bench/workflow.sh.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "generator.h"

namespace {

pm_Process *process(const char *name, std::initializer_list<std::pair<std::string, pm_ArgumentMode>> arguments,
                    const std::string &dir) {
  pm_Process *p = pm_ProcessCreate(name, "title", (dir + "/params/" + name + ".par").c_str(),
                                   (dir + "/labels/" + name + ".lbl").c_str(), ".out", 1);
  int index = 0;
  for (const auto &[value, mode] : arguments) {
    const char *names[] = {"in", "parts", "out"};
    tk_ErrorReport *report = nullptr;
    pm_ProcessAppendArgument(
        p, pm_ArgumentCreate(mode == PM_STRICT_OUTPUT ? "out" : names[index++], value.c_str(), 0, mode, 0), &report);
    bench::must(report, "append argument");
  }
  return p;
}

void touch_all(pm_File *files, const std::string &type) {
  for (pm_File *f = files; f; f = reinterpret_cast<pm_File *>(f->node.next)) {
    if (type != f->node.name) continue;
    if (std::FILE *out = std::fopen(f->descriptor, "a")) std::fclose(out);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrum_workflow_project DIR TILES\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    bench::Shape shape;
    shape.tiles = std::atoi(argv[2]);
    shape.processes = 0;
    bench::create_data_files(shape, dir);
    pm_Project *project = bench::build_project(shape, dir);
    const std::string raster_sample = bench::file_type(2, 0), vector_sample = bench::file_type(2, 1);
    const std::string raster_tile = bench::file_type(1, 0), vector_tile = bench::file_type(1, 1);
    for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
      touch_all(t->files, raster_tile);
      for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next))
        touch_all(s->files, raster_sample);
    }
    pm_ProcessLists *lists = project->process_lists;
    tk_ErrorReport *report = nullptr;
    lists->lists[2] = pm_ProcessAppend(
        lists->lists[2],
        process("measure", {{raster_sample, PM_STRICT_INPUT}, {vector_sample, PM_STRICT_OUTPUT}}, dir), &report);
    bench::must(report, "append process");
    lists->lists[1] = pm_ProcessAppend(lists->lists[1],
                                       process("merge",
                                               {{raster_tile, PM_STRICT_INPUT},
                                                {vector_sample, PM_STRICT_INPUT},
                                                {vector_tile, PM_STRICT_OUTPUT}},
                                               dir),
                                       &report);
    bench::must(report, "append process");
    lists->lists[0] = pm_ProcessAppend(
        lists->lists[0],
        process("summarise", {{vector_tile, PM_STRICT_INPUT}, {bench::file_type(0, 1), PM_STRICT_OUTPUT}}, dir),
        &report);
    bench::must(report, "append process");
    const std::string file = dir + "/workflow.kpf";
    pm_ProjectSaveAs(project, file.c_str(), 0, &report);
    bench::must(report, "save");
    pm_ProjectDestroy(project);
    std::printf("%s\n", file.c_str());
    return 0;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "kestrum_workflow_project: %s\n", error.what());
    return 1;
  }
}
