// The peak resident memory of a piece of work, measured in a child process:
//
//   bool ok = false;
//   long kib = PeakKibOf([&] { return ...work...; }, &ok);
//
// A fresh process per measure, so that what the test did before does not
// hide the peak; it starts with what its parent holds, so whatever the
// parent built for the work should be dropped before measuring.
#ifndef KESTRUM_TEST_PEAK_MEMORY_H
#define KESTRUM_TEST_PEAK_MEMORY_H

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrum_test {

// The peak (KiB) of a child that runs `work`, and in *ok whether the work
// returned true; -1 when the child failed.
template <typename Work>
long PeakKibOf(Work work, bool *ok) {
  pid_t child = fork();
  if (child == 0) _exit(work() ? 0 : 1);
  int status = 0;
  struct rusage usage {};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
    return -1;
  *ok = WEXITSTATUS(status) == 0;
  return usage.ru_maxrss;
}

// Peaks under AddressSanitizer say nothing of a plain build: freed memory
// is held back in quarantine rather than used again.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizedHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitizedHeap = true;
#else
inline constexpr bool kSanitizedHeap = false;
#endif
#else
inline constexpr bool kSanitizedHeap = false;
#endif

}  // namespace kestrum_test

#endif
