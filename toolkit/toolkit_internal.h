// Helpers shared by the toolkit's own source files; not part of its interface.
#ifndef KESTRUM_TOOLKIT_INTERNAL_H
#define KESTRUM_TOOLKIT_INTERNAL_H

#include <cstdarg>
#include <cstring>
#include <string_view>

#include "toolkit.h"

namespace tk {

// Blocks of the toolkit heap (heap.cc) that need no zero fill: freed with
// tk_HeapFree like every other. heap_alloc gives null for size 0 or when
// memory runs out; heap_strdup gives null for null.
void *heap_alloc(size_t size) noexcept;
char *heap_strdup(const char *text) noexcept;

// Whether the allocation about to be made must fail (an injected allocation
// fault, heap_fault.cc); a constant false without the test hooks.
#ifdef TK_FAULT_INJECTION
bool heap_fault() noexcept;
#else
constexpr bool heap_fault() noexcept { return false; }
#endif

// printf-style formatting into a new heap string; null when memory runs out
// or the format is invalid.
char *vformat(const char *format, va_list args) TK_PRINTF(1, 0);

// Leaves a report made by the toolkit function `function` in `slot` (which
// may be null, in which case nothing is made).
void report(tk_ErrorReport **slot, const char *function, const char *format, ...)
    TK_PRINTF(3, 4);

// Hands `text` out as a new toolkit string; null with an "Out of memory"
// report from `function` when memory runs out.
inline char *hand_out(std::string_view text, const char *function, tk_ErrorReport **slot) {
  auto *copy = static_cast<char *>(tk_HeapMalloc(text.size() + 1));
  if (!copy) {
    report(slot, function, "Out of memory");
    return nullptr;
  }
  std::memcpy(copy, text.data(), text.size());
  return copy;
}

// Runs `body`, which builds C++ strings and so may throw, so that no
// exception leaves an exported function: a throw gives null and an
// "Out of memory" report from `function`.
template <typename Body>
char *guarded(const char *function, tk_ErrorReport **slot, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    report(slot, function, "Out of memory");
    return nullptr;
  }
}

}  // namespace tk

#endif
