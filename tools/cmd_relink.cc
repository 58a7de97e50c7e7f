// `kestrum relink FILE (--from OLD --to NEW ... | --search DIR ...) [--all]
// [--write] [--verbose]`: points descriptors that name no file at where the
// files are now. A dry run unless --write: what would change is printed,
// grouped by the prefix that changes, and the file is left as it was.
#include <CLI/CLI.hpp>

#include <map>

#include "relink.h"

namespace kcli {

namespace {

struct RelinkArguments {
  std::string file;
  std::vector<std::string> from;
  std::vector<std::string> to;
  std::vector<std::string> search;
  bool all = false;
  bool write = false;
  bool verbose = false;
};

constexpr std::size_t kWarningsShown = 10;

void print_change_groups(std::ostream &out, const std::vector<Change> &changes, bool verbose) {
  std::map<std::pair<std::string, std::string>, std::vector<const Change *>> groups;
  for (const Change &change : changes) groups[{change.group.from, change.group.to}].push_back(&change);
  for (const auto &[rule, members] : groups) {
    std::size_t absent = 0;
    for (const Change *change : members) absent += change->found ? 0 : 1;
    out << "  " << printable(rule.first) << " -> " << printable(rule.second) << "  ("
        << counted(members.size(), "file", "files");
    if (absent) out << ", " << absent << " of them not there either";
    out << ")\n";
    if (!verbose) continue;
    for (const Change *change : members)
      out << "    " << printable(change->file.node + "  " + change->file.type + ": " + change->file.stored) << " -> "
          << printable(change->to) << (change->found ? "" : " (does not exist)") << "\n";
  }
}

int run_relink(const RelinkArguments &arguments, std::ostream &out, std::ostream &err) {
  ProjectPtr project = load_project(arguments.file);
  std::vector<std::pair<std::string, std::string>> given;
  for (std::size_t i = 0; i < arguments.from.size(); ++i) given.emplace_back(arguments.from[i], arguments.to[i]);
  RelinkOptions options;
  options.rules = prefix_rules(project.get(), given);
  options.search = arguments.search;
  options.all = arguments.all;
  const RelinkPlan plan = plan_relink(project.get(), options);

  for (std::size_t i = 0; i < plan.warnings.size() && i < kWarningsShown; ++i)
    err << "kestrum: warning: " << printable(plan.warnings[i]) << "\n";
  if (plan.warnings.size() > kWarningsShown)
    err << "kestrum: warning: and " << plan.warnings.size() - kWarningsShown << " more like these\n";

  out << printable(arguments.file) << ": " << counted(plan.missing, "descriptor names", "descriptors name")
      << " no file\n";
  if (!plan.changes.empty()) {
    out << (arguments.write ? "relinked:\n" : "would relink:\n");
    print_change_groups(out, plan.changes, arguments.verbose);
  }
  if (!plan.ambiguous.empty()) {
    out << "ambiguous, left as they are: " << plan.ambiguous.size() << "\n";
    for (const Ambiguity &open : plan.ambiguous) {
      out << "  " << printable(open.file.node + "  " + open.file.type + ": " + open.file.stored) << "\n";
      for (const std::string &candidate : open.candidates) out << "    could be " << printable(candidate) << "\n";
      if (open.count > open.candidates.size())
        out << "    and " << open.count - open.candidates.size() << " more of that name\n";
    }
  }
  if (!plan.not_found.empty()) {
    out << "not found: " << plan.not_found.size() << ", by directory:\n";
    for (const auto &[directory, count] : missing_by_directory(plan.not_found))
      out << "  " << printable(directory) << "  " << count << " missing\n";
  }
  if (plan.no_descriptor) out << counted(plan.no_descriptor, "data file has", "data files have") << " no descriptor\n";

  if (plan.changes.empty()) {
    out << "nothing to change; the file is left as it was\n";
  } else if (!arguments.write) {
    out << "dry run: nothing written (--write saves " << counted(plan.changes.size(), "change", "changes") << ")\n";
  } else {
    apply_relink(plan);
    Report report;
    pm_ProjectSave(project.get(), 0, report.slot());
    report.raise_if("cannot save " + arguments.file);
    out << "saved " << counted(plan.changes.size(), "change", "changes") << " to " << printable(arguments.file)
        << "\n";
  }
  return plan.remaining() == 0 ? kExitOk : kExitNegative;
}

// What can be told wrong before the project is loaded.
void check_arguments(const RelinkArguments &arguments) {
  if (arguments.from.size() != arguments.to.size())
    throw CLI::ValidationError(arguments.from.size() > arguments.to.size() ? "--from without --to"
                                                                            : "--to without --from");
  if (arguments.from.empty() && arguments.search.empty())
    throw CLI::ValidationError("nothing to do: give --from OLD --to NEW or --search DIR");
  for (std::size_t i = 0; i < arguments.from.size(); ++i) {
    const std::string &from = arguments.from[i];
    if (from.empty() || (from.front() != '/' && from.compare(0, 8, "$PROJECT") != 0))
      throw CLI::ValidationError("--from '" + from + "' is relative: give an absolute directory or $PROJECT/...");
    if (from == arguments.to[i]) throw CLI::ValidationError("--from and --to are the same: " + from);
  }
}

}  // namespace

void add_relink_command(CLI::App &app, Command &selected) {
  auto arguments = std::make_shared<RelinkArguments>();
  CLI::App *command = app.add_subcommand(
      "relink", "Point descriptors that name no file at where the files are now (a dry run without --write)");
  command->add_option("FILE", arguments->file, "Project file")->required();
  // One value per occurrence, repeatable: "--from A --to B FILE" leaves FILE alone.
  const auto repeatable = [](CLI::Option *option) {
    option->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  repeatable(command->add_option(
      "--from", arguments->from,
      "A directory descriptors start with (absolute or $PROJECT/...); the --to given with it replaces it; repeatable"));
  repeatable(command->add_option("--to", arguments->to, "What replaces the --from of the same pair"));
  repeatable(command->add_option("--search", arguments->search,
                                 "Look for the missing files by name under this directory (one walk of its tree); "
                                 "repeatable"));
  command->add_flag("--all", arguments->all, "Let --from rewrite descriptors of files that exist too");
  command->add_flag("--write", arguments->write, "Save the changes (through the library's save)");
  command->add_flag("-v,--verbose", arguments->verbose, "List every file changed under its prefix");
  command->footer(
      "Exit status: 0 when no missing file is left, 1 when some are (not found, ambiguous, or rewritten\n"
      "to a name that does not exist either), 2 on error.");
  command->callback([&selected, arguments] {
    check_arguments(*arguments);
    selected = [arguments](std::ostream &out, std::ostream &err) { return run_relink(*arguments, out, err); };
  });
}

}  // namespace kcli
