// Owning pointers for the processing-model records a test holds itself, so a
// failed assertion does not turn into a leak report.
#ifndef KESTRUM_TEST_PROCESS_OWNED_RECORDS_H
#define KESTRUM_TEST_PROCESS_OWNED_RECORDS_H

#include <memory>

#include "include/kestrum.h"

namespace kestrum_test {

struct ProcessListDeleter {
  void operator()(pm_Process *list) const { pm_ProcessDestroyList(list); }
};
struct ArgumentListDeleter {
  void operator()(pm_Argument *list) const { pm_ArgumentDestroyList(list); }
};
struct PFAListDeleter {
  void operator()(pm_PFAFile *list) const { pm_PFAFileDestroyList(list); }
};
struct StringListDeleter {
  void operator()(tk_StringList *list) const { tk_StringListDelete(list, nullptr); }
};
// Each destroys the whole list its pointer belongs to (a detached record is
// a list of one).
using ProcessPtr = std::unique_ptr<pm_Process, ProcessListDeleter>;
using ArgumentPtr = std::unique_ptr<pm_Argument, ArgumentListDeleter>;
using PFAPtr = std::unique_ptr<pm_PFAFile, PFAListDeleter>;
using StringListPtr = std::unique_ptr<tk_StringList, StringListDeleter>;

}  // namespace kestrum_test

#endif
