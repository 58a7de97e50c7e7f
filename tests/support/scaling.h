// Scaling checks: how much longer work on four times the input takes.
//
//   double ratio = ScalingRatio(2000, [](int n) { ...work on n items...; });
//   EXPECT_LE(ratio, kLinearBound);
//
// Each size runs a few times and the quickest run counts, timed in the
// processor time of the calling thread, so that a busy machine does not fake
// a slope. Linear work gives about 4, quadratic 16;
// sizes whose memory outgrows the processor's caches add a little.
#ifndef KESTRUM_TEST_SCALING_H
#define KESTRUM_TEST_SCALING_H

#include <time.h>

#include <algorithm>
#include <cstdlib>

#include "node/slow_paths.h"
#include "toolkit/toolkit.h"

namespace kestrum_test {

// Whether the library under test takes its plain paths everywhere
// (KESTRUM_SLOW_PATHS, honoured by a build with the test hooks, which come
// with the toolkit's fault injection): a check of how a fast path scales
// skips then. Asking disarms fault injection, so ask before arming.
inline bool SlowPathsForced() {
  return pm::slow_paths_wanted(std::getenv("KESTRUM_SLOW_PATHS")) && tk_FaultInject(0, 0, 0) >= 0;
}
// Why such a check skipped.
inline constexpr const char *kFastPathsOff = "KESTRUM_SLOW_PATHS turns every fast path into its plain one";

inline constexpr double kLinearBound = 8.0;

// The quickest of `runs` runs of `work(n)`, in seconds of processor time.
inline double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Work>
double QuickestSeconds(int n, Work work, int runs = 5) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    double start = ThreadSeconds();
    work(n);
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

// Time for 4n over time for n (the small size floored at 50 microseconds,
// below which a clock says little).
template <typename Work>
double ScalingRatio(int n, Work work, int runs = 5) {
  work(4 * n);  // the heap grows to its peak before anything is timed
  double small = std::max(QuickestSeconds(n, work, runs), 50e-6);
  double large = QuickestSeconds(4 * n, work, runs);
  return large / small;
}

}  // namespace kestrum_test

#endif
