// The clash test of names that share one parent node in the file. The names
// a clash can only be with (the root's own nodes and project data files, a
// tile's data files) are gathered per parent; the tiles and samples, the
// many, are then each looked up once. Data files are few per node as a
// rule, so a short list is searched in place and a long one hashed: the test
// stays linear without a hash table per tile of a large project.
#include "persist/name_clash.h"

#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "node/node.h"

namespace pm {

namespace {

// Names taken under one parent node, each with what took it.
class Taken {
 public:
  void clear() {
    few_.clear();
    many_.clear();
  }
  void add(const char *name, const char *what) {
    if (!name) return;
    if (!many_.empty() || few_.size() == kFew) {
      if (many_.empty())
        for (const auto &[n, w] : few_) many_.emplace(n, w);
      many_.emplace(name, what);
      return;
    }
    few_.emplace_back(name, what);
  }
  // What took `name`, or null.
  const char *find(const char *name) const {
    if (!name) return nullptr;
    if (!many_.empty()) {
      const auto at = many_.find(name);
      return at == many_.end() ? nullptr : at->second;
    }
    for (const auto &[n, w] : few_)
      if (n == name) return w;
    return nullptr;
  }

 private:
  static constexpr size_t kFew = 16;
  std::vector<std::pair<std::string_view, const char *>> few_;
  std::unordered_map<std::string_view, const char *> many_;
};

bool check(pm_Project *project, Reporter &r) {
  Taken root;
  for (const char *own : kRootNodeNames)
    root.add(own, own == kProjectNodeName ? "the project's own record" : "a level of the processing model");
  for (pm_File *file = project->files; file; file = reinterpret_cast<pm_File *>(file->node.next)) {
    if (const char *what = root.find(file->node.name)) {
      r.push(nullptr, "Project data file %s has the name of %s; the file cannot hold both", file->node.name, what);
      return false;
    }
    root.add(file->node.name, "a project data file");
  }
  Taken tile_files;
  for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next)) {
    if (const char *what = root.find(tile->node.name)) {
      r.push(nullptr, "Tile %s has the name of %s; the file cannot hold both", tile->node.name, what);
      return false;
    }
    tile_files.clear();
    for (pm_File *file = tile->files; file; file = reinterpret_cast<pm_File *>(file->node.next))
      tile_files.add(file->node.name, "a data file of its tile");
    for (pm_Sample *sample = tile->samples; sample; sample = reinterpret_cast<pm_Sample *>(sample->node.next)) {
      if (tile_files.find(sample->node.name)) {
        r.push(nullptr, "Sample %s of tile %s has the name of a data file of its tile; the file cannot hold both",
               sample->node.name, tile->node.name ? tile->node.name : "(null)");
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool names_fit_file(pm_Project *project, Reporter &r) noexcept {
  if (!project) return true;
  try {
    return check(project, r);
  } catch (const std::bad_alloc &) {
    r.push(nullptr, "Out of memory checking the project's names");
    return false;
  }
}

}  // namespace pm
