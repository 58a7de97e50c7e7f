// Helpers shared by the records of the processing model: copying whole lists.
#ifndef KESTRUM_PROCESS_PROCESS_INTERNAL_H
#define KESTRUM_PROCESS_PROCESS_INTERNAL_H

#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"

namespace pm {

// Builds a new list holding a copy of every element of the list that
// `source` belongs to, in order. `copy(element, slot)` makes one detached
// copy; `append(list, copy, slot)` links it in. The first failure stops the
// walk: the half-made copy is released, `copy_failed` or `append_failed`
// (formatted with the source element's name) goes over the inner report, and
// the list built so far is returned. A copy that the node core declines
// without a report (a nameless node) is released and left out.
template <typename T, typename Copy, typename Append>
T *copy_list(Reporter &r, T *source, Copy copy, Append append, T *(*destroy)(T *), NameText copy_failed,
             NameText append_failed) noexcept {
  T *result = nullptr;
  for (T *element = as_kind<T>(list_first(as_node(source))); element; element = next_of(element)) {
    const char *name = text_or_null(element->node.name);
    InnerSlot inner;
    T *duplicate = copy(element, &inner);
    if (inner || !duplicate) {
      destroy(duplicate);
      r.push_name(inner.take(), copy_failed, name);
      return result;
    }
    T *head = append(result, duplicate, &inner);
    if (inner) {
      destroy(duplicate);
      r.push_name(inner.take(), append_failed, name);
      return result;
    }
    if (appended(head, duplicate)) {
      result = head;
    } else {
      destroy(duplicate);
    }
  }
  return result;
}

}  // namespace pm

#endif
