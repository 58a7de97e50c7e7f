// Fuzz target: whatever loads must save and load back equal. Load the input;
// save it under a new name and load that; save the copy into its own file
// again and load once more. All three projects must compare equal.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "project_compare.h"

namespace {

// Why the project cannot be written as it is, or "" when it can. The file
// gives every object its own node, named by the object's name, so names
// must be usable node names (1 to 4096 bytes, no ':') and unique among the
// nodes that share a parent. A file whose records carry other names than
// their nodes loads into such a project; saving it must then fail with a
// report (and leave no file), not succeed or crash.
class NodeNames {
 public:
  std::string problem;

  void Add(std::set<std::string> &siblings, const char *name, const char *where) {
    if (!problem.empty()) return;
    if (name == nullptr || *name == '\0' || std::strlen(name) > 4096 || std::strchr(name, ':') != nullptr) {
      problem = std::string("unusable node name for ") + where;
    } else if (!siblings.insert(name).second) {
      problem = std::string("two nodes named \"") + name + "\" at " + where;
    }
  }

  template <typename T>
  void AddList(std::set<std::string> &siblings, const T *first, const char *where) {
    for (const pm_Node *n = first ? &first->node : nullptr; n != nullptr; n = n->next) Add(siblings, n->name, where);
  }
};

std::string UnstorableName(const pm_Project *project) {
  NodeNames names;
  std::set<std::string> top = {"Project", "Root Files", "Primary Files", "Secondary Files"};
  names.AddList(top, project->tiles, "a tile");
  names.AddList(top, project->files, "a project file");
  for (const pm_Tile *t = project->tiles; t != nullptr; t = reinterpret_cast<const pm_Tile *>(t->node.next)) {
    std::set<std::string> below_tile;
    names.AddList(below_tile, t->samples, "a sample");
    names.AddList(below_tile, t->files, "a tile file");
    for (const pm_Sample *s = t->samples; s != nullptr; s = reinterpret_cast<const pm_Sample *>(s->node.next)) {
      std::set<std::string> below_sample;
      names.AddList(below_sample, s->files, "a sample file");
    }
  }
  for (const pm_Process *level : project->process_lists->lists) {
    std::set<std::string> below_level;
    names.AddList(below_level, level, "a process");
  }
  return names.problem;
}

void ExpectEqual(const pm_Project *a, const pm_Project *b, const char *when) {
  std::string difference = kestrum_test::ProjectDifference(a, b);
  if (!difference.empty()) kestrum_fuzz::Fail(std::string(when) + ": " + difference);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string dir = kestrum_fuzz::ScratchDir();
  const std::string input = dir + "/input.kpr", copy = dir + "/copy.kpr";
  kestrum_fuzz::WriteInputOrDie(input, data, size);
  std::remove(copy.c_str());

  pm_Project *first = kestrum_fuzz::CheckedLoad(input);
  if (first == nullptr) return 0;

  tk_ErrorReport *report = nullptr;
  pm_ProjectSaveAs(first, copy.c_str(), 0, &report);
  std::string unstorable = UnstorableName(first);
  if (!unstorable.empty()) {
    if (report == nullptr) kestrum_fuzz::Fail("saved a project that cannot be stored: " + unstorable);
    if (access(copy.c_str(), F_OK) == 0) kestrum_fuzz::Fail("a refused save left a file", report);
    tk_ErrorReportDelete(&report);
    pm_ProjectDestroy(first);
    return 0;
  }
  if (report != nullptr) kestrum_fuzz::Fail("a loaded project cannot be saved as a new file", report);
  pm_Project *second = kestrum_fuzz::CheckedLoad(copy);
  if (second == nullptr) kestrum_fuzz::Fail("a saved copy does not load");
  ExpectEqual(first, second, "after save-as and load");

  pm_ProjectSave(second, 0, &report);
  if (report != nullptr) kestrum_fuzz::Fail("a loaded copy cannot be saved into its file", report);
  pm_Project *third = kestrum_fuzz::CheckedLoad(copy);
  if (third == nullptr) kestrum_fuzz::Fail("a file saved in place does not load");
  ExpectEqual(first, third, "after save in place and load");

  pm_ProjectDestroy(first);
  pm_ProjectDestroy(second);
  pm_ProjectDestroy(third);
  return 0;
}
