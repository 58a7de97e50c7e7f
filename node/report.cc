// Reporter: builds the chained report of a failed call.
#include "node/report.h"

#include <cstdarg>
#include <cstdio>

namespace pm {

namespace {

__attribute__((format(printf, 4, 0))) tk_ErrorReport *make(const char *function, int severity,
                                                          tk_ErrorReport *cause, const char *format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  char *text = needed >= 0 ? static_cast<char *>(tk_HeapMalloc(static_cast<size_t>(needed) + 1)) : nullptr;
  if (text) std::vsnprintf(text, static_cast<size_t>(needed) + 1, format, args);
  tk_ErrorReport *report =
      tk_ErrorReportCreate(function, 0, severity, cause, "%s", text ? text : "out of memory");
  tk_HeapFree(text);
  return report;
}

}  // namespace

void Reporter::vpush(int severity, tk_ErrorReport *inner, const char *format, va_list args) noexcept {
  tk_ErrorReport *cause = inner;
  if (!cause) {
    cause = *slot_;
  } else {
    tk_ErrorReportDelete(slot_);
  }
  *slot_ = make(function_, severity, cause, format, args);
}

void Reporter::push(tk_ErrorReport *inner, const char *format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vpush(TK_SEVERITY_ERROR, inner, format, args);
  va_end(args);
}

void Reporter::push_name(tk_ErrorReport *inner, NameText text, const char *name) noexcept {
  if (text.at() == NameText::none) {
    push(inner, "%s", text.text());
    return;
  }
  push(inner, "%.*s%s%s", static_cast<int>(text.at()), text.text(), name ? name : "(null)", text.text() + text.at() + 2);
}

void Reporter::push_severity(int severity, tk_ErrorReport *inner, const char *format, ...) noexcept {
  va_list args;
  va_start(args, format);
  vpush(severity, inner, format, args);
  va_end(args);
}

}  // namespace pm
