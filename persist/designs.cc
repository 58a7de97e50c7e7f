// The eight record designs: registration in a new file, lookup in an
// existing one, and the string items and record releases every record
// function shares.
//
// One function registers the designs into any dictionary. Saving into a new
// file registers them in the file's dictionary; opening a file registers
// them in a private dictionary as the expected designs and accepts a file
// design only when it equals the expected one, so that a crafted or foreign
// file can never make the library read a record larger than its own struct.
#include "persist/designs.h"

#include "node/report.h"

namespace pm {

const char *const kDesignNames[kDesignCount] = {"PM_Root",    "PM_Tile",     "PM_Sample",
                                                "PM_File",    "PM_PFAFile",  "PM_PFA_Root",
                                                "PM_Argument", "PM_Process"};

namespace {

// Ends the value names of an enumeration item in the variadic item list.
const char *const kEndValues = nullptr;

const size_t kRecordSizes[kDesignCount] = {sizeof(RootRecord),    sizeof(NamedRecord),
                                           sizeof(NamedRecord),   sizeof(FileRecord),
                                           sizeof(PFAFileRecord), sizeof(PFARootRecord),
                                           sizeof(ArgumentRecord), sizeof(ProcessRecord)};

const char *const kCreateFailures[kDesignCount] = {
    "Cannot create design for root node", "Cannot create tile design",
    "Cannot create sample design",        "Cannot create file design",
    "Cannot create design for root node", "Cannot create design for root node",
    "Cannot create argument design",      "Cannot create process design"};

// Registers design `index` with the items of its record, in item order. The
// list designs name their element designs, which `made` already holds.
tk_Design *create_one(tk_Dictionary *dictionary, int index, tk_Design *const *made,
                      tk_ErrorReport **slot) noexcept {
  const char *name = kDesignNames[index];
  switch (index) {
    case kRootDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_ENUM, "Project_Type", "Single_Sampling", "Double_Sampling", kEndValues,
                             TK_ITEM_ENUM, "Dot_Grid_Analysis", "Disabled", "Enabled", kEndValues,
                             TK_ITEM_ENUM, "Poly_Tool_Analysis", "Disabled", "Enabled", kEndValues,
                             TK_ITEM_END);
    case kTileDesign:
    case kSampleDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_STRING, "Name",
                             TK_ITEM_ENUM, "Selection", "Manual", "Automatic", kEndValues,
                             TK_ITEM_END);
    case kFileDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_STRING, "Type",
                             TK_ITEM_STRING, "Descriptor",
                             TK_ITEM_TIME, "Time",
                             TK_ITEM_STRING, "Verified",
                             TK_ITEM_STRING, "Comment",
                             TK_ITEM_END);
    case kPFAFileDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_STRING, "String",
                             TK_ITEM_ENUM, "Type", "Raster", "Vector", "Text", "Annotation", "AOI", kEndValues,
                             TK_ITEM_END);
    case kPFARootDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_RECORD_LIST, "Files", made[kPFAFileDesign],
                             TK_ITEM_END);
    case kArgumentDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_STRING, "Name",
                             TK_ITEM_STRING, "Value",
                             TK_ITEM_ENUM, "Type", "Raster", "Vector", "Text", "Annotation", "AOI", kEndValues,
                             TK_ITEM_ENUM, "Mode", "Strict_Input", "Strict_Output", "Optional_Input",
                             "Optional_Output", "Editable_Output", kEndValues,
                             TK_ITEM_ENUM, "Hide", "Show", "Hide", kEndValues,
                             TK_ITEM_END);
    case kProcessDesign:
      return tk_DesignCreate(dictionary, name, slot,
                             TK_ITEM_STRING, "Name",
                             TK_ITEM_STRING, "Title",
                             TK_ITEM_STRING, "Parameter File",
                             TK_ITEM_STRING, "Label File",
                             TK_ITEM_STRING, "File Suffix",
                             TK_ITEM_ENUM, "Output", "Request", "Generate", kEndValues,
                             TK_ITEM_RECORD_LIST, "Arguments", made[kArgumentDesign],
                             TK_ITEM_END);
    default:
      return nullptr;
  }
}

// Registers the eight designs in order into `dictionary`, storing each handle
// at its position at once. Stops at the first failure with the design's
// report in r. A design whose record size differs from the library's struct
// is a failure too: the toolkit and the library must agree on every layout.
void register_designs(tk_Dictionary *dictionary, tk_Design **out, Reporter &r) noexcept {
  for (int i = 0; i < kDesignCount; ++i) {
    InnerSlot inner;
    out[i] = create_one(dictionary, i, out, &inner);
    if (inner || !out[i]) {
      r.push(inner.take(), "%s", kCreateFailures[i]);
      return;
    }
    size_t size = tk_DesignRecordSize(out[i]);
    if (size != kRecordSizes[i]) {
      r.push(nullptr, "Design %s lays out %zu bytes, the library expects %zu", kDesignNames[i], size,
             kRecordSizes[i]);
      return;
    }
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
    int found = design_get(file, &table->design[i], kDesignNames[i], wanted[i], &inner);
    if (!found || inner) r.push(inner.take(), "Error reading design %s from QDX file", kDesignNames[i]);
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

void record_release(NamedRecord *record) noexcept {
  if (record) string_item_free(&record->name);
}

void record_release(FileRecord *record) noexcept {
  if (!record) return;
  string_item_free(&record->type);
  string_item_free(&record->descriptor);
  string_item_free(&record->verified);
  string_item_free(&record->comment);
}

namespace {

// Frees an element array read from a file, and what each element owns.
template <typename Element, typename Release>
void release_list(tk_RecordList *list, Release release) noexcept {
  auto *elements = static_cast<Element *>(list->elements);
  for (int32_t i = 0; elements && i < list->count; ++i) release(&elements[i]);
  tk_HeapFree(elements);
  list->elements = nullptr;
  list->count = 0;
}

}  // namespace

void record_release(PFARootRecord *record) noexcept {
  if (!record) return;
  release_list<PFAFileRecord>(&record->files, [](PFAFileRecord *e) { string_item_free(&e->string); });
}

void record_release(ProcessRecord *record) noexcept {
  if (!record) return;
  string_item_free(&record->name);
  string_item_free(&record->title);
  string_item_free(&record->params);
  string_item_free(&record->labels);
  string_item_free(&record->suffix);
  release_list<ArgumentRecord>(&record->arguments, [](ArgumentRecord *e) {
    string_item_free(&e->name);
    string_item_free(&e->value);
  });
}

}  // namespace pm
