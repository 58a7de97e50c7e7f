// Builds whole projects for tests, through the public interface only, the
// way a host would. Two builders:
// - BuildProject, a small regular project whose names and descriptors a
//   test can predict (TileName, DescriptorFor...);
// - BuildFullProject, a project with something in every place a project
//   file can hold, for round trips and fault loops.
//
//   kestrum_test::ProjectPtr project(kestrum_test::BuildProject());
//   pm_Tile *tile = pm_TileFind(project->tiles, kestrum_test::TileName(2).c_str());
//
// BuildProject: the default project has 3 tiles ("tile1".."tile3") of 2
// samples each ("sample1", "sample2"), and on each of the three levels
// (0 project, 1 tiles, 2 samples):
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

#include <string>

#include "include/kestrum.h"
#include "owned_records.h"  // ProjectPtr

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

// BuildFullProject: tiles, samples, data files on all three levels, PFA
// files and processes with arguments on all three levels, absent and empty
// texts, fractional times, descriptors inside and outside the project
// directory. Building is deterministic: the same shape and variant give
// projects that ProjectDifference finds equal, so a test can build a
// reference copy to check that an operation left a project intact.
// Different variants differ in values and in structure. It reports nothing
// to GoogleTest (the fuzz targets use it): a failed step gives null.
struct FullShape {
  int tiles = 3;
  int samples = 2;     // per tile
  int files = 2;       // per project, tile and sample
  int processes = 2;   // per level
  int arguments = 3;   // per process
  int variant = 1;     // changes names, values and counts
};

// A new project bound to `filename` (pm_ProjectSetFilename, which creates the
// directory when missing); null when any step fails. Data-file descriptors,
// parameter and label files lie partly under the project's directory.
pm_Project *BuildFullProject(const std::string &filename, const FullShape &shape = {});

// The same contents without a file name (for a save-as into a new file).
pm_Project *BuildUnboundFullProject(const std::string &directory, const FullShape &shape = {});


}  // namespace kestrum_test

#endif
