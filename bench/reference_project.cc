// kestrum_reference_project DIR [TILES]: writes the reference project of the
// load benchmarks (2,000 tiles of 50 samples unless TILES says otherwise)
// with its data files into DIR, as DIR/project.kpf, for benchmarks run from
// outside (bench/python_walk.py).
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "generator.h"

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: kestrum_reference_project DIR [TILES]\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    bench::Shape shape;
    if (argc == 3) shape.tiles = std::atoi(argv[2]);
    if (mkdir(dir.c_str(), 0777) != 0) {
      std::fprintf(stderr, "kestrum_reference_project: cannot make a new directory %s\n", dir.c_str());
      return 2;
    }
    bench::create_data_files(shape, dir);
    pm_Project *project = bench::build_project(shape, dir);
    tk_ErrorReport *report = nullptr;
    const std::string file = dir + "/project.kpf";
    pm_ProjectSetFilename(project, file.c_str(), &report);
    bench::must(report, "set filename");
    pm_ProjectSave(project, 0, &report);
    bench::must(report, "save");
    pm_ProjectDestroy(project);
    std::printf("%s\n", file.c_str());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "kestrum_reference_project: %s\n", e.what());
    return 1;
  }
  return 0;
}
