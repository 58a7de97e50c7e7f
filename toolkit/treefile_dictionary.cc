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
#include <cstdarg>
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

}  // namespace

tk_Design *find_design(const tk_Dictionary &dictionary, std::string_view name) {
  auto it = dictionary.by_name.find(name);
  return it == dictionary.by_name.end() ? nullptr : it->second;
}

tk_Design *add_design(tk_Dictionary &dictionary, std::string_view name, std::vector<Item> items,
                      std::string &error) {
  if (name.empty() || name.size() > kMaxDesignNameSize) {
    error = "a design needs a name of 1 to 4096 bytes";
    return nullptr;
  }
  if (find_design(dictionary, name)) {
    error = "a design named \"" + std::string(name) + "\" already exists";
    return nullptr;
  }
  if (items.empty() || items.size() > kMaxItems) {
    error = "design \"" + std::string(name) + "\" needs 1 to 4096 items";
    return nullptr;
  }
  auto design = std::make_unique<tk_Design>();
  design->name = name;
  size_t offset = 0;
  for (Item &item : items) {
    KindForm form{};
    if (!kind_form(item.kind, &form)) {
      error = "item \"" + item.name + "\" has an unknown kind " + std::to_string(item.kind);
      return nullptr;
    }
    if (item.kind == TK_ITEM_RECORD_LIST) {
      // Elements are referred to by position in the file, so they must be
      // designs of this dictionary; being older, they cannot form a cycle.
      if (!item.element || item.element->dictionary != &dictionary) {
        error = "record list \"" + item.name + "\" needs an element design of the same dictionary";
        return nullptr;
      }
      design->depth = std::max(design->depth, item.element->depth + 1);
    }
    offset = round_up(offset, form.align);
    item.offset = offset;
    offset += form.size;
    design->align = std::max(design->align, form.align);
    design->min_encoded += form.min_encoded;
  }
  if (design->depth > kMaxDesignDepth) {
    error = "design \"" + std::string(name) + "\" nests record lists too deeply";
    return nullptr;
  }
  design->size = round_up(offset, design->align);
  design->items = std::move(items);
  design->index = static_cast<uint32_t>(dictionary.designs.size());
  design->dictionary = &dictionary;
  tk_Design *result = design.get();
  dictionary.designs.push_back(std::move(design));
  dictionary.by_name.emplace(result->name, result);
  return result;
}

// Recursion is bounded by kMaxDesignDepth, which every design satisfies.
bool designs_equal(const tk_Design &a, const tk_Design &b) {
  if (&a == &b) return true;
  if (a.name != b.name || a.items.size() != b.items.size()) return false;
  for (size_t i = 0; i < a.items.size(); ++i) {
    const Item &x = a.items[i];
    const Item &y = b.items[i];
    if (x.kind != y.kind || x.name != y.name || x.values != y.values) return false;
    if ((x.element == nullptr) != (y.element == nullptr)) return false;
    if (x.element && !designs_equal(*x.element, *y.element)) return false;
  }
  return true;
}

void write_dictionary(const tk_Dictionary &dictionary, ByteWriter &out) {
  out.varint(dictionary.designs.size());
  for (const auto &design : dictionary.designs) {
    out.text(design->name);
    out.varint(design->items.size());
    for (const Item &item : design->items) {
      out.varint(static_cast<uint64_t>(item.kind));
      out.text(item.name);
      if (item.kind == TK_ITEM_ENUM) {
        out.varint(item.values.size());
        for (const std::string &value : item.values) out.text(value);
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
  if (!in.count(&count, 5, "more designs than the file can hold")) return false;
  for (uint64_t d = 0; d < count; ++d) {
    size_t design_at = in.offset();
    std::string_view name;
    uint64_t item_count = 0;
    if (!in.text(&name, kMaxDesignNameSize, "bad design name")) return false;
    if (!in.count(&item_count, 2, "more items than the file can hold")) return false;
    if (item_count > kMaxItems) return in.fail("too many items in one design");
    std::vector<Item> items(static_cast<size_t>(item_count));
    for (Item &item : items) {
      size_t kind_at = in.offset();
      uint64_t kind = 0;
      std::string_view item_name;
      if (!in.varint(&kind) || !in.text(&item_name, kMaxDesignNameSize, "bad item name")) return false;
      item.name = item_name;
      KindForm form{};
      if (kind > 1024 || !kind_form(static_cast<int>(kind), &form)) return in.fail_at(kind_at, "unknown item kind");
      item.kind = static_cast<int>(kind);
      if (item.kind == TK_ITEM_ENUM) {
        uint64_t value_count = 0;
        if (!in.count(&value_count, 1, "more enumeration values than the file can hold")) return false;
        if (value_count > kMaxEnumValues) return in.fail("too many enumeration values");
        item.values.resize(static_cast<size_t>(value_count));
        for (std::string &value : item.values) {
          std::string_view text;
          if (!in.text(&text, kMaxDesignNameSize, "bad enumeration value name")) return false;
          value = text;
        }
      } else if (item.kind == TK_ITEM_RECORD_LIST) {
        uint64_t element = 0;
        size_t element_at = in.offset();
        if (!in.varint(&element)) return false;
        if (element >= dictionary.designs.size()) return in.fail_at(element_at, "unknown element design");
        item.element = dictionary.designs[static_cast<size_t>(element)].get();
      }
    }
    std::string error;
    if (!add_design(dictionary, name, std::move(items), error)) return in.fail_at(design_at, error);
  }
  return true;
}

}  // namespace tk::tree

namespace {

// Reads one item entry of tk_DesignCreate's variadic list into `item`.
// Returns false with `error` set when the entry cannot be taken.
bool take_item(int kind, va_list &args, tk::tree::Item &item, std::string &error) {
  const char *name = va_arg(args, const char *);
  if (!name) {
    error = "an item has no name";
    return false;
  }
  item.kind = kind;
  item.name = name;
  switch (kind) {
    case TK_ITEM_STRING:
    case TK_ITEM_TIME:
      return true;
    case TK_ITEM_ENUM:
      for (const char *value = va_arg(args, const char *); value; value = va_arg(args, const char *)) {
        if (item.values.size() == tk::tree::kMaxEnumValues) {
          error = "enumeration \"" + item.name + "\" has too many values";
          return false;
        }
        item.values.emplace_back(value);
      }
      return true;
    case TK_ITEM_RECORD_LIST:
      item.element = va_arg(args, tk_Design *);
      return true;
    default:
      error = "item \"" + item.name + "\" has an unknown kind " + std::to_string(kind);
      return false;
  }
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
    std::vector<tk::tree::Item> items;
    va_list args;
    va_start(args, slot);
    bool good = true;
    // A missing TK_ITEM_END cannot be detected; the cap only bounds the damage.
    for (int kind = va_arg(args, int); kind != TK_ITEM_END; kind = va_arg(args, int)) {
      if (items.size() == tk::tree::kMaxItems) {
        error = "too many items";
        good = false;
        break;
      }
      items.emplace_back();
      if (!take_item(kind, args, items.back(), error)) {
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

}  // extern "C"
