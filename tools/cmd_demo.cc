// `kestrum demo [DIR]`: builds the bundled example project, saves it, loads
// it back and prints what was loaded, so that everything the reader sees has
// made the round trip through the project file.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli.h"

namespace kcli {

namespace {

namespace fs = std::filesystem;

constexpr const char *kDemoFile = "survey.kpf";

// A new directory ./kestrum-demo-XXXXXX under the current one.
fs::path fresh_directory() {
  std::string pattern = "kestrum-demo-XXXXXX";
  if (!mkdtemp(pattern.data()))
    throw Failure("cannot create a directory for the demo: " + std::string(std::strerror(errno)));
  return fs::absolute(pattern);
}

int run_demo(const std::string &directory, std::ostream &out) {
  fs::path root;
  if (directory.empty()) {
    root = fresh_directory();
  } else {
    std::error_code error;
    root = fs::absolute(directory).lexically_normal();
    fs::create_directories(root, error);
    if (error) throw Failure("cannot create " + root.string() + ": " + error.message());
  }
  const std::string file = (root / kDemoFile).string();
  {
    ProjectPtr built = build_demo_project(root.string());
    save_project(built.get(), file);
  }
  ProjectPtr project = load_project(file);
  out << "Saved the example project as " << file << " and loaded it back.\n\n";
  print_tree(out, project.get());
  out << "\n";
  const int readiness_status = print_readiness(out, readiness(project.get(), std::nullopt));
  out << "\nTry: kestrum show " << file << "\n"
      << "     kestrum ready " << file << " --node T3\n"
      << "     kestrum export " << file << "\n";
  // Processes that are not ready are part of the example, not a failure.
  return readiness_status == kExitError ? kExitError : kExitOk;
}

}  // namespace

void add_demo_command(CLI::App &app, Command &selected) {
  auto directory = std::make_shared<std::string>();
  CLI::App *command = app.add_subcommand(
      "demo", "Build the bundled example project, save it, load it back and print its tree and readiness");
  command->add_option("DIR", *directory,
                      "Directory for the example (created when missing; default: a new ./kestrum-demo-XXXXXX)");
  command->callback([&selected, directory] {
    selected = [directory](std::ostream &out, std::ostream &) { return run_demo(*directory, out); };
  });
}

}  // namespace kcli
