// Shared shapes of the records of every kind: their life cycle and their
// field accessors.
//
// Destroying a record is always the same three steps (remove from its list,
// release what it owns, release the record), and destroying a list is
// destroying its first element until nothing is left. Each kind supplies its
// own remove and clear; these templates keep the order of the steps in one
// place. Likewise every plain setter stores, marks the record changed and
// answers 1, and every getter copies out, with 0 or null for a null record.
#ifndef KESTRUM_NODE_LIFECYCLE_H
#define KESTRUM_NODE_LIFECYCLE_H

#include "node/list_append.h"
#include "node/node.h"
#include "node/slow_paths.h"

namespace pm {

// Removes `record` through `remove` (which keeps the owner's list pointer
// valid and marks the owner as its kind requires), releases what it owns
// through `clear` and frees it. Returns the first element of what remains of
// its list; null when nothing remains or `record` was null.
template <typename T>
T *destroy_record(T *record, T *(*remove)(T *), void (*clear)(T *)) noexcept {
  if (!record) return nullptr;
  T *rest = remove(record);
  clear(record);
  node_free(as_node(record));
  return rest;
}

// Destroys every record of the list that `list` belongs to, from its first
// element on, with `remove` and `clear` as destroy_record takes them. Always
// returns null, the empty list.
//
// Fast path (plain twin: destroy_record on each element in turn): when the
// elements share one parent, the first element's removal is made to stand
// for the whole list, since removing them one by one leaves the owner
// exactly as removing all of them at once does (its list pointer empty, the
// owner marked as the kind's remove marks it, the list indexes dropped);
// the others are then only cleared and freed, without the owner's
// bookkeeping that each removal would repeat.
template <typename T>
T *destroy_list(T *list, T *(*remove)(T *), void (*clear)(T *)) noexcept {
  pm_Node *first = list_first(as_node(list));
  if (!first) return nullptr;
  bool one_parent = !slow_paths();
  for (const pm_Node *n = first->next; one_parent && n; n = n->next) one_parent = n->parent == first->parent;
  if (!one_parent) {
    for (T *current = as_kind<T>(first); current;) current = destroy_record(current, remove, clear);
    return nullptr;
  }
  list_changed(first);  // once for the list: cut loose below, the first no longer counts as listed
  pm_Node *rest = first->next;
  first->next = nullptr;
  if (rest) rest->prev = nullptr;
  destroy_record(as_kind<T>(first), remove, clear);
  while (rest) {
    pm_Node *next = rest->next;
    rest->next = nullptr;
    rest->parent = nullptr;
    if (next) next->prev = nullptr;
    clear(as_kind<T>(rest));
    node_free(rest);
    rest = next;
  }
  return nullptr;
}

// Whether an append just linked `record` into the list whose first element
// is now `head`. The node core refuses some appends without a report (a
// nameless node), so callers that own a fresh copy test this before letting
// go of it.
template <typename T>
inline bool appended(const T *head, const T *record) noexcept {
  return record && (head == record || record->node.prev != nullptr);
}

// Field accessors: a setter stores the value, marks the record changed and
// returns 1 (0 for a null record, and for a text that cannot be copied,
// with the old value kept); a getter returns a copy of a text field,
// or the value of a number field (0 for a null record).
template <typename T>
inline int set_text(T *record, char *T::*field, const char *text) noexcept {
  if (!record || !replace_text(&(record->*field), text)) return 0;
  mark_changed(&record->node);
  return 1;
}
template <typename T>
inline char *get_text(const T *record, char *T::*field) noexcept {
  return record ? tk_StrDuplicate(record->*field) : nullptr;
}
template <typename T, typename V>
inline int set_value(T *record, V T::*field, V value) noexcept {
  if (!record) return 0;
  record->*field = value;
  mark_changed(&record->node);
  return 1;
}
template <typename T, typename V>
inline V get_value(const T *record, V T::*field) noexcept {
  return record ? record->*field : V{};
}

// Releases an owned text and leaves the field null.
inline void release_text(char **field) noexcept {
  tk_HeapFree(*field);
  *field = nullptr;
}

// A text for a report argument: data never reaches a format, and a missing
// name prints as "(null)" rather than relying on the C library to do so.
inline const char *text_or_null(const char *text) noexcept { return text ? text : "(null)"; }

}  // namespace pm

#endif
