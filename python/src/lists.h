// kestrum._kestrum: the lists of a project as Python sequences.
//
// A list is named by where it hangs (the project, a tile, sample or process,
// or a level of the processing model), never by a pointer to its first
// node, so that it always reads the list as it is now. What each kind of
// list does is a traits class over the library's operations for it; List<T>
// gives all of them len(), iteration, lookup by name or index, del, clear()
// and names(), and bind_list makes the Python class.
#ifndef KESTRUM_PYTHON_LISTS_H
#define KESTRUM_PYTHON_LISTS_H

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <new>
#include <set>
#include <string>
#include <vector>

#include "handles.h"
#include "values.h"

namespace kpy {

// Where a list hangs: the project (owner null), a tile, sample or process
// (the owner's address and epoch), or a level of the processing model.
struct ListBase {
  CorePtr core;
  void *owner = nullptr;  // null: the project
  uint64_t owner_made = 0;
  int level = 0;
  void *owner_node() const {
    if (!owner) return core->project;
    if (!core->alive(owner, owner_made))
      throw StaleHandle("the node this list belongs to was removed, or replaced by a list rebuild");
    return owner;
  }
  // Where the list hangs, as a message names it: "project 'survey'",
  // "tile 'T01'", "sample 'T01/S02'", "process 'segment'", "level 1".
  std::string owner_text(bool level_list) const;
};

// "no tile 'T9' in project 'survey'; 3 tiles: T01, T02, T03" (at most five
// names shown), for a name not in the list.
std::string missing_text(const ListBase &list, bool level_list, const char *one, const char *many,
                         const std::string &name, const std::vector<std::string> &names);

// The data-file list of the project, a tile or a sample.
pm_File **file_list_of(void *owner);

// What each kind of list does; the operations the library has for it.
struct TileTraits {
  using H = Tile;
  static constexpr const char *kOne = "tile";
  static constexpr const char *kPlural = "tiles";
  static constexpr bool kLevelList = false;
  static void *first(const ListBase &list) { return static_cast<pm_Project *>(list.owner_node())->tiles; }
  static void *find(void *first, const char *name) { return pm_TileFind(static_cast<pm_Tile *>(first), name); }
  static void destroy(const ListBase &list, void *node) {
    list.core->forget_tile(static_cast<pm_Tile *>(node));
    pm_TileDestroy(static_cast<pm_Tile *>(node));
  }
};
struct SampleTraits {
  using H = Sample;
  static constexpr const char *kOne = "sample";
  static constexpr const char *kPlural = "samples";
  static constexpr bool kLevelList = false;
  static void *first(const ListBase &list) { return static_cast<pm_Tile *>(list.owner_node())->samples; }
  static void *find(void *first, const char *name) { return pm_SampleFind(static_cast<pm_Sample *>(first), name); }
  static void destroy(const ListBase &list, void *node) {
    list.core->forget_sample(static_cast<pm_Sample *>(node));
    pm_SampleDestroy(static_cast<pm_Sample *>(node));
  }
};
struct FileTraits {
  using H = File;
  static constexpr const char *kOne = "data file";
  static constexpr const char *kPlural = "data files";
  static constexpr bool kLevelList = false;
  static void *first(const ListBase &list) { return *file_list_of(list.owner_node()); }
  static void *find(void *first, const char *name) { return pm_FileFind(static_cast<pm_File *>(first), name); }
  static void destroy(const ListBase &list, void *node) {
    list.core->forget(node);
    pm_FileDestroy(static_cast<pm_File *>(node));
  }
};
// The level lists (PFA files, processes) have no owner the library could
// update: the new first element is stored here. Removing from them marks
// nothing in the library, so the project is marked here, as a host must.
template <class Node, class Container, Container *pm_Project::*kContainer, Node *(*kFind)(Node *, const char *),
          Node *(*kRemove)(Node *), Node *(*kDestroy)(Node *), void (*kForget)(Core &, Node *),
          void (*kMark)(pm_Project *)>
struct LevelTraits {
  static Node **head(const ListBase &list) {
    Container *container = list.core->project->*kContainer;
    return container ? &container->lists[list.level] : nullptr;
  }
  static void *first(const ListBase &list) {
    Node **at = head(list);
    return at ? *at : nullptr;
  }
  static void *find(void *first, const char *name) { return kFind(static_cast<Node *>(first), name); }
  static void destroy(const ListBase &list, void *node) {
    kForget(*list.core, static_cast<Node *>(node));
    Node **at = head(list);
    *at = kRemove(static_cast<Node *>(node));
    kDestroy(static_cast<Node *>(node));
    kMark(list.core->project);
  }
};
inline void forget_pfa(Core &core, pm_PFAFile *pfa) { core.forget(pfa); }
inline void forget_process(Core &core, pm_Process *process) { core.forget_process(process); }
// A PFA file counts only while the PFA root is marked itself.
inline void mark_pfa_root(pm_Project *project) { pm_ProcFilesChanged(project->pfa_root); }

struct PFAFileTraits : LevelTraits<pm_PFAFile, pm_ProcFiles, &pm_Project::pfa_root, pm_PFAFileFind, pm_PFAFileRemove,
                                   pm_PFAFileDestroy, forget_pfa, mark_pfa_root> {
  using H = PFAFile;
  static constexpr const char *kOne = "PFA file";
  static constexpr const char *kPlural = "PFA files";
  static constexpr bool kLevelList = true;
};
struct ProcessTraits : LevelTraits<pm_Process, pm_ProcessLists, &pm_Project::process_lists, pm_ProcessFind,
                                   pm_ProcessRemove, pm_ProcessDestroy, forget_process, pm_ProjectChanged> {
  using H = Process;
  static constexpr const char *kOne = "process";
  static constexpr const char *kPlural = "processes";
  static constexpr bool kLevelList = true;
};
struct ArgumentTraits {
  using H = Argument;
  static constexpr const char *kOne = "argument";
  static constexpr const char *kPlural = "arguments";
  static constexpr bool kLevelList = false;
  static void *first(const ListBase &list) { return static_cast<pm_Process *>(list.owner_node())->arguments; }
  static void *find(void *first, const char *name) { return pm_ArgumentFind(static_cast<pm_Argument *>(first), name); }
  // Removing an argument marks nothing; the project is marked as a host must.
  static void destroy(const ListBase &list, void *node) {
    list.core->forget(node);
    pm_ArgumentDestroy(static_cast<pm_Argument *>(node));
    pm_ProjectChanged(list.core->project);
  }
};

template <class T>
struct List : ListBase {
  using H = typename T::H;

  std::size_t size() const {
    std::size_t count = 0;
    for (void *node = T::first(*this); node; node = next_of(node)) ++count;
    return count;
  }
  void *at(Py_ssize_t index) const {
    const Py_ssize_t count = static_cast<Py_ssize_t>(size());
    if (index < 0) index += count;
    if (index < 0 || index >= count)
      throw py::index_error(std::string(T::kOne) + " index out of range: " + owner_text(T::kLevelList) + " has " +
                            kcli::counted(static_cast<std::size_t>(count), T::kOne, T::kPlural));
    void *node = T::first(*this);
    for (Py_ssize_t i = 0; i < index; ++i) node = next_of(node);
    return node;
  }
  void *lookup(const py::handle &key) const {
    if (PyLong_Check(key.ptr())) return at(key.cast<Py_ssize_t>());
    if (!PyUnicode_Check(key.ptr())) throw py::type_error(std::string(T::kPlural) + " are looked up by name or index");
    const std::string name = encode(key, "name");
    void *found = T::find(T::first(*this), name.c_str());
    if (!found) raise_not_found(key, missing_text(*this, T::kLevelList, T::kOne, T::kPlural, name, names()));
    return found;
  }
  H get(const py::handle &key) const { return handle<H>(core, lookup(key)); }
  bool contains(const py::handle &key) const {
    if (!PyUnicode_Check(key.ptr())) return false;
    const std::string name = encode(key, "name");
    return T::find(T::first(*this), name.c_str()) != nullptr;
  }
  void remove(const py::handle &key) const { T::destroy(*this, lookup(key)); }
  void clear() const {
    while (void *node = T::first(*this)) T::destroy(*this, node);
  }
  std::vector<std::string> names() const {
    std::vector<std::string> names;
    for (void *node = T::first(*this); node; node = next_of(node)) names.push_back(node_name(node));
    return names;
  }
  // Hands a freshly created node to the list through `append` (which reports
  // through the slot); a refused node is destroyed and the report raised. A
  // node the library silently did not link (it does so for a null name) is
  // destroyed too, so that no handle ever refers to a node nobody owns.
  template <class Node, class Append, class Destroy>
  H adopt(Node *node, Append append, Destroy destroy) const {
    if (!node) throw std::bad_alloc();
    const std::string name = node_name(node);
    kcli::Report report;
    append(node, report.slot());
    if (report || T::find(T::first(*this), name.c_str()) != node) {
      destroy(node);
      raise_if(report);
      throw ReportError("the library did not append the node");
    }
    return handle<H>(core, node);
  }
};

template <class T>
struct Iterator {
  List<T> list;
  Handle last;  // the element given last; no node before the first
  bool done = false;
  typename T::H next() {
    void *node = step();
    if (!node) throw py::stop_iteration();
    return handle<typename T::H>(list.core, node);
  }
  // The next node, null at the end.
  void *step() {
    if (done) return nullptr;
    void *node;
    if (!last.node) {
      node = T::first(list);
    } else {
      if (!last.alive())
        throw py::value_error(std::string("the ") + T::kPlural + " changed during iteration: the one given last was removed");
      list.owner_node();
      node = next_of(last.node);
    }
    if (!node) {
      done = true;
      return nullptr;
    }
    last.core = list.core;
    last.node = node;
    last.made = list.core->epoch;
    return node;
  }

  // The type's tp_iternext: a for loop over a list calls it once per
  // element, so it skips the bound method's call machinery and ends without
  // raising StopIteration (half the cost of walking a large project).
  static PyObject *iternext(PyObject *self) noexcept {
    try {
      Iterator &it = py::handle(self).cast<Iterator &>();
      void *node = it.step();
      if (!node) return nullptr;
      return py::cast(handle<typename T::H>(it.list.core, node)).release().ptr();
    } catch (...) {
      return python_error_from_current();
    }
  }
};

// Rebuilds that destroy some of a list's nodes (pm_ProjectSetTileList,
// pm_TileSetSampleList, pm_SetFileListFromPFA): nodes whose names are not
// kept lose their handles before the call; afterwards every node expected
// to stay is looked for, and if the library freed one anyway, every handle
// of the project goes stale rather than one surviving at a reused address.
template <class T, class Forget, class Rebuild>
void rebuild(const List<T> &list, const std::set<std::string> &kept, Forget forget, Rebuild call) {
  std::vector<void *> staying;
  std::vector<void *> leaving;
  for (void *node = T::first(list); node; node = next_of(node))
    (kept.count(node_name(node)) ? staying : leaving).push_back(node);
  for (void *node : leaving) forget(node);
  kcli::Report report;
  call(report.slot());
  std::set<void *> now;
  for (void *node = T::first(list); node; node = next_of(node)) now.insert(node);
  for (void *node : staying)
    if (!now.count(node)) {
      list.core->forget_all();
      break;
    }
  raise_if(report);
}

// Names from a Python iterable, each a str.
std::vector<std::string> name_list(const py::iterable &names);

// The Python class of a list kind, with what every list has.
template <class T>
py::class_<List<T>> bind_list(py::module_ &m, const char *name, const char *doc) {
  using L = List<T>;
  using I = Iterator<T>;
  py::class_<I> iterator(m, (std::string(name) + "Iterator").c_str());
  iterator.def("__iter__", [](I &self) -> I & { return self; }).def("__next__", &I::next);
  reinterpret_cast<PyTypeObject *>(iterator.ptr())->tp_iternext = &I::iternext;
  py::class_<L> cls(m, name, doc);
  cls.def("__len__", &L::size)
      .def("__iter__", [](const L &self) { return I{self, Handle{self.core}, false}; })
      .def("__getitem__", &L::get, py::arg("key"))
      .def("__contains__", &L::contains)
      .def("__delitem__", &L::remove)
      .def("__bool__", [](const L &self) { return T::first(self) != nullptr; })
      .def("names", &L::names, "The names in list order.")
      .def("clear", &L::clear, "Removes (and frees) every element; their handles go stale.")
      .def("__repr__", [name](const L &self) {
        return py::str("<kestrum.{} {}>").format(name, py::repr(py::cast(self.names())));
      });
  return cls;
}

}  // namespace kpy

#endif
