// Doubly linked lists threaded through the first two words of each element.
// The toolkit knows nothing else about an element, so any record that begins
// with a next and a previous pointer can live in these lists.
#include "toolkit.h"

namespace {

struct Link {
  Link *next;
  Link *prev;
};

Link *first_of(Link *element) {
  if (!element) return nullptr;
  while (element->prev) element = element->prev;
  return element;
}

}  // namespace

extern "C" {

TK_API void *tk_ListStart(void *element) { return first_of(static_cast<Link *>(element)); }

TK_API int tk_ListCount(void *element) {
  int count = 0;
  for (Link *l = static_cast<Link *>(element); l; l = l->next) ++count;
  return count;
}

TK_API void *tk_ListAdd(void *reference, int where, void *element) {
  Link *ref = static_cast<Link *>(reference);
  Link *node = static_cast<Link *>(element);
  if (!node) return first_of(ref);
  if (where == TK_LIST_APPEND) {
    node->next = nullptr;
    if (!ref) {
      node->prev = nullptr;
      return node;
    }
    Link *last = ref;
    while (last->next) last = last->next;
    last->next = node;
    node->prev = last;
    return first_of(ref);
  }
  if (where == TK_LIST_AFTER && ref) {
    node->prev = ref;
    node->next = ref->next;
    if (ref->next) ref->next->prev = node;
    ref->next = node;
    return first_of(ref);
  }
  return first_of(ref);
}

TK_API void *tk_ListDelete(void *element) {
  Link *node = static_cast<Link *>(element);
  if (!node) return nullptr;
  Link *next = node->next;
  Link *prev = node->prev;
  if (prev) prev->next = next;
  if (next) next->prev = prev;
  return prev ? first_of(prev) : next;
}

}  // extern "C"
