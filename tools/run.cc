// The whole tool as one call, so that main() is a line and tests can run a
// command in their own process (the allocation-failure loops do).
//
// Exit status: 0 success, 1 a negative answer (a process not ready, a
// descriptor naming no file), 2 an error (bad arguments, a file that does not
// load, bad JSON, no memory). Errors are printed on `err` with the library's
// report chain beneath them, outermost report first.
#include <CLI/CLI.hpp>

#include <new>

#include "cli.h"
#include "out_of_memory.h"
#include "relink.h"

namespace kcli {

namespace {

// The first word of the command line that is not an option: the command,
// since the tool itself takes only flags (--help, --version) before it.
const char *command_word(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] != '-') return argv[i];
  return nullptr;
}

// A usage error the way every other error is printed, with where to look
// for the right usage: the command's own help once a command was named.
int usage_error(CLI::App &app, const std::string &message, std::ostream &out, std::ostream &err) {
  std::string help = "kestrum --help";
  const std::vector<CLI::App *> chosen = app.get_subcommands();
  if (!chosen.empty()) help = "kestrum " + chosen.front()->get_name() + " --help";
  out.flush();
  err << "kestrum: " << printable(message) << "; see '" << help << "'\n";
  return kExitError;
}

int parse_and_run(int argc, char **argv, std::ostream &out, std::ostream &err) {
  CLI::App app{"kestrum: build, inspect, check and convert kestrum project files"};
  app.name("kestrum");
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("kestrum ") + KESTRUM_VERSION_STRING,
                       "Print the library's version and exit");
  Command selected;
  add_demo_command(app, selected);
  add_show_commands(app, selected);
  add_transfer_commands(app, selected);
  add_check_command(app, selected);
  add_dump_command(app, selected);
  add_workflow_command(app, selected);
  add_relink_command(app, selected);
  add_pack_command(app, selected);
  // Set after the commands are added, which would otherwise repeat it.
  app.footer(
      "Run 'kestrum COMMAND --help' for the options of a command.\n"
      "Exit status: 0 success; 1 a negative answer (a process not ready, a descriptor that names no file,\n"
      "a job that could not be planned); 2 an error (bad arguments, a file that does not load, bad JSON),\n"
      "reported on standard error.");
  try {
    while_doing(StepName("reading the command line:", argc, argv), [&] { app.parse(argc, argv); });
  } catch (const CLI::Success &success) {
    // --help and --version print on standard output and succeed.
    app.exit(success, out, err);
    return kExitOk;
  } catch (const CLI::ParseError &error) {
    const char *word = command_word(argc, argv);
    if (app.get_subcommands().empty()) {
      bool known = false;
      const CLI::App &commands = app;
      for (const CLI::App *command : commands.get_subcommands([](const CLI::App *) { return true; }))
        known = known || (word && command->check_name(word));
      if (word && !known)
        return usage_error(app, std::string("'") + word + "' is not a kestrum command", out, err);
      if (!word && argc > 1)
        return usage_error(app, std::string("'") + argv[1] + "' is not an option of kestrum", out, err);
      if (!word) return usage_error(app, "no command given", out, err);
    }
    return usage_error(app, error.what(), out, err);
  }
  if (!selected) return kExitError;
  try {
    return selected(out, err);
  } catch (const Failure &failure) {
    out.flush();
    print_failure(err, failure);
  } catch (const std::bad_alloc &) {
    throw;
  } catch (const std::exception &error) {
    out.flush();
    // Such messages can name files (a file-system error names its paths).
    err << "kestrum: " << printable(error.what()) << "\n";
  }
  return kExitError;
}

}  // namespace

int run_tool(int argc, char **argv, std::ostream &out, std::ostream &err) noexcept {
  try {
    return while_doing(StepName("running", argc, argv), [&] { return parse_and_run(argc, argv, out, err); });
  } catch (const std::bad_alloc &failure) {
    // From anywhere, printing another failure included.
    out.flush();
    print_out_of_memory(err, failure);
  } catch (...) {
    out.flush();
    err << "kestrum: unexpected failure\n";
  }
  return kExitError;
}

}  // namespace kcli
