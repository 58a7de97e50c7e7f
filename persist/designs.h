// The record designs of the project file and the C records they lay out.
//
// Every node of a project file holds one record of one of eight designs,
// registered in the file's dictionary when the file is first created and
// looked up by name whenever it is opened again. The structs below are the
// in-memory form of each design (natural alignment, item order); the
// registration checks that the toolkit agrees with them byte for byte, and
// the reading side refuses any file design that differs from the one this
// library registers, so a record read from a file always fits its buffer.
#ifndef KESTRUM_PERSIST_DESIGNS_H
#define KESTRUM_PERSIST_DESIGNS_H

#include <cstring>
#include <cstdint>

#include "include/kestrum.h"

namespace pm {

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

// "PM_Root", "PM_Tile", ... by position.
extern const char *const kDesignNames[kDesignCount];

// The design handles of one open file. The handles belong to the file's
// dictionary; the table itself is freed with designs_free.
struct DesignTable {
  tk_Design *design[kDesignCount];
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

// pm_DesginsCreate: registers the eight designs in the dictionary of a newly
// created file. Returns the table (null only without a file or dictionary);
// after a failure the table holds the designs made so far and the slot the
// report.
DesignTable *designs_create(tk_TreeFile *file, tk_ErrorReport **slot) noexcept;
// pm_DesginsRead: looks the eight designs up in an opened file, refusing any
// that differs from the library's own. Same result conventions as above.
DesignTable *designs_read(tk_TreeFile *file, tk_ErrorReport **slot) noexcept;
// pm_DesignGet: 1 when the file has a design called `name` equal to
// `expected` (stored through *out before any test), 0 with a report otherwise.
int design_get(tk_TreeFile *file, tk_Design **out, const char *name, const tk_Design *expected,
               tk_ErrorReport **slot) noexcept;
void designs_free(DesignTable *table) noexcept;

// String items. A present text gives count length + 1 and points at the
// caller's own characters (which must outlive the write); an absent text
// gives count 0 and an empty string that needs no freeing.
tk_StringItem string_item(const char *text) noexcept;
// Takes the text out of a read item (null when absent), leaving it empty.
char *string_item_take(tk_StringItem *item) noexcept;
// Frees the text of a read item.
void string_item_free(tk_StringItem *item) noexcept;

// Release everything a read record owns (its texts and element arrays with
// their texts) and leave it empty, so a loader can free a record at any
// point whatever it has already taken out of it.
inline void record_release(RootRecord *) noexcept {}
void record_release(NamedRecord *record) noexcept;
void record_release(FileRecord *record) noexcept;
void record_release(PFARootRecord *record) noexcept;
void record_release(ProcessRecord *record) noexcept;

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
