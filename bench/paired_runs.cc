#include "paired_runs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace bench {

namespace {

double seconds_of(const Side &side) {
  auto t0 = std::chrono::steady_clock::now();
  side.body();
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (side.after) side.after();
  return s;
}

}  // namespace

std::vector<PairTimes> run_pairs(const std::vector<Pair> &pairs, int rounds) {
  std::vector<PairTimes> times(pairs.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < pairs.size(); ++i) {
      times[i].workload.push_back(seconds_of(pairs[i].workload));
      times[i].baseline.push_back(seconds_of(pairs[i].baseline));
    }
  }
  return times;
}

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::vector<int> unsettled_rounds(const std::vector<double> &baseline) {
  std::vector<int> rounds;
  for (size_t k = 1; k < baseline.size(); ++k) {
    std::vector<double> earlier(baseline.begin(), baseline.begin() + static_cast<long>(k));
    if (baseline[k] > 1.5 * median(earlier)) rounds.push_back(static_cast<int>(k + 1));
  }
  return rounds;
}

int print_pairs(const std::vector<Pair> &pairs, const std::vector<PairTimes> &times) {
  int over = 0;
  auto spread = [](const std::vector<double> &v) {
    char cell[64];
    std::snprintf(cell, sizeof cell, "%.2f ms [%.2f-%.2f]", median(v) * 1e3, *std::min_element(v.begin(), v.end()) * 1e3,
                  *std::max_element(v.begin(), v.end()) * 1e3);
    return std::string(cell);
  };
  for (size_t i = 0; i < pairs.size(); ++i) {
    const Pair &p = pairs[i];
    const PairTimes &t = times[i];
    if (t.workload.empty()) continue;
    double ratio = median(t.workload) / median(t.baseline);
    std::vector<int> unsettled = unsettled_rounds(t.baseline);
    std::string verdict;
    if (!unsettled.empty()) {
      verdict = "unsettled (round";
      for (int r : unsettled) verdict += " " + std::to_string(r);
      verdict += ")";
    } else if (ratio <= p.limit) {
      verdict = "met";
    } else {
      verdict = "OVER";
      ++over;
    }
    std::printf("  %-28s %6.2f (limit %.2f) %-20s %s: %s; %s: %s\n", p.what.c_str(), ratio, p.limit, verdict.c_str(),
                p.workload.name.c_str(), spread(t.workload).c_str(), p.baseline.name.c_str(),
                spread(t.baseline).c_str());
  }
  return over;
}

}  // namespace bench
