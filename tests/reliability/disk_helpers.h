// Helpers of the reliability tests, beside the file readers and writers of
// temp_dir.h (included): directory listings, loading a project file and
// comparing it with an expected project, and a guard that disarms fault
// injection however a test ends.
#ifndef KESTRUM_TEST_RELIABILITY_DISK_HELPERS_H
#define KESTRUM_TEST_RELIABILITY_DISK_HELPERS_H

#include <functional>
#include <set>
#include <string>

#include "include/kestrum.h"
#include "temp_dir.h"

namespace kestrum_test {

// Names in the directory, without "." and "..".
std::set<std::string> ListDir(const std::string &directory);

// "" when the file loads and its contents equal `expected`; otherwise what
// went wrong (the report chain or the first difference).
std::string LoadDifference(const std::string &path, const pm_Project *expected);
// Like LoadDifference against each candidate: "" when it equals one of them.
std::string LoadDifferenceFromAll(const std::string &path, const pm_Project *first,
                                  const pm_Project *second, int *which = nullptr);

// The report chain as "function: message" lines ("" for none).
std::string ChainText(const tk_ErrorReport *report);

// Whether the toolkit was built with fault injection.
bool FaultInjectionAvailable();

// Runs `body` in a child process (fork) and returns the text it returned,
// or a description of how the child died. The child ends with _exit, so
// nothing of the test framework runs twice.
std::string RunInChild(const std::function<std::string()> &body);

// Disarms fault injection when it goes out of scope, so that a failed
// assertion never leaves a fault armed for the next test.
struct FaultDisarm {
  FaultDisarm() = default;
  FaultDisarm(const FaultDisarm &) = delete;
  FaultDisarm &operator=(const FaultDisarm &) = delete;
  ~FaultDisarm() { tk_FaultInject(0, 0, 0); }
};

}  // namespace kestrum_test

#endif
