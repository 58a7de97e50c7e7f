// Reading a record by item name: a record of the design a file holds into
// the layout of a design the reader knows, when the file's design has every
// item the reader's has and perhaps more (what a newer writer added). The
// record is decoded as the file's design lays it out and its items are then
// moved, by name, into the reader's layout; what the reader does not know is
// freed. Equal designs never come here: they are read in place.
#include <cstring>

#include "treefile_dictionary.h"

namespace tk::tree {

namespace {

// The item of `design` named `name`, or false.
bool item_named(const tk_Design &design, std::string_view name, ItemView &found) {
  for (ItemCursor cursor(design); cursor.next(found);)
    if (found.name == name) return true;
  return false;
}

size_t field_size(int kind) {
  switch (kind) {
    case TK_ITEM_STRING: return sizeof(tk_StringItem);
    case TK_ITEM_ENUM: return sizeof(int32_t);
    case TK_ITEM_TIME: return sizeof(double);
    default: return sizeof(tk_RecordList);
  }
}

}  // namespace

// Recursion follows record-list nesting, bounded by kMaxDesignDepth.
bool readable_as(const tk_Design &stored, const tk_Design &wanted) {
  if (&stored == &wanted) return true;
  if (stored.name != wanted.name) return false;
  ItemView want, have;
  for (ItemCursor cursor(wanted); cursor.next(want);) {
    if (!item_named(stored, want.name, have) || have.kind != want.kind) return false;
    if (want.kind == TK_ITEM_ENUM && (have.value_count != want.value_count || have.values != want.values)) return false;
    if (want.kind == TK_ITEM_RECORD_LIST && !designs_equal(*have.element, *want.element) &&
        !readable_as(*have.element, *want.element))
      return false;
  }
  return true;
}

const tk_Design *first_list_element(const tk_Design &design, std::string_view *name) {
  ItemView item;
  for (ItemCursor cursor(design); cursor.next(item);) {
    if (item.kind != TK_ITEM_RECORD_LIST) continue;
    if (name) *name = item.name;
    return item.element;
  }
  return nullptr;
}

bool project_record(const tk_Design &stored, unsigned char *from, const tk_Design &wanted, unsigned char *to) {
  bool whole = true;
  ItemView want, have;
  for (ItemCursor cursor(wanted); whole && cursor.next(want);) {
    item_named(stored, want.name, have);  // readable_as found every one
    unsigned char *source = from + have.offset;
    unsigned char *target = to + want.offset;
    const size_t size = field_size(want.kind);
    if (want.kind == TK_ITEM_RECORD_LIST && !designs_equal(*have.element, *want.element)) {
      tk_RecordList list;
      std::memcpy(&list, source, sizeof list);
      const tk_Design &element = *have.element, &into = *want.element;
      // A list left in the file (a read by its head) has no elements here.
      tk_RecordList moved{list.count, nullptr};
      if (list.elements && list.count > 0) {
        moved.elements = tk_HeapMalloc(static_cast<size_t>(list.count) * into.size);
        if (!moved.elements) return false;
        std::memset(moved.elements, 0, static_cast<size_t>(list.count) * into.size);
      }
      std::memcpy(target, &moved, sizeof moved);
      auto *elements = static_cast<unsigned char *>(list.elements);
      for (int32_t i = 0; whole && moved.elements && i < list.count; ++i)
        whole = project_record(element, elements + static_cast<size_t>(i) * element.size, into,
                               static_cast<unsigned char *>(moved.elements) + static_cast<size_t>(i) * into.size);
      // The source elements keep only what was not moved; they go now.
      continue;
    }
    std::memcpy(target, source, size);
    std::memset(source, 0, size);
  }
  free_record_contents(stored, from);
  std::memset(from, 0, stored.size);
  return whole;
}

}  // namespace tk::tree
