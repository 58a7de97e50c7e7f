// Designs described item by item, for readers that take a file's designs as
// they are: what a design holds and where each item lies in its records,
// so that such a reader never needs a layout of its own.
//
// A design keeps its items in a compact form that is walked from the start
// (ItemCursor), and an enumeration its value names likewise. Readers ask for
// items and values by position, nearly always in order, so the place of the
// last answer is remembered per thread and the next position continues from
// there: describing a design of n items, or an enumeration of n values,
// costs n steps, not n*n.
#include <cstring>
#include <optional>
#include <type_traits>

#include "toolkit_internal.h"
#include "treefile_dictionary.h"

namespace {

using tk::tree::ItemCursor;
using tk::tree::ItemView;

// A place is believed only for the design it was found in: the same address
// and the same serial (a design made later at a freed one's address has
// another).
struct ItemPlace {
  const tk_Design *design = nullptr;
  uint64_t serial = 0;
  size_t index = 0;  // `item` is the item at this position
  std::optional<ItemCursor> cursor;
  ItemView item;
};

struct ValuePlace {
  const tk_Design *design = nullptr;
  uint64_t serial = 0;
  size_t item = 0;
  size_t index = 0;                    // `at` is where the value at this position begins
  const unsigned char *at = nullptr;
};

// Nothing to destroy at thread exit: a thread_local with a destructor makes
// the C library register it at first use, and that registration aborts the
// process when memory has run out.
static_assert(std::is_trivially_destructible_v<ItemPlace> && std::is_trivially_destructible_v<ValuePlace>);
thread_local ItemPlace t_item;
thread_local ValuePlace t_value;

const ItemView *item_at(const tk_Design *design, size_t index) {
  if (!design || index >= design->item_count) return nullptr;
  ItemPlace &p = t_item;
  if (p.design != design || p.serial != design->serial || !p.cursor || index < p.index) {
    p.design = design;
    p.serial = design->serial;
    p.cursor.emplace(*design);
    if (!p.cursor->next(p.item)) return p.design = nullptr, nullptr;
    p.index = 0;
  }
  while (p.index < index) {
    if (!p.cursor->next(p.item)) return p.design = nullptr, nullptr;
    ++p.index;
  }
  return &p.item;
}

// The name of value `value` of the enumeration item `item`, which is `found`.
std::string_view value_at(const tk_Design *design, size_t item, const ItemView &found, size_t value) {
  ValuePlace &p = t_value;
  const auto *start = reinterpret_cast<const unsigned char *>(found.values.data());
  if (p.design != design || p.serial != design->serial || p.item != item || value < p.index || !p.at) {
    p = ValuePlace{design, design->serial, item, 0, start};
  }
  while (p.index < value) {
    size_t length = static_cast<size_t>(tk::tree::get_varint(p.at));
    p.at += length;
    ++p.index;
  }
  const unsigned char *at = p.at;
  size_t length = static_cast<size_t>(tk::tree::get_varint(at));
  return std::string_view(reinterpret_cast<const char *>(at), length);
}

}  // namespace

extern "C" {

TK_API size_t tk_DictionaryDesignCount(const tk_Dictionary *dictionary) {
  return dictionary ? dictionary->designs.size() : 0;
}

TK_API tk_Design *tk_DictionaryDesignAt(tk_Dictionary *dictionary, size_t position) {
  if (!dictionary || position >= dictionary->designs.size()) return nullptr;
  return dictionary->designs[position].get();
}

TK_API const char *tk_DesignName(const tk_Design *design, size_t *length) {
  if (length) *length = design ? design->name.size() : 0;
  return design ? design->name.data() : nullptr;
}

TK_API size_t tk_DesignItemCount(const tk_Design *design) { return design ? design->item_count : 0; }

TK_API int tk_DesignItemGet(const tk_Design *design, size_t index, tk_DesignItem *item) {
  const ItemView *found = item_at(design, index);
  if (!item) return found ? 1 : 0;
  *item = tk_DesignItem{};
  if (!found) return 0;
  item->kind = found->kind;
  item->name = found->name.data();
  item->name_length = found->name.size();
  item->offset = found->offset;
  item->value_count = found->value_count;
  item->element = found->element;
  return 1;
}

TK_API const char *tk_DesignItemValue(const tk_Design *design, size_t index, size_t value, size_t *length) {
  if (length) *length = 0;
  const ItemView *found = item_at(design, index);
  if (!found || value >= found->value_count) return nullptr;
  std::string_view name = value_at(design, index, *found, value);
  if (length) *length = name.size();
  return name.data();
}

TK_API void tk_DesignRecordRelease(const tk_Design *design, void *record) {
  if (!design || !record) return;
  tk::tree::free_record_contents(*design, static_cast<unsigned char *>(record));
  std::memset(record, 0, design->size);
}

}  // extern "C"
