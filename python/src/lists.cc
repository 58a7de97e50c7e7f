// kestrum._kestrum: the lists of a project (see lists.h).
#include "lists.h"

namespace kpy {

pm_File **file_list_of(void *owner) {
  switch (pm_NodeGetType(owner)) {
    case PM_KIND_PROJECT: return &static_cast<pm_Project *>(owner)->files;
    case PM_KIND_TILE: return &static_cast<pm_Tile *>(owner)->files;
    default: return &static_cast<pm_Sample *>(owner)->files;
  }
}

std::string ListBase::owner_text(bool level_list) const {
  if (level_list) return "level " + std::to_string(level);
  void *node = owner_node();
  switch (pm_NodeGetType(node)) {
    case PM_KIND_PROJECT: {
      const std::string name = kcli::text_of(core->project->basename);
      return name.empty() ? "the project" : "project '" + name + "'";
    }
    case PM_KIND_TILE: return "tile '" + node_name(node) + "'";
    case PM_KIND_SAMPLE: {
      pm_Node *tile = static_cast<pm_Node *>(node)->parent;
      return "sample '" + (tile ? node_name(tile) + "/" : std::string()) + node_name(node) + "'";
    }
    default: return "process '" + node_name(node) + "'";
  }
}

std::string missing_text(const ListBase &list, bool level_list, const char *one, const char *many,
                         const std::string &name, const std::vector<std::string> &names) {
  constexpr std::size_t kShown = 5;
  std::string text = std::string("no ") + one + " '" + name + "' in " + list.owner_text(level_list) + "; ";
  if (names.empty()) return text + "it has no " + many;
  text += kcli::counted(names.size(), one, many) + ": ";
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > kShown) text += ", ...";
  return text;
}

std::vector<std::string> name_list(const py::iterable &names) {
  std::vector<std::string> result;
  for (py::handle name : names) result.push_back(encode(name, "name"));
  return result;
}

}  // namespace kpy
