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

// The directory named on the command line, made when it does not exist.
// The demo writes its project and data files there, so a directory that
// already holds anything is refused untouched unless `replace`: whatever is
// in it is the user's and must not be overwritten by placeholders.
fs::path given_directory(const std::string &directory, bool replace) {
  const fs::path root = fs::absolute(directory).lexically_normal();
  std::error_code error;
  const fs::file_status status = fs::status(root, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) throw Failure(root.string() + " exists and is not a directory");
    const fs::directory_iterator first(root, error);
    if (error) throw Failure("cannot read " + root.string() + ": " + error.message());
    if (first != fs::directory_iterator() && !replace)
      throw Failure(root.string() +
                    " is not empty; the demo writes only into a new or empty directory (use --force to write into it,"
                    " replacing the demo's own files)");
    return root;
  }
  fs::create_directories(root, error);
  if (error) throw Failure("cannot create " + root.string() + ": " + error.message());
  return root;
}

int run_demo(const std::string &directory, bool replace, std::ostream &out) {
  const fs::path root = directory.empty() ? fresh_directory() : given_directory(directory, replace);
  const std::string file = (root / kDemoFile).string();
  {
    ProjectPtr built = build_demo_project(root.string(), replace);
    std::error_code error;
    if (!replace && fs::exists(fs::symlink_status(file, error))) refuse_existing(file);
    save_project(built.get(), file);
  }
  ProjectPtr project = load_project(file);
  const std::string shown = printable(file);
  out << "Saved the example project as " << shown << " and loaded it back.\n\n";
  print_tree(out, project.get());
  out << "\n";
  const int status = print_readiness(out, readiness(project.get(), std::nullopt));
  out << "\nTry: kestrum show " << shown << "\n"
      << "     kestrum ready " << shown << " --node T3\n"
      << "     kestrum export " << shown << "\n";
  // Processes that are not ready are part of the example, not a failure.
  return status == kExitError ? kExitError : kExitOk;
}

}  // namespace

void add_demo_command(CLI::App &app, Command &selected) {
  auto directory = std::make_shared<std::string>();
  auto replace = std::make_shared<bool>(false);
  CLI::App *command = app.add_subcommand(
      "demo", "Build the bundled example project, save it, load it back and print its tree and readiness");
  command->add_option("DIR", *directory,
                      "Directory for the example: a new or empty one (default: a new ./kestrum-demo-XXXXXX)");
  command->add_flag("-f,--force", *replace,
                    "Write into DIR even when it holds files, replacing the project file and data files of the demo");
  command->callback([&selected, directory, replace] {
    selected = [directory, replace](std::ostream &out, std::ostream &) { return run_demo(*directory, *replace, out); };
  });
}

}  // namespace kcli
