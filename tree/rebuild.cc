// Bulk rebuilds of the project tree: a node's data files from a list of
// process-file associations, a project's tiles and a tile's samples from
// names, and the reverse lookup from a data file to its association.
//
// A rebuild keeps every record whose name survives (with all it owns and its
// change state: moving a node marks nothing), creates the missing ones and
// destroys the rest, which marks their owner changed. Every new record is
// made before anything moves, so a rebuild that runs out of memory leaves the
// list as it was. Only a name given twice stops a rebuild part way: nothing
// is lost or leaked then either, the record that could not be placed is
// released if it was new, and every former record not yet reached is put
// back after the ones already placed.

#include <new>
#include <vector>

#include "node/lifecycle.h"
#include "node/list_append.h"
#include "node/node.h"
#include "node/report.h"

namespace {

template <typename T>
T *first_of(T *list) noexcept {
  return pm::as_kind<T>(pm::list_first(pm::as_node(list)));
}

// Takes the element of `*list` named `name` out of that list through
// `index` (links and parent cleared, nothing marked) and returns it; null
// when none bears it.
template <typename T>
T *take_named(pm::NameIndex &index, T **list, const char *name) noexcept {
  pm_Node *head = pm::as_node(*list);
  pm_Node *found = index.take(&head, name);
  *list = pm::as_kind<T>(head);
  return pm::as_kind<T>(found);
}

// The new nodes of a rebuild, made before anything moves, so that running
// out of memory leaves the owner's list as it was. For each name the former
// node that bears it is kept (the first name that a former node bears takes
// it); every other name gets a node from `create(name, slot)` (null with a
// report when it cannot be made). The result holds the new node for each
// name and null where a former node is kept; false, with every new node
// released and the report left, when one could not be made.
template <typename Child, typename Create>
bool make_new_nodes(pm::Reporter &r, const std::vector<const char *> &names, const pm::NameIndex &former_names,
                    Child *former, std::vector<Child *> &made, Child *(*destroy)(Child *), Create create) noexcept {
  bool whole = true;
  try {
    made.assign(names.size(), nullptr);
    pm::NameSet given;
    given.reserve(names.size());
    for (size_t i = 0; i < names.size() && whole; ++i) {
      const bool keep = given.insert(names[i]).second && former_names.holds(pm::as_node(former), names[i]);
      if (!keep) whole = (made[i] = create(names[i])) != nullptr;
    }
  } catch (const std::bad_alloc &) {
    r.push(nullptr, "Out of memory planning the list");
    whole = false;
  }
  if (!whole) {
    for (Child *child : made) destroy(child);
    made.clear();
  }
  return whole;
}

// The names of a rebuild, from `count` entries up to the first null one; an
// empty list when memory runs out (with a report).
std::vector<const char *> given_names(pm::Reporter &r, int count, const char *const *names) noexcept {
  std::vector<const char *> out;
  try {
    for (int i = 0; names && i < count && names[i]; ++i) out.push_back(names[i]);
  } catch (const std::bad_alloc &) {
    r.push(nullptr, "Out of memory reading the names");
    out.clear();
  }
  return out;
}

// What differs between rebuilding a project's tiles and a tile's samples.
template <typename Owner, typename Child>
struct ChildKind {
  Child *Owner::*list;
  Child *(*create)(const char *name);
  void (*append)(Owner *owner, Child *child, tk_ErrorReport **slot);
  Child *(*destroy)(Child *child);
  Child *(*destroy_list)(Child *list);
  pm::NameText set_files_failed;  // names the new node
  // Leaves the report for a refused append of `child` over `inner`.
  void (*append_failed)(pm::Reporter &r, tk_ErrorReport *inner, Owner *owner, Child *child);
};

// Puts every former child that the rebuild did not reach back at the end of
// the owner's list, in their former order. Their names are distinct from
// those already placed (each placed name was either taken out of the former
// list or absent from it), so the append cannot be refused; should it be,
// the child is released rather than leaked.
template <typename Owner, typename Child>
void restore_rest(Owner *owner, Child *rest, const ChildKind<Owner, Child> &kind) noexcept {
  rest = first_of(rest);
  while (rest) {
    Child *child = rest;
    rest = pm::as_kind<Child>(pm::node_unlink(pm::as_node(child)));
    pm::InnerSlot ignored;
    kind.append(owner, child, &ignored);
    if (ignored) kind.destroy(child);
  }
}

// Makes the owner's list exactly the named children, in the order of the
// names; new children get one data file per entry of `associations`. Every
// new child is made first: when one cannot be, nothing has moved. Only a
// name given twice is refused while placing, and then the children placed
// before it stay first, followed by the former ones not reached.
template <typename Owner, typename Child>
void rebuild_children(pm::Reporter &r, Owner *owner, int count, const char *const *given,
                      pm_PFAFile *associations, const ChildKind<Owner, Child> &kind) noexcept {
  std::vector<const char *> names = given_names(r, count, given);
  if (r.failed()) return;
  Child *former = first_of(owner->*kind.list);
  // Indexes by name keep a rebuild of n children linear; a name the
  // appender declines goes through the ordinary append and its reports.
  pm::NameIndex former_names(pm::as_node(former));
  std::vector<Child *> made;
  bool whole = make_new_nodes(r, names, former_names, former, made, kind.destroy, [&](const char *name) -> Child * {
    Child *child = kind.create(name);
    if (!child) {
      r.push(nullptr, "Out of memory creating %s", name);
      return nullptr;
    }
    pm::InnerSlot inner;
    pm_SetFileListFromPFA(associations, child, &inner);
    if (inner) {
      r.push_name(inner.take(), kind.set_files_failed, name);
      return kind.destroy(child);
    }
    return child;
  });
  if (!whole) return;

  // The former children keep their parent until they are placed again, so
  // destroying the ones left over marks the owner changed.
  owner->*kind.list = nullptr;
  pm::ListAppender placed(pm::as_node(owner), nullptr);
  for (size_t i = 0; i < names.size(); ++i) {
    const bool created = made[i] != nullptr;
    Child *child = created ? made[i] : take_named(former_names, &former, names[i]);
    made[i] = nullptr;
    pm::InnerSlot inner;
    pm::link_or_append(placed, &(owner->*kind.list), child, [&] {
      kind.append(owner, child, &inner);
      return true;
    });
    if (inner) {
      kind.append_failed(r, inner.take(), owner, child);
      if (created) {
        kind.destroy(child);
      } else {
        former = static_cast<Child *>(tk_ListAdd(former, TK_LIST_APPEND, child));
      }
      break;
    }
  }
  for (Child *child : made) kind.destroy(child);  // the new ones a refusal left unplaced
  if (r.failed()) {
    restore_rest(owner, former, kind);
  } else {
    kind.destroy_list(former);
  }
}

const ChildKind<pm_Project, pm_Tile> kTiles = {
    &pm_Project::tiles,
    pm_TileCreate,
    pm_ProjectAppendTile,
    pm_TileDestroy,
    pm_TileDestroyList,
    "Cannot set files for tile %s",
    [](pm::Reporter &r, tk_ErrorReport *inner, pm_Project *, pm_Tile *tile) {
      r.push(inner, "Cannot append tile %s to project", pm::text_or_null(tile->node.name));
    },
};

const ChildKind<pm_Tile, pm_Sample> kSamples = {
    &pm_Tile::samples,
    pm_SampleCreate,
    pm_TileAppendSample,
    pm_SampleDestroy,
    pm_SampleDestroyList,
    "Cannot set files for sample %s",
    [](pm::Reporter &r, tk_ErrorReport *inner, pm_Tile *tile, pm_Sample *sample) {
      r.push(inner, "Cannot append sample %s to tile %s", pm::text_or_null(sample->node.name),
             pm::text_or_null(tile->node.name));
    },
};

}  // namespace

extern "C" {

// A nameless association names no data file and is passed over: a file
// without a type could not be told apart from any other, and no list would
// accept it.
PM_API void pm_SetFileListFromPFA(pm_PFAFile *pfa_list, void *node, tk_ErrorReport **slot) {
  pm::Reporter r("pm_SetFileListFromPFA", slot);
  auto *owner = static_cast<pm_Node *>(node);
  pm_File **head = pm::files_of(owner);
  if (!head) return;
  std::vector<const char *> names;
  try {
    for (pm_PFAFile *pfa = first_of(pfa_list); pfa; pfa = pm::next_of(pfa))
      if (pfa->node.name) names.push_back(pfa->node.name);
  } catch (const std::bad_alloc &) {
    r.push(nullptr, "Out of memory reading the associations");
    return;
  }
  pm_File *former = first_of(*head);
  // Indexes by name keep a node with many associations linear; a file the
  // appender declines takes the ordinary append and its reports.
  pm::NameIndex former_names(pm::as_node(former));
  std::vector<pm_File *> made;
  bool whole = make_new_nodes(r, names, former_names, former, made, pm_FileDestroy, [&](const char *name) {
    pm_File *file = pm_FileCreate(name, nullptr, 0, nullptr, nullptr);
    if (!file) r.push(nullptr, "Out of memory creating file %s", name);
    return file;
  });
  if (!whole) return;
  *head = nullptr;
  pm::ListAppender placed(owner, nullptr);
  for (size_t i = 0; i < names.size(); ++i) {
    pm_File *file = made[i] ? made[i] : take_named(former_names, &former, names[i]);
    made[i] = nullptr;
    pm::InnerSlot inner;
    if (!pm::link_or_append(placed, head, file, [&] { return pm_ParentAppendFile(owner, file, &inner) == 0; })) {
      pm_FileDestroy(file);
      r.push(inner.take(), "Error adding file to parent");
      break;
    }
  }
  for (pm_File *file : made) pm_FileDestroy(file);
  pm_FileDestroyList(former);
}

PM_API pm_PFAFile *pm_PFAFileFindFromFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_PFAFileFindFromFile", slot);
  const char *name = file ? file->node.name : nullptr;
  pm::InnerSlot inner;
  pm_NodeKind level = pm_FileGetParentType(file, &inner);
  if (inner) {
    r.push(inner.take(), "Cannot get type of parent node for file \"%s\"", pm::text_or_null(name));
    return nullptr;
  }
  pm_PFAFile *list = pm_PFAFileListGetByType(project, level);
  if (!list) {
    r.push(nullptr, "Cannot find correct PFA file list for this level");
    return nullptr;
  }
  pm_PFAFile *pfa = pm_PFAFileFind(list, name);
  if (!pfa) r.push(nullptr, "Cannot find corresponding PFA File for \"%s\"", pm::text_or_null(name));
  return pfa;
}

// A null project does nothing.
PM_API void pm_ProjectSetTileList(pm_Project *project, int count, const char *const *names,
                                  tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProjectSetTileList", slot);
  if (!project) return;
  rebuild_children(r, project, count, names, pm_PFAFileListGetByType(project, 1), kTiles);
}

// A null tile does nothing. A tile that belongs to no project has no
// associations to follow: its new samples start without data files.
PM_API void pm_TileSetSampleList(pm_Tile *tile, int count, const char *const *names, tk_ErrorReport **slot) {
  pm::Reporter r("pm_TileSetSampleList", slot);
  if (!tile) return;
  pm_Node *owner = tile->node.parent;
  pm_Project *project = owner && owner->kind == PM_KIND_PROJECT ? pm::as_kind<pm_Project>(owner) : nullptr;
  rebuild_children(r, tile, count, names, pm_PFAFileListGetByType(project, 2), kSamples);
}

}  // extern "C"
