// Record designs, dictionaries and the record codec of the tree file.
//
// A design lists typed items; it fixes both the in-memory layout of a record
// (items in order, natural alignment, like a C struct) and its form in the
// file. A dictionary owns its designs; a record-list item may only name an
// element design of the same dictionary created before it, so designs form
// no cycles and the file can refer to elements by position.
//
// In the file a record is the concatenation of its items:
//   string       varint 0 for an absent text, else length + 1, then the bytes
//   enumeration  varint of the zigzag-coded int32 (stored as given)
//   time         a whole number t with |t| <= 2^53: varint of 2 * zigzag(t);
//                any other double: varint 1, then its 8 bytes, little-endian
//   record list  varint count, then each element record
#ifndef KESTRUM_TOOLKIT_TREEFILE_DICTIONARY_H
#define KESTRUM_TOOLKIT_TREEFILE_DICTIONARY_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "name_hash.h"
#include "toolkit.h"
#include "treefile_codec.h"

namespace tk::tree {

// Record lists inside record lists may go this deep, so that decoding (which
// recurses per level) has a small fixed stack cost.
constexpr int kMaxDesignDepth = 16;
// Limits that keep a damaged file or a runaway item list from growing a
// design without bound, and a dictionary's own bookkeeping (about 200 bytes
// a design, against 5 bytes that a design can take in the file) within a
// megabyte.
constexpr size_t kMaxDesigns = 4096;
constexpr size_t kMaxItems = 4096;
constexpr size_t kMaxEnumValues = 65536;
static_assert(kMaxDesigns <= UINT16_MAX + 1, "a design step holds an element position in 16 bits");
constexpr size_t kMaxDesignNameSize = 4096;

// One item of a design as the codec and the dictionary see it: a view into
// the design's compact form, valid while the design lives.
struct ItemView {
  int kind = TK_ITEM_END;
  std::string_view name;
  uint32_t value_count = 0;            // enumeration: how many value names
  std::string_view values;             // enumeration: the value names, each a varint length and the bytes
  const tk_Design *element = nullptr;  // record-list element design
  size_t offset = 0;                   // byte offset inside the record
};

// One item as the record codec walks it: what the compact form below says
// about the item, less its name and values, already laid out. A design of
// up to kSteppedItems items keeps its items this way too, so that decoding
// its records is a walk over a small array instead of a parse of the
// compact form for every record; a larger one (no real design is) is
// walked in its compact form, so that its memory stays about what it takes
// in the file (each_step walks either).
struct DesignStep {
  uint32_t offset = 0;   // byte offset inside the record
  uint16_t element = 0;  // record list: position of the element design in the dictionary
  uint16_t kind = 0;     // TK_ITEM_STRING, TK_ITEM_ENUM, TK_ITEM_TIME or TK_ITEM_RECORD_LIST
};
constexpr size_t kSteppedItems = 64;

// Builds the compact form of a design's items (see tk_Design::form),
// checking them as it goes. `error` is set by the first item refused.
class ItemsBuilder {
 public:
  explicit ItemsBuilder(const tk_Dictionary &dictionary) : dictionary_(dictionary) {}
  // `values` holds the value names as a dictionary writes them (each a
  // varint length and the bytes), `value_count` of them.
  bool add(int kind, std::string_view name, uint32_t value_count, std::string_view values, const tk_Design *element,
           std::string &error);
  uint32_t count() const { return count_; }

 private:
  friend tk_Design *add_design(tk_Dictionary &, std::string_view, ItemsBuilder &&, std::string &);
  const tk_Dictionary &dictionary_;
  std::string form_;
  uint32_t count_ = 0;
  size_t size_ = 0;  // the record layout so far
  size_t align_ = 1;
  size_t min_encoded_ = 0;
  int depth_ = 1;
  std::vector<DesignStep> steps_;
};

}  // namespace tk::tree

// A design keeps its items in one compact byte string, about the size of
// their form in the file, rather than an object per item and per
// enumeration value: a file of designs with thousands of items or values
// must not take tens of times its size in memory. Per item:
//   byte kind (0 string, 1 enumeration, 2 time, 3 record list),
//   varint name length, the name,
//   enumeration: varint value count, varint byte length of the values,
//                then the value names, each a varint length and the bytes
//   record list: varint position of the element design in the dictionary
// The record layout of each item follows from the kinds in order, so it is
// computed as the items are walked (ItemCursor).
struct tk_Design {
  std::string name;
  std::string form;
  std::vector<tk::tree::DesignStep> steps;  // the items in order when there are few (see DesignStep)
  uint32_t item_count = 0;
  size_t size = 0;           // tk_DesignRecordSize
  size_t align = 1;
  size_t min_encoded = 0;    // fewest bytes one record takes in the file
  int depth = 1;             // 1 + the depth of the deepest element design
  uint32_t index = 0;        // position in the dictionary; the file refers to designs by it
  const tk_Dictionary *dictionary = nullptr;
  uint64_t serial = 0;       // unique in the process: tells a design from one later made at its address
};

struct tk_Dictionary {
  std::vector<std::unique_ptr<tk_Design>> designs;
  std::unordered_map<std::string_view, tk_Design *, tk::NameHash> by_name;  // keys view the designs' names
  bool owned_by_file = false;  // freed with its file, never by tk_DictionaryDelete
  bool read_only = false;      // the file was opened for reading only
  bool changed = false;        // a design was added since the file was opened
};

namespace tk::tree {

// Walks the items of a design in order:
//   for (ItemCursor c(design); c.next(item);) ...
class ItemCursor {
 public:
  explicit ItemCursor(const tk_Design &design)
      : at_(reinterpret_cast<const unsigned char *>(design.form.data())),
        end_(at_ + design.form.size()),
        dictionary_(*design.dictionary) {}
  bool next(ItemView &item);

 private:
  const unsigned char *at_;
  const unsigned char *end_;
  const tk_Dictionary &dictionary_;
  size_t offset_ = 0;
};

// Calls visit(step) for the items of a design in order, from its steps
// when it has them and otherwise from its compact form, until visit returns
// false; returns whether it never did.
template <typename Visit>
bool each_step(const tk_Design &design, Visit visit) {
  if (!design.steps.empty()) {
    for (const DesignStep &step : design.steps)
      if (!visit(step)) return false;
    return true;
  }
  ItemView item;
  for (ItemCursor cursor(design); cursor.next(item);) {
    DesignStep step;
    step.offset = static_cast<uint32_t>(item.offset);
    step.element = item.element ? static_cast<uint16_t>(item.element->index) : 0;
    step.kind = static_cast<uint16_t>(item.kind);
    if (!visit(step)) return false;
  }
  return true;
}

// Adds a design of the items built. Returns null with `error` set when the
// name is empty or taken, there are no items or the nesting is too deep.
tk_Design *add_design(tk_Dictionary &dictionary, std::string_view name, ItemsBuilder &&items, std::string &error);
tk_Design *find_design(const tk_Dictionary &dictionary, std::string_view name);
// Appends a varint to a design's compact form or an enumeration's values,
// and reads one back (the compact form was written by this library, so it
// is not checked again).
void put_varint(std::string &out, uint64_t value);
uint64_t get_varint(const unsigned char *&at);
bool designs_equal(const tk_Design &a, const tk_Design &b);

// Appends the file form of the dictionary / reads it back (into an empty
// dictionary). Reading reports through `in`.
void write_dictionary(const tk_Dictionary &dictionary, ByteWriter &out);
bool read_dictionary(ByteReader &in, tk_Dictionary &dictionary);


// Appends the file form of `record`. Fails, with `error` set and nothing
// usable in `out`, when the record holds a negative count or a null text or
// element array behind a nonzero count.
bool encode_record(const tk_Design &design, const void *record, std::string &out, std::string &error);

// Decodes one record of `design` from `in`. With a null `record` it only
// checks that the bytes are well formed; otherwise `record` must be zeroed
// memory of the design's size, and strings and element arrays are new
// tk_HeapMalloc allocations. Fails on malformed input (reported through `in`)
// or when memory runs out (`in` still ok); the record may then be partly
// filled: free it with free_record_contents.
//
// With `head`, the record's first record-list item is left in the file: its
// count is checked and stored with null elements, the elements are only
// checked (nothing allocated), and `head` says where they start, so that
// they can be decoded a part at a time (decode_elements).
struct ListHead {
  bool taken = false;
  const tk_Design *element = nullptr;
  size_t offset = 0;  // of the first element's bytes, as `in` counts them
  uint64_t count = 0;
};
bool decode_record(const tk_Design &design, ByteReader &in, unsigned char *record, ListHead *head = nullptr);
// decode_record for bytes that were checked already, by a decode_record of
// an equal design with a null record (every record of an open tree file was:
// those of a loaded file when it was opened, the others were encoded here).
// Lengths and counts are still bounded by what `in` holds, so memory is never
// overrun; what was checked before (NUL bytes in texts, the range of times
// and enumerations) is not checked again.
bool decode_checked_record(const tk_Design &design, ByteReader &in, unsigned char *record, ListHead *head = nullptr);
void free_record_contents(const tk_Design &design, unsigned char *record);

// Reading by item name (treefile_projection.cc). A record of `stored` reads
// into one of `wanted` when both have one name and every item of `wanted`
// is in `stored` under its name, of its kind, with its enumeration values,
// and a list's element designs read so in turn: what a newer writer added
// to a design is skipped. Equal designs read so too.
bool readable_as(const tk_Design &stored, const tk_Design &wanted);
// The element design of a design's first record-list item (its name in
// *name), or null when it has none.
const tk_Design *first_list_element(const tk_Design &design, std::string_view *name);
// Moves the items of `from`, a decoded record of `stored`, that `wanted`
// has into `to` (zeroed, of wanted.size; lists of other element designs get
// new arrays), and frees the rest of `from`. False when memory runs out;
// then `to` and `from` still hold what they hold: free each by its design.
bool project_record(const tk_Design &stored, unsigned char *from, const tk_Design &wanted, unsigned char *to);

}  // namespace tk::tree

#endif
