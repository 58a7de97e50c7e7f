#include "node/slow_paths.h"

#include <cstdlib>

namespace pm {

// Only test builds read the switch: an installed library reads no
// environment.
bool slow_paths() noexcept {
#ifdef PM_TEST_HOOKS
  static const bool slow = slow_paths_wanted(std::getenv("KESTRUM_SLOW_PATHS"));
  return slow;
#else
  return false;
#endif
}

}  // namespace pm
