// Owning pointers for the records a test holds itself, so that a failed
// assertion does not turn into a leak report. Each frees its record with the
// kind's exported destroy; the pointers of the processing model and of PFA
// files free the whole list their record belongs to (a detached record is a
// list of one).
#ifndef KESTRUM_TEST_OWNED_RECORDS_H
#define KESTRUM_TEST_OWNED_RECORDS_H

#include <memory>

#include "include/kestrum.h"

namespace kestrum_test {

// A deleter that calls `Free`.
template <auto Free>
struct Freer {
  template <typename T>
  void operator()(T *record) const {
    Free(record);
  }
};

inline void FreeStringList(tk_StringList *list) { tk_StringListDelete(list, nullptr); }

using ProjectPtr = std::unique_ptr<pm_Project, Freer<pm_ProjectDestroy>>;
using TilePtr = std::unique_ptr<pm_Tile, Freer<pm_TileDestroy>>;
using SamplePtr = std::unique_ptr<pm_Sample, Freer<pm_SampleDestroy>>;
using FilePtr = std::unique_ptr<pm_File, Freer<pm_FileDestroy>>;
using ProcFilesPtr = std::unique_ptr<pm_ProcFiles, Freer<pm_ProcFilesDestroy>>;
using ProcessPtr = std::unique_ptr<pm_Process, Freer<pm_ProcessDestroyList>>;
using ArgumentPtr = std::unique_ptr<pm_Argument, Freer<pm_ArgumentDestroyList>>;
using PFAPtr = std::unique_ptr<pm_PFAFile, Freer<pm_PFAFileDestroyList>>;
using StringListPtr = std::unique_ptr<tk_StringList, Freer<FreeStringList>>;

}  // namespace kestrum_test

#endif
