// Live and peak heap bytes of the whole process, counted by wrapping the C
// allocator and the toolkit heap's mimalloc calls (the usable size of every
// live block of either). Peak memory of a workload is the peak minus the live bytes at
// its start, so memory the process already held does not count.
#pragma once
#include <cstddef>

namespace bench {

struct HeapMeter {
  static bool available();         // false when another allocator owns malloc
  static size_t live();            // bytes now allocated
  static void reset_peak();        // peak := live
  static size_t peak();            // highest live since the last reset
};

}  // namespace bench
