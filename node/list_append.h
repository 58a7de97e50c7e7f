// Constant-time appends for code that fills one node list with many nodes in
// a row (list loads, list rebuilds). An ordinary append walks the whole list
// twice per node (the duplicate-name check and the search for the end), which
// makes filling a list of n nodes cost n*n.
#ifndef KESTRUM_NODE_LIST_APPEND_H
#define KESTRUM_NODE_LIST_APPEND_H

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "include/kestrum.h"

namespace pm {

// Remembers the names in one list and its last element. `link` appends a
// node whose name is new exactly as a successful ordinary append would (at
// the end, parent set to the owner, nothing marked); a node it declines (no
// name, or a name already in the list) is for the caller's ordinary append,
// which then refuses it with its usual reports. The list must change only
// through this appender (or a declined ordinary append) while it is in use.
class ListAppender {
 public:
  ListAppender(pm_Node *owner, pm_Node *first) noexcept;

  // Links `node` (detached) after the last element and stores a new first
  // element in *head; false when the node is declined.
  bool link(pm_Node **head, pm_Node *node) noexcept;

 private:
  bool taken(const char *name) noexcept;

  pm_Node *owner_;
  pm_Node *first_ = nullptr;
  pm_Node *last_ = nullptr;
  int count_ = 0;
  bool indexed_ = false;  // names_ holds every name of the list
  std::unordered_set<std::string_view> names_;
};

// The nodes of a list by name, for taking many of them out in a row; the
// first node of a name wins, as a walk from the start would find it.
class NameIndex {
 public:
  explicit NameIndex(pm_Node *first) noexcept;

  // Unlinks the node named `name` from the list whose first element is *head
  // (links and parent cleared, *head updated) and returns it; null when no
  // node of the list bears the name.
  pm_Node *take(pm_Node **head, const char *name) noexcept;

 private:
  bool indexed_ = false;
  std::unordered_map<std::string_view, pm_Node *> nodes_;
};

}  // namespace pm

#endif
