// kestrum: the command-line face of libkestrum.
//
// Exit status: 0 success, 1 a negative answer (a process not ready, a
// descriptor naming no file), 2 an error (bad arguments, a file that does not
// load, bad JSON). Errors are printed on standard error with the library's
// report chain beneath them, outermost report first.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cli.h"

int main(int argc, char **argv) {
  CLI::App app{"kestrum: build, inspect, check and convert kestrum project files"};
  app.require_subcommand(1);
  kcli::Command selected;
  kcli::add_demo_command(app, selected);
  kcli::add_show_commands(app, selected);
  kcli::add_transfer_commands(app, selected);
  kcli::add_check_command(app, selected);
  kcli::add_dump_command(app, selected);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &error) {
    // --help is a parse "error" with status 0; every real one is an error.
    return app.exit(error) == 0 ? kcli::kExitOk : kcli::kExitError;
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
