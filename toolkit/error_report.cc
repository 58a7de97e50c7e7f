// Error reports: one message per level of a failed call, chained from the
// outermost report down to the first cause. A chain is owned by its
// outermost report and freed in one call.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "toolkit.h"
#include "toolkit_internal.h"

struct tk_ErrorReport {
  char *function;
  char *message;
  int line;
  int severity;
  tk_ErrorReport *cause;
};

namespace {

// What a failure says when not even its report can be made. It is never
// freed nor changed, so any number of chains, in any thread, may end in it.
char g_function[] = "tk_ErrorReportCreate";
char g_message[] = "Out of memory";
tk_ErrorReport g_out_of_memory = {g_function, g_message, 0, TK_SEVERITY_ERROR, nullptr};

}  // namespace

extern "C" {

TK_API tk_ErrorReport *tk_ErrorReportCreate(const char *function, int line, int severity,
                                            tk_ErrorReport *cause, const char *format, ...) {
  auto *report = static_cast<tk_ErrorReport *>(tk_HeapMalloc(sizeof(tk_ErrorReport)));
  char *message = nullptr;
  if (report) {
    va_list args;
    va_start(args, format);
    message = format ? tk::vformat(format, args) : tk_StrDuplicate("");
    va_end(args);
  }
  char *name = tk_StrDuplicate(function ? function : "");
  if (!report || !message || !name) {
    tk_HeapFree(report);
    tk_HeapFree(message);
    tk_HeapFree(name);
    return cause ? cause : &g_out_of_memory;
  }
  report->function = name;
  report->message = message;
  report->line = line;
  report->severity = severity;
  report->cause = cause;
  return report;
}

TK_API void tk_ErrorReportDelete(tk_ErrorReport **slot) {
  if (!slot) return;
  tk_ErrorReport *report = *slot;
  *slot = nullptr;
  // Iterative, so that a long chain cannot exhaust the stack; the shared
  // report ends a chain and stays.
  while (report && report != &g_out_of_memory) {
    tk_ErrorReport *cause = report->cause;
    tk_HeapFree(report->function);
    tk_HeapFree(report->message);
    tk_HeapFree(report);
    report = cause;
  }
}

TK_API const char *tk_ErrorReportGetMessage(const tk_ErrorReport *report) {
  return report ? report->message : nullptr;
}

TK_API const char *tk_ErrorReportGetFunction(const tk_ErrorReport *report) {
  return report ? report->function : nullptr;
}

TK_API int tk_ErrorReportGetSeverity(const tk_ErrorReport *report) {
  return report ? report->severity : 0;
}

TK_API int tk_ErrorReportGetLine(const tk_ErrorReport *report) { return report ? report->line : 0; }

TK_API const tk_ErrorReport *tk_ErrorReportGetCause(const tk_ErrorReport *report) {
  return report ? report->cause : nullptr;
}

TK_API char *tk_ErrorReportFormatChain(const tk_ErrorReport *report) {
  if (!report) return nullptr;
  size_t total = 1;
  for (const tk_ErrorReport *r = report; r; r = r->cause)
    total += std::strlen(r->function) + 2 + std::strlen(r->message) + 1;
  auto *text = static_cast<char *>(tk_HeapMalloc(total));
  if (!text) return nullptr;
  char *out = text;
  for (const tk_ErrorReport *r = report; r; r = r->cause) {
    if (out != text) *out++ = '\n';
    size_t n = std::strlen(r->function);
    std::memcpy(out, r->function, n);
    out += n;
    *out++ = ':';
    *out++ = ' ';
    n = std::strlen(r->message);
    std::memcpy(out, r->message, n);
    out += n;
  }
  *out = '\0';
  return text;
}

}  // extern "C"
