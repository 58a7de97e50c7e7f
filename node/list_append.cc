#include "node/list_append.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <new>

namespace pm {

namespace {

// Counts the changes that invalidate indexes. A thread's indexes are valid
// while the count is what it was when the thread last looked; relaxed order
// is enough, because a project passes between threads only through the
// host's own synchronisation, which orders the count with everything else.
std::atomic<uint64_t> g_changes{0};

// The indexes pm_NodeAppend keeps in one thread: a few, for the long lists
// appended to most recently, so that filling a tile's samples and files in
// between does not push out the project's tiles.
class AppendIndexes {
 public:
  static constexpr int kEntries = 8;

  AppendIndexes() noexcept;
  ~AppendIndexes();

  ListIndex *find(pm_Node *first) noexcept;
  void drop_all() noexcept;

 private:
  struct Entry {
    ListIndex index;
    uint64_t used = 0;
    bool live = false;
  };
  Entry entries_[kEntries];
  uint64_t seen_ = 0;
  uint64_t clock_ = 0;
};

// Trivially destructible, so they can be read after the indexes are gone
// (a host's static destructor may still free nodes at exit).
thread_local bool t_live = false;  // some index of this thread holds a list
thread_local bool t_gone = false;  // this thread's indexes were destroyed

// A thread's indexes hang from a key made when the library is loaded, not
// from a thread_local object: the C library registers the destructor of such
// an object at its first use, and aborts the process when that registration
// finds no memory. Here a thread that cannot have indexes walks instead.
void destroy_indexes(void *indexes) { delete static_cast<AppendIndexes *>(indexes); }

struct IndexKey {
  pthread_key_t key{};
  bool made = pthread_key_create(&key, destroy_indexes) == 0;
};
const IndexKey g_key;

// This thread's indexes; null when there can be none (out of memory, no
// key, or the thread is ending).
AppendIndexes *indexes() noexcept {
  if (!g_key.made || t_gone) return nullptr;
  auto *mine = static_cast<AppendIndexes *>(pthread_getspecific(g_key.key));
  if (mine) return mine;
  mine = new (std::nothrow) AppendIndexes;
  if (mine && pthread_setspecific(g_key.key, mine) != 0) {
    delete mine;
    mine = nullptr;
  }
  return mine;
}

AppendIndexes::AppendIndexes() noexcept : seen_(g_changes.load(std::memory_order_relaxed)) {}

AppendIndexes::~AppendIndexes() {
  t_live = false;
  t_gone = true;
}

void AppendIndexes::drop_all() noexcept {
  for (Entry &e : entries_) {
    if (e.live) e.index.release();
    e.live = false;
  }
  t_live = false;
}

ListIndex *AppendIndexes::find(pm_Node *first) noexcept {
  uint64_t now = g_changes.load(std::memory_order_relaxed);
  if (now != seen_) {
    drop_all();
    seen_ = now;
  }
  Entry *victim = &entries_[0];
  for (Entry &e : entries_) {
    if (e.live && e.index.first() == first) {
      e.used = ++clock_;
      return &e.index;
    }
    if (!e.live || (victim->live && e.used < victim->used)) victim = &e;
  }
  // Short lists are walked: an index would cost more than it saves.
  int length = 0;
  for (pm_Node *n = first; n && length < kIndexFrom; n = n->next) ++length;
  if (length < kIndexFrom) return nullptr;
  victim->index.reset(first);
  victim->live = true;
  victim->used = ++clock_;
  t_live = true;
  return &victim->index;
}

}  // namespace

void list_changed(const pm_Node *node) noexcept {
  if (!node || (!node->next && !node->prev)) return;
  g_changes.fetch_add(1, std::memory_order_relaxed);
  // This thread's indexes go at once, so that their memory does not outlive
  // the lists; other threads drop theirs when they next look.
  if (t_live && !t_gone) {
    if (AppendIndexes *mine = indexes()) mine->drop_all();
  }
}

ListIndex *append_index(pm_Node *first) noexcept {
  if (!first || t_gone || slow_paths()) return nullptr;
  AppendIndexes *mine = indexes();
  return mine ? mine->find(first) : nullptr;
}

void ListIndex::reset(pm_Node *first) noexcept {
  drop_names();
  first_ = first;
  last_ = first;
  count_ = first ? 1 : 0;
  catch_up();
}

void ListIndex::release() noexcept {
  NameSet().swap(names_);
  indexed_ = false;
  first_ = nullptr;
  last_ = nullptr;
  count_ = 0;
}

void ListIndex::drop_names() noexcept {
  names_.clear();
  indexed_ = false;
}

void ListIndex::catch_up() noexcept {
  while (last_ && last_->next) {
    last_ = last_->next;
    ++count_;
    if (indexed_ && last_->name) {
      try {
        names_.insert(last_->name);
      } catch (...) {
        drop_names();  // out of memory: walk the list instead
      }
    }
  }
}

bool ListIndex::taken(const char *name) noexcept {
  catch_up();
  if (!indexed_ && count_ >= kIndexFrom) {
    try {
      names_.reserve(static_cast<size_t>(count_));
      for (pm_Node *n = first_; n; n = n->next)
        if (n->name) names_.insert(n->name);
      indexed_ = true;
    } catch (...) {
      drop_names();
    }
  }
  if (indexed_) return name && names_.count(name) != 0;
  return node_find(first_, name) != nullptr;
}

bool ListIndex::link(pm_Node *node) noexcept {
  catch_up();
  if (indexed_ && node->name) {
    try {
      names_.insert(node->name);
    } catch (...) {
      return false;
    }
  }
  node->next = nullptr;
  node->prev = last_;
  if (last_) {
    last_->next = node;
  } else {
    first_ = node;
  }
  last_ = node;
  ++count_;
  return true;
}

ListAppender::ListAppender(pm_Node *owner, pm_Node *first) noexcept : owner_(owner), distinct_(first == nullptr) {
  index_.reset(list_first(first));
}

bool ListAppender::link(pm_Node **head, pm_Node *node) noexcept {
  distinct_ = false;
  if (slow_paths() || !node || !node->name || node->next || node->prev || node->parent) return false;
  pm_Node *first = list_first(*head);
  if (index_.first() != first) index_.reset(first);
  if (index_.taken(node->name) || !index_.link(node)) return false;
  node->parent = owner_;
  *head = index_.first();
  return true;
}

bool ListAppender::link_stored(pm_Node **head, pm_Node *node, std::string_view stored) noexcept {
  // The list must still be the one this appender filled (its first element
  // is the one it linked first), the node detached and named as its child.
  if (!distinct_ || slow_paths() || !node || !node->name || node->next || node->prev || node->parent ||
      *head != index_.first() || std::string_view(node->name) != stored)
    return link(head, node);
  if (!index_.link(node)) return link(head, node);
  node->parent = owner_;
  *head = index_.first();
  return true;
}

NameIndex::NameIndex(pm_Node *first) noexcept {
  if (slow_paths()) return;
  try {
    for (pm_Node *n = list_first(first); n; n = n->next)
      if (n->name) nodes_.emplace(n->name, n);  // emplace keeps the first
    indexed_ = true;
  } catch (...) {
    nodes_.clear();
  }
}

bool NameIndex::holds(pm_Node *head, const char *name) const noexcept {
  if (!name) return false;
  return indexed_ ? nodes_.count(name) != 0 : node_find(head, name) != nullptr;
}

pm_Node *NameIndex::take(pm_Node **head, const char *name) noexcept {
  if (!name) return nullptr;
  pm_Node *found = nullptr;
  if (indexed_) {
    auto it = nodes_.find(name);
    if (it == nodes_.end()) return nullptr;
    found = it->second;
    nodes_.erase(it);
  } else {
    found = node_find(*head, name);
    if (!found) return nullptr;
  }
  list_changed(found);
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
