// The designs of one open file: registering the schema's eight designs in
// a new file, looking them up in an existing one, and the string items and
// record releases every record function shares. The designs themselves, and
// the C records they lay out, are in persist/schema.h. The reading side
// takes a file design equal to the one this library registers, or one that
// holds all its items by name and more (a newer kestrum's, read through the
// library's own design), and refuses any other, so a record read from a
// file always fits its buffer.
#ifndef KESTRUM_PERSIST_DESIGNS_H
#define KESTRUM_PERSIST_DESIGNS_H

#include <cstring>
#include <cstdint>
#include <utility>

#include "persist/schema.h"

namespace pm {

// The design handles of one open file. The handles belong to the file's
// dictionary; the table itself is freed with designs_free.
struct DesignTable {
  tk_Design *design[kDesignCount];
  // The library's own designs, kept while the table lives when a file's
  // design was taken by item name: its handle in `design` is then the
  // library's, which the toolkit reads the file's records into.
  tk_Dictionary *expected;
};

// pm_DesginsCreate: registers the eight designs in the dictionary of a newly
// created file. Returns the table (null only without a file or dictionary);
// after a failure the table holds the designs made so far and the slot the
// report.
DesignTable *designs_create(tk_TreeFile *file, tk_ErrorReport **slot) noexcept;
// pm_DesginsRead: looks the eight designs up in an opened file. A design
// equal to the library's is taken as it is; one that holds every item of
// the library's by name and more besides (a newer kestrum's) is taken by
// item name when `for_update` is false, and refused otherwise, since a save
// would lose what it added. Any other is refused, naming the item that
// differs. Same result conventions as above.
DesignTable *designs_read(tk_TreeFile *file, tk_ErrorReport **slot, bool for_update = false) noexcept;
// pm_DesignGet: 1 when the file has a design called `name` equal to
// `expected` (stored through *out before any test), or, with `by_name`,
// one that reads as `expected` by item name (then `expected` is stored
// through *out and *by_name set); 0 with a report otherwise.
int design_get(tk_TreeFile *file, tk_Design **out, const char *name, tk_Design *expected, tk_ErrorReport **slot,
               bool *by_name = nullptr) noexcept;
void designs_free(DesignTable *table) noexcept;

// String items. A present text gives count length + 1 and points at the
// caller's own characters (which must outlive the write); an absent text
// gives count 0 and an empty string that needs no freeing.
tk_StringItem string_item(const char *text) noexcept;
// Takes the text out of a read item (null when absent), leaving it empty.
char *string_item_take(tk_StringItem *item) noexcept;
// Frees the text of a read item.
void string_item_free(tk_StringItem *item) noexcept;

namespace release_detail {

template <int D>
void release_items(unsigned char *record) noexcept;

// One item of a design D record: a text is freed, a list frees each
// element's own items and then its element array.
template <int D, std::size_t I>
void release_item(unsigned char *record) noexcept {
  constexpr const Item &item = kDesigns[D].items[I];
  if constexpr (item.kind == TK_ITEM_STRING) {
    string_item_free(reinterpret_cast<tk_StringItem *>(record + item.offset));
  } else if constexpr (item.kind == TK_ITEM_RECORD_LIST) {
    auto *list = reinterpret_cast<tk_RecordList *>(record + item.offset);
    auto *elements = static_cast<unsigned char *>(list->elements);
    for (int32_t i = 0; elements && i < list->count; ++i)
      release_items<item.element>(elements + static_cast<std::size_t>(i) * kDesigns[item.element].size);
    tk_HeapFree(elements);
    list->elements = nullptr;
    list->count = 0;
  }
}

// Unrolled at compile time: a record released per node read costs no more
// than the frees it needs.
template <int D>
void release_items(unsigned char *record) noexcept {
  [record]<std::size_t... I>(std::index_sequence<I...>) {
    (release_item<D, I>(record), ...);
  }(std::make_index_sequence<kDesigns[D].items.size()>());
}

}  // namespace release_detail

// Release everything a read record owns (its texts and element arrays with
// their texts, as its design's items give them) and leave it empty, so a
// loader can free a record at any point whatever it has already taken out
// of it.
template <typename R>
void record_release(R *record) noexcept {
  static_assert(kDesignOf<R> != kDesignCount, "a record struct of the design table");
  if (record) release_detail::release_items<kDesignOf<R>>(reinterpret_cast<unsigned char *>(record));
}

// A zeroed record of type R for one read; on leaving scope whatever the
// record still owns is released with it.
template <typename R>
class ReadBuffer {
 public:
  ReadBuffer() noexcept { std::memset(&record_, 0, sizeof record_); }
  ~ReadBuffer() { record_release(&record_); }
  ReadBuffer(const ReadBuffer &) = delete;
  ReadBuffer &operator=(const ReadBuffer &) = delete;
  R *get() const noexcept { return &record_; }
  R *operator->() const noexcept { return &record_; }

 private:
  // Held in place: a read per node must not cost a heap block per node.
  mutable R record_;
};

}  // namespace pm

#endif
