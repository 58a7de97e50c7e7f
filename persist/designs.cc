// The eight record designs: registration in a new file and lookup in an
// existing one, both driven by the table in persist/schema.h, and the string
// items every record function shares.
//
// One function registers the designs into any dictionary. Saving into a new
// file registers them in the file's dictionary; opening a file registers
// them in a private dictionary as the expected designs and accepts a file
// design when it equals the expected one, or, for reading only, when it
// holds the expected one's items by name and more: its records are then
// read through the expected design. Either way a crafted or foreign file
// can never make the library read a record larger than its own struct.
#include "persist/designs.h"

#include <array>
#include <tuple>
#include <utility>

#include "node/report.h"

namespace pm {

namespace {

// The toolkit takes a design's items as a variadic list; each row of the
// table becomes its operands here, at compile time, so the call has exactly
// the argument types the toolkit reads. An enumeration's value names end
// with a null name; a list names its element design, which `made` already
// holds.
template <int D, std::size_t I>
auto item_operands(tk_Design *const *made) noexcept {
  constexpr const Item &item = kDesigns[D].items[I];
  if constexpr (item.kind == TK_ITEM_ENUM) {
    return [&]<std::size_t... V>(std::index_sequence<V...>) {
      return std::tuple(item.kind, item.name, kDesigns[D].items[I].values[V]..., static_cast<const char *>(nullptr));
    }(std::make_index_sequence<item.values.size()>());
  } else if constexpr (item.kind == TK_ITEM_RECORD_LIST) {
    return std::tuple(item.kind, item.name, made[item.element]);
  } else {
    return std::tuple(item.kind, item.name);
  }
}

template <int D>
tk_Design *create_design(tk_Dictionary *dictionary, tk_Design *const *made, tk_ErrorReport **slot) noexcept {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return std::apply(
        [&](auto... operands) { return tk_DesignCreate(dictionary, kDesigns[D].name, slot, operands..., TK_ITEM_END); },
        std::tuple_cat(item_operands<D, I>(made)...));
  }(std::make_index_sequence<kDesigns[D].items.size()>());
}

using CreateDesign = tk_Design *(tk_Dictionary *, tk_Design *const *, tk_ErrorReport **) noexcept;

// create_design for each position of the table.
constexpr auto kCreate = []<int... D>(std::integer_sequence<int, D...>) {
  return std::array<CreateDesign *, kDesignCount>{&create_design<D>...};
}(std::make_integer_sequence<int, kDesignCount>());

// Whether the toolkit laid design `index` out as the library's struct: the
// same size and every item of the same kind at its member's offset.
bool laid_out_as_struct(const tk_Design *design, int index, Reporter &r) noexcept {
  const Design &wanted = kDesigns[index];
  size_t size = tk_DesignRecordSize(design);
  if (size != wanted.size) {
    r.push(nullptr, "Design %s lays out %zu bytes, the library expects %zu", wanted.name, size, wanted.size);
    return false;
  }
  for (std::size_t i = 0; i < wanted.items.size(); ++i) {
    tk_DesignItem item{};
    if (!tk_DesignItemGet(design, i, &item) || item.kind != wanted.items[i].kind ||
        item.offset != wanted.items[i].offset) {
      r.push(nullptr, "Design %s lays out item %s apart from the library's struct", wanted.name,
             wanted.items[i].name);
      return false;
    }
  }
  return true;
}

// Registers the eight designs in order into `dictionary`, storing each handle
// at its position at once. Stops at the first failure with the design's
// report in r. A design whose record size differs from the library's struct
// is a failure too: the toolkit and the library must agree on every layout.
void register_designs(tk_Dictionary *dictionary, tk_Design **out, Reporter &r) noexcept {
  for (int i = 0; i < kDesignCount; ++i) {
    InnerSlot inner;
    out[i] = kCreate[i](dictionary, out, &inner);
    if (inner || !out[i]) {
      r.push(inner.take(), "%s", kDesigns[i].create_failure);
      return;
    }
    if (!laid_out_as_struct(out[i], i, r)) return;
  }
}

// The two checks every entry point starts with.
bool file_usable(tk_TreeFile *file, Reporter &r) noexcept {
  if (!file) {
    r.push(nullptr, "QDX file unopened");
    return false;
  }
  if (!tk_TreeFileGetDictionary(file)) {
    r.push(nullptr, "QDX file dictionary unopened");
    return false;
  }
  return true;
}

const char *kind_name(int kind) noexcept {
  switch (kind) {
    case TK_ITEM_STRING: return "text";
    case TK_ITEM_ENUM: return "enumeration";
    case TK_ITEM_TIME: return "time";
    case TK_ITEM_RECORD_LIST: return "record list";
    default: return "item of unknown kind";
  }
}

const char *article(int kind) noexcept {
  return kind == TK_ITEM_STRING || kind == TK_ITEM_TIME || kind == TK_ITEM_RECORD_LIST ? "a" : "an";
}

bool same_text(const char *a, size_t a_length, const char *b, size_t b_length) noexcept {
  return a_length == b_length && (a_length == 0 || std::memcmp(a, b, a_length) == 0);
}

int shown_length(size_t length) noexcept { return length > 200 ? 200 : static_cast<int>(length); }

// Whether two enumeration items have the same value names in order.
bool same_values(const tk_Design *a, const tk_Design *b, size_t index, size_t count) noexcept {
  for (size_t v = 0; v < count; ++v) {
    size_t a_length = 0, b_length = 0;
    const char *a_name = tk_DesignItemValue(a, index, v, &a_length);
    const char *b_name = tk_DesignItemValue(b, index, v, &b_length);
    if (!a_name || !b_name || !same_text(a_name, a_length, b_name, b_length)) return false;
  }
  return true;
}

// Reports how the file's design `found` differs from the library's
// `expected` of the same name, naming the first item that differs: an item
// a newer kestrum added, one this kestrum misses, or one of another kind or
// other values. Item names are shown as far as 200 bytes.
void push_mismatch(const tk_Design *found, const tk_Design *expected, const char *name, Reporter &r) noexcept {
  const size_t found_count = tk_DesignItemCount(found), expected_count = tk_DesignItemCount(expected);
  for (size_t i = 0; expected && (i < found_count || i < expected_count); ++i) {
    tk_DesignItem f{}, e{};
    const bool has_f = tk_DesignItemGet(found, i, &f) != 0, has_e = tk_DesignItemGet(expected, i, &e) != 0;
    if (!f.name) f.name = "";
    if (!e.name) e.name = "";
    if (!has_e) {
      r.push(nullptr, "Design %s in file does not match: it has an item \"%.*s\" (%s) that this kestrum does not know",
             name, shown_length(f.name_length), f.name, kind_name(f.kind));
      return;
    }
    if (!has_f) {
      r.push(nullptr, "Design %s in file does not match: it lacks the item \"%.*s\"", name,
             shown_length(e.name_length), e.name);
      return;
    }
    if (!same_text(f.name, f.name_length, e.name, e.name_length)) {
      r.push(nullptr, "Design %s in file does not match: it has an item \"%.*s\" where this kestrum reads \"%.*s\"",
             name, shown_length(f.name_length), f.name, shown_length(e.name_length), e.name);
      return;
    }
    if (f.kind != e.kind) {
      r.push(nullptr, "Design %s in file does not match: its item \"%.*s\" is %s %s, where this kestrum reads %s %s",
             name, shown_length(e.name_length), e.name, article(f.kind), kind_name(f.kind), article(e.kind),
             kind_name(e.kind));
      return;
    }
    if (f.kind == TK_ITEM_ENUM &&
        (f.value_count != e.value_count || !same_values(found, expected, i, e.value_count))) {
      if (f.value_count != e.value_count)
        r.push(nullptr, "Design %s in file does not match: its item \"%.*s\" has %zu values, not this kestrum's %zu",
               name, shown_length(e.name_length), e.name, f.value_count, e.value_count);
      else
        r.push(nullptr, "Design %s in file does not match: its item \"%.*s\" names its values unlike this kestrum",
               name, shown_length(e.name_length), e.name);
      return;
    }
    if (f.kind == TK_ITEM_RECORD_LIST && !tk_DesignEqual(f.element, e.element)) {
      size_t length = 0;
      const char *element = tk_DesignName(f.element, &length);
      r.push(nullptr, "Design %s in file does not match: its item \"%.*s\" lists %.*s records unlike this kestrum's",
             name, shown_length(e.name_length), e.name, shown_length(length), element ? element : "");
      return;
    }
  }
  r.push(nullptr, "Design %s in file does not match", name);
}

DesignTable *table_alloc(Reporter &r) noexcept {
  auto *table = static_cast<DesignTable *>(tk_HeapMalloc(sizeof(DesignTable)));
  if (!table) {
    r.push(nullptr, "Out of memory allocating the design table");
    return nullptr;
  }
  std::memset(table, 0, sizeof *table);
  return table;
}

}  // namespace

DesignTable *designs_create(tk_TreeFile *file, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_DesginsCreate", slot);
  if (!file_usable(file, r)) return nullptr;
  DesignTable *table = table_alloc(r);
  if (table) register_designs(tk_TreeFileGetDictionary(file), table->design, r);
  return table;
}

int design_get(tk_TreeFile *file, tk_Design **out, const char *name, tk_Design *expected, tk_ErrorReport **slot,
               bool *by_name) noexcept {
  Reporter r("pm_DesignGet", slot);
  if (!file_usable(file, r)) return 0;
  InnerSlot inner;
  tk_Design *found = tk_DictionarySearchByName(tk_TreeFileGetDictionary(file), name, &inner);
  if (out) *out = found;
  if (inner) {
    r.push(inner.take(), "Error reading file dictionary");
    return 0;
  }
  if (!found) {
    r.push(nullptr, "Cannot find object %s in file", name ? name : "(null)");
    return 0;
  }
  if (!expected || !tk_DesignEqual(found, expected)) {
    // The handle must not be used to read records into the library's structs.
    if (out) *out = nullptr;
    if (by_name && tk_DesignReads(found, expected)) {
      if (out) *out = expected;
      *by_name = true;
      return 1;
    }
    push_mismatch(found, expected, name ? name : "(null)", r);
    return 0;
  }
  return 1;
}

DesignTable *designs_read(tk_TreeFile *file, tk_ErrorReport **slot, bool for_update) noexcept {
  Reporter r("pm_DesginsRead", slot);
  if (!file_usable(file, r)) return nullptr;
  DesignTable *table = table_alloc(r);
  if (!table) return nullptr;
  tk_Dictionary *expected = tk_DictionaryCreate();
  if (!expected) {
    r.push(nullptr, "Out of memory creating the expected designs");
    return table;
  }
  tk_Design *wanted[kDesignCount] = {};
  register_designs(expected, wanted, r);
  bool any_by_name = false;
  for (int i = 0; i < kDesignCount && !r.failed(); ++i) {
    InnerSlot inner;
    bool by_name = false;
    int found = design_get(file, &table->design[i], kDesigns[i].name, wanted[i], &inner,
                           for_update ? nullptr : &by_name);
    if (!found || inner) {
      tk_ErrorReport *cause = inner.take();
      if (for_update && cause &&
          tk_DesignReads(tk_DictionarySearchByName(tk_TreeFileGetDictionary(file), kDesigns[i].name, nullptr),
                         wanted[i])) {
        // Readable, but a save would lose what a newer kestrum added.
        r.push(cause, "Design %s in file was written by a newer kestrum: this one reads it but does not save into it",
               kDesigns[i].name);
        cause = nullptr;  // the next report wraps that one
      }
      r.push(cause, "Error reading design %s from QDX file", kDesigns[i].name);
    }
    any_by_name = any_by_name || by_name;
  }
  if (any_by_name)
    table->expected = expected;
  else
    tk_DictionaryDelete(expected);
  return table;
}

void designs_free(DesignTable *table) noexcept {
  if (table) tk_DictionaryDelete(table->expected);
  tk_HeapFree(table);
}

tk_StringItem string_item(const char *text) noexcept {
  static char empty[] = "";
  if (!text) return tk_StringItem{0, empty};
  return tk_StringItem{static_cast<int32_t>(tk_TextLength(text) + 1), const_cast<char *>(text)};
}

char *string_item_take(tk_StringItem *item) noexcept {
  char *text = item->text;
  item->text = nullptr;
  item->count = 0;
  return text;
}

void string_item_free(tk_StringItem *item) noexcept {
  // Loaders take most texts out before the record is released: those cost
  // no call.
  if (char *text = string_item_take(item)) tk_HeapFree(text);
}

}  // namespace pm
