// The shared node operations: lookup, numbering, sorting, unique append and
// rename, new names, removal and the change-state marks.
#include <cstring>
#include <new>

#include "node/list_append.h"
#include "node/node.h"
#include "node/report.h"

namespace pm {

// The change state lives in the node's own block, right after the record:
// one allocation per node instead of two, and a walk over the states of a
// large project (pm_ProjectDirty, a save) touches memory it is reading
// anyway.
pm_Node *node_alloc(size_t size, pm_NodeKind kind) noexcept {
  constexpr size_t align = alignof(pm_ChangeState);
  size_t at = (size + align - 1) / align * align;
  auto *block = static_cast<unsigned char *>(tk_HeapMalloc(at + sizeof(pm_ChangeState)));
  if (!block) return nullptr;
  auto *node = reinterpret_cast<pm_Node *>(block);
  node->kind = kind;
  node->state = reinterpret_cast<pm_ChangeState *>(block + at);
  node_reset(node);
  return node;
}

void node_free(pm_Node *node) noexcept {
  list_changed(node);
  tk_HeapFree(node);  // the state goes with it
}

void node_reset(pm_Node *node) noexcept {
  if (!node) return;
  list_changed(node);
  node->next = nullptr;
  node->prev = nullptr;
  node->parent = nullptr;
  node->name = nullptr;
  if (node->state) {
    node->state->changed = 1;
    node->state->saved = 0;
  }
}

// What tk_ListStart and tk_TextCompare answer, without a call into the
// toolkit for every node of a lookup: readiness looks a file up per sample.
pm_Node *list_first(pm_Node *element) noexcept {
  if (!element) return nullptr;
  while (element->prev) element = element->prev;
  return element;
}

bool names_equal(const char *a, const char *b) noexcept {
  if (a == b) return true;
  if (!a || !b) return false;
  return std::strcmp(a, b) == 0;
}

char *node_name_copy(const pm_Node *node) noexcept { return node ? tk_StrDuplicate(node->name) : nullptr; }

tk_StringList *node_get_list(pm_Node *list, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_NodeGetList", slot);
  tk_StringList *names = nullptr;
  for (pm_Node *n = list_first(list); n; n = n->next) {
    InnerSlot inner;
    names = tk_StringListAppend(names, n->name, &inner);
    if (inner) {
      r.push(inner.take(), "Error copying node name");
      break;
    }
  }
  return names;
}

pm_Node *node_find(pm_Node *list, const char *name) noexcept {
  for (pm_Node *n = list_first(list); n; n = n->next)
    if (names_equal(n->name, name)) return n;
  return nullptr;
}

pm_Node *node_find_by_number(pm_Node *list, int number) noexcept {
  if (!list || number <= 0) return nullptr;
  pm_Node *n = list_first(list);
  for (int i = 1; n && i < number; ++i) n = n->next;
  return n;
}

int node_count(pm_Node *node) noexcept { return node ? tk_ListCount(list_first(node)) : 0; }

int node_position(pm_Node *node) noexcept {
  if (!node) return 0;
  return tk_ListCount(list_first(node)) - tk_ListCount(node) + 1;
}

namespace {

bool sorts_before(const pm_Node *a, const pm_Node *b) noexcept { return tk_TextCompare(a->name, b->name) < 0; }

// Merges the sorted chains `a` and `b` (threaded through `next` only) into
// one; on equal names `a`, the earlier run, goes first, which keeps the sort
// stable.
pm_Node *merge_chains(pm_Node *a, pm_Node *b) noexcept {
  pm_Node *merged = nullptr;
  pm_Node **tail = &merged;
  while (a && b) {
    pm_Node **from = sorts_before(b, a) ? &b : &a;
    *tail = *from;
    tail = &(*from)->next;
    *from = (*from)->next;
  }
  *tail = a ? a : b;
  return merged;
}

// Cuts the run that begins at *rest off the chain and moves *rest past it:
// the longest stretch in order, or one that strictly descends, turned round
// (no two of its names are equal, so turning it keeps the sort stable).
pm_Node *take_run(pm_Node **rest) noexcept {
  pm_Node *run = *rest;
  pm_Node *next = run->next;
  if (next && sorts_before(next, run)) {
    run->next = nullptr;
    while (next && sorts_before(next, run)) {
      pm_Node *after = next->next;
      next->next = run;
      run = next;
      next = after;
    }
    *rest = next;
    return run;
  }
  pm_Node *end = run;
  while (end->next && !sorts_before(end->next, end)) end = end->next;
  *rest = end->next;
  end->next = nullptr;
  return run;
}

// A stable merge sort of the chain that starts at `first`, following `next`
// only, with no memory but a fixed array: the list is cut into the runs it
// already holds, and slot k holds the merge of 2^k of them (the last slot
// possibly more), so that each node takes part in at most log2(runs) + 1
// merges. A list in order, or in reverse order, costs one pass.
pm_Node *sort_chain(pm_Node *first) noexcept {
  constexpr int kSlots = 64;
  pm_Node *slots[kSlots] = {};
  int used = 0;
  while (first) {
    pm_Node *run = take_run(&first);
    int k = 0;
    // Every run already held is older (earlier in the list) than `run`.
    for (; k < kSlots - 1 && slots[k]; ++k) {
      run = merge_chains(slots[k], run);
      slots[k] = nullptr;
    }
    slots[k] = slots[k] ? merge_chains(slots[k], run) : run;  // the last slot takes whatever is left
    if (k >= used) used = k + 1;
  }
  pm_Node *sorted = nullptr;
  for (int k = 0; k < used; ++k)
    if (slots[k]) sorted = sorted ? merge_chains(slots[k], sorted) : slots[k];
  return sorted;
}

}  // namespace

// The result is that of a bubble sort that swaps a node with its successor
// while the successor sorts strictly before it, and marks each node it moves
// back: ascending by name, nameless nodes first, equal names in their old
// order, and a node is marked exactly when some node after it sorts strictly
// before it. A bubble sort relinking through the list calls (each of which
// walks to the list's start) cost n^3; this costs n log n and relinks once.
pm_Node *node_sort(pm_Node **head) noexcept {
  if (!head) return nullptr;
  pm_Node *first = list_first(*head);
  if (!first || !first->next) {
    *head = first;
    return first;
  }
  list_changed(first);
  // The marks, from the end: a node is moved back when something after it
  // sorts before it, that is when the least name after it does.
  pm_Node *last = first;
  while (last->next) last = last->next;
  const pm_Node *least = last;
  for (pm_Node *n = last->prev; n; n = n->prev) {
    if (sorts_before(least, n)) {
      mark_changed(n);
    } else {
      least = n;  // ties keep the later node: names compare equal anyway
    }
  }
  // The sort works on the `next` chain alone; the list gets its back links
  // when it is linked up again in the new order.
  pm_Node *sorted = sort_chain(first);
  ListIndex relinked;
  while (sorted) {
    pm_Node *node = sorted;
    sorted = sorted->next;
    node->next = nullptr;
    node->prev = nullptr;
    relinked.link(node);
  }
  first = relinked.first();
  *head = first;
  return first;
}

// Filling a long list node by node stays linear: the list's index (kept
// while nothing but appends changes lists) answers the name check and knows
// the end. A node still linked into a list, or still owned, is refused after
// the name check: linking it here would splice two lists together and leave
// its former owner pointing into this one.
pm_Node *node_append(pm_Node *list, pm_Node *node, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_NodeAppend", slot);
  if (!node || !node->name) return list;
  pm_Node *first = list_first(list);
  ListIndex *index = append_index(first);
  if (index ? index->taken(node->name) : node_find(first, node->name) != nullptr) {
    r.push(nullptr, "Name \"%s\" already in use, please use another name", node->name);
    return list;
  }
  if (node->next || node->prev || node->parent) {
    r.push(nullptr, "Node \"%s\" is still in a list; remove it first", node->name);
    return list;
  }
  if (index && index->link(node)) return index->first();
  return static_cast<pm_Node *>(tk_ListAdd(list, TK_LIST_APPEND, node));
}

int node_set_name(pm_Node *node, const char *name, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_NodeSetName", slot);
  if (!node) return 0;
  if (node_find(node, name) || names_equal(node->name, name)) {
    r.push(nullptr, "Name \"%s\" already in use, please use another name", name ? name : "(null)");
    return 0;
  }
  char *copy = nullptr;
  if (name && !(copy = tk_StrDuplicate(name))) {
    r.push(nullptr, "Out of memory changing name to %s", name);
    return 0;
  }
  list_changed(node);
  tk_HeapFree(node->name);
  node->name = copy;
  mark_changed(node);
  return 1;
}

char *node_get_new_name(pm_Node *list, const char *base, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_NodeGetNewName", slot);
  for (int n = 0; n <= kNewNameLastNumber; ++n) {
    InnerSlot inner;
    char *candidate = tk_Sprintf(0, "%s%d", &inner, base ? base : "", n);
    if (inner || !candidate) {
      tk_HeapFree(candidate);
      r.push(inner.take(), "Cannot create temp name");
      return nullptr;
    }
    if (!node_find(list, candidate)) return candidate;
    tk_HeapFree(candidate);
  }
  r.push(nullptr, "Cannot create name");
  return nullptr;
}

pm_Node *node_unlink(pm_Node *node) noexcept {
  if (!node) return nullptr;
  list_changed(node);
  auto *rest = static_cast<pm_Node *>(tk_ListDelete(node));
  node->next = nullptr;
  node->prev = nullptr;
  node->parent = nullptr;
  return rest;
}

pm_Node *node_remove_from_parent(pm_Node *node, pm_Node **parent_list) noexcept {
  if (!node) return nullptr;
  mark_changed(node->parent);
  bool was_head = parent_list && *parent_list && list_first(*parent_list) == list_first(node);
  pm_Node *rest = node_unlink(node);
  if (was_head) *parent_list = rest;
  return rest;
}

void mark_changed(pm_Node *node) noexcept {
  if (node && node->state) {
    node->state->changed = 1;
    node->state->saved = 0;
  }
}

void mark_unchanged(pm_Node *node) noexcept {
  if (node && node->state) {
    node->state->changed = 0;
    node->state->saved = 0;
  }
}

void mark_saved(pm_Node *node) noexcept {
  if (node && node->state) node->state->saved = 1;
}

bool state_dirty(const pm_ChangeState *state) noexcept {
  return state && state->changed != 0 && state->saved == 0;
}

bool is_dirty(const pm_Node *node) noexcept { return node && state_dirty(node->state); }

pm_File **files_of(pm_Node *owner) noexcept {
  if (!owner) return nullptr;
  switch (owner->kind) {
    case PM_KIND_PROJECT: return &as_kind<pm_Project>(owner)->files;
    case PM_KIND_TILE: return &as_kind<pm_Tile>(owner)->files;
    case PM_KIND_SAMPLE: return &as_kind<pm_Sample>(owner)->files;
    default: return nullptr;
  }
}

void clear_name(pm_Node *node) noexcept {
  if (!node) return;
  list_changed(node);
  tk_HeapFree(node->name);
  node->name = nullptr;
}

bool replace_text(char **field, const char *text) noexcept {
  char *copy = tk_StrDuplicate(text);
  if (!copy && text) return false;
  tk_HeapFree(*field);
  *field = copy;
  return true;
}

}  // namespace pm
