/* The host keeps its own allocator. The toolkit heap may be mimalloc, whose
 * shared library also defines malloc, free and the C++ operators new and
 * delete; loading it as the toolkit's dependency must hand none of them to
 * the host, while the blocks the library hands out are mimalloc's.
 * Run by c_host ("c_host heap"): a host in C does not link the C++ runtime
 * itself, so this is where the lookup order is tightest. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kestrum.h"
#include "host_heap.h"

#if defined(__SANITIZE_ADDRESS__)
#define HOST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOST_SANITIZED 1
#endif
#endif
#ifndef HOST_SANITIZED
#define HOST_SANITIZED 0
#endif

/* What mimalloc 2.0 defines besides its mi_ functions, by the library that
 * must keep them. */
static const char *const c_names[] = {"malloc", "calloc", "realloc", "free", "posix_memalign",
                                      "aligned_alloc", "memalign", "valloc", "malloc_usable_size",
                                      "reallocarray"};
static const char *const cxx_names[] = {"_Znwm", "_Znam", "_ZdlPv", "_ZdaPv", "_ZdlPvm",
                                        "_ZnwmRKSt9nothrow_t", "_ZnwmSt11align_val_t",
                                        "_ZdlPvSt11align_val_t"};

static int fail(const char *what, const char *name) {
  fprintf(stderr, "c_host heap: %s%s%s\n", what, name ? " " : "", name ? name : "");
  return 1;
}

/* Each name as the host finds it must not be mimalloc's and, where no
 * sanitizer puts its own allocator first, must be the owner's. */
static int same_owner(const char *const *names, size_t count, void *owner, void *mimalloc) {
  int failures = 0;
  size_t i;
  for (i = 0; i < count; ++i) {
    void *found = dlsym(RTLD_DEFAULT, names[i]);
    void *theirs = mimalloc ? dlsym(mimalloc, names[i]) : NULL;
    if (found && theirs && found == theirs) failures += fail("the host's lookup finds mimalloc's", names[i]);
    if (!HOST_SANITIZED && owner && found != dlsym(owner, names[i]))
      failures += fail("the host's lookup does not find the system's", names[i]);
  }
  return failures;
}

int host_heap_failures(void) {
  int failures = 0;
  void *libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
  void *libcxx = dlopen("libstdc++.so.6", RTLD_LAZY | RTLD_NOLOAD);
  void *mimalloc = dlopen("libmimalloc.so.2", RTLD_LAZY | RTLD_NOLOAD);
  char *text = tk_StrDuplicate("text");
  void *block = tk_HeapMalloc(64);
  pm_Tile *tile = pm_TileCreate("T1");
  char *name = pm_TileGetName(tile);
  void *plain = malloc(64);

  if (!libc) failures += fail("libc.so.6 is not loaded", NULL);
  failures += same_owner(c_names, sizeof c_names / sizeof *c_names, libc, mimalloc);
  failures += same_owner(cxx_names, sizeof cxx_names / sizeof *cxx_names, libcxx, mimalloc);
#if defined(KESTRUM_TOOLKIT_MIMALLOC)
  /* KESTRUM_HEAP=malloc puts the library's blocks on the C library's malloc. */
  const char *switched = getenv("KESTRUM_HEAP");
  const int on_malloc = switched && strcmp(switched, "malloc") == 0;
  if (!mimalloc) {
    failures += fail("libmimalloc.so.2 is not loaded", NULL);
  } else if (!HOST_SANITIZED) { /* the sanitizer moves mimalloc's memory out of its segment map */
    int (*in_heap)(const void *) = NULL;
    void *symbol = dlsym(mimalloc, "mi_is_in_heap_region");
    if (symbol) memcpy(&in_heap, &symbol, sizeof in_heap);
    if (!in_heap) {
      failures += fail("mimalloc lacks", "mi_is_in_heap_region");
    } else {
      if ((in_heap(block) != 0) == on_malloc) failures += fail("tk_HeapMalloc gave a block of the wrong heap", NULL);
      if ((in_heap(text) != 0) == on_malloc) failures += fail("tk_StrDuplicate gave a block of the wrong heap", NULL);
      if ((in_heap(name) != 0) == on_malloc) failures += fail("pm_TileGetName gave a block of the wrong heap", NULL);
      if (in_heap(plain)) failures += fail("malloc gave a block of mimalloc's heap", NULL);
    }
  }
#else
  if (mimalloc) failures += fail("libmimalloc.so.2 is loaded, but the toolkit heap is malloc", NULL);
#endif

  free(plain);
  tk_HeapFree(name);
  pm_TileDestroy(tile);
  tk_HeapFree(block);
  tk_HeapFree(text);
  if (mimalloc) dlclose(mimalloc);
  if (libcxx) dlclose(libcxx);
  if (libc) dlclose(libc);
  return failures;
}

/* The leak happens in a frame of its own, whose stack is then written over,
 * so that no copy of the two pointers is left for a leak checker to find. */
__attribute__((noinline)) static void leak_tile_and_name(void) {
  pm_Tile *tile = pm_TileCreate("leaked tile");
  char *name = pm_TileGetName(tile);
  printf("c_host leak: %s\n", name ? name : "(no name)");
}

__attribute__((noinline)) static void scrub_stack(void) {
  volatile char scratch[4096];
  size_t i;
  for (i = 0; i < sizeof scratch; ++i) scratch[i] = 0;
}

int host_leaks(void) {
  leak_tile_and_name();
  scrub_stack();
  return 0;
}
