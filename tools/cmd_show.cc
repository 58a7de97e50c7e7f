// `kestrum show FILE [--json]` and `kestrum ready FILE [--node PATH] [--json]`.
#include <CLI/CLI.hpp>

#include "json.h"

namespace kcli {

namespace {

const char *file_state(pm_File *file) {
  switch (check_data_file(file).state) {
    case FileState::kNoDescriptor: return "no_descriptor";
    case FileState::kPresent: return "present";
    case FileState::kUntestable: return "untestable";
    default: return "missing";
  }
}

// The tree as a document: the project as export writes it, and beside it
// every data file with the node that holds it and whether it is on disk.
void print_tree_json(std::ostream &out, const std::string &file, pm_Project *project) {
  Json data_files = Json::array();
  const std::vector<NodeRef> nodes = all_nodes(project);
  for (const NodeRef &node : nodes) {
    for (pm_File *data : files_of(node.files)) {
      const std::optional<std::string> descriptor = take_optional(pm_FileGetDescriptor(data));
      Json entry = Json::object();
      entry["node"] = text_json(node.path);
      entry["level"] = node.level;
      entry["type"] = text_json(take(pm_FileGetType(data)));
      entry["descriptor"] = descriptor ? text_json(project_relative(project, *descriptor)) : Json(nullptr);
      entry["state"] = file_state(data);
      data_files.push_back(std::move(entry));
    }
  }
  const int samples = pm_ProjectGetTotalSamples(project);
  Json document = Json::object();
  document["kestrum_show"] = 1;
  document["file"] = text_json(file);
  document["name"] = text_json(take(pm_ProjectGetName(project)));
  document["tiles"] = nodes.size() - 1 - static_cast<std::size_t>(samples);
  document["samples"] = samples;
  document["data_files"] = std::move(data_files);
  document["project"] = project_to_json(project);
  out << document.dump(2) << "\n";
}

}  // namespace

void add_show_commands(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  auto show_json = std::make_shared<bool>(false);
  CLI::App *show = app.add_subcommand(
      "show", "Print the project tree: tiles, samples, data files, settings, PFA files and processes");
  show->add_option("FILE", *file, "Project file")->required();
  show->add_flag("--json", *show_json, "Print a JSON document instead (its shape: schema/kestrum-show.schema.json)");
  show->callback([&selected, file, show_json] {
    selected = [file, show_json](std::ostream &out, std::ostream &err) {
      ProjectPtr project = load_project(*file);
      if (*show_json)
        print_tree_json(out, *file, project.get());
      else
        print_tree(out, project.get());
      // Beside the tree, not in it: what the tree does not show.
      for (const std::string &note : file_notes(*file)) err << "kestrum: note: " << note << "\n";
      return kExitOk;
    };
  });

  auto ready_file = std::make_shared<std::string>();
  auto node = std::make_shared<std::string>();
  auto ready_json = std::make_shared<bool>(false);
  CLI::App *ready = app.add_subcommand(
      "ready", "Tell for every process at every node whether it is ready to run (exit 1 when some are not)");
  ready->add_option("FILE", *ready_file, "Project file")->required();
  ready->add_option("--node", *node, "Only this node: \"/\" for the project, \"TILE\" or \"TILE/SAMPLE\"");
  ready->add_flag("--json", *ready_json, "Print a JSON document instead (its shape: schema/kestrum-ready.schema.json)");
  ready->callback([&selected, ready_file, node, ready_json, ready] {
    const bool one_node = ready->count("--node") > 0;
    selected = [ready_file, node, one_node, ready_json](std::ostream &out, std::ostream &) {
      ProjectPtr project = load_project(*ready_file);
      const std::optional<std::string> only = one_node ? std::optional<std::string>(*node) : std::nullopt;
      const std::vector<ReadinessRow> rows = readiness(project.get(), only);
      return *ready_json ? print_readiness_json(out, *ready_file, only, rows) : print_readiness(out, rows);
    };
  });
}

}  // namespace kcli
