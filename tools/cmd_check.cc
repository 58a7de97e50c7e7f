// `kestrum check FILE [--by-directory] [--json]`: the file loads (its format,
// designs and checksum are sound, since loading verifies them) and every data
// file's descriptor names a file that exists. Grouped by directory, a project
// whose data moved shows one line per directory that went, not one per file.
#include <CLI/CLI.hpp>

#include <algorithm>

#include "json.h"
#include "relink.h"

namespace kcli {

namespace {

struct CheckResult {
  std::size_t tiles = 0;
  std::size_t samples = 0;
  std::size_t data_files = 0;
  std::vector<DataFile> problems;
  std::map<std::string, std::size_t> directories;  // missing files by the directory they name
  std::size_t no_descriptor = 0;
  std::vector<std::string> notes;  // what the file holds beyond what kestrum reads (file_notes)
};

CheckResult check_project(pm_Project *project) {
  CheckResult result;
  for_each_data_file(project, [&](DataFile &&file) {
    ++result.data_files;
    if (file.present) return;
    if (file.descriptor.empty()) ++result.no_descriptor;
    result.problems.push_back(std::move(file));
  });
  result.directories = missing_by_directory(result.problems);
  result.samples = static_cast<std::size_t>(pm_ProjectGetTotalSamples(project));
  result.tiles = all_nodes(project).size() - 1 - result.samples;
  return result;
}

const char *problem_name(const DataFile &problem) {
  switch (problem.check.state) {
    case FileState::kNoDescriptor: return "no_descriptor";
    case FileState::kUntestable: return "untestable";
    default: return "missing";
  }
}

std::string problem_text(const DataFile &problem) {
  switch (problem.check.state) {
    case FileState::kNoDescriptor: return "no descriptor";
    case FileState::kUntestable: return shortened(problem.stored) + " cannot be tested (" + problem.check.reason + ")";
    default: return shortened(problem.stored) + " does not exist";
  }
}

void print_check(std::ostream &out, const std::string &file, const CheckResult &result, bool by_directory) {
  out << printable(file) << ": loads (" << counted(result.tiles, "tile", "tiles") << ", "
      << counted(result.samples, "sample", "samples") << ", " << counted(result.data_files, "data file", "data files")
      << ")\n";
  for (const std::string &note : result.notes) out << "note: " << note << "\n";
  if (result.problems.empty()) {
    out << "every descriptor names an existing file\n";
    return;
  }
  const bool untestable = std::any_of(result.problems.begin(), result.problems.end(),
                                      [](const DataFile &p) { return p.check.state == FileState::kUntestable; });
  out << result.problems.size() << " of " << counted(result.data_files, "descriptor", "descriptors")
      << (result.problems.size() == 1 ? " names" : " name") << " no file"
      << (untestable ? " or cannot be tested" : "");
  if (by_directory) {
    out << ", by directory:\n";
    for (const auto &[directory, count] : result.directories)
      out << "  " << printable(directory) << "  " << count << " missing\n";
    if (result.no_descriptor) out << "  (no descriptor)  " << result.no_descriptor << "\n";
    return;
  }
  out << ":\n";
  for (const DataFile &problem : result.problems)
    out << "  " << printable(problem.node + "  " + problem.type + ": " + problem_text(problem)) << "\n";
}

void print_check_json(std::ostream &out, const std::string &file, const CheckResult &result, bool by_directory) {
  Json problems = Json::array();
  for (const DataFile &problem : result.problems) {
    // Grouped, the missing files are counted under "directories" instead.
    if (by_directory && !problem.descriptor.empty()) continue;
    Json entry = Json::object();
    entry["node"] = text_json(problem.node);
    entry["type"] = text_json(problem.type);
    entry["descriptor"] = problem.unset ? Json(nullptr) : text_json(problem.stored);
    entry["problem"] = problem_name(problem);
    problems.push_back(std::move(entry));
  }
  Json directories = Json::array();
  for (const auto &[directory, count] : result.directories) {
    Json entry = Json::object();
    entry["directory"] = text_json(directory);
    entry["missing"] = count;
    directories.push_back(std::move(entry));
  }
  Json document = Json::object();
  document["kestrum_check"] = 1;
  document["file"] = text_json(file);
  document["tiles"] = result.tiles;
  document["samples"] = result.samples;
  document["data_files"] = result.data_files;
  document["by_directory"] = by_directory;
  document["problems"] = std::move(problems);
  document["directories"] = std::move(directories);
  Json notes = Json::array();
  for (const std::string &note : result.notes) notes.push_back(text_json(note));
  document["notes"] = std::move(notes);
  out << document.dump(2) << "\n";
}

int run_check(const std::string &file, bool json, bool by_directory, std::ostream &out) {
  ProjectPtr project = load_project(file);
  CheckResult result = check_project(project.get());
  result.notes = file_notes(file);
  if (json)
    print_check_json(out, file, result, by_directory);
  else
    print_check(out, file, result, by_directory);
  return result.problems.empty() ? kExitOk : kExitNegative;
}

}  // namespace

void add_check_command(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto by_directory = std::make_shared<bool>(false);
  CLI::App *command = app.add_subcommand(
      "check", "Verify that the file loads and list descriptors that name no file (exit 1 if any)");
  command->add_option("FILE", *file, "Project file")->required();
  command->add_flag("--by-directory", *by_directory,
                    "Count the missing files per directory their descriptors name instead of listing each");
  command->add_flag("--json", *json, "Print a JSON document instead (its shape: schema/kestrum-check.schema.json)");
  command->callback([&selected, file, json, by_directory] {
    selected = [file, json, by_directory](std::ostream &out, std::ostream &) {
      return run_check(*file, *json, *by_directory, out);
    };
  });
}

}  // namespace kcli
