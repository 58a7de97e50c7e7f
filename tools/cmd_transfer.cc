// `kestrum export FILE [-o OUT [--force]]` and `kestrum import JSON FILE [--force]`.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "json.h"

namespace kcli {

namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string &source) {
  std::ostringstream text;
  if (source == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  std::ifstream in(source, std::ios::binary);
  if (!in) throw Failure("cannot read " + source);
  text << in.rdbuf();
  return text.str();
}

int run_export(const std::string &file, const std::string &output, bool force, std::ostream &out) {
  ProjectPtr project = load_project(file);
  if (output.empty() || output == "-") {
    out << export_text(project.get());
    return kExitOk;
  }
  write_file(output, force, [&](std::ostream &target) { target << export_text(project.get()); });
  return kExitOk;
}

int run_import(const std::string &source, const std::string &file, bool force, std::ostream &out) {
  const fs::path target = fs::absolute(file).lexically_normal();
  std::error_code unknown;  // if it cannot be told, the save will say why
  if (!force && fs::exists(target, unknown)) refuse_existing(file);
  const Json document = parse_json(read_all(source), source == "-" ? "standard input" : source);
  ProjectPtr project = project_from_json(document, target.parent_path().string());
  // The document is whole and the project built before anything is
  // written; the save replaces an old file only once the new one is
  // complete, so a failed import leaves the old file as it was.
  save_project(project.get(), target.string());
  const int samples = pm_ProjectGetTotalSamples(project.get());
  const auto tiles = static_cast<std::size_t>(pm_ProjectGetTotalNodes(project.get()) - 1 - samples);
  out << "Imported " << counted(tiles, "tile", "tiles") << " and "
      << counted(static_cast<std::size_t>(samples), "sample", "samples") << " into " << printable(target.string())
      << "\n";
  return kExitOk;
}

}  // namespace

void add_transfer_commands(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  auto replace = std::make_shared<bool>(false);
  CLI::App *exporter = app.add_subcommand(
      "export",
      "Write the project as JSON (the same project gives the same bytes; its shape: schema/kestrum-project.schema.json)");
  exporter->add_option("FILE", *file, "Project file")->required();
  exporter->add_option("-o,--output", *output, "Write to this file instead of standard output");
  exporter->add_flag("-f,--force", *replace, "Replace the output file when it exists");
  exporter->callback([&selected, file, output, replace] {
    selected = [file, output, replace](std::ostream &out, std::ostream &) {
      return run_export(*file, *output, *replace, out);
    };
  });

  auto source = std::make_shared<std::string>();
  auto target = std::make_shared<std::string>();
  auto force = std::make_shared<bool>(false);
  CLI::App *importer = app.add_subcommand("import", "Build a project from JSON (as export writes it) and save it");
  importer->add_option("JSON", *source, "JSON document (\"-\" for standard input)")->required();
  importer->add_option("FILE", *target, "Project file to create")->required();
  importer->add_flag("-f,--force", *force, "Replace FILE when it exists");
  importer->callback([&selected, source, target, force] {
    selected = [source, target, force](std::ostream &out, std::ostream &) {
      return run_import(*source, *target, *force, out);
    };
  });
}

}  // namespace kcli
