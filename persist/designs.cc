// The eight record designs: registration in a new file and lookup in an
// existing one, both driven by the table in persist/schema.h, and the string
// items every record function shares.
//
// One function registers the designs into any dictionary. Saving into a new
// file registers them in the file's dictionary; opening a file registers
// them in a private dictionary as the expected designs and accepts a file
// design only when it equals the expected one, so that a crafted or foreign
// file can never make the library read a record larger than its own struct.
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

DesignTable *table_alloc(Reporter &r) noexcept {
  auto *table = static_cast<DesignTable *>(tk_HeapMalloc(sizeof(DesignTable)));
  if (!table) r.push(nullptr, "Out of memory allocating the design table");
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

int design_get(tk_TreeFile *file, tk_Design **out, const char *name, const tk_Design *expected,
               tk_ErrorReport **slot) noexcept {
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
    r.push(nullptr, "Design %s in file does not match", name ? name : "(null)");
    return 0;
  }
  return 1;
}

DesignTable *designs_read(tk_TreeFile *file, tk_ErrorReport **slot) noexcept {
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
  for (int i = 0; i < kDesignCount && !r.failed(); ++i) {
    InnerSlot inner;
    int found = design_get(file, &table->design[i], kDesigns[i].name, wanted[i], &inner);
    if (!found || inner) r.push(inner.take(), "Error reading design %s from QDX file", kDesigns[i].name);
  }
  tk_DictionaryDelete(expected);
  return table;
}

void designs_free(DesignTable *table) noexcept { tk_HeapFree(table); }

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
