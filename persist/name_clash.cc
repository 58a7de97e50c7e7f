// The clash test of names that share one parent node in the file. Each
// parent's names go into a set once, so the test is linear in the project.
#include "persist/name_clash.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "node/node.h"

namespace pm {

namespace {

// Names already taken under one parent node, with what took them.
using Taken = std::unordered_map<std::string_view, const char *>;

// Adds the names of a list, each as `what`; returns the first node whose
// name is already taken (the list's own names are distinct), else null.
template <typename Record>
Record *add_names(Taken &taken, Record *first, const char *what) {
  for (Record *n = first; n; n = reinterpret_cast<Record *>(n->node.next)) {
    if (!n->node.name) continue;
    if (!taken.emplace(n->node.name, what).second) return n;
  }
  return nullptr;
}

bool check(pm_Project *project, Reporter &r) {
  Taken root;
  for (const char *own : kRootNodeNames)
    root.emplace(own, own == kProjectNodeName ? "the project's own record" : "a level of the processing model");
  if (pm_File *file = add_names(root, project->files, "a project data file")) {
    r.push(nullptr, "Project data file %s has the name of %s; the file cannot hold both", file->node.name,
           root.at(file->node.name));
    return false;
  }
  if (pm_Tile *tile = add_names(root, project->tiles, "a tile")) {
    r.push(nullptr, "Tile %s has the name of %s; the file cannot hold both", tile->node.name, root.at(tile->node.name));
    return false;
  }
  // A tile's samples have distinct names, as do its data files, so only a
  // sample that has a data file's name clashes. A tile has a few data files
  // and many samples: the files' names are compared one by one while they
  // are few, and looked up in a set of them otherwise.
  constexpr size_t kFewFiles = 8;
  std::vector<std::string_view> few;
  Taken many;
  for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next)) {
    few.clear();
    many.clear();
    for (pm_File *f = tile->files; f; f = reinterpret_cast<pm_File *>(f->node.next))
      if (f->node.name) few.emplace_back(f->node.name);
    if (few.empty()) continue;
    const bool hashed = few.size() > kFewFiles;
    if (hashed)
      for (std::string_view name : few) many.emplace(name, nullptr);
    for (pm_Sample *sample = tile->samples; sample; sample = reinterpret_cast<pm_Sample *>(sample->node.next)) {
      if (!sample->node.name) continue;
      const std::string_view name(sample->node.name);
      if (hashed ? many.count(name) == 0 : std::find(few.begin(), few.end(), name) == few.end()) continue;
      r.push(nullptr, "Sample %s of tile %s has the name of a data file of its tile; the file cannot hold both",
             sample->node.name, tile->node.name ? tile->node.name : "(null)");
      return false;
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
