// Reading, writing and deleting single nodes of a project file.
//
// A node is addressed by its parent path and its own name; the root is ":"
// and a child's path is its parent's path, ":" and its name. Deleting and
// loading list only the children of the node they work on; loading still
// keeps only direct children (is_direct_child) of whatever a listing gives.
//
// Nodes known by number (Listed::node) are read and written by number, and
// a node's children are walked by number, beside the same steps by path.
// The rule for each such pair: by number gives the same record, the same
// node, the same children in the same order as by path, and a step by
// number that fails changes nothing, so that the step by path after it
// gives the usual answer and reports. With slow_paths() every step goes by
// path.
#ifndef KESTRUM_PERSIST_NODE_IO_H
#define KESTRUM_PERSIST_NODE_IO_H

#include <string>
#include <string_view>

#include "include/kestrum.h"
#include "node/report.h"
#include "node/slow_paths.h"

namespace pm {

// A node a listing found: its path, for reports and reads by path, and its
// number in the file when the listing knows it (-1 otherwise), which lets
// a read skip resolving the path. A walk over the children of a node
// (for_each_child) gives each child its number, the name it has in the file
// and its parent's Listed instead of a path: its path, which a load needs
// only for a report or when a read by number fails, is built on first use
// from the parent's, as a listing of the children would give it.
class Listed {
 public:
  Listed(const char *text, int64_t number = -1) noexcept : node(number), text_(text) {}  // NOLINT: a path is a Listed
  Listed(const Listed &parent, int64_t number, std::string_view stored_name) noexcept
      : node(number), name(stored_name), child(true), parent_(&parent) {}
  Listed(const Listed &) = delete;
  Listed &operator=(const Listed &) = delete;

  // The path: ":A:B" for a child found by a walk (":A" under the root);
  // null only when memory for it runs out (or none was given).
  const char *path() const noexcept;
  // The path for a report: "(null)" when there is none.
  const char *shown() const noexcept {
    const char *text = path();
    return text ? text : "(null)";
  }

  const int64_t node;
  const std::string_view name;  // a walked child's name in the file; empty otherwise
  const bool child = false;     // a direct child of `parent_`, found by number

 private:
  const char *text_ = nullptr;
  const Listed *parent_ = nullptr;
  mutable std::string built_;
};

// pm_RewindAndWrite: writes `record` as node `name` under `parent`. 1 on
// success, 0 with a report.
// `written`, when given, receives the new node's number (-1 when it is not
// known).
int rewind_and_write(tk_TreeFile *file, const Listed &parent, const char *name,
                     const char *design_name, const void *record, tk_Design *design,
                     tk_ErrorReport **slot, int64_t *written = nullptr) noexcept;
// pm_SeekAndRead: reads the node at `listed` (a path from a listing) into
// `record` when it is a direct child of `parent`. 1 when read; 0 when it is
// not a direct child (slot empty, record untouched) or on failure (report).
// With `cursor` the record is read by its head (tk_TreeNodeReadHead), its
// first record list left in the file for the cursor.
int seek_and_read(tk_TreeFile *file, const Listed &parent, const Listed &listed, void *record,
                  tk_Design *design, tk_ErrorReport **slot, tk_ListCursor *cursor = nullptr) noexcept;
// pm_NodeDelete: deletes the node at `path` and everything beneath it.
int node_delete(tk_TreeFile *file, const char *path, tk_ErrorReport **slot) noexcept;

// Whether a node whose listed parent part (the path up to and including the
// ':' before its name, or ":" for a child of the root) is `parent_part` is a
// direct child of the node that `expected` addresses: a path from a listing
// (":T"), the root ":", or a bare top-level name ("Root Files"). Exact and
// case-sensitive; a null expected parent never matches.
inline bool is_direct_child(const char *expected, std::string_view parent) noexcept {
  if (!expected || parent.empty()) return false;
  // ":T:" addresses the node ":T"; the root ":" stays as it is.
  if (parent.size() > 1 && parent.back() == ':') parent.remove_suffix(1);
  // A bare top-level name ("Root Files") stands for ":Root Files".
  if (expected[0] != ':') {
    if (parent.front() != ':') return false;
    parent.remove_prefix(1);
  }
  return parent == std::string_view(expected);
}

// The paths of the nodes of `design_name` beneath `path` (any depth), in the
// order written. Null with a report on failure; the caller frees the list.
// `flags`: 0 for every depth, TK_LIST_CHILDREN for the children only.
tk_StringList *list_nodes(tk_TreeFile *file, const char *path, const char *design_name, int flags,
                          tk_ErrorReport **slot) noexcept;

// The read step every loader shares: reads the listed node into `record`
// (a ReadBuffer's). 1 when read; 0 when the node is not a
// direct child of `parent` (nothing reported) or when reading failed (r then
// holds `failure` over the cause).
int read_listed(tk_TreeFile *file, const Listed &parent, const Listed &listed, void *record,
                tk_Design *design, Reporter &r, const char *failure, tk_ListCursor *cursor = nullptr) noexcept;

// Lists the nodes of `design_name` under `parent` and hands each listed path
// to `each` in order until it returns false: the listing steps every list
// load and every bulk delete share. With `seek_first` the file is positioned
// on its root before listing. Returns whether every path was handled; a
// failure of the seek or the listing leaves "Cannot seek ZQDX_ROOT_NODE for
// read" or `listing_failure` in r. The listed paths are freed on every path.
template <typename Each>
int for_each_listed(tk_TreeFile *file, const char *parent, const char *design_name, bool seek_first, int flags,
                    Reporter &r, const char *listing_failure, Each each) noexcept {
  if (seek_first) {
    InnerSlot inner;
    tk_TreeEntrySeek(file, TK_SEEK_ROOT, nullptr, &inner);
    if (inner) {
      r.push(inner.take(), "Cannot seek ZQDX_ROOT_NODE for read");
      return 0;
    }
  }
  InnerSlot inner;
  tk_StringList *listed = list_nodes(file, parent, design_name, flags, &inner);
  if (!listed) {
    r.push(inner.take(), "%s", listing_failure);
    return 0;
  }
  bool handled = true;
  for (int i = 0; handled && i < listed->count; ++i) {
    const char *path = listed->strings ? listed->strings[i] : nullptr;
    handled = each(path ? path : "");
  }
  tk_StringListDelete(listed, nullptr);
  return handled ? 1 : 0;
}

// Saves every element of a list in order with `save` (element, slot), which
// returns 1 on success; stops at the first failure with `failure` over the
// element's report. An empty list saves nothing and succeeds.
template <typename T, typename Save>
int save_each(T *list, Reporter &r, const char *failure, Save save) noexcept {
  for (T *element = static_cast<T *>(tk_ListStart(list)); element;
       element = reinterpret_cast<T *>(element->node.next)) {
    InnerSlot inner;
    if (!save(element, &inner) || inner) {
      r.push(inner.take(), "%s", failure);
      return 0;
    }
  }
  return 1;
}

// A heap text freed when the scope ends.
struct OwnedText {
  char *text = nullptr;
  OwnedText() = default;
  OwnedText(const OwnedText &) = delete;
  OwnedText &operator=(const OwnedText &) = delete;
  ~OwnedText() { tk_HeapFree(text); }
};

// Frees a detached object of any kind the loaders build.
inline void destroy_detached(pm_Tile *object) noexcept { pm_TileDestroy(object); }
inline void destroy_detached(pm_Sample *object) noexcept { pm_SampleDestroy(object); }
inline void destroy_detached(pm_File *object) noexcept { pm_FileDestroy(object); }
inline void destroy_detached(pm_PFAFile *object) noexcept { pm_PFAFileDestroy(object); }
inline void destroy_detached(pm_Process *object) noexcept { pm_ProcessDestroy(object); }
inline void destroy_detached(pm_Argument *object) noexcept { pm_ArgumentDestroy(object); }

// Hands a loaded object to `append` (object, slot), which returns whether
// the object is now linked into its list. When it is not, whether the append
// refused it with a report or silently ignored it (a nameless object), the
// object is destroyed and r holds `failure` (formatted with the object's
// name, which it may leave out) over the append's report. An object that is
// linked belongs to its list whatever the append reported.
template <typename T, typename Append>
bool append_loaded(T *object, Reporter &r, NameText failure, Append append) noexcept {
  InnerSlot inner;
  bool linked = append(object, &inner);
  if (linked && !inner) return true;
  r.push_name(inner.take(), failure, object->node.name);
  if (!linked) destroy_detached(object);
  return false;
}

// Hands each child of `parent` holding a `design_name` record to `each`
// (Listed) in written order until it returns false, by number and with the
// name it has in the file, so that no path is built or resolved per node
// (see Listed). The file is positioned on its root first. When `parent`
// names no node, this is the listing by path, with its reports.
template <typename Each>
int for_each_child(tk_TreeFile *file, const Listed &parent, const char *design_name, Reporter &r,
                   const char *listing_failure, Each each) noexcept {
  int64_t at = slow_paths() ? -1 : parent.node >= 0 ? parent.node : tk_TreeNodeFind(file, parent.path());
  // A parent found by number has its path built only should a report need
  // it; any other needs its path for the listing.
  if (at < 0 || (!parent.child && !parent.path())) {
    return for_each_listed(file, parent.path(), design_name, true, TK_LIST_CHILDREN, r, listing_failure,
                           [&](const char *path) { return each(Listed(path)); });
  }
  {
    InnerSlot inner;
    tk_TreeEntrySeek(file, TK_SEEK_ROOT, nullptr, &inner);
    if (inner) {
      r.push(inner.take(), "Cannot seek ZQDX_ROOT_NODE for read");
      return 0;
    }
  }
  for (int64_t child = tk_TreeNodeFirstChild(file, at, design_name); child >= 0;
       child = tk_TreeNodeNextSibling(file, child, design_name)) {
    size_t length = 0;
    const char *name = tk_TreeNodeName(file, child, &length);
    if (!each(Listed(parent, child, std::string_view(name, length)))) return 0;
  }
  return 1;
}

// The list loads: loads each node of `design_name` under `parent` with
// `load` (Listed, slot), skips a node that is not a direct child (load gives
// null without a report) and hands every other object to append_loaded with
// `append` (object, the node's name in the file or empty, slot) and
// `append_failure`. Stops at the first failure; a failed load leaves
// `load_failure` (formatted with the listed path) over the loader's report.
template <typename Load, typename Append>
int load_listed(tk_TreeFile *file, const Listed &parent, const char *design_name, Reporter &r,
                const char *listing_failure, NameText load_failure, NameText append_failure, Load load,
                Append append) noexcept {
  return for_each_child(file, parent, design_name, r, listing_failure, [&](const Listed &listed) {
    InnerSlot inner;
    auto *object = load(listed, &inner);
    if (inner) {
      destroy_detached(object);
      r.push_name(inner.take(), load_failure, listed.shown());
      return false;
    }
    return !object || append_loaded(object, r, append_failure, [&](auto *loaded, tk_ErrorReport **slot) {
             return append(loaded, listed.name, slot);
           });
  });
}

}  // namespace pm

#endif
