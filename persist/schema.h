// The file schema: the eight record designs of a project file, their items
// and enumerations, and the C records they lay out, in one table.
//
// Every node of a project file holds one record of one of eight designs,
// registered in the file's dictionary when the file is first created and
// looked up by name whenever it is opened again. Everything that knows the
// designs reads them from here: the library registers and checks them and
// frees what a read record owns by this table; the tool names enumeration
// values, lists the designs a file should hold and reads and writes
// enumerations in JSON by it. The table is plain constant data so that the
// tool can use it without any of the library's internals.
//
// The structs are the in-memory form of each design (natural alignment,
// item order). Each item row gives its struct member's offset; registration
// checks that the toolkit lays every item out exactly there, so a struct and
// its rows cannot drift apart unnoticed. Changing a name, an item or a value
// list changes the file format: files saved before would no longer load.
#ifndef KESTRUM_PERSIST_SCHEMA_H
#define KESTRUM_PERSIST_SCHEMA_H

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "include/kestrum.h"
#include "node/value_names.h"

namespace pm {

// ---- Records -----------------------------------------------------------------

// Positions in the design table; also the order of registration (an element
// design is registered before the design whose list holds it).
enum DesignIndex {
  kRootDesign = 0,
  kTileDesign,
  kSampleDesign,
  kFileDesign,
  kPFAFileDesign,
  kPFARootDesign,
  kArgumentDesign,
  kProcessDesign,
  kDesignCount
};

// PM_Root: the project's own settings, enumeration indices as stored.
struct RootRecord {
  int32_t project_type;
  int32_t dot_grid;
  int32_t poly_tool;
};

// PM_Tile and PM_Sample share one layout.
struct NamedRecord {
  tk_StringItem name;
  int32_t selection;
};

struct FileRecord {
  tk_StringItem type;
  tk_StringItem descriptor;  // "$PROJECT" form where it lies in the project directory
  double time;
  tk_StringItem verified;
  tk_StringItem comment;
};

// PM_PFAFile: one element of a level's association list.
struct PFAFileRecord {
  tk_StringItem string;
  int32_t type;
};

// PM_PFA_Root: elements are PFAFileRecord.
struct PFARootRecord {
  tk_RecordList files;
};

struct ArgumentRecord {
  tk_StringItem name;
  tk_StringItem value;
  int32_t type;
  int32_t mode;
  int32_t hide;
};

// PM_Process: elements of `arguments` are ArgumentRecord.
struct ProcessRecord {
  tk_StringItem name;
  tk_StringItem title;
  tk_StringItem params;
  tk_StringItem labels;
  tk_StringItem suffix;
  int32_t output;
  tk_RecordList arguments;
};

// ---- The designs ---------------------------------------------------------------

// One item of a design: its kind (TK_ITEM_*), its name in the file, where
// its struct holds it, the value names of an enumeration and the element
// design of a list.
struct Item {
  int kind;
  const char *name;
  std::size_t offset;
  Names values = {};
  DesignIndex element = kDesignCount;
};

struct Design {
  const char *name;
  std::size_t size;  // of its struct
  std::span<const Item> items;
  const char *create_failure;  // the report when registering it fails
};

namespace schema_rows {

constexpr Item text(const char *name, std::size_t offset) { return {TK_ITEM_STRING, name, offset}; }
constexpr Item time(const char *name, std::size_t offset) { return {TK_ITEM_TIME, name, offset}; }
constexpr Item enumeration(const char *name, std::size_t offset, Names values) {
  return {TK_ITEM_ENUM, name, offset, values};
}
constexpr Item list(const char *name, std::size_t offset, DesignIndex element) {
  return {TK_ITEM_RECORD_LIST, name, offset, {}, element};
}

inline constexpr Item kRootItems[] = {
    enumeration("Project_Type", offsetof(RootRecord, project_type), kProjectTypeNames),
    enumeration("Dot_Grid_Analysis", offsetof(RootRecord, dot_grid), kSwitchNames),
    enumeration("Poly_Tool_Analysis", offsetof(RootRecord, poly_tool), kSwitchNames)};
inline constexpr Item kNamedItems[] = {
    text("Name", offsetof(NamedRecord, name)),
    enumeration("Selection", offsetof(NamedRecord, selection), kSelectionNames)};
inline constexpr Item kFileItems[] = {
    text("Type", offsetof(FileRecord, type)), text("Descriptor", offsetof(FileRecord, descriptor)),
    time("Time", offsetof(FileRecord, time)), text("Verified", offsetof(FileRecord, verified)),
    text("Comment", offsetof(FileRecord, comment))};
inline constexpr Item kPFAFileItems[] = {
    text("String", offsetof(PFAFileRecord, string)),
    enumeration("Type", offsetof(PFAFileRecord, type), kPFATypeNames)};
inline constexpr Item kPFARootItems[] = {list("Files", offsetof(PFARootRecord, files), kPFAFileDesign)};
inline constexpr Item kArgumentItems[] = {
    text("Name", offsetof(ArgumentRecord, name)), text("Value", offsetof(ArgumentRecord, value)),
    enumeration("Type", offsetof(ArgumentRecord, type), kPFATypeNames),
    enumeration("Mode", offsetof(ArgumentRecord, mode), kModeNames),
    enumeration("Hide", offsetof(ArgumentRecord, hide), kHideNames)};
inline constexpr Item kProcessItems[] = {
    text("Name", offsetof(ProcessRecord, name)), text("Title", offsetof(ProcessRecord, title)),
    text("Parameter File", offsetof(ProcessRecord, params)), text("Label File", offsetof(ProcessRecord, labels)),
    text("File Suffix", offsetof(ProcessRecord, suffix)),
    enumeration("Output", offsetof(ProcessRecord, output), kOutputNames),
    list("Arguments", offsetof(ProcessRecord, arguments), kArgumentDesign)};

}  // namespace schema_rows

// By DesignIndex.
inline constexpr Design kDesigns[kDesignCount] = {
    {"PM_Root", sizeof(RootRecord), schema_rows::kRootItems, "Cannot create design for root node"},
    {"PM_Tile", sizeof(NamedRecord), schema_rows::kNamedItems, "Cannot create tile design"},
    {"PM_Sample", sizeof(NamedRecord), schema_rows::kNamedItems, "Cannot create sample design"},
    {"PM_File", sizeof(FileRecord), schema_rows::kFileItems, "Cannot create file design"},
    {"PM_PFAFile", sizeof(PFAFileRecord), schema_rows::kPFAFileItems, "Cannot create design for root node"},
    {"PM_PFA_Root", sizeof(PFARootRecord), schema_rows::kPFARootItems, "Cannot create design for root node"},
    {"PM_Argument", sizeof(ArgumentRecord), schema_rows::kArgumentItems, "Cannot create argument design"},
    {"PM_Process", sizeof(ProcessRecord), schema_rows::kProcessItems, "Cannot create process design"}};

// The struct of each design, by DesignIndex.
using Records = std::tuple<RootRecord, NamedRecord, NamedRecord, FileRecord, PFAFileRecord, PFARootRecord,
                           ArgumentRecord, ProcessRecord>;
static_assert(std::tuple_size_v<Records> == kDesignCount, "a struct for every design");
static_assert([]<std::size_t... D>(std::index_sequence<D...>) {
  return ((kDesigns[D].size == sizeof(std::tuple_element_t<D, Records>)) && ...);
}(std::make_index_sequence<kDesignCount>()), "each design's size is its struct's");

// The first design whose records a struct holds (PM_Tile's for NamedRecord,
// which PM_Sample shares); kDesignCount for any other type.
template <typename R>
inline constexpr DesignIndex kDesignOf = []<std::size_t... D>(std::index_sequence<D...>) {
  DesignIndex found = kDesignCount;
  ((found == kDesignCount && std::is_same_v<R, std::tuple_element_t<D, Records>> ? found = DesignIndex(D) : found),
   ...);
  return found;
}(std::make_index_sequence<kDesignCount>());

// What the toolkit relies on when it registers the table: a list's element
// design comes before it, and every item lies inside its struct in order.
constexpr bool schema_well_formed() {
  for (int d = 0; d < kDesignCount; ++d) {
    std::size_t end = 0;
    for (const Item &item : kDesigns[d].items) {
      if (item.offset < end || item.offset >= kDesigns[d].size) return false;
      end = item.offset + 1;
      if ((item.kind == TK_ITEM_ENUM) == item.values.empty()) return false;
      if ((item.kind == TK_ITEM_RECORD_LIST) != (item.element < d)) return false;
    }
  }
  return true;
}
static_assert(schema_well_formed(), "the design table is out of order or inconsistent");

}  // namespace pm

#endif
