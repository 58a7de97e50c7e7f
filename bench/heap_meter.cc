// Wraps malloc and friends of the whole process (the C++ runtime, SQLite and
// a toolkit heap on malloc) over glibc's own entry points and, when the
// toolkit heap is mimalloc, the mi_ calls the toolkit makes over mimalloc's
// own, so the counts cover every allocation the library makes without
// touching the library. Both add the usable size of each live block into one
// count, so a peak is the peak of the two heaps together.
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

void add(size_t n) {
  size_t now = g_live.fetch_add(n, std::memory_order_relaxed) + n;
  size_t peak = g_peak.load(std::memory_order_relaxed);
  while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}
void added(void *p) {
  if (p) add(malloc_usable_size(p));
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

#ifdef BENCH_TOOLKIT_MIMALLOC
// The toolkit's mi_ calls land here (the program comes first in the lookup
// order) and go on to mimalloc's. A call mimalloc makes to its own exported
// functions from inside one of these comes back here too; only the outermost
// call counts.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {
struct Mimalloc {
  void *(*malloc)(size_t);
  void *(*zalloc)(size_t);
  void *(*calloc)(size_t, size_t);
  void *(*realloc)(void *, size_t);
  char *(*strdup)(const char *);
  void (*free)(void *);
  size_t (*usable_size)(const void *);
};

template <typename F>
void resolve(F *slot, const char *name) {
  void *symbol = dlsym(RTLD_NEXT, name);
  if (!symbol) {
    std::fprintf(stderr, "heap meter: mimalloc has no %s\n", name);
    std::abort();
  }
  std::memcpy(slot, &symbol, sizeof *slot);
}

const Mimalloc &mi() {
  static const Mimalloc calls = [] {
    Mimalloc m{};
    resolve(&m.malloc, "mi_malloc");
    resolve(&m.zalloc, "mi_zalloc");
    resolve(&m.calloc, "mi_calloc");
    resolve(&m.realloc, "mi_realloc");
    resolve(&m.strdup, "mi_strdup");
    resolve(&m.free, "mi_free");
    resolve(&m.usable_size, "mi_usable_size");
    return m;
  }();
  return calls;
}

thread_local int g_depth = 0;
struct Outermost {
  bool counts = g_depth++ == 0;
  ~Outermost() { --g_depth; }
};

void *mi_added(void *p, const Outermost &call) {
  if (p && call.counts) add(mi().usable_size(p));
  return p;
}
}  // namespace

// Visible to the libraries although the program's own names are hidden.
#define BENCH_EXPORT __attribute__((visibility("default")))

extern "C" {
BENCH_EXPORT void *mi_malloc(size_t n) {
  Outermost call;
  return mi_added(mi().malloc(n), call);
}
BENCH_EXPORT void *mi_zalloc(size_t n) {
  Outermost call;
  return mi_added(mi().zalloc(n), call);
}
BENCH_EXPORT void *mi_calloc(size_t n, size_t m) {
  Outermost call;
  return mi_added(mi().calloc(n, m), call);
}
BENCH_EXPORT char *mi_strdup(const char *s) {
  Outermost call;
  return static_cast<char *>(mi_added(mi().strdup(s), call));
}
BENCH_EXPORT void *mi_realloc(void *old, size_t n) {
  Outermost call;
  size_t before = old && call.counts ? mi().usable_size(old) : 0;
  void *p = mi().realloc(old, n);
  // A failed realloc keeps the old block.
  if (p) g_live.fetch_sub(before, std::memory_order_relaxed);
  return p ? mi_added(p, call) : nullptr;
}
BENCH_EXPORT void mi_free(void *p) {
  Outermost call;
  if (p && call.counts) g_live.fetch_sub(mi().usable_size(p), std::memory_order_relaxed);
  mi().free(p);
}
}
#endif

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
