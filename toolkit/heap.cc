// Heap memory of the toolkit. Every string and record handed across the
// toolkit and library boundary comes from here, so a host frees it with
// tk_HeapFree whatever allocator the host itself uses.
//
// The toolkit heap is mimalloc unless the build puts it on the C library's
// malloc (KESTRUM_TOOLKIT_HEAP=malloc, for the sanitizer and valgrind builds,
// whose checks see only the C library's blocks). Only the mi_ calls are used:
// the host process keeps its own malloc, and a block of this heap must never
// reach plain free() nor a block of malloc tk_HeapFree.
#include <cstdlib>
#include <cstring>

#include "toolkit.h"
#include "toolkit_internal.h"

#if defined(TK_HEAP_MIMALLOC)
#include <mimalloc.h>

#include <cstdio>
#endif

// mimalloc frees a foreign block unchecked, crashing or corrupting its heap. The
// test builds stop at the first block that tk_HeapFree did not hand out, so
// that every test of the suite checks that no other allocator's block (a
// host's malloc, a C++ new) reaches it. AddressSanitizer places mimalloc's
// memory where its segment map cannot follow, so that build is left out.
#if defined(TK_HEAP_MIMALLOC) && defined(TK_FAULT_INJECTION) && !defined(__SANITIZE_ADDRESS__)
#define TK_HEAP_CHECK_FREE 1
#endif

namespace tk {

void *heap_alloc(size_t size) noexcept {
  if (size == 0 || heap_fault()) return nullptr;
#if defined(TK_HEAP_MIMALLOC)
  return mi_malloc(size);
#else
  return std::malloc(size);
#endif
}

char *heap_strdup(const char *text) noexcept {
  if (!text || heap_fault()) return nullptr;
#if defined(TK_HEAP_MIMALLOC)
  return mi_strdup(text);
#else
  size_t n = std::strlen(text) + 1;
  auto *copy = static_cast<char *>(std::malloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
#endif
}

}  // namespace tk

extern "C" {

TK_API void *tk_HeapMalloc(size_t size) {
  if (size == 0 || tk::heap_fault()) return nullptr;
#if defined(TK_HEAP_MIMALLOC)
  return mi_zalloc(size);
#else
  return std::calloc(1, size);
#endif
}

TK_API void tk_HeapFree(void *pointer) {
#if defined(TK_HEAP_MIMALLOC)
#if defined(TK_HEAP_CHECK_FREE)
  if (pointer && !mi_is_in_heap_region(pointer)) {
    std::fprintf(stderr, "tk_HeapFree: %p is not a block of the toolkit heap\n", pointer);
    std::abort();
  }
#endif
  mi_free(pointer);
#else
  std::free(pointer);
#endif
}

}  // extern "C"
