// `kestrum show FILE` and `kestrum ready FILE [--node PATH]`.
#include <CLI/CLI.hpp>

#include "cli.h"

namespace kcli {

void add_show_commands(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  CLI::App *show = app.add_subcommand(
      "show", "Print the project tree: tiles, samples, data files, settings, PFA files and processes");
  show->add_option("FILE", *file, "Project file")->required();
  show->callback([&selected, file] {
    selected = [file](std::ostream &out, std::ostream &) {
      ProjectPtr project = load_project(*file);
      print_tree(out, project.get());
      return kExitOk;
    };
  });

  auto ready_file = std::make_shared<std::string>();
  auto node = std::make_shared<std::string>();
  CLI::App *ready = app.add_subcommand(
      "ready", "Tell for every process at every node whether it is ready to run (exit 1 when some are not)");
  ready->add_option("FILE", *ready_file, "Project file")->required();
  ready->add_option("--node", *node, "Only this node: \"/\" for the project, \"TILE\" or \"TILE/SAMPLE\"");
  ready->callback([&selected, ready_file, node, ready] {
    const bool one_node = ready->count("--node") > 0;
    selected = [ready_file, node, one_node](std::ostream &out, std::ostream &) {
      ProjectPtr project = load_project(*ready_file);
      const std::optional<std::string> only = one_node ? std::optional<std::string>(*node) : std::nullopt;
      return print_readiness(out, readiness(project.get(), only));
    };
  });
}

}  // namespace kcli
