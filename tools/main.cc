// kestrum: the command-line face of libkestrum.
//
// Exit status: 0 success, 1 a negative answer (a process not ready, a
// descriptor naming no file), 2 an error (bad arguments, a file that does not
// load, bad JSON). Errors are printed on standard error with the library's
// report chain beneath them, outermost report first.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cli.h"
#include "relink.h"

namespace {

// The library's version. The tool is built with the library it ships with,
// so the version it was compiled against is the one it runs with.
std::string version() { return KESTRUM_VERSION_STRING; }

// The first word of the command line that is not an option: the command,
// since the tool itself takes only flags (--help, --version) before it.
const char *command_word(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] != '-') return argv[i];
  return nullptr;
}

// A usage error the way every other error is printed, with where to look
// for the right usage: the command's own help once a command was named.
int usage_error(CLI::App &app, const std::string &message) {
  std::string help = "kestrum --help";
  const std::vector<CLI::App *> chosen = app.get_subcommands();
  if (!chosen.empty()) help = "kestrum " + chosen.front()->get_name() + " --help";
  std::cout.flush();
  std::cerr << "kestrum: " << kcli::printable(message) << "; see '" << help << "'\n";
  return kcli::kExitError;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"kestrum: build, inspect, check and convert kestrum project files"};
  app.name("kestrum");
  app.require_subcommand(1);
  app.set_version_flag("--version", "kestrum " + version(), "Print the library's version and exit");
  kcli::Command selected;
  kcli::add_demo_command(app, selected);
  kcli::add_show_commands(app, selected);
  kcli::add_transfer_commands(app, selected);
  kcli::add_check_command(app, selected);
  kcli::add_dump_command(app, selected);
  kcli::add_workflow_command(app, selected);
  kcli::add_relink_command(app, selected);
  kcli::add_pack_command(app, selected);
  // Set after the commands are added, which would otherwise repeat it.
  app.footer(
      "Run 'kestrum COMMAND --help' for the options of a command.\n"
      "Exit status: 0 success; 1 a negative answer (a process not ready, a descriptor that names no file,\n"
      "a job that could not be planned); 2 an error (bad arguments, a file that does not load, bad JSON),\n"
      "reported on standard error.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success &success) {
    // --help and --version print on standard output and succeed.
    app.exit(success);
    return kcli::kExitOk;
  } catch (const CLI::ParseError &error) {
    const char *word = command_word(argc, argv);
    if (app.get_subcommands().empty()) {
      bool known = false;
      const CLI::App &commands = app;
      for (const CLI::App *command : commands.get_subcommands([](const CLI::App *) { return true; }))
        known = known || (word && command->check_name(word));
      if (word && !known)
        return usage_error(app, std::string("'") + word + "' is not a kestrum command");
      if (!word && argc > 1) return usage_error(app, std::string("'") + argv[1] + "' is not an option of kestrum");
      if (!word) return usage_error(app, "no command given");
    }
    return usage_error(app, error.what());
  }
  try {
    return selected ? selected(std::cout, std::cerr) : kcli::kExitError;
  } catch (const kcli::Failure &failure) {
    std::cout.flush();
    kcli::print_failure(std::cerr, failure);
  } catch (const std::exception &error) {
    std::cout.flush();
    // Such messages can name files (a file-system error names its paths).
    std::cerr << "kestrum: " << kcli::printable(error.what()) << "\n";
  }
  return kcli::kExitError;
}
