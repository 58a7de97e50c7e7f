// The node core: operations that are the same for every kind of node.
//
// Every record begins with a pm_Node, so a pointer to any record converts to
// a pointer to its header (and back) with as_node / as_kind. The exported
// functions of each kind are thin wrappers over these operations.
#ifndef KESTRUM_NODE_NODE_H
#define KESTRUM_NODE_NODE_H

#include "include/kestrum.h"

namespace pm {

// The processing levels: the project, its tiles and their samples. Each
// indexes the level lists of pm_ProcFiles and pm_ProcessLists.
constexpr pm_Level kLevelProject = 0;
constexpr pm_Level kLevelTile = 1;
constexpr pm_Level kLevelSample = 2;
constexpr int kLevelCount = 3;

// The processes that run on whatever optional inputs exist: for readiness
// at least one of their optional inputs must be found. Names compare
// without regard to case. The command-line tool keeps its own copy, which
// its tests hold to this one.
constexpr const char *kSpecialProcessNames[] = {"finanal", "unires"};

// pm_NodeGetNewName tries the numbers 0 to this one and no more.
constexpr int kNewNameLastNumber = 9999;

template <typename T>
inline pm_Node *as_node(T *record) noexcept {
  return record ? &record->node : nullptr;
}
inline pm_Node *as_node(pm_Node *node) noexcept { return node; }
// The record whose header `node` is. Only for nodes known to be of kind T.
template <typename T>
inline T *as_kind(pm_Node *node) noexcept {
  return reinterpret_cast<T *>(node);
}
template <typename T>
inline T *next_of(T *record) noexcept {
  return record ? as_kind<T>(record->node.next) : nullptr;
}

// Allocates a zeroed record of `size` bytes with its change state {1, 0}
// and the given kind; null when memory runs out.
pm_Node *node_alloc(size_t size, pm_NodeKind kind) noexcept;
// Releases the change state and the record (not what the record owns).
void node_free(pm_Node *node) noexcept;
// Resets links, parent and name (without freeing) and the state to {1, 0}.
void node_reset(pm_Node *node) noexcept;

pm_Node *list_first(pm_Node *element) noexcept;

bool names_equal(const char *a, const char *b) noexcept;
char *node_name_copy(const pm_Node *node) noexcept;
tk_StringList *node_get_list(pm_Node *list, tk_ErrorReport **slot) noexcept;
pm_Node *node_find(pm_Node *list, const char *name) noexcept;
pm_Node *node_find_by_number(pm_Node *list, int number) noexcept;
int node_count(pm_Node *node) noexcept;
int node_position(pm_Node *node) noexcept;
// Sorts the list that `*head` holds, stores and returns the new first element.
pm_Node *node_sort(pm_Node **head) noexcept;
// pm_NodeAppend: the first element after appending; on refusal the list as it was.
pm_Node *node_append(pm_Node *list, pm_Node *node, tk_ErrorReport **slot) noexcept;
// pm_NodeSetName: 1 when renamed.
int node_set_name(pm_Node *node, const char *name, tk_ErrorReport **slot) noexcept;
// pm_NodeGetNewName: a new name "base<n>" no node of the list bears.
char *node_get_new_name(pm_Node *list, const char *base, tk_ErrorReport **slot) noexcept;
// Unlinks the node, clears its links and parent; returns what remains.
pm_Node *node_unlink(pm_Node *node) noexcept;
// The remove of tiles, samples and files: marks the parent changed, unlinks
// and, when the parent's list pointer held this node, points it at what
// remains. `parent_list` locates that pointer in the parent (may be null).
pm_Node *node_remove_from_parent(pm_Node *node, pm_Node **parent_list) noexcept;

// Change state.
void mark_changed(pm_Node *node) noexcept;   // {1, 0}
void mark_unchanged(pm_Node *node) noexcept; // {0, 0}
void mark_saved(pm_Node *node) noexcept;     // saved = 1
bool is_dirty(const pm_Node *node) noexcept;
bool state_dirty(const pm_ChangeState *state) noexcept;

// The files list pointer of a project, tile or sample (each owns one list of
// data files); null for a null node or a node of any other kind.
pm_File **files_of(pm_Node *owner) noexcept;
// The first data file of that list, null when the node holds none.
inline pm_File *files_at(pm_Node *owner) noexcept {
  pm_File **head = files_of(owner);
  return head ? *head : nullptr;
}

// Releases the node's name and leaves it null.
void clear_name(pm_Node *node) noexcept;

// Replaces an owned text with a copy of `text` (null allowed); false, with
// the old text kept, when memory for the copy runs out.
bool replace_text(char **field, const char *text) noexcept;

// Stores a new copy of `text` (null allowed) in an empty field; false when
// memory runs out, so that a creator fails rather than leave a null that
// would read as a value never given.
inline bool copy_text(char **field, const char *text) noexcept {
  *field = tk_StrDuplicate(text);
  return *field != nullptr || text == nullptr;
}

}  // namespace pm

#endif
