// What a project file holds beyond what this kestrum reads, in words for
// `check` and `show`, and the walk over a file's nodes that `dump` shares.
//
// A file a newer kestrum wrote loads, but may carry what this one would
// lose: a newer write version, or nodes of designs it does not know. The
// library keeps such nodes when it saves into the file and refuses to save
// into a file of a newer write version; the notes say so, so that nobody
// learns it only from a refused save or from what an export leaves out.
#include <cstring>
#include <set>

#include "cli.h"
#include "persist/schema.h"

namespace kcli {

void each_node(tk_TreeFile *file, const std::function<void(int64_t node, std::size_t depth)> &visit) {
  // Pre-order by number: down to the first child, else on to the next
  // sibling of the node or of the nearest ancestor that has one.
  std::vector<int64_t> ancestors;
  int64_t node = tk_TreeNodeFirstChild(file, 0, nullptr);
  while (node >= 0) {
    visit(node, ancestors.size() + 1);
    const int64_t child = tk_TreeNodeFirstChild(file, node, nullptr);
    if (child >= 0) {
      ancestors.push_back(node);
      node = child;
      continue;
    }
    for (;;) {
      const int64_t next = tk_TreeNodeNextSibling(file, node, nullptr);
      if (next >= 0 || ancestors.empty()) {
        node = next;
        break;
      }
      node = ancestors.back();
      ancestors.pop_back();
    }
  }
}

bool is_project_design(const tk_Design *design) {
  std::size_t length = 0;
  const char *name = tk_DesignName(design, &length);
  for (const pm::Design &known : pm::kDesigns)
    if (name && std::strlen(known.name) == length && std::memcmp(known.name, name, length) == 0) return true;
  return false;
}

std::vector<std::string> file_notes(const std::string &path) {
  std::vector<std::string> notes;
  Report report;
  tk_TreeFile *file = tk_TreeFileOpen(path.c_str(), "rb", 0, report.slot(), 0);
  if (!file) return notes;  // it loaded a moment ago; a file changed since has nothing to add
  uint32_t read = 0, write = 0;
  if (!tk_TreeFileVersions(file, &read, &write))
    notes.push_back("written by a newer kestrum (write version " + std::to_string(write) +
                    "): this one reads it but does not save into it");
  std::size_t unknown = 0;
  std::set<std::string> designs;
  try {
    each_node(file, [&](int64_t node, std::size_t) {
      const tk_Design *design = tk_TreeNodeDesign(file, node);
      if (is_project_design(design)) return;
      ++unknown;
      std::size_t length = 0;
      const char *name = tk_DesignName(design, &length);
      designs.insert(printable(std::string_view(name ? name : "", length)));
    });
  } catch (...) {
    tk_TreeFileAbandon(file);
    throw;
  }
  tk_TreeFileAbandon(file);
  if (unknown > 0) {
    std::string names;
    for (const std::string &name : designs) names += (names.empty() ? "" : ", ") + name;
    notes.push_back(counted(unknown, "node", "nodes") + " of designs this kestrum does not know (" + names +
                    "): a save into the file keeps them; export and save-as leave them out");
  }
  return notes;
}

}  // namespace kcli
