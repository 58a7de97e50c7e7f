// Synthetic projects of any size and shape, built through the public
// interface the way a host builds them, with data files on disk beside them.
#pragma once
#include <string>
#include <vector>

#include "kestrum.h"
#include "toolkit.h"

namespace bench {

struct Shape {
  int tiles = 2000;
  int samples = 50;          // per tile
  int sample_files = 3;      // data files per sample
  int tile_files = 2;        // per tile
  int project_files = 2;
  int pfa_files = 5;         // per level
  int processes = 5;         // per level
  int arguments = 6;         // per process
  bool create_files = true;  // every other descriptor exists on disk
};

// Throws with the whole chain when `report` is set (and frees it).
void must(tk_ErrorReport *report, const char *what);

// File type of data file k at a level; the PFA files carry the same names.
std::string file_type(int level, int k);

// Builds the project; every descriptor lies under `dir` and, when the shape
// asks for it, every other one is created (empty) there. The process named
// "ready probe" at level 0 has one shown strict input: sample file type 0.
pm_Project *build_project(const Shape &shape, const std::string &dir);

// Creates on disk the files that build_project leaves existing (once per
// directory and shape; the generator itself never touches the disk).
void create_data_files(const Shape &shape, const std::string &dir);

// Descriptors of sample file type 0 of every sample, in tree order: the files
// that readiness of the probe at the project node looks at.
std::vector<std::string> probe_descriptors(pm_Project *project);

// Flat records of the whole project, for the SQLite baseline.
struct Record {
  long long id, parent;
  int kind;
  std::string name, text1, text2;
  double number;
};
std::vector<Record> flatten(pm_Project *project);

// Number of records and bytes of text that the project file holds.
struct TextStats {
  size_t nodes = 0;
  size_t text_bytes = 0;
};
TextStats text_stats(pm_Project *project, const std::string &dir);

}  // namespace bench
