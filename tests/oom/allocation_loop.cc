#include "allocation_loop.h"

#include <gtest/gtest.h>

#include <iostream>

#include "toolkit.h"

namespace kestrum_test {

void AllocationFault::Arm() { tk_FaultInjectAllocation(nth_, persistent_ ? 1 : 0); }

void AllocationFault::Disarm() { counted_ = tk_FaultInjectAllocation(0, 0); }

std::string LoopTally::Summary(const std::string &operation, bool persistent) const {
  return operation + (persistent ? " (from N on): " : " (once): ") + std::to_string(allocations) +
         " allocations, " + std::to_string(tried) + " runs with a failure: " + std::to_string(succeeded) +
         " succeeded, " + std::to_string(reported) + " reported, " + std::to_string(wrong) + " wrong";
}

bool AllocationFaultsAvailable() { return tk_FaultInjectAllocation(0, 0) >= 0; }

LoopTally RunAllocationLoop(const std::string &operation, bool persistent,
                            const std::function<Verdict(AllocationFault &)> &attempt, long stride, long first) {
  LoopTally tally;
  // A bound far above any operation here, so that a fault that never
  // stops firing ends the test instead of hanging it.
  constexpr long kLimit = 10'000'000;
  constexpr long kPrinted = 5;
  for (long n = first; n < kLimit; n += stride) {
    AllocationFault fault(n, persistent);
    Verdict verdict = attempt(fault);
    tk_FaultInjectAllocation(0, 0);  // in case the attempt returned armed
    if (!fault.fired() && verdict.outcome != Outcome::kSucceeded && verdict.problem.empty())
      verdict.problem = "a run in which nothing failed reported a failure";
    if (!verdict.problem.empty() && ++tally.wrong <= kPrinted)
      ADD_FAILURE() << operation << " with allocation " << n << " failing"
                    << (persistent ? " and every one after it" : "") << ": " << verdict.problem;
    if (!fault.fired()) {
      tally.allocations = fault.counted();
      break;
    }
    ++tally.tried;
    ++(verdict.outcome == Outcome::kSucceeded ? tally.succeeded : tally.reported);
    if (testing::Test::HasFatalFailure()) break;
  }
  std::cout << "[ tally    ] " << tally.Summary(operation, persistent) << std::endl;
  if (tally.wrong > kPrinted) ADD_FAILURE() << tally.wrong << " runs went wrong; the first " << kPrinted << " are shown";
  return tally;
}

}  // namespace kestrum_test
