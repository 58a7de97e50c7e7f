// Record designs and dictionaries: creation from a variadic item list,
// layout, comparison, and the dictionary's form in the tree file.
//
// In the file the dictionary is
//   varint design count, then per design:
//     text name, varint item count, then per item:
//       varint kind, text name,
//       enumeration: varint value count, the value names as texts
//       record list: varint position of the element design (an earlier one)
// where a text is a varint byte count followed by the bytes.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <new>

#include "toolkit_internal.h"
#include "treefile_dictionary.h"

namespace tk::tree {

namespace {

struct KindForm {
  size_t size;
  size_t align;
  size_t min_encoded;
};

bool kind_form(int kind, KindForm *out) {
  switch (kind) {
    case TK_ITEM_STRING:
      *out = {sizeof(tk_StringItem), alignof(tk_StringItem), 1};
      return true;
    case TK_ITEM_ENUM:
      *out = {sizeof(int32_t), alignof(int32_t), 1};
      return true;
    case TK_ITEM_TIME:
      *out = {sizeof(double), alignof(double), 1};
      return true;
    case TK_ITEM_RECORD_LIST:
      *out = {sizeof(tk_RecordList), alignof(tk_RecordList), 1};
      return true;
    default:
      return false;
  }
}

size_t round_up(size_t value, size_t align) { return (value + align - 1) / align * align; }

// The kind codes of the compact form, in the order of kind_code.
constexpr int kKinds[4] = {TK_ITEM_STRING, TK_ITEM_ENUM, TK_ITEM_TIME, TK_ITEM_RECORD_LIST};

unsigned char kind_code(int kind) {
  for (unsigned char code = 0; code < 4; ++code)
    if (kKinds[code] == kind) return code;
  return 0;  // callers pass only known kinds
}

}  // namespace

uint64_t get_varint(const unsigned char *&at) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    unsigned char b = *at++;
    value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return value;
  }
}

void put_varint(std::string &out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

bool ItemsBuilder::add(int kind, std::string_view name, uint32_t value_count, std::string_view values,
                       const tk_Design *element, std::string &error) {
  KindForm form{};
  if (!kind_form(kind, &form)) {
    error = "item \"" + std::string(name) + "\" has an unknown kind " + std::to_string(kind);
    return false;
  }
  if (count_ == kMaxItems) {
    error = "too many items";
    return false;
  }
  if (kind == TK_ITEM_RECORD_LIST) {
    // Elements are referred to by position in the file, so they must be
    // designs of this dictionary; being older, they cannot form a cycle.
    if (!element || element->dictionary != &dictionary_) {
      error = "record list \"" + std::string(name) + "\" needs an element design of the same dictionary";
      return false;
    }
    depth_ = std::max(depth_, element->depth + 1);
  }
  form_.push_back(static_cast<char>(kind_code(kind)));
  put_varint(form_, name.size());
  form_.append(name);
  if (kind == TK_ITEM_ENUM) {
    put_varint(form_, value_count);
    put_varint(form_, values.size());
    form_.append(values);
  } else if (kind == TK_ITEM_RECORD_LIST) {
    put_varint(form_, element->index);
  }
  size_ = round_up(size_, form.align);
  DesignStep step{static_cast<uint32_t>(size_), 0, static_cast<uint16_t>(kind)};
  if (element) step.element = static_cast<uint16_t>(element->index);
  if (count_ < kSteppedItems) steps_.push_back(step);
  size_ += form.size;
  align_ = std::max(align_, form.align);
  min_encoded_ += form.min_encoded;
  ++count_;
  return true;
}

bool ItemCursor::next(ItemView &item) {
  if (at_ == end_) return false;
  item.kind = kKinds[*at_++];
  size_t name_size = static_cast<size_t>(get_varint(at_));
  item.name = std::string_view(reinterpret_cast<const char *>(at_), name_size);
  at_ += name_size;
  item.value_count = 0;
  item.values = {};
  item.element = nullptr;
  if (item.kind == TK_ITEM_ENUM) {
    item.value_count = static_cast<uint32_t>(get_varint(at_));
    size_t values_size = static_cast<size_t>(get_varint(at_));
    item.values = std::string_view(reinterpret_cast<const char *>(at_), values_size);
    at_ += values_size;
  } else if (item.kind == TK_ITEM_RECORD_LIST) {
    item.element = dictionary_.designs[static_cast<size_t>(get_varint(at_))].get();
  }
  KindForm form{};
  kind_form(item.kind, &form);
  item.offset = offset_ = round_up(offset_, form.align);
  offset_ += form.size;
  return true;
}

tk_Design *find_design(const tk_Dictionary &dictionary, std::string_view name) {
  auto it = dictionary.by_name.find(name);
  return it == dictionary.by_name.end() ? nullptr : it->second;
}

tk_Design *add_design(tk_Dictionary &dictionary, std::string_view name, ItemsBuilder &&items, std::string &error) {
  if (name.empty() || name.size() > kMaxDesignNameSize) {
    error = "a design needs a name of 1 to 4096 bytes";
    return nullptr;
  }
  if (find_design(dictionary, name)) {
    error = "a design named \"" + std::string(name) + "\" already exists";
    return nullptr;
  }
  if (dictionary.designs.size() == kMaxDesigns) {
    error = "a dictionary holds at most 4096 designs";
    return nullptr;
  }
  if (items.count_ == 0) {
    error = "design \"" + std::string(name) + "\" needs 1 to 4096 items";
    return nullptr;
  }
  if (items.depth_ > kMaxDesignDepth) {
    error = "design \"" + std::string(name) + "\" nests record lists too deeply";
    return nullptr;
  }
  static std::atomic<uint64_t> serials{0};
  auto design = std::make_unique<tk_Design>();
  design->serial = serials.fetch_add(1, std::memory_order_relaxed) + 1;
  design->name = name;
  design->form = std::move(items.form_);
  design->form.shrink_to_fit();  // kept for the file's lifetime: no slack
  if (items.count_ <= kSteppedItems) {
    design->steps = std::move(items.steps_);
    design->steps.shrink_to_fit();
  }
  design->item_count = items.count_;
  design->size = round_up(items.size_, items.align_);
  design->align = items.align_;
  design->min_encoded = items.min_encoded_;
  design->depth = items.depth_;
  design->index = static_cast<uint32_t>(dictionary.designs.size());
  design->dictionary = &dictionary;
  tk_Design *result = design.get();
  dictionary.designs.reserve(dictionary.designs.size() + 1);
  dictionary.by_name.emplace(result->name, result);
  dictionary.designs.push_back(std::move(design));
  return result;
}

// Recursion is bounded by kMaxDesignDepth, which every design satisfies.
bool designs_equal(const tk_Design &a, const tk_Design &b) {
  if (&a == &b) return true;
  if (a.name != b.name || a.item_count != b.item_count) return false;
  ItemCursor ca(a), cb(b);
  ItemView x, y;
  while (ca.next(x) && cb.next(y)) {
    if (x.kind != y.kind || x.name != y.name || x.value_count != y.value_count || x.values != y.values) return false;
    if ((x.element == nullptr) != (y.element == nullptr)) return false;
    if (x.element && !designs_equal(*x.element, *y.element)) return false;
  }
  return true;
}

void write_dictionary(const tk_Dictionary &dictionary, ByteWriter &out) {
  out.varint(dictionary.designs.size());
  ItemView item;
  for (const auto &design : dictionary.designs) {
    out.text(design->name);
    out.varint(design->item_count);
    for (ItemCursor cursor(*design); cursor.next(item);) {
      out.varint(static_cast<uint64_t>(item.kind));
      out.text(item.name);
      if (item.kind == TK_ITEM_ENUM) {
        out.varint(item.value_count);
        out.bytes(item.values.data(), item.values.size());  // already in the file's form
      } else if (item.kind == TK_ITEM_RECORD_LIST) {
        out.varint(item.element->index);
      }
    }
  }
}

bool read_dictionary(ByteReader &in, tk_Dictionary &dictionary) {
  // A design takes at least 5 bytes: a name of one byte, one item of one
  // kind byte and an empty name.
  uint64_t count = 0;
  size_t count_at = in.offset();
  if (!in.count(&count, 5, "more designs than the file can hold")) return false;
  if (count > kMaxDesigns) return in.fail_at(count_at, "too many designs");
  for (uint64_t d = 0; d < count; ++d) {
    size_t design_at = in.offset();
    std::string_view name;
    uint64_t item_count = 0;
    if (!in.text(&name, kMaxDesignNameSize, "bad design name")) return false;
    if (!in.count(&item_count, 2, "more items than the file can hold")) return false;
    if (item_count > kMaxItems) return in.fail("too many items in one design");
    ItemsBuilder items(dictionary);
    std::string error;
    for (uint64_t i = 0; i < item_count; ++i) {
      size_t kind_at = in.offset();
      uint64_t kind = 0;
      std::string_view item_name;
      if (!in.varint(&kind) || !in.text(&item_name, kMaxDesignNameSize, "bad item name")) return false;
      KindForm form{};
      if (kind > 1024 || !kind_form(static_cast<int>(kind), &form)) return in.fail_at(kind_at, "unknown item kind");
      uint64_t value_count = 0;
      std::string_view values;
      const tk_Design *element = nullptr;
      if (kind == TK_ITEM_ENUM) {
        if (!in.count(&value_count, 1, "more enumeration values than the file can hold")) return false;
        if (value_count > kMaxEnumValues) return in.fail("too many enumeration values");
        // The value names stay in the file's form: checked here, copied whole.
        size_t values_at = in.offset();
        const char *start = reinterpret_cast<const char *>(in.here());
        for (uint64_t v = 0; v < value_count; ++v) {
          std::string_view text;
          if (!in.text(&text, kMaxDesignNameSize, "bad enumeration value name")) return false;
        }
        values = std::string_view(start, in.offset() - values_at);
      } else if (kind == TK_ITEM_RECORD_LIST) {
        uint64_t position = 0;
        size_t element_at = in.offset();
        if (!in.varint(&position)) return false;
        if (position >= dictionary.designs.size()) return in.fail_at(element_at, "unknown element design");
        element = dictionary.designs[static_cast<size_t>(position)].get();
      }
      if (!items.add(static_cast<int>(kind), item_name, static_cast<uint32_t>(value_count), values, element, error))
        return in.fail_at(design_at, error);
    }
    if (!add_design(dictionary, name, std::move(items), error)) return in.fail_at(design_at, error);
  }
  return true;
}

}  // namespace tk::tree

namespace {

// Reads one item entry of tk_DesignCreate's variadic list into `items`.
// Returns false with `error` set when the entry cannot be taken.
bool take_item(int kind, va_list &args, tk::tree::ItemsBuilder &items, std::string &error) {
  const char *name = va_arg(args, const char *);
  if (!name) {
    error = "an item has no name";
    return false;
  }
  uint32_t value_count = 0;
  std::string values;
  const tk_Design *element = nullptr;
  switch (kind) {
    case TK_ITEM_ENUM:
      for (const char *value = va_arg(args, const char *); value; value = va_arg(args, const char *)) {
        if (value_count == tk::tree::kMaxEnumValues) {
          error = "enumeration \"" + std::string(name) + "\" has too many values";
          return false;
        }
        tk::tree::put_varint(values, std::strlen(value));
        values += value;
        ++value_count;
      }
      break;
    case TK_ITEM_RECORD_LIST:
      element = va_arg(args, tk_Design *);
      break;
    default:
      break;  // strings and times take nothing more; an unknown kind is refused by add
  }
  return items.add(kind, name, value_count, values, element, error);
}

}  // namespace

extern "C" {

TK_API tk_Design *tk_DesignCreate(tk_Dictionary *dictionary, const char *name, tk_ErrorReport **slot, ...) {
  if (slot) *slot = nullptr;
  if (!dictionary) {
    tk::report(slot, "tk_DesignCreate", "No dictionary given");
    return nullptr;
  }
  if (dictionary->read_only) {
    tk::report(slot, "tk_DesignCreate", "Cannot add design %s: the file is open for reading only",
               name ? name : "(null)");
    return nullptr;
  }
  std::string error;
  tk_Design *design = nullptr;
  try {
    tk::tree::ItemsBuilder items(*dictionary);
    va_list args;
    va_start(args, slot);
    bool good = true;
    // A missing TK_ITEM_END cannot be detected; the cap on items only
    // bounds the damage.
    for (int kind = va_arg(args, int); kind != TK_ITEM_END; kind = va_arg(args, int)) {
      if (!take_item(kind, args, items, error)) {
        good = false;
        break;
      }
    }
    va_end(args);
    if (good) design = tk::tree::add_design(*dictionary, name ? name : "", std::move(items), error);
  } catch (const std::bad_alloc &) {
    error = "out of memory";
    design = nullptr;
  }
  if (!design) {
    tk::report(slot, "tk_DesignCreate", "Cannot create design %s: %s", name ? name : "(null)", error.c_str());
    return nullptr;
  }
  dictionary->changed = true;
  return design;
}

TK_API tk_Design *tk_DictionarySearchByName(tk_Dictionary *dictionary, const char *name, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!dictionary || !name) return nullptr;
  return tk::tree::find_design(*dictionary, name);
}

TK_API size_t tk_DesignRecordSize(const tk_Design *design) { return design ? design->size : 0; }

TK_API tk_Dictionary *tk_DictionaryCreate(void) { return new (std::nothrow) tk_Dictionary(); }

TK_API void tk_DictionaryDelete(tk_Dictionary *dictionary) {
  if (dictionary && !dictionary->owned_by_file) delete dictionary;
}

TK_API int tk_DesignEqual(const tk_Design *a, const tk_Design *b) {
  if (!a || !b) return 0;
  return tk::tree::designs_equal(*a, *b) ? 1 : 0;
}

TK_API int tk_DesignReads(const tk_Design *stored, const tk_Design *wanted) {
  if (!stored || !wanted) return 0;
  return tk::tree::designs_equal(*stored, *wanted) || tk::tree::readable_as(*stored, *wanted) ? 1 : 0;
}

}  // extern "C"
