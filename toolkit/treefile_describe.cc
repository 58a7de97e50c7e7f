// Designs described item by item, for readers that take a file's designs as
// they are: what a design holds and where each item lies in its records,
// so that such a reader never needs a layout of its own.
#include <cstring>

#include "toolkit_internal.h"
#include "treefile_dictionary.h"

namespace {

const tk::tree::Item *item_at(const tk_Design *design, size_t index) {
  if (!design || index >= design->items.size()) return nullptr;
  return &design->items[index];
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

TK_API size_t tk_DesignItemCount(const tk_Design *design) { return design ? design->items.size() : 0; }

TK_API int tk_DesignItemGet(const tk_Design *design, size_t index, tk_DesignItem *item) {
  const tk::tree::Item *found = item_at(design, index);
  if (!item) return found ? 1 : 0;
  *item = tk_DesignItem{};
  if (!found) return 0;
  item->kind = found->kind;
  item->name = found->name.data();
  item->name_length = found->name.size();
  item->offset = found->offset;
  item->value_count = found->values.size();
  item->element = found->element;
  return 1;
}

TK_API const char *tk_DesignItemValue(const tk_Design *design, size_t index, size_t value, size_t *length) {
  const tk::tree::Item *found = item_at(design, index);
  if (length) *length = 0;
  if (!found || value >= found->values.size()) return nullptr;
  if (length) *length = found->values[value].size();
  return found->values[value].data();
}

TK_API void tk_DesignRecordRelease(const tk_Design *design, void *record) {
  if (!design || !record) return;
  tk::tree::free_record_contents(*design, static_cast<unsigned char *>(record));
  std::memset(record, 0, design->size);
}

}  // extern "C"
