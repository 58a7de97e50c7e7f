// A project with something in every place a project file can hold: tiles,
// samples, data files on all three levels, PFA files and processes with
// arguments on all three levels, absent and empty texts, fractional times,
// descriptors inside and outside the project directory.
//
// Building is deterministic: the same shape and variant give projects that
// ProjectDifference finds equal, so a test can build a reference copy to
// check that an operation left a project intact. Different variants differ
// in values and in structure. No GoogleTest here: the fuzz targets use it.
#ifndef KESTRUM_TEST_FULL_PROJECT_H
#define KESTRUM_TEST_FULL_PROJECT_H

#include <string>

#include "include/kestrum.h"

namespace kestrum_test {

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
