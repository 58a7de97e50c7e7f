// ReportSlot: a report slot for tests that frees what it holds and reads the
// chain back.
//
//   kestrum_test::ReportSlot slot;
//   pm_ProjectAppendTile(project, tile, slot.out());
//   EXPECT_EQ(slot.messages(), (std::vector<std::string>{"outer", "inner"}));
//
// out() frees any report left by an earlier call before handing out the slot,
// so one ReportSlot can serve a sequence of calls. The destructor frees the
// chain once; under the sanitizer build a chain that was not handed out whole
// (or freed twice) shows up as a leak or a double free.
#ifndef KESTRUM_TEST_REPORT_SLOT_H
#define KESTRUM_TEST_REPORT_SLOT_H

#include <string>
#include <vector>

#include "include/kestrum.h"

namespace kestrum_test {

class ReportSlot {
 public:
  ReportSlot() = default;
  ~ReportSlot() { tk_ErrorReportDelete(&report_); }
  ReportSlot(const ReportSlot &) = delete;
  ReportSlot &operator=(const ReportSlot &) = delete;

  // The slot to pass to a kestrum call; frees what it held first.
  tk_ErrorReport **out() noexcept;
  // The outermost report, or null.
  const tk_ErrorReport *get() const noexcept { return report_; }
  bool empty() const noexcept { return report_ == nullptr; }

  // The chain, outermost first.
  std::vector<std::string> messages() const;
  std::vector<std::string> functions() const;
  std::vector<int> severities() const;
  // "function: message" lines, for failure output.
  std::string text() const;

 private:
  tk_ErrorReport *report_ = nullptr;
};

}  // namespace kestrum_test

#endif
