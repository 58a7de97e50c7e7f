// `kestrum check FILE`: the file loads (its format, designs and checksum are
// sound, since loading verifies them) and every data file's descriptor names
// a file that exists.
#include <CLI/CLI.hpp>

#include "cli.h"

namespace kcli {

namespace {

int run_check(const std::string &file, std::ostream &out) {
  ProjectPtr project = load_project(file);
  const std::vector<NodeRef> nodes = all_nodes(project.get());
  std::vector<std::string> problems;
  std::size_t count = 0;
  Progress progress("checking data files", nodes.size());
  for (const NodeRef &node : nodes) {
    for (pm_File *data : files_of(node.files)) {
      ++count;
      const std::string type = take(pm_FileGetType(data));
      const std::string descriptor = take(pm_FileGetDescriptor(data));
      if (descriptor.empty())
        problems.push_back(node.path + "  " + type + ": no descriptor");
      else if (!file_present(data))
        problems.push_back(node.path + "  " + type + ": " + project_relative(project.get(), descriptor) +
                           " does not exist");
    }
    progress.step();
  }
  const int samples = pm_ProjectGetTotalSamples(project.get());
  out << printable(file) << ": loads (" << nodes.size() - 1 - static_cast<std::size_t>(samples) << " tiles, " << samples
      << " samples, " << count << " data files)\n";
  if (problems.empty()) {
    out << "every descriptor names an existing file\n";
    return kExitOk;
  }
  out << problems.size() << " of " << count << " descriptors name no file:\n";
  for (const std::string &problem : problems) out << "  " << printable(problem) << "\n";
  return kExitNegative;
}

}  // namespace

void add_check_command(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  CLI::App *command = app.add_subcommand(
      "check", "Verify that the file loads and list descriptors that name no file (exit 1 if any)");
  command->add_option("FILE", *file, "Project file")->required();
  command->callback([&selected, file] {
    selected = [file](std::ostream &out, std::ostream &) { return run_check(*file, out); };
  });
}

}  // namespace kcli
