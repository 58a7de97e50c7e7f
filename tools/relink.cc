// Planning a relink: prefix rules first, then a search for what they leave
// missing (see relink.h).
//
// A file found by search teaches a rule: the directories its old and new
// names share at their ends are taken to be the same directories, moved,
// and the parts before them the prefixes that changed. Such learned rules
// are tried before any scoring for every later file under the same old
// prefix, the way a person who fixed one file would fix its neighbours,
// and once more at the end for the files that were ambiguous before
// anything was learned.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <unordered_map>

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

// Rules learned from found files, old prefix -> new prefixes (absolute).
class Learned {
 public:
  void learn(const std::string &from, const std::string &to) {
    std::vector<std::string> &targets = rules_[from];
    if (std::find(targets.begin(), targets.end(), to) == targets.end()) targets.push_back(to);
  }
  // The one candidate the learned rules lead to, with its rule; nothing when
  // they lead to none or to several.
  std::optional<std::pair<std::string, PrefixRule>> lead(const std::string &old_name,
                                                         const std::vector<std::string> &candidates) const {
    if (rules_.empty()) return std::nullopt;
    std::optional<std::pair<std::string, PrefixRule>> hit;
    std::string prefix = old_name;
    for (;;) {
      const std::string parent = directory_of(prefix);
      if (parent == prefix || parent == ".") break;
      prefix = parent;
      const auto found = rules_.find(prefix);
      if (found == rules_.end()) continue;
      for (const std::string &to : found->second) {
        const std::string candidate = moved(old_name, prefix, to);
        if (!std::binary_search(candidates.begin(), candidates.end(), candidate)) continue;
        if (hit && hit->first != candidate) return std::nullopt;
        if (!hit) hit = {candidate, PrefixRule{prefix, to}};
      }
      // The rules of the nearest directory that has any decide.
      if (hit) return hit;
    }
    return hit;
  }

 private:
  std::unordered_map<std::string, std::vector<std::string>> rules_;
};

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
  for (DataFile &file : data_files(project)) {
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

  Learned learned;
  std::vector<Change> found;
  const auto take_candidate = [&](DataFile &file, const std::string &candidate, const PrefixRule &rule) {
    Change change;
    change.to = project_relative(project, candidate);
    change.absolute = candidate;
    change.found = true;
    change.group = {stored_prefix(project, directory, rule.from), stored_prefix(project, directory, rule.to)};
    change.file = std::move(file);
    found.push_back(std::move(change));
  };
  std::vector<Ambiguity> ambiguous;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    DataFile &file = sought[i];
    const std::vector<std::string> &candidates = candidates_of(names[i]);
    if (candidates.empty()) {
      plan.not_found.push_back(std::move(file));
      continue;
    }
    if (auto lead = learned.lead(file.descriptor, candidates)) {
      take_candidate(file, lead->first, lead->second);
      continue;
    }
    const std::vector<std::string> old_parts = components(file.descriptor);
    std::size_t best = 0;
    std::vector<std::string> best_candidates;
    for (const std::string &candidate : candidates) {
      const std::size_t score = shared_tail(old_parts, components(candidate));
      if (best_candidates.empty() || score > best) {
        best = score;
        best_candidates.clear();
      }
      if (score == best) best_candidates.push_back(candidate);
    }
    if (best_candidates.size() != 1) {
      ambiguous.push_back({std::move(file), std::move(best_candidates)});
      continue;
    }
    const std::string &chosen = best_candidates.front();
    const PrefixRule rule{without_tail(old_parts, best + 1), without_tail(components(chosen), best + 1)};
    learned.learn(rule.from, rule.to);
    take_candidate(file, chosen, rule);
  }
  // What was learned from later files may settle the earlier ambiguous ones.
  for (Ambiguity &open : ambiguous) {
    if (auto lead = learned.lead(open.file.descriptor, candidates_of(last_name(open.file.descriptor))))
      take_candidate(open.file, lead->first, lead->second);
    else
      plan.ambiguous.push_back(std::move(open));
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
