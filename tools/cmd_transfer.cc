// `kestrum export FILE [-o OUT [--force]]` and `kestrum import JSON FILE [--force]`.
#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <optional>

#include "json.h"

namespace kcli {

namespace {

namespace fs = std::filesystem;

// The JSON text a chunk at a time, straight from the file descriptor (the
// standard streams would go through stdio byte by byte), with progress by
// bytes when the length is known. A read error ends the input and is
// remembered, so that it is reported as such rather than as the syntax
// error that a cut text shows.
class Input : public std::streambuf {
 public:
  explicit Input(const std::string &source) {
    if (source != "-") {
      fd_ = open(source.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) throw Failure("cannot read " + source);
    }
    struct stat status {};
    if (fstat(fd_, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
      progress_.emplace("importing (bytes)", static_cast<std::size_t>(status.st_size));
  }
  ~Input() override {
    if (fd_ != STDIN_FILENO) close(fd_);
  }
  Input(const Input &) = delete;
  Input &operator=(const Input &) = delete;

  bool failed() const { return failed_; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    for (;;) {
      const ssize_t got = read(fd_, chunk_, sizeof chunk_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        failed_ = failed_ || got < 0;
        return traits_type::eof();
      }
      if (progress_) progress_->step(static_cast<std::size_t>(got));
      setg(chunk_, chunk_, chunk_ + got);
      return traits_type::to_int_type(*gptr());
    }
  }

 private:
  int fd_ = STDIN_FILENO;
  bool failed_ = false;
  std::optional<Progress> progress_;
  char chunk_[1 << 16];
};

int run_export(const std::string &file, const std::string &output, bool force, std::ostream &out) {
  ProjectPtr project = load_project(file);
  if (output.empty() || output == "-") {
    write_json(project.get(), out);
    return kExitOk;
  }
  write_file(output, force, [&](std::ostream &target) { write_json(project.get(), target); });
  return kExitOk;
}

int run_import(const std::string &source, const std::string &file, bool force, std::ostream &out) {
  const fs::path target = fs::absolute(file).lexically_normal();
  std::error_code unknown;  // if it cannot be told, the save will say why
  if (!force && fs::exists(target, unknown)) refuse_existing(file);
  ProjectPtr project;
  {
    auto input = std::make_unique<Input>(source);
    std::istream in(input.get());
    try {
      project = import_json(in, source == "-" ? "standard input" : source, target.parent_path().string());
    } catch (const Failure &) {
      if (input->failed()) throw Failure("cannot read " + source);
      throw;
    }
    if (input->failed()) throw Failure("cannot read " + source);
  }
  // The document is read whole and the project built before anything is
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
