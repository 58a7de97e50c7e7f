// The plan as a Makefile for GNU make: one explicit rule per job with the
// data files themselves as targets, so that make reruns what a changed or
// deleted file affects.
//
// Nothing of the project reaches make as syntax: file names are escaped or
// refused (make_word), '$' in a command is doubled, and a command never
// begins with one of the prefixes make strips from a recipe. make deletes a
// target whose recipe fails or is interrupted (.DELETE_ON_ERROR); that is
// right for a file the job makes from nothing, and wrong for one it edits
// in place, whose original would be gone, so those are .PRECIOUS.
#include <filesystem>

#include "workflow.h"

namespace kcli::workflow {

namespace {

namespace fs = std::filesystem;

// A file name as a word of a Makefile's rule line. GNU make takes a space
// and '#' escaped with a backslash and '$' doubled; it has no escape that
// keeps the other characters its rule lines give meaning to (':', ';', '=',
// '%' of pattern rules, whose escape it undoes in targets but not always in
// prerequisites, wildcards, archive parentheses, '|' and '&' of its target
// syntax, backslashes, line breaks) literal everywhere, so a path holding one
// is refused rather than written as a rule that means something else.
std::string make_word(const std::string &path) {
  std::string word;
  for (const char c : path) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || std::string_view(":;=%*?[]()\\|&").find(c) != std::string_view::npos)
      throw Failure("the Makefile cannot name " + path + ": make has no way to write " +
                    (u < 0x20 || u == 0x7f ? std::string("a control character") : "'" + std::string(1, c) + "'") +
                    " in a file name (use --engine snakemake)");
    if (c == ' ' || c == '#') word += '\\';
    if (c == '$') word += '$';
    word += c;
  }
  return word;
}

// A command as a recipe line: '$' doubled; a line break would end it.
std::string make_recipe(const std::string &command) {
  std::string line;
  for (const char c : command) {
    if (c == '\n' || c == '\r')
      throw Failure("the Makefile cannot hold the command '" + excerpt(command, 200) +
                    "': it spans lines (use --engine snakemake)");
    line += c == '$' ? "$$" : std::string(1, c);
  }
  return line;
}

std::string words(const std::vector<std::string> &paths) {
  std::string line;
  for (const std::string &path : paths) line += (line.empty() ? "" : " ") + make_word(path);
  return line;
}

}  // namespace

void write_makefile(std::ostream &out, const std::string &source, const std::vector<Job> &jobs,
                    const std::string &stamps) {
  std::vector<std::string> targets(jobs.size());
  std::size_t planned = 0;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job &job = jobs[i];
    if (!job.blocked.empty()) continue;
    ++planned;
    std::vector<std::string> files = job.outputs;
    files.insert(files.end(), job.edits.begin(), job.edits.end());
    targets[i] = files.empty() ? make_word(stamp_path(stamps, job)) : words(files);
  }
  out << "# The processing of " << printable(source) << " as made by kestrum workflow: "
      << counted(planned, "job", "jobs") << ".\n"
      << "# Run with: make -f THIS-FILE -j N (GNU make 4.3 or later)\n"
      << "MAKEFLAGS += --no-builtin-rules\n.SUFFIXES:\n"
      << "# A failed job's new files go; the files jobs edit in place are never deleted.\n"
      << ".DELETE_ON_ERROR:\n";
  for (const Job &job : jobs)
    if (job.blocked.empty() && !job.edits.empty()) out << ".PRECIOUS: " << words(job.edits) << "\n";
  out << ".PHONY: all\nall:";
  for (const std::string &target : targets)
    if (!target.empty()) out << " \\\n  " << target;
  out << "\n";
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job &job = jobs[i];
    if (!job.blocked.empty()) continue;
    out << "\n# " << printable(job.process) << " at " << printable(job.node.path) << " (" << job.name << ")\n"
        << targets[i] << (job.outputs.size() + job.edits.size() > 1 ? " &:" : ":");
    for (const std::string &path : job.inputs) out << " " << make_word(path);
    for (const std::size_t from : job.after) out << " " << targets[from];
    out << "\n\t" << make_recipe(job.command) << "\n";
    if (job.outputs.empty() && job.edits.empty()) {
      const std::string stamp = stamp_path(stamps, job);
      out << "\t@mkdir -p " << make_recipe(shell_word(fs::path(stamp).parent_path().string())) << " && touch "
          << make_recipe(shell_word(stamp)) << "\n";
    }
  }
}

}  // namespace kcli::workflow
