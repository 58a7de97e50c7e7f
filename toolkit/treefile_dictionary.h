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
// design without bound.
constexpr size_t kMaxItems = 4096;
constexpr size_t kMaxEnumValues = 65536;
constexpr size_t kMaxDesignNameSize = 4096;

struct Item {
  int kind = TK_ITEM_END;
  std::string name;
  std::vector<std::string> values;     // enumeration value names
  const tk_Design *element = nullptr;  // record-list element design
  size_t offset = 0;                   // byte offset inside the record
};

}  // namespace tk::tree

struct tk_Design {
  std::string name;
  std::vector<tk::tree::Item> items;
  size_t size = 0;           // tk_DesignRecordSize
  size_t align = 1;
  size_t min_encoded = 0;    // fewest bytes one record takes in the file
  int depth = 1;             // 1 + the depth of the deepest element design
  uint32_t index = 0;        // position in the dictionary; the file refers to designs by it
  const tk_Dictionary *dictionary = nullptr;
};

struct tk_Dictionary {
  std::vector<std::unique_ptr<tk_Design>> designs;
  std::unordered_map<std::string_view, tk_Design *, tk::NameHash> by_name;  // keys view the designs' names
  bool owned_by_file = false;  // freed with its file, never by tk_DictionaryDelete
  bool read_only = false;      // the file was opened for reading only
  bool changed = false;        // a design was added since the file was opened
};

namespace tk::tree {

// Adds a design built from `items` (names, kinds, values and elements set;
// layout is computed here). Returns null with `error` set when the name is
// empty or taken, there are no items, an element design belongs to another
// dictionary, or the nesting is too deep.
tk_Design *add_design(tk_Dictionary &dictionary, std::string_view name, std::vector<Item> items,
                      std::string &error);
tk_Design *find_design(const tk_Dictionary &dictionary, std::string_view name);
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
bool decode_record(const tk_Design &design, ByteReader &in, unsigned char *record);
void free_record_contents(const tk_Design &design, unsigned char *record);

}  // namespace tk::tree

#endif
