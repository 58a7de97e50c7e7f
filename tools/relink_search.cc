// Relinking by search (see relink_by_search in relink_internal.h).
//
// A file found by search teaches a rule: the directories its old and new
// names share at their ends are taken to be the same directories, moved,
// and the parts before them the prefixes that changed. What all files
// teach is gathered first; then the rules are tried before any scoring for
// every file under their old prefix, the way a person who fixed one file
// would fix its neighbours, and a found file that a rule gives to one data
// file is no candidate for another (see claims()).
#include <algorithm>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "relink_internal.h"

namespace kcli {

using namespace relink_names;

namespace {

// The rule a match teaches: the names two paths share at their ends are
// taken for the same directories, moved; what comes before them changed.
PrefixRule taught(const std::vector<std::string> &old_parts, const std::vector<std::string> &new_parts) {
  const std::size_t shared = shared_tail(old_parts, new_parts);
  return {without_tail(old_parts, shared + 1), without_tail(new_parts, shared + 1)};
}

// Found files by the names at the end of their paths read backwards (the
// file name, its directory's name, and so on), sorted: the files that share
// the most names at the end with an old path are one range, found by a
// binary search per name shared. So a file name that thousands of tiles
// share costs a few searches, not a comparison with each of them.
class TailIndex {
 public:
  void add(const std::string &path) { entries_.push_back({tail_key(components(path), SIZE_MAX), path}); }
  void seal() { std::sort(entries_.begin(), entries_.end()); }
  // The paths sharing the most trailing names with `old_parts` (the file
  // name at least), in key order; empty when none has its file name.
  std::vector<std::string> best(const std::vector<std::string> &old_parts, std::size_t limit,
                                std::size_t *count) const {
    std::pair<Iterator, Iterator> found{entries_.end(), entries_.end()};
    for (std::size_t names = 1; names <= old_parts.size(); ++names) {
      const std::string prefix = tail_key(old_parts, names);
      const auto first = std::lower_bound(entries_.begin(), entries_.end(), Entry{prefix, {}});
      const auto last = std::partition_point(first, entries_.end(), [&](const Entry &entry) {
        return entry.key.compare(0, prefix.size(), prefix) == 0;
      });
      if (first == last) break;
      found = {first, last};
    }
    *count = static_cast<std::size_t>(found.second - found.first);
    std::vector<std::string> out;
    for (auto at = found.first; at != found.second && out.size() < limit; ++at) out.push_back(at->path);
    return out;
  }

 private:
  struct Entry {
    std::string key;
    std::string path;
    bool operator<(const Entry &other) const { return key < other.key; }
  };
  using Iterator = std::vector<Entry>::const_iterator;
  // The last `names` names of a path, last first, each ended by "/" (no
  // name holds one, so a prefix of keys is a run of whole names).
  static std::string tail_key(const std::vector<std::string> &parts, std::size_t names) {
    std::string key;
    for (std::size_t i = 0; i < parts.size() && i < names; ++i) key += parts[parts.size() - 1 - i] + "/";
    return key;
  }
  std::vector<Entry> entries_;
};

// The rules the files with one best candidate teach, and how many teach
// each: the more files moved one way, the surer that way is.
class Votes {
 public:
  void add(const PrefixRule &rule) { ++rules_[rule.from][rule.to]; }
  // The rules whose old prefix holds `old_name`, nearest prefix first.
  std::vector<std::pair<PrefixRule, std::size_t>> covering(const std::string &old_name) const {
    std::vector<std::pair<PrefixRule, std::size_t>> out;
    if (rules_.empty()) return out;
    for (std::string prefix = old_name;;) {
      const std::string parent = directory_of(prefix);
      if (parent == prefix || parent == ".") break;
      prefix = parent;
      const auto found = rules_.find(prefix);
      if (found == rules_.end()) continue;
      for (const auto &[to, count] : found->second) out.push_back({PrefixRule{prefix, to}, count});
    }
    return out;
  }

 private:
  std::unordered_map<std::string, std::map<std::string, std::size_t>> rules_;
};

// Whose each found file is: a data file of the project that names it, or
// one that a learned rule puts there (the rule taught by the most files
// first). A claimed file is a candidate for its claimant alone: in a tree of
// tiles T1, T2, T3 each with S1/plot.img and S2/plot.img, a lost
// T3/S2/plot.img is never taken for T1's.
std::unordered_map<std::string, std::string> claims(const std::vector<std::string> &descriptors,
                                                    const std::unordered_set<std::string> &found, const Votes &votes) {
  std::unordered_map<std::string, std::string> owner;
  for (const std::string &descriptor : descriptors)
    if (found.count(descriptor)) owner.emplace(descriptor, descriptor);
  struct Claim {
    std::size_t support;
    std::string place;
    const std::string *claimant;
  };
  std::vector<Claim> wanted;
  for (const std::string &descriptor : descriptors)
    for (const auto &[rule, count] : votes.covering(descriptor)) {
      std::string place = moved(descriptor, rule.from, rule.to);
      if (found.count(place)) wanted.push_back({count, std::move(place), &descriptor});
    }
  std::stable_sort(wanted.begin(), wanted.end(), [](const Claim &a, const Claim &b) { return a.support > b.support; });
  for (const Claim &claim : wanted) owner.emplace(claim.place, *claim.claimant);
  return owner;
}

}  // namespace

void relink_by_search(pm_Project *project, const std::vector<std::string> &roots, std::vector<DataFile> sought,
                      const std::vector<std::string> &descriptors, RelinkPlan &plan) {
  const std::string directory = take(pm_ProjectGetDirname(project));
  std::vector<std::string> names;
  for (const DataFile &file : sought) names.push_back(last_name(file.descriptor));
  SearchResult search = search_trees(roots, names);
  plan.warnings = std::move(search.warnings);
  TailIndex everything;
  std::unordered_set<std::string> found_paths;
  for (const auto &[name, places] : search.found)
    for (const std::string &place : places) {
      everything.add(place);
      found_paths.insert(place);
    }
  everything.seal();

  // First what each file with one best candidate teaches, then whose each
  // found file is, then each file decided in the light of both: the place
  // its best-supported rule gives when that place is its own, else the one
  // best candidate among the files nobody else claims.
  Votes votes;
  std::size_t count = 0;
  for (const DataFile &file : sought) {
    const std::vector<std::string> old_parts = components(file.descriptor);
    const std::vector<std::string> best = everything.best(old_parts, 1, &count);
    if (count == 1) votes.add(taught(old_parts, components(best.front())));
  }
  const std::unordered_map<std::string, std::string> owner = claims(descriptors, found_paths, votes);
  TailIndex unclaimed;
  for (const std::string &place : found_paths)
    if (!owner.count(place)) unclaimed.add(place);
  unclaimed.seal();

  std::vector<Change> found;
  for (DataFile &file : sought) {
    std::string chosen;
    PrefixRule rule;
    std::size_t support = 0;
    for (const auto &[covering, votes_for] : votes.covering(file.descriptor)) {
      std::string place = moved(file.descriptor, covering.from, covering.to);
      const auto claimed = owner.find(place);
      if (votes_for > support && claimed != owner.end() && claimed->second == file.descriptor) {
        chosen = std::move(place);
        rule = covering;
        support = votes_for;
      }
    }
    if (chosen.empty()) {
      const std::vector<std::string> old_parts = components(file.descriptor);
      std::vector<std::string> best = unclaimed.best(old_parts, kCandidatesKept, &count);
      if (count > 1) {
        plan.ambiguous.push_back({std::move(file), std::move(best), count});
        continue;
      }
      if (count == 0) {
        plan.not_found.push_back(std::move(file));
        continue;
      }
      chosen = best.front();
      rule = taught(old_parts, components(chosen));
    }
    Change change;
    change.to = project_relative(project, chosen);
    change.absolute = chosen;
    change.found = true;
    change.group = {stored_prefix(project, directory, rule.from), stored_prefix(project, directory, rule.to)};
    change.file = std::move(file);
    found.push_back(std::move(change));
  }
  for (Change &change : found)
    if (change.absolute != change.file.descriptor) plan.changes.push_back(std::move(change));
}


}  // namespace kcli
