// The allocation-failure loop: one operation is run again and again, with
// allocation number N failing (once, or from the Nth on) for N = 1, 2, ...
// until a run completes without the fault being reached. Every run must
// either succeed exactly as a run without faults does or fail with a report
// and the failure result of the call, leaving everything as it was; the
// attempt checks that itself, the loop only drives N and counts outcomes.
//
//   LoopTally tally = RunAllocationLoop("load", persistent, [&](AllocationFault &fault) {
//     ReportSlot slot;
//     fault.Arm();
//     ProjectPtr loaded(pm_ProjectLoad(path, 0, slot.out()));
//     fault.Disarm();
//     if (!slot.empty()) return Verdict::Reported(loaded ? "a result with a report" : "");
//     return Verdict::Succeeded(ProjectDifference(loaded.get(), clean.get()));
//   });
//
// Only what runs between Arm and Disarm counts, so a test prepares and
// checks with allocations that cannot fail.
#ifndef KESTRUM_TEST_ALLOCATION_LOOP_H
#define KESTRUM_TEST_ALLOCATION_LOOP_H

#include <functional>
#include <string>
#include <utility>

namespace kestrum_test {

// Allocation `nth` of the armed stretch fails; with `persistent` every one
// from it on does.
class AllocationFault {
 public:
  AllocationFault(long nth, bool persistent) : nth_(nth), persistent_(persistent) {}
  void Arm();
  void Disarm();
  // Whether the armed stretch reached allocation nth (so something failed).
  bool fired() const { return counted_ >= nth_; }
  long counted() const { return counted_; }
  long nth() const { return nth_; }

 private:
  long nth_;
  bool persistent_;
  long counted_ = 0;
};

enum class Outcome { kSucceeded, kReported };

// What one run did, and what was wrong with it ("" when nothing).
struct Verdict {
  Outcome outcome;
  std::string problem;
  static Verdict Succeeded(std::string problem = {}) { return {Outcome::kSucceeded, std::move(problem)}; }
  static Verdict Reported(std::string problem = {}) { return {Outcome::kReported, std::move(problem)}; }
};

struct LoopTally {
  long allocations = 0;  // counted by the run that no fault reached
  long tried = 0;        // runs in which an allocation failed
  long succeeded = 0;    // ... and the call still succeeded (the failure was absorbed)
  long reported = 0;     // ... and the call failed with a report
  long wrong = 0;        // runs with a problem (each a test failure; the first few are printed)
  // "load (once): 812 allocations, 812 runs: 40 succeeded, 772 reported"
  std::string Summary(const std::string &operation, bool persistent) const;
};

// Whether the toolkit counts allocations (the test hooks are compiled in).
bool AllocationFaultsAvailable();

// Runs `attempt` for N = first, first + stride, ... until a run leaves its
// fault unfired (which must then be a clean success), and prints the tally.
// A stride above 1 samples N where an operation has too many allocations
// for every one to be tried in the time of the test command.
LoopTally RunAllocationLoop(const std::string &operation, bool persistent,
                            const std::function<Verdict(AllocationFault &)> &attempt, long stride = 1,
                            long first = 1);

}  // namespace kestrum_test

#endif
