#include "report_slot.h"

namespace kestrum_test {

tk_ErrorReport **ReportSlot::out() noexcept {
  tk_ErrorReportDelete(&report_);
  return &report_;
}

std::vector<std::string> ReportSlot::messages() const {
  std::vector<std::string> out;
  for (const tk_ErrorReport *r = report_; r; r = tk_ErrorReportGetCause(r)) {
    const char *m = tk_ErrorReportGetMessage(r);
    out.emplace_back(m ? m : "");
  }
  return out;
}

std::vector<std::string> ReportSlot::functions() const {
  std::vector<std::string> out;
  for (const tk_ErrorReport *r = report_; r; r = tk_ErrorReportGetCause(r)) {
    const char *f = tk_ErrorReportGetFunction(r);
    out.emplace_back(f ? f : "");
  }
  return out;
}

std::vector<int> ReportSlot::severities() const {
  std::vector<int> out;
  for (const tk_ErrorReport *r = report_; r; r = tk_ErrorReportGetCause(r)) out.push_back(tk_ErrorReportGetSeverity(r));
  return out;
}

std::string ReportSlot::text() const {
  std::string out;
  for (const tk_ErrorReport *r = report_; r; r = tk_ErrorReportGetCause(r)) {
    if (!out.empty()) out += "\n";
    const char *f = tk_ErrorReportGetFunction(r);
    const char *m = tk_ErrorReportGetMessage(r);
    out += std::string(f ? f : "") + ": " + (m ? m : "");
  }
  return out;
}

}  // namespace kestrum_test
