// kestrum._kestrum: handles and their lifetimes.
//
// Python code may keep any handle for as long as it likes and call anything
// in any order, so:
//
// - A handle holds the project's Core (shared), so a tile handle keeps its
//   whole project alive; the project is destroyed with the last handle.
// - A handle holds its node's address and the epoch it was made in. Whenever
//   the package frees nodes (removal, list rebuild) it first records, for
//   every node that goes, the epoch of its end and starts a new epoch. A
//   handle is used only when its node has not ended since the handle was
//   made: a stale handle raises StaleHandleError instead of touching freed
//   memory, and a new node that the allocator puts where a freed one lived
//   is valid only for handles made after it. Nothing is looked up while
//   nothing was freed, so walking a large project stays cheap.
// - No raw node pointer is kept across a call back into Python (which may
//   run arbitrary code, finalizers included): arguments are converted first,
//   then the library is called, then results are turned into objects.
#ifndef KESTRUM_PYTHON_HANDLES_H
#define KESTRUM_PYTHON_HANDLES_H

#include <pybind11/pybind11.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "errors.h"
#include "kestrum.h"

namespace kpy {

namespace py = pybind11;

// One project and the record of which of its nodes ended when.
struct Core {
  pm_Project *project;
  uint64_t epoch = 1;  // handles are made in the current epoch
  uint64_t floor = 0;  // handles made before it are all stale
  std::unordered_map<const void *, uint64_t> ended;  // address -> epoch its last node was freed in

  explicit Core(pm_Project *owned) : project(owned) {}
  ~Core() { pm_ProjectDestroy(project); }  // no handle is left: each holds the Core
  Core(const Core &) = delete;
  Core &operator=(const Core &) = delete;

  bool alive(const void *node, uint64_t made) const {
    if (made < floor) return false;
    if (ended.empty()) return true;
    auto found = ended.find(node);
    return found == ended.end() || found->second < made;
  }
  // Called before the node is freed; handles made from now on are of the
  // next epoch, so they may refer to a new node at the same address.
  void forget(const void *node) { ended[node] = epoch++; }
  void forget_files(pm_File *list) {
    for (pm_File *file = list; file; file = reinterpret_cast<pm_File *>(file->node.next)) forget(file);
  }
  void forget_sample(pm_Sample *sample) {
    forget_files(sample->files);
    forget(sample);
  }
  void forget_tile(pm_Tile *tile) {
    for (pm_Sample *s = tile->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next)) forget_sample(s);
    forget_files(tile->files);
    forget(tile);
  }
  void forget_process(pm_Process *process) {
    for (pm_Argument *a = process->arguments; a; a = reinterpret_cast<pm_Argument *>(a->node.next)) forget(a);
    forget(process);
  }
  // Every handle of the project goes stale (the fallback when the library
  // freed nodes other than the ones it documents).
  void forget_all() { floor = ++epoch; }
};

using CorePtr = std::shared_ptr<Core>;

struct Project {
  CorePtr core;
  pm_Project *get() const { return core->project; }
};

// A new project of the package; it owns `project` (null: out of memory).
Project wrap_new(pm_Project *project);

struct Handle {
  CorePtr core;
  void *node = nullptr;
  uint64_t made = 0;
  bool alive() const { return core->alive(node, made); }
  void *raw(const char *kind) const {
    if (!alive())
      throw StaleHandle(std::string("this ") + kind +
                        " handle no longer refers to a node: it was removed, or replaced by a list rebuild");
    return node;
  }
};

struct Tile : Handle {
  static constexpr const char *kKind = "tile";
  pm_Tile *get() const { return static_cast<pm_Tile *>(raw(kKind)); }
};
struct Sample : Handle {
  static constexpr const char *kKind = "sample";
  pm_Sample *get() const { return static_cast<pm_Sample *>(raw(kKind)); }
};
struct File : Handle {
  static constexpr const char *kKind = "data file";
  pm_File *get() const { return static_cast<pm_File *>(raw(kKind)); }
};
struct PFAFile : Handle {
  static constexpr const char *kKind = "PFA file";
  pm_PFAFile *get() const { return static_cast<pm_PFAFile *>(raw(kKind)); }
};
struct Process : Handle {
  static constexpr const char *kKind = "process";
  pm_Process *get() const { return static_cast<pm_Process *>(raw(kKind)); }
};
struct Argument : Handle {
  static constexpr const char *kKind = "argument";
  pm_Argument *get() const { return static_cast<pm_Argument *>(raw(kKind)); }
};

// A handle of the current epoch.
template <class H>
H handle(const CorePtr &core, void *node) {
  H made;
  made.core = core;
  made.node = node;
  made.made = core->epoch;
  return made;
}

inline pm_Node *next_of(void *node) { return static_cast<pm_Node *>(node)->next; }

inline std::string node_name(void *node) {
  const char *name = static_cast<pm_Node *>(node)->name;
  return name ? name : "";
}

// The project, tile, sample or process that `parent` is, as its handle;
// None for null.
py::object parent_object(const CorePtr &core, pm_Node *parent);

// "<kestrum.Tile 'T1'>", or "(removed)" for a stale handle.
std::string handle_repr(const Handle &self, const char *type);

// What every handle class has: equality, hash, alive, project.
template <class H>
void bind_handle_basics(py::class_<H> &cls) {
  cls.def("__eq__", [](const H &a, const py::object &b) {
       if (!py::isinstance<H>(b)) return false;
       const H &other = b.template cast<const H &>();
       // Handles of one node are equal; a stale one equals only those made with it.
       return other.core == a.core && other.node == a.node &&
              (a.alive() && other.alive() ? true : other.made == a.made);
     })
      .def("__hash__", [](const H &self) { return std::hash<const void *>()(self.node); })
      .def_property_readonly("alive", [](const H &self) { return self.alive(); },
                             "False once the node was removed or replaced by a list rebuild.")
      .def_property_readonly("project", [](const H &self) { return Project{self.core}; }, "The project the node is in.");
}

}  // namespace kpy

#endif
