// `kestrum pack FILE -o DIR [--force] [--link]`: the project and every data
// file it names that exists, copied into DIR so that the copy works
// wherever DIR goes.
#include <CLI/CLI.hpp>

#include "relink.h"

namespace kcli {

namespace {

struct PackArguments {
  std::string file;
  PackOptions options;
};

int run_pack(const PackArguments &arguments, std::ostream &out) {
  ProjectPtr project = load_project(arguments.file);
  const PackResult result = pack_project(project.get(), arguments.options);
  out << printable(result.project_file) << ": " << counted(result.copied, "data file", "data files") << " ("
      << result.bytes << " bytes)";
  if (arguments.options.link) out << ", " << result.linked << " of them as hard links";
  out << "\n";
  if (!result.skipped.empty()) {
    out << "not regular files, left where they are: " << result.skipped.size() << "\n";
    for (const DataFile &file : result.skipped)
      out << "  " << printable(file.node + "  " + file.type + ": " + file.stored) << "\n";
  }
  if (!result.missing.empty()) {
    out << "missing, not packed: " << result.missing.size() << "\n";
    for (const DataFile &file : result.missing)
      out << "  " << printable(file.node + "  " + file.type + ": " + file.stored) << "\n";
  }
  return result.missing.empty() && result.skipped.empty() ? kExitOk : kExitNegative;
}

}  // namespace

void add_pack_command(CLI::App &app, Command &selected) {
  auto arguments = std::make_shared<PackArguments>();
  CLI::App *command = app.add_subcommand(
      "pack", "Copy the project and the data files it names into a directory that works wherever it goes");
  command->add_option("FILE", arguments->file, "Project file")->required();
  command->add_option("-o,--output", arguments->options.out,
                      "The directory to write; new or empty (files outside the project's directory go under "
                      "its external/)")
      ->required();
  command->add_flag("--force", arguments->options.force, "Write into a directory that is not empty");
  command->add_flag("--link", arguments->options.link, "Make hard links instead of copies where possible");
  command->footer("Exit status: 0 every data file packed, 1 some missing (listed), 2 on error.");
  command->callback([&selected, arguments] {
    selected = [arguments](std::ostream &out, std::ostream &) { return run_pack(*arguments, out); };
  });
}

}  // namespace kcli
