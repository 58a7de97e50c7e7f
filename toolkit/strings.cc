// Strings and string lists of the toolkit.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "toolkit.h"
#include "toolkit_internal.h"

namespace tk {

char *vformat(const char *format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed < 0) return nullptr;
  auto *text = static_cast<char *>(heap_alloc(static_cast<size_t>(needed) + 1));
  if (!text) return nullptr;
  std::vsnprintf(text, static_cast<size_t>(needed) + 1, format, args);
  return text;
}

void report(tk_ErrorReport **slot, const char *function, const char *format, ...) {
  if (!slot) return;
  va_list args;
  va_start(args, format);
  char *message = vformat(format, args);
  va_end(args);
  tk_ErrorReport *cause = *slot;  // a report already there becomes the cause
  *slot = tk_ErrorReportCreate(function, 0, TK_SEVERITY_ERROR, cause, "%s", message ? message : "out of memory");
  tk_HeapFree(message);
}

}  // namespace tk

extern "C" {

TK_API char *tk_StrDuplicate(const char *text) { return tk::heap_strdup(text); }

TK_API char *tk_Sprintf(int flags, const char *format, tk_ErrorReport **slot, ...) {
  (void)flags;
  if (slot) *slot = nullptr;
  if (!format) {
    tk::report(slot, "tk_Sprintf", "No format given");
    return nullptr;
  }
  va_list args;
  va_start(args, slot);
  char *text = tk::vformat(format, args);
  va_end(args);
  if (!text) tk::report(slot, "tk_Sprintf", "Cannot format string");
  return text;
}

TK_API tk_StringList *tk_StringListAppend(tk_StringList *list, const char *text, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  bool fresh = list == nullptr;
  if (fresh) {
    list = static_cast<tk_StringList *>(tk_HeapMalloc(sizeof(tk_StringList)));
    if (!list) {
      tk::report(slot, "tk_StringListAppend", "Out of memory for a string list");
      return nullptr;
    }
  }
  // Capacity grows by doubling; it is implied by the count (next power of two).
  int count = list->count;
  bool grow = count == 0 || (count & (count - 1)) == 0;
  char **strings = list->strings;
  if (grow) {
    size_t capacity = count == 0 ? 1 : static_cast<size_t>(count) * 2;
    auto *bigger = static_cast<char **>(tk_HeapMalloc(capacity * sizeof(char *)));
    if (!bigger) {
      tk::report(slot, "tk_StringListAppend", "Out of memory for a string list");
      if (fresh) tk_HeapFree(list);
      return fresh ? nullptr : list;
    }
    if (count) std::memcpy(bigger, strings, static_cast<size_t>(count) * sizeof(char *));
    strings = bigger;
  }
  char *copy = nullptr;
  if (text) {
    copy = tk_StrDuplicate(text);
    if (!copy) {
      if (grow) tk_HeapFree(strings);
      tk::report(slot, "tk_StringListAppend", "Out of memory for a string list");
      if (fresh) tk_HeapFree(list);
      return fresh ? nullptr : list;
    }
  }
  if (grow && strings != list->strings) tk_HeapFree(list->strings);
  list->strings = strings;
  list->strings[count] = copy;
  list->count = count + 1;
  return list;
}

TK_API void tk_StringListDelete(tk_StringList *list, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!list) return;
  for (int i = 0; i < list->count; ++i) tk_HeapFree(list->strings[i]);
  tk_HeapFree(list->strings);
  tk_HeapFree(list);
}

TK_API int tk_StrEqualNoCase(const char *a, const char *b) {
  if (!a || !b) return a == b;
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return 0;
  return *a == *b;
}

TK_API int tk_TextCompare(const char *a, const char *b) {
  if (!a || !b) return (a != nullptr) - (b != nullptr);
  return std::strcmp(a, b);
}

TK_API int tk_TextCompareN(const char *a, const char *b, size_t n) {
  if (!a || !b) return (a != nullptr) - (b != nullptr);
  return std::strncmp(a, b, n);
}

TK_API size_t tk_TextLength(const char *text) { return text ? std::strlen(text) : 0; }

}  // extern "C"
