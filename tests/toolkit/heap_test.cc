// The toolkit heap. On mimalloc, a test build stops at tk_HeapFree of a block
// the toolkit did not hand out, so that the whole suite checks that no block
// of another allocator reaches it (mimalloc itself would corrupt its heap).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "peak_memory.h"
#include "toolkit.h"

namespace {

bool ToolkitHeapIsMimalloc() {
  void *mimalloc = dlopen("libmimalloc.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (mimalloc) dlclose(mimalloc);
  return mimalloc != nullptr;
}

TEST(HeapDeathTest, FreeingAForeignBlockStopsATestBuild) {
  if (kestrum_test::kSanitizedHeap) GTEST_SKIP() << "AddressSanitizer checks the frees itself";
  if (!KESTRUM_TEST_HOOKS || !ToolkitHeapIsMimalloc()) GTEST_SKIP() << "only a test build on mimalloc checks";
  std::string text(100, 'x');
  EXPECT_DEATH(tk_HeapFree(std::malloc(64)), "not a block of the toolkit heap");
  EXPECT_DEATH(tk_HeapFree(text.data()), "not a block of the toolkit heap");
  // The toolkit's own blocks of every size pass.
  for (size_t size : {size_t{1}, size_t{100}, size_t{70000}, size_t{40} << 20}) tk_HeapFree(tk_HeapMalloc(size));
  tk_HeapFree(tk_StrDuplicate("text"));
  tk_HeapFree(nullptr);
}

}  // namespace
