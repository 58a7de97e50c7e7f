// Injected allocation failures, for the test builds' out-of-memory loops.
//
// One counter serves the toolkit heap and whatever else a test routes
// through tk_FaultNextAllocation (its replacement of operator new), so that
// "the Nth allocation" means the same thing whichever allocator makes it.
// Atomics rather than a lock: operator new may run anywhere, including while
// a lock of the toolkit is held.
#include <atomic>

#include "toolkit.h"
#include "toolkit_internal.h"

#ifdef TK_FAULT_INJECTION
namespace {

std::atomic<long> g_counted{0};      // allocations since the last tk_FaultInjectAllocation
std::atomic<long> g_armed_at{0};     // the allocation that fails; 0 when disarmed
std::atomic<bool> g_persistent{false};

}  // namespace

namespace tk {

bool heap_fault() noexcept {
  long n = g_counted.fetch_add(1, std::memory_order_relaxed) + 1;
  long at = g_armed_at.load(std::memory_order_relaxed);
  if (at == 0 || n < at) return false;
  if (!g_persistent.load(std::memory_order_relaxed)) g_armed_at.compare_exchange_strong(at, 0);
  return true;
}

}  // namespace tk
#endif

extern "C" {

TK_API long tk_FaultInjectAllocation(long nth, int persistent) {
#ifdef TK_FAULT_INJECTION
  g_armed_at.store(0);
  g_persistent.store(persistent != 0);
  long counted = g_counted.exchange(0);
  g_armed_at.store(nth > 0 ? nth : 0);
  return counted;
#else
  (void)nth;
  (void)persistent;
  return -1;
#endif
}

TK_API int tk_FaultNextAllocation(void) { return tk::heap_fault() ? 1 : 0; }

}  // extern "C"
