#include "node/list_append.h"

#include "node/node.h"

namespace pm {

namespace {

// Below this length a walk over the list is cheaper than hashing.
constexpr int kIndexFrom = 32;

}  // namespace

ListAppender::ListAppender(pm_Node *owner, pm_Node *first) noexcept : owner_(owner), first_(list_first(first)) {
  for (pm_Node *n = first_; n; n = n->next) {
    last_ = n;
    ++count_;
  }
}

bool ListAppender::taken(const char *name) noexcept {
  if (!indexed_ && count_ >= kIndexFrom) {
    try {
      for (pm_Node *n = first_; n; n = n->next)
        if (n->name) names_.insert(n->name);
      indexed_ = true;
    } catch (...) {
      names_.clear();  // out of memory: keep walking the list instead
    }
  }
  if (indexed_) return names_.count(name) != 0;
  return node_find(first_, name) != nullptr;
}

bool ListAppender::link(pm_Node **head, pm_Node *node) noexcept {
  if (!node || !node->name || taken(node->name)) return false;
  if (indexed_) {
    try {
      names_.insert(node->name);
    } catch (...) {
      return false;  // the ordinary append still works without the index
    }
  }
  // An ordinary append may have run in between; find the end again then.
  while (last_ && last_->next) last_ = last_->next;
  node->next = nullptr;
  node->prev = last_;
  if (last_) {
    last_->next = node;
  } else {
    first_ = node;
  }
  last_ = node;
  node->parent = owner_;
  ++count_;
  *head = first_;
  return true;
}

NameIndex::NameIndex(pm_Node *first) noexcept {
  try {
    for (pm_Node *n = list_first(first); n; n = n->next)
      if (n->name) nodes_.emplace(n->name, n);  // emplace keeps the first
    indexed_ = true;
  } catch (...) {
    nodes_.clear();
  }
}

pm_Node *NameIndex::take(pm_Node **head, const char *name) noexcept {
  pm_Node *found = nullptr;
  if (indexed_) {
    if (!name) return nullptr;
    auto it = nodes_.find(name);
    if (it == nodes_.end()) return nullptr;
    found = it->second;
    nodes_.erase(it);
  } else {
    found = node_find(*head, name);
    if (!found) return nullptr;
  }
  // Unlinked in place: tk_ListDelete would walk back to the list's start.
  if (found->prev) {
    found->prev->next = found->next;
  } else {
    *head = found->next;
  }
  if (found->next) found->next->prev = found->prev;
  found->next = nullptr;
  found->prev = nullptr;
  found->parent = nullptr;
  return found;
}

}  // namespace pm
