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

std::vector<std::string> name_list(const py::iterable &names) {
  std::vector<std::string> result;
  for (py::handle name : names) result.push_back(encode(name, "name"));
  return result;
}

}  // namespace kpy
