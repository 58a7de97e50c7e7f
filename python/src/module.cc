// kestrum._kestrum: the Python face of the C interface.
//
// Every behaviour is the library's; this file only maps it. What it adds is
// lifetime safety, since Python code may keep any handle for as long as it
// likes and call anything in any order:
//
// - A handle holds the project's Core (shared), so a tile handle keeps its
//   whole project alive; the project is destroyed with the last handle.
// - A handle holds its node's address and the epoch it was made in. Whenever
//   this file frees nodes (removal, list rebuild) it first records, for every
//   node that goes, the epoch of its end and starts a new epoch. A handle is
//   used only when its node has not ended since the handle was made: a stale
//   handle raises StaleHandleError instead of touching freed memory, and a
//   new node that the allocator puts where a freed one lived is valid only
//   for handles made after it. Nothing is looked up while nothing was freed,
//   so walking a large project stays cheap.
// - No raw node pointer is kept across a call back into Python (which may
//   run arbitrary code, finalizers included): arguments are converted first,
//   then the library is called, then results are turned into objects.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cli.h"
#include "json.h"
#include "node/value_names.h"

namespace py = pybind11;

namespace {

// ---- errors ----------------------------------------------------------------

using Chain = std::vector<std::pair<std::string, std::string>>;

// A failure the library reported; becomes kestrum.Error.
struct ReportError : std::exception {
  std::string message;
  Chain chain;
  ReportError() = default;
  explicit ReportError(const std::string &text) : message(text), chain{{"", text}} {}
  const char *what() const noexcept override { return message.c_str(); }
};

// A handle used after its node went; becomes kestrum.StaleHandleError.
struct StaleHandle : std::exception {
  std::string message;
  explicit StaleHandle(std::string text) : message(std::move(text)) {}
  const char *what() const noexcept override { return message.c_str(); }
};

// kestrum.Error and kestrum.StaleHandleError; one reference each is held for
// the life of the interpreter (never released, so nothing runs at exit).
PyObject *g_error_type = nullptr;
PyObject *g_stale_type = nullptr;

// A chain as the tool's Report::lines or a Failure's chain give it, one
// "function: message" per report, outermost first.
ReportError from_lines(const std::vector<std::string> &lines, const std::string &summary = {}) {
  ReportError error;
  for (const std::string &line : lines) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos)
      error.chain.emplace_back("", line);
    else
      error.chain.emplace_back(line.substr(0, colon), line.substr(colon + 2));
  }
  error.message = !summary.empty() ? summary : error.chain.empty() ? "" : error.chain.front().second;
  if (error.chain.empty()) error.chain.emplace_back("", error.message);
  return error;
}

// Throws the report held, if any, as kestrum.Error.
void raise_if(const kcli::Report &report) {
  if (report) throw from_lines(report.lines());
}

// The tool's failures (JSON import) carry a summary and chain lines.
ReportError from_failure(const kcli::Failure &failure) {
  std::vector<std::string> lines;
  const std::string &chain = failure.chain();
  for (std::size_t start = 0; start < chain.size();) {
    std::size_t end = chain.find('\n', start);
    if (end == std::string::npos) end = chain.size();
    lines.push_back(chain.substr(start, end - start));
    start = end + 1;
  }
  return from_lines(lines, failure.what());
}

py::str decode_display(const std::string &text);

// Sets kestrum.Error with its chain as the pending Python exception.
void raise_error(const ReportError &failure) {
  py::tuple chain(failure.chain.size());
  for (std::size_t i = 0; i < failure.chain.size(); ++i)
    chain[i] = py::make_tuple(decode_display(failure.chain[i].first), decode_display(failure.chain[i].second));
  py::object instance = py::reinterpret_borrow<py::object>(g_error_type)(decode_display(failure.message));
  instance.attr("chain") = chain;
  PyErr_SetObject(g_error_type, instance.ptr());
}

// ---- texts -----------------------------------------------------------------

// Texts of the library are bytes; those that are not UTF-8 (a Latin-1 name
// from an old file) come through as surrogate escapes, like file names in
// os, and go back to the same bytes.
py::str decode(const std::string &text) {
  PyObject *object = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
  if (!object) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(object);
}

// Display texts (report messages) replace what is not UTF-8.
py::str decode_display(const std::string &text) {
  PyObject *object = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
  if (!object) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(object);
}

// A library string handed over to us: None for null.
py::object take_text(char *text) {
  if (!text) return py::none();
  std::string copy = kcli::take(text);
  return decode(copy);
}

// A str argument as bytes for the library; a NUL would cut it short, so it
// is refused rather than silently truncated.
std::string encode(const py::handle &value, const char *what) {
  if (!PyUnicode_Check(value.ptr())) throw py::type_error(std::string(what) + " must be a str");
  PyObject *bytes = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape");
  if (!bytes) throw py::error_already_set();
  std::string text(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  if (text.find('\0') != std::string::npos) throw py::value_error(std::string(what) + " contains a NUL character");
  return text;
}

// An optional text argument: None stays null.
struct OptionalText {
  bool present = false;
  std::string text;
  const char *c_str() const { return present ? text.c_str() : nullptr; }
};
OptionalText encode_optional(const py::handle &value, const char *what) {
  OptionalText result;
  if (value.is_none()) return result;
  result.present = true;
  result.text = encode(value, what);
  return result;
}

// A path argument: str, bytes or os.PathLike.
std::string encode_path(const py::handle &value) {
  PyObject *path = PyOS_FSPath(value.ptr());
  if (!path) throw py::error_already_set();
  py::object owned = py::reinterpret_steal<py::object>(path);
  if (PyBytes_Check(path)) {
    std::string text(PyBytes_AS_STRING(path), static_cast<std::size_t>(PyBytes_GET_SIZE(path)));
    if (text.find('\0') != std::string::npos) throw py::value_error("path contains a NUL character");
    return text;
  }
  return encode(owned, "path");
}

// ---- enumerations ------------------------------------------------------------

enum EnumKind { kProjectType, kSwitch, kSelection, kFormat, kMode, kHide, kOutput, kEnumCount };
PyObject *g_enums[kEnumCount] = {};
std::size_t g_enum_sizes[kEnumCount] = {};

// A stored value as its enum member; values the enum does not know (the
// library does not validate them) stay plain ints.
py::object enum_value(EnumKind kind, int32_t value) {
  if (value >= 0 && static_cast<std::size_t>(value) < g_enum_sizes[kind])
    return py::reinterpret_borrow<py::object>(g_enums[kind])(value);
  return py::int_(value);
}

int32_t enum_arg(const py::handle &value) {
  if (!PyLong_Check(value.ptr())) throw py::type_error("an enum member or int is required");
  const long long number = value.cast<long long>();
  if (number < INT32_MIN || number > INT32_MAX) throw py::value_error("value out of the 32-bit range");
  return static_cast<int32_t>(number);
}

// ---- the project and its node references ------------------------------------------

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

template <class H>
H handle(const CorePtr &core, void *node) {
  H made;
  made.core = core;
  made.node = node;
  made.made = core->epoch;
  return made;
}

pm_Node *next_of(void *node) { return static_cast<pm_Node *>(node)->next; }

std::string node_name(void *node) {
  const char *name = static_cast<pm_Node *>(node)->name;
  return name ? name : "";
}

// ---- lists ---------------------------------------------------------------------------

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
};

pm_File **file_list_of(void *owner) {
  switch (pm_NodeGetType(owner)) {
    case PM_KIND_PROJECT: return &static_cast<pm_Project *>(owner)->files;
    case PM_KIND_TILE: return &static_cast<pm_Tile *>(owner)->files;
    default: return &static_cast<pm_Sample *>(owner)->files;
  }
}

// What each kind of list does; the operations the library has for it.
struct TileTraits {
  using H = Tile;
  static constexpr const char *kPlural = "tiles";
  static void *first(const ListBase &list) { return static_cast<pm_Project *>(list.owner_node())->tiles; }
  static void *find(void *first, const char *name) { return pm_TileFind(static_cast<pm_Tile *>(first), name); }
  static void destroy(const ListBase &list, void *node) {
    list.core->forget_tile(static_cast<pm_Tile *>(node));
    pm_TileDestroy(static_cast<pm_Tile *>(node));
  }
};
struct SampleTraits {
  using H = Sample;
  static constexpr const char *kPlural = "samples";
  static void *first(const ListBase &list) { return static_cast<pm_Tile *>(list.owner_node())->samples; }
  static void *find(void *first, const char *name) { return pm_SampleFind(static_cast<pm_Sample *>(first), name); }
  static void destroy(const ListBase &list, void *node) {
    list.core->forget_sample(static_cast<pm_Sample *>(node));
    pm_SampleDestroy(static_cast<pm_Sample *>(node));
  }
};
struct FileTraits {
  using H = File;
  static constexpr const char *kPlural = "files";
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
void forget_pfa(Core &core, pm_PFAFile *pfa) { core.forget(pfa); }
void forget_process(Core &core, pm_Process *process) { core.forget_process(process); }
// A PFA file counts only while the PFA root is marked itself.
void mark_pfa_root(pm_Project *project) { pm_ProcFilesChanged(project->pfa_root); }

struct PFAFileTraits : LevelTraits<pm_PFAFile, pm_ProcFiles, &pm_Project::pfa_root, pm_PFAFileFind, pm_PFAFileRemove,
                                   pm_PFAFileDestroy, forget_pfa, mark_pfa_root> {
  using H = PFAFile;
  static constexpr const char *kPlural = "PFA files";
};
struct ProcessTraits : LevelTraits<pm_Process, pm_ProcessLists, &pm_Project::process_lists, pm_ProcessFind,
                                   pm_ProcessRemove, pm_ProcessDestroy, forget_process, pm_ProjectChanged> {
  using H = Process;
  static constexpr const char *kPlural = "processes";
};
struct ArgumentTraits {
  using H = Argument;
  static constexpr const char *kPlural = "arguments";
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
    if (index < 0 || index >= count) throw py::index_error(std::string(T::kPlural) + " index out of range");
    void *node = T::first(*this);
    for (Py_ssize_t i = 0; i < index; ++i) node = next_of(node);
    return node;
  }
  void *lookup(const py::handle &key) const {
    if (PyLong_Check(key.ptr())) return at(key.cast<Py_ssize_t>());
    if (!PyUnicode_Check(key.ptr())) throw py::type_error(std::string(T::kPlural) + " are looked up by name or index");
    const std::string name = encode(key, "name");
    void *found = T::find(T::first(*this), name.c_str());
    if (!found) {
      PyErr_SetObject(PyExc_KeyError, key.ptr());
      throw py::error_already_set();
    }
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
    if (done) throw py::stop_iteration();
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
      throw py::stop_iteration();
    }
    auto made = handle<typename T::H>(list.core, node);
    last = made;
    return made;
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

std::vector<std::string> name_list(const py::iterable &names) {
  std::vector<std::string> result;
  for (py::handle name : names) result.push_back(encode(name, "name"));
  return result;
}

// ---- nodes as readiness places -------------------------------------------------

kcli::NodeRef node_ref(const CorePtr &core, const py::object &node) {
  kcli::NodeRef ref;
  if (node.is_none()) {
    ref = {"/", 0, core->project, core->project->files};
  } else if (py::isinstance<Project>(node)) {
    const Project &project = node.cast<const Project &>();
    if (project.core != core) throw py::value_error("the node belongs to another project");
    ref = {"/", 0, core->project, core->project->files};
  } else if (py::isinstance<Tile>(node)) {
    const Tile &tile = node.cast<const Tile &>();
    if (tile.core != core) throw py::value_error("the node belongs to another project");
    pm_Tile *raw = tile.get();
    ref = {node_name(raw), 1, raw, raw->files};
  } else if (py::isinstance<Sample>(node)) {
    const Sample &sample = node.cast<const Sample &>();
    if (sample.core != core) throw py::value_error("the node belongs to another project");
    pm_Sample *raw = sample.get();
    std::string path = raw->node.parent ? node_name(raw->node.parent) + "/" : "";
    ref = {path + node_name(raw), 2, raw, raw->files};
  } else {
    throw py::type_error("node must be the project, a tile or a sample");
  }
  return ref;
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

// ---- binding helpers ------------------------------------------------------------

template <class T>
py::class_<List<T>> bind_list(py::module_ &m, const char *name, const char *doc) {
  using L = List<T>;
  using I = Iterator<T>;
  py::class_<I>(m, (std::string(name) + "Iterator").c_str())
      .def("__iter__", [](I &self) -> I & { return self; })
      .def("__next__", &I::next);
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

// Tiles and samples: adding, rebuilding from names, sorting.
template <class T, class Owner, class Node>
void bind_tree_list(py::class_<List<T>> &cls, const std::string &kind, int level, Node *(*create)(const char *),
                    void (*append)(Owner *, Node *, tk_ErrorReport **), Node *(*destroy)(Node *),
                    void (Core::*forget)(Node *), void (*set_list)(Owner *, int, const char *const *, tk_ErrorReport **),
                    Node *(*sort)(Owner *)) {
  cls.def(
      "add",
      [create, append, destroy](const List<T> &self, const py::object &name) {
        const std::string text = encode(name, "name");
        Owner *owner = static_cast<Owner *>(self.owner_node());
        return self.adopt(
            create(text.c_str()), [&](Node *node, tk_ErrorReport **slot) { append(owner, node, slot); }, destroy);
      },
      py::arg("name"), ("Appends a new " + kind + "; kestrum.Error when the name is taken.").c_str());
  cls.def(
      "set_names",
      [forget, set_list](const List<T> &self, const py::iterable &names) {
        const std::vector<std::string> wanted = name_list(names);
        std::vector<const char *> pointers;
        for (const std::string &name : wanted) pointers.push_back(name.c_str());
        Owner *owner = static_cast<Owner *>(self.owner_node());
        rebuild(
            self, std::set<std::string>(wanted.begin(), wanted.end()),
            [&](void *node) { (self.core.get()->*forget)(static_cast<Node *>(node)); },
            [&](tk_ErrorReport **slot) { set_list(owner, static_cast<int>(pointers.size()), pointers.data(), slot); });
        // A reorder alone marks nothing in the library, but the new order is saved.
        pm_ProjectChanged(self.core->project);
      },
      py::arg("names"),
      ("Makes the " + kind + "s exactly these, in this order: existing ones are kept with what they\n"
       "hold, new ones get a data file per PFA file of level " + std::to_string(level) +
       ", the others are destroyed\n(their handles go stale).").c_str());
  cls.def(
      "sort", [sort](const List<T> &self) { sort(static_cast<Owner *>(self.owner_node())); },
      ("Sorts the " + kind + "s by name (bytes compared).").c_str());
}

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

// A text property of a data file or process: a getter handing over a copy
// and a setter that copies (0 only when memory runs out).
template <class H, class Node>
void text_property(py::class_<H> &cls, const char *name, char *(*getter)(Node *), int (*setter)(Node *, const char *),
                   const char *doc) {
  cls.def_property(
      name, [getter](const H &self) { return take_text(getter(self.get())); },
      [setter, name](const H &self, const py::object &value) {
        const OptionalText text = encode_optional(value, name);
        if (!setter(self.get(), text.c_str())) throw std::bad_alloc();
      },
      doc);
}

template <class H, class Node>
void enum_property(py::class_<H> &cls, const char *name, EnumKind kind, int32_t (*getter)(Node *),
                   int (*setter)(Node *, int32_t), const char *doc) {
  cls.def_property(
      name, [getter, kind](const H &self) { return enum_value(kind, getter(self.get())); },
      [setter](const H &self, const py::object &value) { setter(self.get(), enum_arg(value)); }, doc);
}

// A rename through the library (unique names; the report when taken).
template <class H, class Node>
void name_property(py::class_<H> &cls, char *(*getter)(Node *), int (*setter)(Node *, const char *, tk_ErrorReport **),
                   const char *doc) {
  cls.def_property(
      "name", [getter](const H &self) { return take_text(getter(self.get())); },
      [setter](const H &self, const py::object &value) {
        const std::string name = encode(value, "name");
        kcli::Report report;
        setter(self.get(), name.c_str(), report.slot());
        raise_if(report);
      },
      doc);
}

std::string handle_repr(const Handle &self, const char *type) {
  if (!self.alive()) return std::string("<kestrum.") + type + " (removed)>";
  return std::string("<kestrum.") + type + " " + py::repr(decode(node_name(self.node))).cast<std::string>() + ">";
}

// Builds the export's document as Python values while the project is
// walked, instead of writing its text and parsing that again (json.loads of
// a large export costs more than the whole export). The values are those
// json.loads would give for the text: the walk hands over only UTF-8
// strings, whole numbers and doubles that read back as themselves.
class DictWriter final : public kcli::Writer {
 public:
  void begin_object() override { open(PyDict_New()); }
  void end_object() override { containers_.pop_back(); }
  void begin_array() override { open(PyList_New(0)); }
  void end_array() override { containers_.pop_back(); }
  void key(std::string_view name) override {
    // A handful of member names recur a million times; each is made once.
    auto found = keys_.find(name);
    if (found == keys_.end()) found = keys_.emplace(std::string(name), text(name)).first;
    key_ = found->second;
  }
  void element() override {}
  void null() override { put(py::none()); }
  void number(long long value) override { put(steal(PyLong_FromLongLong(value))); }
  void number(double value) override { put(steal(PyFloat_FromDouble(value))); }
  void string(std::string_view value) override { put(text(value)); }

  py::object result() const { return result_; }

 private:
  static py::object steal(PyObject *object) {
    if (!object) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(object);
  }
  static py::object text(std::string_view value) {
    return steal(PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "strict"));
  }
  void open(PyObject *container) {
    py::object value = steal(container);
    put(value);
    containers_.push_back(std::move(value));
  }
  // The value goes into the open container: under the pending key of an
  // object, or at the end of an array; the first one is the document.
  void put(const py::object &value) {
    if (containers_.empty()) {
      result_ = value;
      return;
    }
    PyObject *top = containers_.back().ptr();
    const int failed = PyDict_Check(top) ? PyDict_SetItem(top, key_.ptr(), value.ptr())
                                         : PyList_Append(top, value.ptr());
    if (failed) throw py::error_already_set();
  }

  std::vector<py::object> containers_;
  std::map<std::string, py::object, std::less<>> keys_;
  py::object key_;
  py::object result_;
};

// The export's JSON as Python values. The cyclic collector is held off while
// the walk makes its millions of containers (none of them can be garbage
// yet), which would otherwise scan them again and again.
py::object export_dict(pm_Project *project) {
  py::module_ gc = py::module_::import("gc");
  const bool enabled = gc.attr("isenabled")().cast<bool>();
  gc.attr("disable")();
  try {
    DictWriter document;
    kcli::write_json(project, document);
    if (enabled) gc.attr("enable")();
    return document.result();
  } catch (...) {
    if (enabled) gc.attr("enable")();
    throw;
  }
}

// A level of the processing model, as project.levels gives it.
struct Level {
  CorePtr core;
  int index;
};

Project wrap_new(pm_Project *project) {
  if (!project) throw std::bad_alloc();
  return Project{std::make_shared<Core>(project)};
}

}  // namespace

PYBIND11_MODULE(_kestrum, m) {
  m.doc() = "The compiled part of the kestrum package; use the kestrum package itself.";

  g_error_type = PyErr_NewExceptionWithDoc(
      "kestrum.Error",
      "A failure the library reported. str(e) is the outermost message; e.chain is the whole\n"
      "report chain, outermost first, as (function, message) tuples.",
      PyExc_Exception, nullptr);
  if (!g_error_type) throw py::error_already_set();
  if (PyObject_SetAttrString(g_error_type, "chain", py::tuple().ptr()) != 0) throw py::error_already_set();
  m.attr("Error") = py::reinterpret_borrow<py::object>(g_error_type);
  g_stale_type = PyErr_NewExceptionWithDoc(
      "kestrum.StaleHandleError", "A handle was used after its node was removed or replaced by a list rebuild.",
      PyExc_ReferenceError, nullptr);
  if (!g_stale_type) throw py::error_already_set();
  m.attr("StaleHandleError") = py::reinterpret_borrow<py::object>(g_stale_type);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const StaleHandle &stale) {
      PyErr_SetString(g_stale_type, stale.what());
    } catch (const ReportError &failure) {
      raise_error(failure);
    } catch (const kcli::Failure &failure) {
      raise_error(from_failure(failure));
    }
  });

  // The enumerations, named as the project file and the tool name them.
  {
    py::object int_enum = py::module_::import("enum").attr("IntEnum");
    struct EnumDef {
      EnumKind kind;
      const char *name;
      kcli::Names names;
      const char *doc;
    };
    const EnumDef enums[] = {
        {kProjectType, "ProjectType", pm::kProjectTypeNames, "How the project samples: single or double."},
        {kSwitch, "Switch", pm::kSwitchNames, "An analysis switch of the project."},
        {kSelection, "Selection", pm::kSelectionNames, "How a tile or sample was selected."},
        {kFormat, "Format", pm::kPFATypeNames, "What the files of a PFA file or argument hold."},
        {kMode, "Mode", pm::kModeNames, "Whether an argument is an input or output, strict or optional."},
        {kHide, "Hide", pm::kHideNames, "Whether hosts show an argument."},
        {kOutput, "Output", pm::kOutputNames, "Whether a process requests or generates its output."},
    };
    for (const EnumDef &entry : enums) {
      py::list members;
      for (std::size_t i = 0; i < entry.names.size(); ++i) {
        std::string upper = entry.names[i];
        for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        members.append(py::make_tuple(upper, i));
      }
      py::object cls = int_enum(entry.name, members, py::arg("module") = "kestrum");
      cls.attr("__doc__") = entry.doc;
      m.attr(entry.name) = cls;
      g_enums[entry.kind] = cls.inc_ref().ptr();  // lives as long as the interpreter
      g_enum_sizes[entry.kind] = entry.names.size();
    }
  }

  auto tiles = bind_list<TileTraits>(m, "TileList", "The tiles of a project, in list order; look up by name or index.");
  auto samples = bind_list<SampleTraits>(m, "SampleList", "The samples of a tile, in list order; look up by name or index.");
  auto files = bind_list<FileTraits>(m, "FileList", "The data files of a node, in list order; look up by file type or index.");
  auto pfa_files = bind_list<PFAFileTraits>(m, "PFAFileList", "The PFA files of a level, in list order; look up by name or index.");
  auto processes = bind_list<ProcessTraits>(m, "ProcessList", "The processes of a level, in list order; look up by name or index.");
  auto arguments = bind_list<ArgumentTraits>(m, "ArgumentList", "The arguments of a process, in list order; look up by name or index.");

  // ---- adding and rebuilding ----
  bind_tree_list(tiles, "tile", 1, pm_TileCreate, pm_ProjectAppendTile, pm_TileDestroy, &Core::forget_tile,
                 pm_ProjectSetTileList, pm_ProjectSortTiles);
  bind_tree_list(samples, "sample", 2, pm_SampleCreate, pm_TileAppendSample, pm_SampleDestroy, &Core::forget_sample,
                 pm_TileSetSampleList, pm_TileSortSamples);

  files.def(
      "add",
      [](const List<FileTraits> &self, const py::object &type, const py::object &descriptor, double time,
         const py::object &verified, const py::object &comment) {
        const std::string text = encode(type, "type");
        const OptionalText where = encode_optional(descriptor, "descriptor");
        const OptionalText check = encode_optional(verified, "verified");
        const OptionalText note = encode_optional(comment, "comment");
        void *owner = self.owner_node();
        return self.adopt(
            pm_FileCreate(text.c_str(), where.c_str(), time, check.c_str(), note.c_str()),
            [&](pm_File *f, tk_ErrorReport **r) { pm_ParentAppendFile(owner, f, r); }, pm_FileDestroy);
      },
      py::arg("type"), py::arg("descriptor") = py::none(), py::arg("time") = 0.0, py::arg("verified") = py::none(),
      py::arg("comment") = py::none(), "Appends a new data file; kestrum.Error when the file type is taken.");
  files.def(
      "rebuild",
      [](const List<FileTraits> &self) {
        void *owner = self.owner_node();
        const int kind = pm_NodeGetType(owner);
        pm_PFAFile *pfa = pm_PFAFileListGetByType(self.core->project, kind);
        std::set<std::string> kept;
        for (pm_PFAFile *p = pfa; p; p = reinterpret_cast<pm_PFAFile *>(p->node.next)) kept.insert(node_name(p));
        rebuild(
            self, kept, [&](void *node) { self.core->forget(node); },
            [&](tk_ErrorReport **slot) { pm_SetFileListFromPFA(pfa, owner, slot); });
      },
      "Makes the data files one per PFA file of the node's level, in its order, keeping the matching\n"
      "ones with their descriptors and destroying the rest.");

  pfa_files.def(
      "add",
      [](const List<PFAFileTraits> &self, const py::object &name, const py::object &format) {
        const std::string text = encode(name, "name");
        const int32_t type = enum_arg(format);
        pm_PFAFile **head = PFAFileTraits::head(self);
        if (!head) throw ReportError("the project has no PFA root");
        PFAFile made = self.adopt(
            pm_PFAFileCreate(text.c_str(), type),
            [&](pm_PFAFile *p, tk_ErrorReport **r) {
              pm_PFAFile *first = pm_PFAFileAppend(*head, p, r);
              if (first) *head = first;
            },
            pm_PFAFileDestroy);
        // The library counts a new PFA file only while the root is marked.
        pm_ProcFilesChanged(self.core->project->pfa_root);
        return made;
      },
      py::arg("name"), py::arg("format"), "Appends a new PFA file; kestrum.Error when the name is taken.");

  processes.def(
      "add",
      [](const List<ProcessTraits> &self, const py::object &name, const py::object &title, const py::object &params,
         const py::object &labels, const py::object &suffix, const py::object &output) {
        const std::string text = encode(name, "name");
        const OptionalText t = encode_optional(title, "title"), p = encode_optional(params, "params"),
                           l = encode_optional(labels, "labels"), s = encode_optional(suffix, "suffix");
        const int32_t out = enum_arg(output);
        pm_Process **head = ProcessTraits::head(self);
        if (!head) throw ReportError("the project has no process lists");
        return self.adopt(
            pm_ProcessCreate(text.c_str(), t.c_str(), p.c_str(), l.c_str(), s.c_str(), out),
            [&](pm_Process *process, tk_ErrorReport **r) {
              pm_Process *first = pm_ProcessAppend(*head, process, r);
              if (first) *head = first;
            },
            pm_ProcessDestroy);
      },
      py::arg("name"), py::arg("title") = py::none(), py::arg("params") = py::none(), py::arg("labels") = py::none(),
      py::arg("suffix") = py::none(), py::arg("output") = 0,
      "Appends a new process; kestrum.Error when the name is taken.");

  arguments.def(
      "add",
      [](const List<ArgumentTraits> &self, const py::object &name, const py::object &value, const py::object &format,
         const py::object &mode, const py::object &hide) {
        const std::string text = encode(name, "name");
        const OptionalText v = encode_optional(value, "value");
        const int32_t f = enum_arg(format), md = enum_arg(mode), h = enum_arg(hide);
        pm_Process *process = static_cast<pm_Process *>(self.owner_node());
        return self.adopt(
            pm_ArgumentCreate(text.c_str(), v.c_str(), f, md, h),
            [&](pm_Argument *a, tk_ErrorReport **r) { pm_ProcessAppendArgument(process, a, r); }, pm_ArgumentDestroy);
      },
      py::arg("name"), py::arg("value") = py::none(), py::arg("format") = 0, py::arg("mode") = 0, py::arg("hide") = 0,
      "Appends a new argument; kestrum.Error when the name is taken.");

  // ---- the node handles ----
  py::class_<Tile> tile(m, "Tile", "A tile of a project: its samples and data files.");
  bind_handle_basics(tile);
  name_property(tile, pm_TileGetName, pm_TileSetName, "The tile's name, unique among its project's tiles.");
  tile.def_property(
      "automatic", [](const Tile &self) { return enum_value(kSelection, pm_TileGetAutomatic(self.get())); },
      [](const Tile &self, const py::object &value) {
        pm_TileSetAutomatic(self.get(), enum_arg(value));
        pm_ProjectChanged(self.core->project);  // saved, but not marked by the library
      },
      "How the tile was selected (Selection).");
  tile.def_property_readonly("samples", [](const Tile &self) {
        self.get();
        return List<SampleTraits>{{self.core, self.node, self.made, 0}};
      }, "The tile's samples.")
      .def_property_readonly("files", [](const Tile &self) {
        self.get();
        return List<FileTraits>{{self.core, self.node, self.made, 1}};
      }, "The tile's data files.")
      .def("__repr__", [](const Tile &self) { return handle_repr(self, "Tile"); });

  py::class_<Sample> sample(m, "Sample", "A sample of a tile: its data files.");
  bind_handle_basics(sample);
  name_property(sample, pm_SampleGetName, pm_SampleSetName, "The sample's name, unique among its tile's samples.");
  sample.def_property(
      "automatic", [](const Sample &self) { return enum_value(kSelection, pm_SampleGetAutomatic(self.get())); },
      [](const Sample &self, const py::object &value) {
        pm_SampleSetAutomatic(self.get(), enum_arg(value));
        pm_ProjectChanged(self.core->project);
      },
      "How the sample was selected (Selection).");
  sample.def_property_readonly("files", [](const Sample &self) {
          self.get();
          return List<FileTraits>{{self.core, self.node, self.made, 2}};
        }, "The sample's data files.")
      .def_property_readonly("tile", [](const Sample &self) { return parent_object(self.core, self.get()->node.parent); },
                             "The tile holding the sample.")
      .def("__repr__", [](const Sample &self) { return handle_repr(self, "Sample"); });

  py::class_<File> file(m, "File", "A data file of the project, a tile or a sample.");
  bind_handle_basics(file);
  file.def_property(
      "type", [](const File &self) { return take_text(pm_FileGetType(self.get())); },
      [](const File &self, const py::object &value) {
        const std::string type = encode(value, "type");
        kcli::Report report;
        pm_FileSetType(self.get(), type.c_str(), report.slot());
        raise_if(report);
      },
      "The file type: the name of its PFA file, unique among its node's data files.");
  text_property(file, "descriptor", pm_FileGetDescriptor, pm_FileSetDescriptor, "Where the file lies on disk, or None.");
  text_property(file, "verified", pm_FileGetVerified, pm_FileSetVerified, "The host's verification text, or None.");
  text_property(file, "comment", pm_FileGetComment, pm_FileSetComment, "A free comment, or None.");
  file.def_property(
          "time", [](const File &self) { return pm_FileGetDate(self.get()); },
          [](const File &self, double value) { pm_FileSetDate(self.get(), value); }, "The host's time value.")
      .def_property_readonly("exists", [](const File &self) {
        kcli::Report report;
        const int present = pm_FileDescriptorExists(self.get(), report.slot());
        raise_if(report);
        return present != 0;
      }, "Whether the descriptor names an existing file (False without a descriptor).")
      .def_property_readonly("parent", [](const File &self) { return parent_object(self.core, self.get()->node.parent); },
                             "The project, tile or sample holding the file.")
      .def("__repr__", [](const File &self) { return handle_repr(self, "File"); });

  py::class_<PFAFile> pfa(m, "PFAFile", "A kind of data file that every node of a level carries.");
  bind_handle_basics(pfa);
  name_property(pfa, pm_PFAFileGetName, pm_PFAFileSetName, "The PFA file's name: the file type of its data files.");
  enum_property(pfa, "format", kFormat, pm_PFAFileGetType, pm_PFAFileSetType, "What its files hold (Format).");
  pfa.def("__repr__", [](const PFAFile &self) { return handle_repr(self, "PFAFile"); });

  py::class_<Process> process(m, "Process", "A process of a level with its arguments.");
  bind_handle_basics(process);
  name_property(process, pm_ProcessGetName, pm_ProcessSetName, "The process's name, unique in its level.");
  text_property(process, "title", pm_ProcessGetTitle, pm_ProcessSetTitle, "The title shown to the user, or None.");
  text_property(process, "params", pm_ProcessGetParams, pm_ProcessSetParams, "The parameter file, or None.");
  text_property(process, "labels", pm_ProcessGetLabels, pm_ProcessSetLabels, "The label file, or None.");
  text_property(process, "suffix", pm_ProcessGetSuffix, pm_ProcessSetSuffix, "The file suffix, or None.");
  enum_property(process, "output", kOutput, pm_ProcessGetOutput, pm_ProcessSetOutput,
                "Whether it requests or generates its output (Output).");
  process
      .def_property_readonly("arguments", [](const Process &self) {
        self.get();
        return List<ArgumentTraits>{{self.core, self.node, self.made, 0}};
      }, "The process's arguments.")
      .def_property_readonly("command_line", [](const Process &self) {
        kcli::Report report;
        py::object line = take_text(pm_ProcessCommandLine(self.get(), report.slot()));
        raise_if(report);
        return line;
      }, "The argument part of its command line (\"in $photo out $segments\"), or None when no\n"
         "argument contributes.")
      .def("ready", [](const Process &self, const py::object &node) {
        pm_Process *raw = self.get();
        const kcli::NodeRef place = node_ref(self.core, node);
        kcli::Report report;
        const int ready = pm_IsProcessReady(self.core->project, raw, place.node, report.slot());
        raise_if(report);
        return ready != 0;
      }, py::arg("node") = py::none(),
      "Whether the process may run at the node (the project, a tile or a sample; None is the\n"
      "project): every shown strict input exists on disk. kestrum.Error when that cannot be told.")
      .def("missing", [](const Process &self, const py::object &node) {
        pm_Process *raw = self.get();
        const kcli::NodeRef place = node_ref(self.core, node);
        const kcli::ReadinessRow row = kcli::readiness_row(self.core->project, raw, place);
        if (!row.error.empty()) throw from_lines(row.error);
        std::vector<py::str> lines;
        for (const std::string &line : row.missing) lines.push_back(decode(line));
        if (row.lacks_optional)
          for (const std::string &line : row.missing_one_of) lines.push_back(decode(line));
        return lines;
      }, py::arg("node") = py::none(),
      "Why the process is not ready at the node: each missing input and where it was looked for\n"
      "(\"photo at T3: $PROJECT/tiles/T3/photo.img is not on disk\"), as `kestrum ready` prints\n"
      "them; empty when it is ready.")
      .def("__repr__", [](const Process &self) { return handle_repr(self, "Process"); });

  py::class_<Argument> argument(m, "Argument", "An argument of a process.");
  bind_handle_basics(argument);
  name_property(argument, pm_ArgumentGetName, pm_ArgumentSetName, "The argument's name, unique in its process.");
  text_property(argument, "value", pm_ArgumentGetValue, pm_ArgumentSetValue, "The PFA file it stands for, or None.");
  enum_property(argument, "format", kFormat, pm_ArgumentGetType, pm_ArgumentSetType, "What its files hold (Format).");
  enum_property(argument, "mode", kMode, pm_ArgumentGetMode, pm_ArgumentSetMode, "Input or output (Mode).");
  enum_property(argument, "hide", kHide, pm_ArgumentGetHide, pm_ArgumentSetHide, "Whether hosts show it (Hide).");
  argument
      .def_property_readonly("process", [](const Argument &self) { return parent_object(self.core, self.get()->node.parent); },
                             "The process it belongs to.")
      .def("__repr__", [](const Argument &self) { return handle_repr(self, "Argument"); });

  py::class_<Level>(m, "Level", "A level of the processing model: 0 the project, 1 tiles, 2 samples.")
      .def_readonly("index", &Level::index, "0, 1 or 2.")
      .def_property_readonly("pfa_files", [](const Level &self) { return List<PFAFileTraits>{{self.core, nullptr, 0, self.index}}; },
                             "The level's PFA files.")
      .def_property_readonly("processes", [](const Level &self) { return List<ProcessTraits>{{self.core, nullptr, 0, self.index}}; },
                             "The level's processes.")
      .def("__repr__", [](const Level &self) { return "<kestrum.Level " + std::to_string(self.index) + ">"; });

  // ---- the project ----
  py::class_<Project> project(m, "Project",
                              "A kestrum project: tiles with samples, data files at every node, and the\n"
                              "processing model in three levels. Project() is a new empty project;\n"
                              "Project.load(path) reads a project file.");
  project.def(py::init([]() { return wrap_new(pm_ProjectCreate()); }))
      .def_static("load", [](const py::object &path) {
        const std::string name = encode_path(path);
        kcli::Report report;
        pm_Project *loaded = pm_ProjectLoad(name.c_str(), 0, report.slot());
        if (!loaded) {
          raise_if(report);
          throw std::bad_alloc();
        }
        return wrap_new(loaded);
      }, py::arg("path"), "Reads a project file; kestrum.Error with the library's chain when it does not load.")
      .def_static("from_dict", [](const py::object &document, const py::object &path) {
        // "$PROJECT/..." names become absolute: under the file's directory,
        // or without a file under the current one.
        std::string directory = encode_path(py::module_::import("os").attr("getcwd")());
        std::string filename;
        if (!path.is_none()) {
          filename = encode_path(path);
          directory = encode_path(py::module_::import("os.path").attr("dirname")(
              py::module_::import("os.path").attr("abspath")(py::bytes(filename))));
        }
        const py::object text = py::module_::import("json").attr("dumps")(document);
        const std::string json = encode(text, "document");
        kcli::ProjectPtr built = kcli::import_json(json, "the document", directory);
        if (!filename.empty()) {
          kcli::Report report;
          pm_ProjectSetFilename(built.get(), filename.c_str(), report.slot());
          raise_if(report);
        }
        return wrap_new(built.release());
      }, py::arg("document"), py::arg("path") = py::none(),
      "Builds a project from what to_dict() gives (the JSON of `kestrum export`). With a path, the\n"
      "project is bound to that file (not yet written) and \"$PROJECT/...\" names are made\n"
      "absolute under its directory; without, under the current directory.")
      .def("to_dict", [](const Project &self) { return export_dict(self.get()); },
           "The project as `kestrum export` writes it, as Python values.")
      .def("save", [](const Project &self) {
        kcli::Report report;
        pm_ProjectSave(self.get(), 0, report.slot());
        raise_if(report);
      }, "Writes the project to its own file; kestrum.Error when it has none or the write fails.")
      .def("save_as", [](const Project &self, const py::object &path) {
        const std::string name = encode_path(path);
        const bool was_dirty = pm_ProjectDirty(self.get()) != 0;
        kcli::Report report;
        pm_ProjectSaveAs(self.get(), name.c_str(), 0, report.slot());
        raise_if(report);
        // The copy is written, but the project's own file is as old as before.
        if (was_dirty) pm_ProjectChanged(self.get());
      }, py::arg("path"), "Writes the whole project into another file; the project keeps its own file.")
      .def_property_readonly("dirty", [](const Project &self) { return pm_ProjectDirty(self.get()) != 0; },
                             "Whether the project has changes its own file does not have.")
      .def_property_readonly("name", [](const Project &self) { return take_text(pm_ProjectGetName(self.get())); },
                             "The project's name (from its file name), or None.")
      .def_property(
          "filename", [](const Project &self) { return take_text(pm_ProjectGetFilename(self.get())); },
          [](const Project &self, const py::object &path) {
            const std::string name = encode_path(path);
            kcli::Report report;
            pm_ProjectSetFilename(self.get(), name.c_str(), report.slot());
            raise_if(report);
          },
          "The project's own file (absolute), or None.")
      .def_property(
          "type", [](const Project &self) { return enum_value(kProjectType, pm_ProjectGetType(self.get())); },
          [](const Project &self, const py::object &value) { pm_ProjectSetType(self.get(), enum_arg(value)); },
          "Single or double sampling (ProjectType).")
      .def_property(
          "use_dot_grid", [](const Project &self) { return enum_value(kSwitch, pm_ProjectGetUseDotGrid(self.get())); },
          [](const Project &self, const py::object &value) { pm_ProjectSetUseDotGrid(self.get(), enum_arg(value)); },
          "The dot-grid analysis switch (Switch).")
      .def_property(
          "use_poly_tool", [](const Project &self) { return enum_value(kSwitch, pm_ProjectGetUsePolyTool(self.get())); },
          [](const Project &self, const py::object &value) { pm_ProjectSetUsePolyTool(self.get(), enum_arg(value)); },
          "The polygon-tool analysis switch (Switch).")
      .def_property_readonly("tiles", [](const Project &self) { return List<TileTraits>{{self.core, nullptr, 0, 0}}; },
                             "The project's tiles.")
      .def_property_readonly("files", [](const Project &self) { return List<FileTraits>{{self.core, nullptr, 0, 0}}; },
                             "The project's own data files.")
      .def_property_readonly("levels", [](const Project &self) {
        return py::make_tuple(Level{self.core, 0}, Level{self.core, 1}, Level{self.core, 2});
      }, "The three levels of the processing model.")
      .def("__eq__", [](const Project &a, const py::object &b) {
        return py::isinstance<Project>(b) && b.cast<const Project &>().core == a.core;
      })
      .def("__hash__", [](const Project &self) { return std::hash<const void *>()(self.core.get()); })
      .def("__repr__", [](const Project &self) {
        py::object name = take_text(pm_ProjectGetName(self.get()));
        return "<kestrum.Project " + py::repr(name).cast<std::string>() + ">";
      });
}
