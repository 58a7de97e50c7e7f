// Builds whole projects for tests, through the public interface only.
//
//   kestrum_test::ProjectPtr project(kestrum_test::BuildProject());
//   pm_Tile *tile = pm_TileFind(project->tiles, kestrum_test::TileName(2).c_str());
//
// The default project has 3 tiles ("tile1".."tile3") of 2 samples each
// ("sample1", "sample2"), and on each of the three levels (0 project,
// 1 tiles, 2 samples):
//  - two PFA files named kFileTypes[level][0..1], of the kinds
//    kFileKinds[level][0..1];
//  - a data file of each of those types on every node of the level, whose
//    descriptor is DescriptorFor(shape, owner path, type), e.g.
//    "data/tile1/sample2/plot" (nothing is created on disk);
//  - two processes ProcessName(level, 1..2), each with an argument "in"
//    (strict input, value kFileTypes[level][0]) and "out" (strict output,
//    value kFileTypes[level][1]).
// Every step is checked: a refused append is a test failure (ADD_FAILURE)
// with the report chain. Everything is freshly created, so it is all dirty;
// MarkAllUnchanged makes it clean without using the change-tracking calls.
#ifndef KESTRUM_TEST_PROJECT_BUILDER_H
#define KESTRUM_TEST_PROJECT_BUILDER_H

#include <memory>
#include <string>

#include "include/kestrum.h"

namespace kestrum_test {

// Data-file types (and PFA file names) of each level, two per level.
extern const char *const kFileTypes[3][2];
extern const pm_PFAType kFileKinds[3][2];

struct ProjectShape {
  int tiles = 3;
  int samples_per_tile = 2;
  bool data_files = true;   // a data file of each level type on every node
  bool processing = true;   // PFA files and processes on all three levels
  std::string data_dir = "data";  // directory the descriptors start with
};

std::string TileName(int number);    // "tile<number>", 1-based
std::string SampleName(int number);  // "sample<number>", 1-based
std::string ProcessName(int level, int number);  // "level<level>_process<number>"
// The descriptor the builder gives a data file. `owner_path` is "" for the
// project, "tile1" for a tile, "tile1/sample2" for a sample.
std::string DescriptorFor(const ProjectShape &shape, const std::string &owner_path, const char *type);

pm_Project *BuildProject(const ProjectShape &shape = ProjectShape());

// Sets every change state of the project to {0, 0}: the project, its tiles,
// samples and data files, its PFA root and PFA files, its processes and
// their arguments. Walks the records directly.
void MarkAllUnchanged(pm_Project *project);

struct ProjectDeleter {
  void operator()(pm_Project *project) const { pm_ProjectDestroy(project); }
};
using ProjectPtr = std::unique_ptr<pm_Project, ProjectDeleter>;

}  // namespace kestrum_test

#endif
