// Wraps malloc and friends of the whole process (the toolkit heap and SQLite
// included) over glibc's own entry points, so the counts cover every
// allocation the library makes without touching the library.
#include "heap_meter.h"

#include <atomic>

#ifndef BENCH_NO_HEAP_METER
#include <malloc.h>

#include <cerrno>
#include <cstring>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
void *__libc_memalign(size_t, size_t);
}

namespace {
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void added(void *p) {
  if (!p) return;
  size_t now = g_live.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
  size_t peak = g_peak.load(std::memory_order_relaxed);
  while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}
void removed(void *p) {
  if (p) g_live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void *malloc(size_t n) {
  void *p = __libc_malloc(n);
  added(p);
  return p;
}
void *calloc(size_t n, size_t m) {
  void *p = __libc_calloc(n, m);
  added(p);
  return p;
}
void *realloc(void *old, size_t n) {
  removed(old);
  void *p = __libc_realloc(old, n);
  // A failed realloc keeps the old block.
  added(p ? p : (n ? old : nullptr));
  return p;
}
void free(void *p) {
  removed(p);
  __libc_free(p);
}
void *memalign(size_t a, size_t n) {
  void *p = __libc_memalign(a, n);
  added(p);
  return p;
}
void *aligned_alloc(size_t a, size_t n) { return memalign(a, n); }
int posix_memalign(void **out, size_t a, size_t n) {
  void *p = memalign(a, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}

namespace bench {
bool HeapMeter::available() { return true; }
size_t HeapMeter::live() { return g_live.load(); }
void HeapMeter::reset_peak() { g_peak.store(g_live.load()); }
size_t HeapMeter::peak() { return g_peak.load(); }
}  // namespace bench

#else
namespace bench {
bool HeapMeter::available() { return false; }
size_t HeapMeter::live() { return 0; }
void HeapMeter::reset_peak() {}
size_t HeapMeter::peak() { return 0; }
}  // namespace bench
#endif
