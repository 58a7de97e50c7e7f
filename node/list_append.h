// Constant-time appends to node lists.
//
// An append walks the whole list twice (the duplicate-name check and the
// search for the end), so filling a list of n nodes one by one costs n*n. A
// ListIndex remembers a list's last element, its length and, once the list
// is long enough for hashing to pay, its names; an append through it costs a
// hash lookup. Nodes that anything links at the list's end are picked up at
// the next use (only the new ones are walked). Every other change of a list
// or of a name in it must make the library drop its indexes, through
// lists_changed(); the operations of the node core do so.
//
// The rule for every index here: it gives what a walk of the list gives
// (node_find for a name, the first node of that name; the last element for
// the end) and links or unlinks a node exactly as the ordinary append and
// unlink do, reports included. With slow_paths() none is used: every append
// and take walks.
//
// Two users: ListAppender, held by one call that fills one list (loads, list
// rebuilds), and the few indexes pm_NodeAppend keeps per thread for the long
// lists it appended to last, so that a host (or the JSON import) appending
// node after node is linear too.
#ifndef KESTRUM_NODE_LIST_APPEND_H
#define KESTRUM_NODE_LIST_APPEND_H

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "include/kestrum.h"
#include "node/node.h"
#include "node/slow_paths.h"
#include "toolkit/name_hash.h"

namespace pm {

// Names come from files and JSON: the keyed hash keeps them from being
// chosen to collide.
using NameSet = std::unordered_set<std::string_view, tk::NameHash>;
using NameMap = std::unordered_map<std::string_view, pm_Node *, tk::NameHash>;

// Below this length a walk over a list is cheaper than hashing its names.
inline constexpr int kIndexFrom = 32;

// Says that a list may have changed other than by linking at its end (a
// node unlinked, renamed, reset, released or moved) when `node` has links:
// every index pm_NodeAppend keeps, in every thread, is dropped. A node with
// no links is in no list such an index covers (those have kIndexFrom or more
// nodes), so changing it drops nothing. A ListAppender is not dropped: the
// call that holds it changes its list only by linking at the end.
void list_changed(const pm_Node *node) noexcept;

// The end, length and names of the list whose first element is first().
class ListIndex {
 public:
  ListIndex() = default;
  ListIndex(const ListIndex &) = delete;
  ListIndex &operator=(const ListIndex &) = delete;

  // Starts over on the list that begins at `first` (null: an empty list);
  // walks it once.
  void reset(pm_Node *first) noexcept;
  // Forgets the list and releases the memory of the names.
  void release() noexcept;

  pm_Node *first() const noexcept { return first_; }
  // Whether a node of the list bears `name`.
  bool taken(const char *name) noexcept;
  // Links a detached node after the last element (as tk_ListAdd appends);
  // false, with nothing changed, when memory for its name runs out.
  bool link(pm_Node *node) noexcept;

 private:
  void catch_up() noexcept;
  void drop_names() noexcept;

  pm_Node *first_ = nullptr;
  pm_Node *last_ = nullptr;
  int count_ = 0;
  bool indexed_ = false;  // names_ holds every name of the list
  NameSet names_;
};

// The index pm_NodeAppend keeps for the list that begins at `first`, valid
// for this call; null when the list is short (a walk is cheaper), the fast
// paths are off, or memory runs out: the caller walks.
ListIndex *append_index(pm_Node *first) noexcept;

// Links the nodes one call appends to one list. `link` appends a node
// exactly as a successful ordinary append of the owner would (at the end,
// parent set to the owner, which may be null, nothing marked); a node it
// declines (no name, a name already in the list, links or a parent of its
// own, or no memory) is for the caller's ordinary append, which then links
// it or refuses it with its usual reports.
class ListAppender {
 public:
  ListAppender(pm_Node *owner, pm_Node *first) noexcept;

  // Links `node` after the last element of the list whose first element is
  // *head and stores the first element in *head; false when declined.
  bool link(pm_Node **head, pm_Node *node) noexcept;
  // link() for a node loaded from a child of one node of a file, `stored`
  // being the name of that child there. Children of one node have distinct
  // names in a file, so while the list began empty and every node linked
  // so far bore the name of its own child, a node whose name is `stored`
  // is linked without looking its name up. Any other node is link()'s, and
  // from then on every node is.
  bool link_stored(pm_Node **head, pm_Node *node, std::string_view stored) noexcept;

 private:
  pm_Node *owner_;
  ListIndex index_;
  bool distinct_;  // every name in the list is that of a distinct child in a file
};

// Links a new object at the end of the list held at *head through
// `appender`, or, when the appender declines it, through `ordinary` (the
// usual append with its reports), which says whether the object is linked.
// `stored`, when not empty, is the name of the file node the object was
// loaded from (see ListAppender::link_stored).
template <typename T, typename Ordinary>
bool link_or_append(ListAppender &appender, T **head, T *object, Ordinary ordinary,
                    std::string_view stored = {}) noexcept {
  pm_Node *first = as_node(*head);
  if (stored.empty() ? appender.link(&first, as_node(object)) : appender.link_stored(&first, as_node(object), stored)) {
    *head = as_kind<T>(first);
    return true;
  }
  return ordinary();
}

// The nodes of a list by name, for taking many of them out in a row; the
// first node of a name wins, as a walk from the start would find it.
class NameIndex {
 public:
  explicit NameIndex(pm_Node *first) noexcept;

  // Unlinks the node named `name` from the list whose first element is *head
  // (links and parent cleared, *head updated) and returns it; null when no
  // node of the list bears the name.
  pm_Node *take(pm_Node **head, const char *name) noexcept;
  // Whether a node of the list whose first element is `head` bears `name`
  // (and take() would find it).
  bool holds(pm_Node *head, const char *name) const noexcept;

 private:
  bool indexed_ = false;
  NameMap nodes_;
};

}  // namespace pm

#endif
