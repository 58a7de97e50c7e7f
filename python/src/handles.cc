// kestrum._kestrum: handles and their lifetimes (see handles.h).
#include "handles.h"

#include <new>

#include "values.h"

namespace kpy {

Project wrap_new(pm_Project *project) {
  if (!project) throw std::bad_alloc();
  return Project{std::make_shared<Core>(project)};
}

py::object parent_object(const CorePtr &core, pm_Node *parent) {
  if (!parent) return py::none();
  switch (pm_NodeGetType(parent)) {
    case PM_KIND_PROJECT: return py::cast(Project{core});
    case PM_KIND_TILE: return py::cast(handle<Tile>(core, parent));
    case PM_KIND_SAMPLE: return py::cast(handle<Sample>(core, parent));
    default: return py::cast(handle<Process>(core, parent));
  }
}

std::string handle_repr(const Handle &self, const char *type) {
  if (!self.alive()) return std::string("<kestrum.") + type + " (removed)>";
  return std::string("<kestrum.") + type + " " + py::repr(decode(node_name(self.node))).cast<std::string>() + ">";
}

}  // namespace kpy
