// `kestrum check FILE [--json]`: the file loads (its format, designs and
// checksum are sound, since loading verifies them) and every data file's
// descriptor names a file that exists.
#include <CLI/CLI.hpp>

#include "json.h"

namespace kcli {

namespace {

// A data file whose descriptor names no file.
struct Problem {
  std::string node;
  std::string type;
  std::optional<std::string> descriptor;  // project-relative; absent or empty when there is none
};

struct CheckResult {
  std::size_t tiles = 0;
  std::size_t samples = 0;
  std::size_t data_files = 0;
  std::vector<Problem> problems;
};

CheckResult check_project(pm_Project *project) {
  const std::vector<NodeRef> nodes = all_nodes(project);
  CheckResult result;
  Progress progress("checking data files", nodes.size());
  for (const NodeRef &node : nodes) {
    for (pm_File *data : files_of(node.files)) {
      ++result.data_files;
      const std::optional<std::string> descriptor = optional_text(data->descriptor);
      if (!descriptor || descriptor->empty() || !file_present(data))
        result.problems.push_back({node.path, text_of(data->node.name),
                                   descriptor ? std::optional(project_relative(project, *descriptor)) : std::nullopt});
    }
    progress.step();
  }
  result.samples = static_cast<std::size_t>(pm_ProjectGetTotalSamples(project));
  result.tiles = nodes.size() - 1 - result.samples;
  return result;
}

bool has_descriptor(const Problem &problem) { return problem.descriptor && !problem.descriptor->empty(); }

void print_check(std::ostream &out, const std::string &file, const CheckResult &result) {
  out << printable(file) << ": loads (" << counted(result.tiles, "tile", "tiles") << ", "
      << counted(result.samples, "sample", "samples") << ", " << counted(result.data_files, "data file", "data files")
      << ")\n";
  if (result.problems.empty()) {
    out << "every descriptor names an existing file\n";
    return;
  }
  out << result.problems.size() << " of " << counted(result.data_files, "descriptor", "descriptors")
      << (result.problems.size() == 1 ? " names" : " name") << " no file:\n";
  for (const Problem &problem : result.problems) {
    const std::string what = has_descriptor(problem) ? *problem.descriptor + " does not exist" : "no descriptor";
    out << "  " << printable(problem.node + "  " + problem.type + ": " + what) << "\n";
  }
}

void print_check_json(std::ostream &out, const std::string &file, const CheckResult &result) {
  Json problems = Json::array();
  for (const Problem &problem : result.problems) {
    Json entry = Json::object();
    entry["node"] = text_json(problem.node);
    entry["type"] = text_json(problem.type);
    entry["descriptor"] = problem.descriptor ? text_json(*problem.descriptor) : Json(nullptr);
    entry["problem"] = has_descriptor(problem) ? "missing" : "no_descriptor";
    problems.push_back(std::move(entry));
  }
  Json document = Json::object();
  document["kestrum_check"] = 1;
  document["file"] = text_json(file);
  document["tiles"] = result.tiles;
  document["samples"] = result.samples;
  document["data_files"] = result.data_files;
  document["problems"] = std::move(problems);
  out << document.dump(2) << "\n";
}

int run_check(const std::string &file, bool json, std::ostream &out) {
  ProjectPtr project = load_project(file);
  const CheckResult result = check_project(project.get());
  if (json)
    print_check_json(out, file, result);
  else
    print_check(out, file, result);
  return result.problems.empty() ? kExitOk : kExitNegative;
}

}  // namespace

void add_check_command(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  CLI::App *command = app.add_subcommand(
      "check", "Verify that the file loads and list descriptors that name no file (exit 1 if any)");
  command->add_option("FILE", *file, "Project file")->required();
  command->add_flag("--json", *json, "Print a JSON document instead (its shape: schema/kestrum-check.schema.json)");
  command->callback([&selected, file, json] {
    selected = [file, json](std::ostream &out, std::ostream &) { return run_check(*file, *json, out); };
  });
}

}  // namespace kcli
