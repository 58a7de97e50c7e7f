// The report slot discipline shared by every fallible function of kestrum.
//
// A function makes one Reporter from the caller's slot on entry. That clears
// the caller's slot, or, when the caller passed null, supplies a slot of the
// function's own whose report is freed when the Reporter goes out of scope,
// so a report is never leaked and never handed out twice.
#ifndef KESTRUM_NODE_REPORT_H
#define KESTRUM_NODE_REPORT_H

#include <cstdarg>
#include <cstddef>

#include "include/kestrum.h"

namespace pm {

// A report text that may name one thing: at most one "%s" and no other
// conversion. Helpers shared by several kinds take their texts as this
// rather than as a format, so a text that would not match its name argument
// fails to compile where it is written instead of misbehaving at run time.
class NameText {
 public:
  consteval NameText(const char *text) : text_(text), at_(find(text)) {}  // NOLINT: literals convert

  const char *text() const noexcept { return text_; }
  // Offset of the "%s", or none when the text leaves the name out.
  static constexpr size_t none = static_cast<size_t>(-1);
  size_t at() const noexcept { return at_; }

 private:
  static consteval size_t find(const char *text) {
    size_t at = none;
    for (size_t i = 0; text[i]; ++i) {
      if (text[i] != '%') continue;
      // Throwing here makes the call not a constant expression: a compile error.
      if (text[i + 1] != 's' || at != none) throw "a name text holds at most one %s and no other conversion";
      at = i++;
    }
    return at;
  }

  const char *text_;
  size_t at_;
};

class Reporter {
 public:
  Reporter(const char *function, tk_ErrorReport **slot) noexcept
      : function_(function), slot_(slot ? slot : &own_) {
    *slot_ = nullptr;
  }
  // Most calls succeed: only a report left behind costs a call to free it.
  ~Reporter() {
    if (own_) tk_ErrorReportDelete(&own_);
  }
  Reporter(const Reporter &) = delete;
  Reporter &operator=(const Reporter &) = delete;

  // The caller's slot (or the function's own): whether a report is there.
  bool failed() const noexcept { return *slot_ != nullptr; }
  tk_ErrorReport **slot() const noexcept { return slot_; }

  // Leaves a new report from this function with severity 1 in the slot. Its
  // cause is `inner` (taken over) or, when inner is null, whatever report
  // the slot already holds. Never pass data as the format.
  void push(tk_ErrorReport *inner, const char *format, ...) noexcept
      __attribute__((format(printf, 3, 4)));
  // push with `text`, naming `name` where it has its "%s" (a null name
  // reads "(null)").
  void push_name(tk_ErrorReport *inner, NameText text, const char *name) noexcept;
  // The same with another severity.
  void push_severity(int severity, tk_ErrorReport *inner, const char *format, ...) noexcept
      __attribute__((format(printf, 4, 5)));

 private:
  void vpush(int severity, tk_ErrorReport *inner, const char *format, va_list args) noexcept
      __attribute__((format(printf, 4, 0)));

  const char *function_;
  tk_ErrorReport *own_ = nullptr;
  tk_ErrorReport **slot_;
};

// A slot for one inner call: the report (if any) is freed unless taken.
class InnerSlot {
 public:
  InnerSlot() = default;
  ~InnerSlot() {
    if (report_) tk_ErrorReportDelete(&report_);
  }
  InnerSlot(const InnerSlot &) = delete;
  InnerSlot &operator=(const InnerSlot &) = delete;
  tk_ErrorReport **operator&() noexcept { return &report_; }
  explicit operator bool() const noexcept { return report_ != nullptr; }
  tk_ErrorReport *take() noexcept {
    tk_ErrorReport *r = report_;
    report_ = nullptr;
    return r;
  }

 private:
  tk_ErrorReport *report_ = nullptr;
};

}  // namespace pm

#endif
