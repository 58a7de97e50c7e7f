// Paired runs: a workload and the baseline it is judged against, timed in
// turn round after round, so that both meet the same load of a shared
// machine. Each side's median over the rounds gives the ratio, with the
// spread of both printed; a round whose baseline took more than 1.5 times
// the median of its earlier rounds shows the machine was not settled, and
// the pair is then reported as unsettled rather than as met.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Side {
  std::string name;
  std::function<void()> body;            // timed
  std::function<void()> after = nullptr;  // untimed tidying after each run
};

struct Pair {
  std::string what;  // "load / SQLite read"
  Side workload, baseline;
  double limit;  // the ratio of medians must not exceed it
};

// The seconds of each round, both sides.
struct PairTimes {
  std::vector<double> workload, baseline;
};

// Runs every pair `rounds` times, alternating: in each round every pair's
// workload, then its baseline.
std::vector<PairTimes> run_pairs(const std::vector<Pair> &pairs, int rounds);

// The 1-based rounds whose baseline took more than 1.5 times the median of
// the rounds before it.
std::vector<int> unsettled_rounds(const std::vector<double> &baseline);

double median(std::vector<double> values);

// Prints one line per pair; returns how many are over their limit (an
// unsettled pair counts as neither met nor over).
int print_pairs(const std::vector<Pair> &pairs, const std::vector<PairTimes> &times);

}  // namespace bench
