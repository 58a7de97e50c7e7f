// Planning a relink: prefix rules first, then a search for what they leave
// missing (relink_search.cc).
#include <filesystem>

#include "relink_internal.h"

namespace kcli {

using namespace relink_names;

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
  std::vector<std::string> descriptors;  // of every data file, to tell whose a found file is
  for_each_data_file(project, [&](DataFile &&file) {
    if (!options.search.empty() && !file.descriptor.empty()) descriptors.push_back(file.descriptor);
    if (file.descriptor.empty()) {
      ++plan.no_descriptor;
      return;
    }
    if (!file.present) ++plan.missing;
    if (file.present && !options.all) return;
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
  });
  if (options.search.empty()) {
    plan.not_found = std::move(sought);
    return plan;
  }

  relink_by_search(project, options.search, std::move(sought), descriptors, plan);
  return plan;
}

void apply_relink(const RelinkPlan &plan) {
  for (const Change &change : plan.changes)
    if (!pm_FileSetDescriptor(change.file.file, change.absolute.c_str()))
      throw Failure("cannot set the descriptor of a data file of " + change.file.node);
}

}  // namespace kcli
