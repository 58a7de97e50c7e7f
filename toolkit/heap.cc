// Heap memory of the toolkit. Every string and record handed across the
// toolkit and library boundary comes from here, so a host frees it with
// tk_HeapFree whatever allocator the host itself uses.
//
// The toolkit heap is mimalloc unless the build puts it on the C library's
// malloc (KESTRUM_TOOLKIT_HEAP=malloc, for the sanitizer builds, whose checks
// see only the C library's blocks). Only the mi_ calls are used: the host
// process keeps its own malloc, and a block of this heap must never reach
// plain free() nor a block of malloc tk_HeapFree.
//
// A mimalloc build also turns to the C library's malloc, for the whole life
// of the process, when a memory checker is watching: under valgrind (which
// replaces malloc and free but cannot follow mimalloc's own blocks, so that
// every free looked invalid and a host's leaked names and tiles were
// invisible), and when KESTRUM_HEAP=malloc is in the environment (for
// LeakSanitizer, heaptrack and the like; KESTRUM_HEAP=mimalloc keeps mimalloc
// under valgrind, for callgrind). Which heap serves is decided once,
// before the first block, and never changes: a block always goes back to
// the allocator that made it.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "toolkit.h"
#include "toolkit_internal.h"

#if defined(TK_HEAP_MIMALLOC)
#include <mimalloc.h>

#include <cstdio>
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#endif

// mimalloc frees a foreign block unchecked, crashing or corrupting its heap. The
// test builds stop at the first block that tk_HeapFree did not hand out, so
// that every test of the suite checks that no other allocator's block (a
// host's malloc, a C++ new) reaches it. AddressSanitizer places mimalloc's
// memory where its segment map cannot follow, so that build is left out.
#if defined(TK_HEAP_MIMALLOC) && defined(TK_FAULT_INJECTION) && !defined(__SANITIZE_ADDRESS__)
#define TK_HEAP_CHECK_FREE 1
#endif

namespace {

#if defined(TK_HEAP_MIMALLOC)
// Whether the C library's malloc serves instead of mimalloc. Every thread
// that asks first reaches the same answer (the environment and valgrind do
// not change under a running process), so a race to decide is harmless.
enum : int { kUndecided, kMimalloc, kMalloc };
std::atomic<int> g_choice{kUndecided};

// The first call's decision, apart from the test every allocation makes.
[[gnu::noinline]] int decide_heap() noexcept {
  const char *wanted = std::getenv("KESTRUM_HEAP");
  bool checked = wanted && std::strcmp(wanted, "malloc") == 0;
#if defined(RUNNING_ON_VALGRIND)
  // KESTRUM_HEAP=mimalloc keeps mimalloc under valgrind's other tools:
  // callgrind then counts the instructions a user's build executes.
  const bool kept = wanted && std::strcmp(wanted, "mimalloc") == 0;
  checked = checked || (!kept && RUNNING_ON_VALGRIND);
#endif
  const int chosen = checked ? kMalloc : kMimalloc;
  g_choice.store(chosen, std::memory_order_relaxed);
  return chosen;
}

inline bool system_heap() noexcept {
  int chosen = g_choice.load(std::memory_order_relaxed);
  if (chosen == kUndecided) [[unlikely]] chosen = decide_heap();
  return chosen == kMalloc;
}
#endif

}  // namespace

namespace tk {

void *heap_alloc(size_t size) noexcept {
  if (size == 0 || heap_fault()) return nullptr;
#if defined(TK_HEAP_MIMALLOC)
  if (!system_heap()) return mi_malloc(size);
#endif
  return std::malloc(size);
}

char *heap_strdup(const char *text) noexcept {
  if (!text || heap_fault()) return nullptr;
#if defined(TK_HEAP_MIMALLOC)
  if (!system_heap()) return mi_strdup(text);
#endif
  size_t n = std::strlen(text) + 1;
  auto *copy = static_cast<char *>(std::malloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

}  // namespace tk

extern "C" {

TK_API void *tk_HeapMalloc(size_t size) {
  if (size == 0 || tk::heap_fault()) return nullptr;
#if defined(TK_HEAP_MIMALLOC)
  if (!system_heap()) return mi_zalloc(size);
#endif
  return std::calloc(1, size);
}

TK_API void tk_HeapFree(void *pointer) {
#if defined(TK_HEAP_MIMALLOC)
  if (!system_heap()) {
#if defined(TK_HEAP_CHECK_FREE)
    if (pointer && !mi_is_in_heap_region(pointer)) {
      std::fprintf(stderr, "tk_HeapFree: %p is not a block of the toolkit heap\n", pointer);
      std::abort();
    }
#endif
    mi_free(pointer);
    return;
  }
#endif
  std::free(pointer);
}

}  // extern "C"
