// Planning a relink: prefix rules first, then a search for what they leave
// missing (see relink.h).
//
// A file found by search teaches a rule: the directories its old and new
// names share at their ends are taken to be the same directories, moved,
// and the parts before them the prefixes that changed. What all files
// teach is gathered first; then the rules are tried before any scoring for
// every file under their old prefix, the way a person who fixed one file
// would fix its neighbours (see decide()).
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "relink.h"

namespace kcli {

namespace {

const std::string kMarker = "$PROJECT";

bool marked(const std::string &name) {
  return name == kMarker || name.compare(0, kMarker.size() + 1, kMarker + "/") == 0;
}

// `path` with "." and ".." resolved by name and no trailing "/".
std::string normal(const std::string &path) {
  std::string out = std::filesystem::path(path).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

// Whether `name` is `prefix` or lies beneath it, whole directory names only.
bool beneath(const std::string &name, const std::string &prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  return name.size() == prefix.size() || prefix == "/" || name[prefix.size()] == '/';
}

// `name` (beneath `from`) with `from` replaced by `to`.
std::string moved(const std::string &name, const std::string &from, const std::string &to) {
  const std::string rest = from == "/" ? name : name.substr(from.size());
  std::string out = (to == "/" ? std::string() : to) + rest;
  return out.empty() ? "/" : out;
}

bool exists(const std::string &path) {
  struct stat status {};
  return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

// The last name of a path, trailing "/" ignored.
std::string last_name(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> components(const std::string &path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    if (slash > at) parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
}

// How many names two paths share at their ends, the file names aside.
std::size_t shared_tail(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  std::size_t shared = 0;
  while (shared + 1 < a.size() && shared + 1 < b.size() &&
         a[a.size() - 2 - shared] == b[b.size() - 2 - shared])
    ++shared;
  return shared;
}

// `path` without its last `count` names ("/" when none are left).
std::string without_tail(const std::vector<std::string> &parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i + count < parts.size(); ++i) out += "/" + parts[i];
  return out.empty() ? "/" : out;
}

// A prefix in stored form; the project's directory itself is "$PROJECT".
std::string stored_prefix(pm_Project *project, const std::string &directory, const std::string &prefix) {
  return prefix == directory ? kMarker : project_relative(project, prefix);
}

// The rule a match teaches: the names two paths share at their ends are
// taken for the same directories, moved; what comes before them changed.
PrefixRule taught(const std::vector<std::string> &old_parts, const std::vector<std::string> &new_parts) {
  const std::size_t shared = shared_tail(old_parts, new_parts);
  return {without_tail(old_parts, shared + 1), without_tail(new_parts, shared + 1)};
}

// The candidates that share the most names at their ends with the old name.
std::vector<std::string> best_of(const std::vector<std::string> &old_parts, const std::vector<std::string> &candidates) {
  std::size_t best = 0;
  std::vector<std::string> chosen;
  for (const std::string &candidate : candidates) {
    const std::size_t score = shared_tail(old_parts, components(candidate));
    if (chosen.empty() || score > best) {
      best = score;
      chosen.clear();
    }
    if (score == best) chosen.push_back(candidate);
  }
  return chosen;
}

// The rules the files with one best candidate teach, and how many teach
// each: the more files moved one way, the surer that way is.
class Votes {
 public:
  void add(const PrefixRule &rule) { ++rules_[rule.from][rule.to]; }
  std::size_t count(const PrefixRule &rule) const {
    const auto from = rules_.find(rule.from);
    if (from == rules_.end()) return 0;
    const auto to = from->second.find(rule.to);
    return to == from->second.end() ? 0 : to->second;
  }
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

// How a missing file's search ends: relinked to `chosen` by `rule`,
// ambiguous among `open`, or not found (both empty).
struct Decision {
  std::string chosen;
  PrefixRule rule;
  std::vector<std::string> open;
};

// Decides for one missing file among its candidates (sorted), knowing what
// every file with one best candidate taught and every descriptor of the
// project.
//
// A candidate at the place where a learned rule puts another data file of
// the project is that file, not this one: in a tree of tiles T1, T2, T3
// each with S1/plot.img and S2/plot.img, a lost T3/S2/plot.img is not
// T1's. Of the rest, the place the best-supported rule gives is taken
// first, as a person who fixed the neighbours would; else the one best
// candidate by names shared at the end.
Decision decide(const std::string &old_name, const std::vector<std::string> &candidates, const Votes &votes,
                const std::unordered_set<std::string> &descriptors) {
  const std::vector<std::string> old_parts = components(old_name);
  const auto covering = votes.covering(old_name);
  std::vector<std::string> plausible;
  for (const std::string &candidate : candidates) {
    bool taken = false;
    for (const auto &[rule, count] : covering) {
      if (taken || !beneath(candidate, rule.to)) continue;
      const std::string owner = moved(candidate, rule.to, rule.from);
      taken = owner != old_name && descriptors.count(owner) > 0;
    }
    if (!taken) plausible.push_back(candidate);
  }
  Decision decision;
  std::size_t support = 0;
  for (const auto &[rule, count] : covering) {
    const std::string place = moved(old_name, rule.from, rule.to);
    if (count > support && std::binary_search(plausible.begin(), plausible.end(), place)) {
      decision.chosen = place;
      decision.rule = rule;
      support = count;
    }
  }
  if (support) return decision;
  std::vector<std::string> best = best_of(old_parts, plausible);
  if (best.size() == 1) {
    decision.chosen = best.front();
    decision.rule = taught(old_parts, components(decision.chosen));
  } else {
    decision.open = std::move(best);
  }
  return decision;
}

}  // namespace

std::vector<PrefixRule> prefix_rules(pm_Project *project, const std::vector<std::pair<std::string, std::string>> &given) {
  const std::string directory = take(pm_ProjectGetDirname(project));
  std::vector<PrefixRule> rules;
  for (const auto &[from, to] : given) {
    if (from.empty() || to.empty()) throw UsageError("--from and --to need a directory each");
    if (from.front() != '/' && !marked(from))
      throw UsageError("--from " + from + " is relative: give an absolute directory or $PROJECT/...");
    if ((marked(from) || marked(to)) && directory.empty())
      throw UsageError("the project has no file, so $PROJECT names no directory");
    // Stored forms of absolute names: "$PROJECT/..." for those under the
    // project's directory, as the descriptors they are compared with.
    const auto stored = [&](const std::string &name) {
      const std::string absolute = marked(name) ? project_absolute(directory, name)
                                                : std::filesystem::absolute(name).string();
      return stored_prefix(project, directory, normal(absolute));
    };
    PrefixRule rule{stored(from), stored(to)};
    if (rule.from == rule.to) throw UsageError("--from " + from + " and --to " + to + " name the same directory");
    rules.push_back(std::move(rule));
  }
  return rules;
}

RelinkPlan plan_relink(pm_Project *project, const RelinkOptions &options) {
  const std::string directory = take(pm_ProjectGetDirname(project));
  RelinkPlan plan;
  std::vector<DataFile> sought;
  std::unordered_set<std::string> descriptors;  // of every data file, to tell whose a found file is
  for (DataFile &file : data_files(project)) {
    descriptors.insert(file.descriptor);
    if (file.descriptor.empty()) {
      ++plan.no_descriptor;
      continue;
    }
    if (!file.present) ++plan.missing;
    if (file.present && !options.all) continue;
    const PrefixRule *best = nullptr;
    for (const PrefixRule &rule : options.rules)
      if (beneath(file.stored, rule.from) && (!best || rule.from.size() > best->from.size())) best = &rule;
    if (best) {
      Change change;
      change.to = moved(file.stored, best->from, best->to);
      change.absolute = project_absolute(directory, change.to);
      change.found = exists(change.absolute);
      change.group = *best;
      change.file = std::move(file);
      plan.changes.push_back(std::move(change));
    } else if (!file.present) {
      sought.push_back(std::move(file));
    }
  }
  if (options.search.empty()) {
    plan.not_found = std::move(sought);
    return plan;
  }

  std::vector<std::string> names;
  for (const DataFile &file : sought) names.push_back(last_name(file.descriptor));
  SearchResult search = search_trees(options.search, names);
  plan.warnings = std::move(search.warnings);
  static const std::vector<std::string> kNone;
  const auto candidates_of = [&](const std::string &name) -> const std::vector<std::string> & {
    const auto found = search.found.find(name);
    return found == search.found.end() ? kNone : found->second;
  };

  // First what each file with one best candidate teaches, then each file
  // decided in the light of all of it.
  Votes votes;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    const std::vector<std::string> old_parts = components(sought[i].descriptor);
    const std::vector<std::string> best = best_of(old_parts, candidates_of(names[i]));
    if (best.size() == 1) votes.add(taught(old_parts, components(best.front())));
  }
  std::vector<Change> found;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    DataFile &file = sought[i];
    Decision decision = decide(file.descriptor, candidates_of(names[i]), votes, descriptors);
    if (!decision.open.empty()) {
      plan.ambiguous.push_back({std::move(file), std::move(decision.open)});
    } else if (decision.chosen.empty()) {
      plan.not_found.push_back(std::move(file));
    } else {
      Change change;
      change.to = project_relative(project, decision.chosen);
      change.absolute = decision.chosen;
      change.found = true;
      change.group = {stored_prefix(project, directory, decision.rule.from),
                      stored_prefix(project, directory, decision.rule.to)};
      change.file = std::move(file);
      found.push_back(std::move(change));
    }
  }
  for (Change &change : found)
    if (change.absolute != change.file.descriptor) plan.changes.push_back(std::move(change));
  return plan;
}

void apply_relink(const RelinkPlan &plan) {
  for (const Change &change : plan.changes)
    if (!pm_FileSetDescriptor(change.file.file, change.absolute.c_str()))
      throw Failure("cannot set the descriptor of a data file of " + change.file.node);
}

}  // namespace kcli
