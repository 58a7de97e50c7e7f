// Heap memory of the toolkit. Every string and record handed across the
// toolkit and library boundary comes from here, so a host frees it with
// tk_HeapFree whatever allocator the host itself uses.
#include <cstdlib>

#include "toolkit.h"

extern "C" {

TK_API void *tk_HeapMalloc(size_t size) {
  if (size == 0) return nullptr;
  return std::calloc(1, size);
}

TK_API void tk_HeapFree(void *pointer) { std::free(pointer); }

}  // extern "C"
