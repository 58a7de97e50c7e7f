// Data that moved: finding a project's missing data files, pointing their
// descriptors at where the files are now, and packing a project with its
// data so that it cannot lose them again.
//
// The tool's check, relink and pack commands and the Python package's
// missing_files(), relink() and pack() all run this code; they differ only
// in how they print. Descriptors are compared in the form the project file
// stores them ("$PROJECT/..." under the project's directory, else as they
// are), so a prefix given either way means the same files, and a project
// moved with its data never needs relinking.
#ifndef KESTRUM_TOOLS_RELINK_H
#define KESTRUM_TOOLS_RELINK_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"

namespace kcli {

// ---- What is missing ---------------------------------------------------------
// One data file and its descriptor as found when the project was looked at.
struct DataFile {
  std::string node;        // "/", "T1", "T1/S2"
  pm_File *file = nullptr;
  std::string type;
  std::string descriptor;  // as held in memory (absolute after a load); empty when there is none
  bool unset = false;      // there is no descriptor at all, not even an empty one
  std::string stored;      // as the project file stores it ("$PROJECT/...")
  bool present = false;    // the descriptor names an existing file
  FileCheck check;         // what testing the descriptor found (untestable: why)
};

// Every data file of the project in tree order, each tested once, handed to
// `visit` as it is found (so that a caller keeps only what it needs).
void for_each_data_file(pm_Project *project, const std::function<void(DataFile &&)> &visit);
// Those whose descriptor names no file, those without a descriptor included.
std::vector<DataFile> missing_files(pm_Project *project);

// The directory part of a stored descriptor: everything before its last
// "/" ("/" itself for a name directly under the root, "." for a bare name).
// Bytes are bytes: no encoding is assumed and nothing is resolved.
std::string directory_of(const std::string &stored);

// Missing files counted by the directory their stored descriptor names, in
// byte order of the directory; files without a descriptor are not counted.
std::map<std::string, std::size_t> missing_by_directory(const std::vector<DataFile> &missing);

// ---- Relinking ---------------------------------------------------------------
// One rewrite rule: descriptors whose stored form is `from` or lies beneath it
// (whole directory names only) take `to` in its place. Both are stored forms.
struct PrefixRule {
  std::string from;
  std::string to;
};

// The rules as given on a command line or in a dict: each side absolute or
// "$PROJECT/...", a relative `to` taken against the current directory, and
// both turned into stored forms against the project's directory. A relative
// `from`, an empty side, or a rule that changes nothing throw
// UsageError.
class UsageError : public Failure {
 public:
  using Failure::Failure;
};
std::vector<PrefixRule> prefix_rules(pm_Project *project, const std::vector<std::pair<std::string, std::string>> &given);

struct RelinkOptions {
  std::vector<PrefixRule> rules;
  std::vector<std::string> search;  // directories to look in
  bool all = false;                 // also rewrite descriptors that name existing files
};

// A descriptor to be rewritten and why.
struct Change {
  DataFile file;
  std::string to;        // the new stored form
  std::string absolute;  // the same as the project holds it in memory
  bool found = false;    // the new name names an existing file
  // The rewrite as a prefix rule: the rule given, or for a file found by
  // search the directories that differ between its old and new names.
  PrefixRule group;
};

// A missing file with more than one equally good candidate: left alone.
constexpr std::size_t kCandidatesKept = 10;
struct Ambiguity {
  DataFile file;
  std::vector<std::string> candidates;  // absolute names, at most kCandidatesKept of them
  std::size_t count = 0;                // all of them
};

struct RelinkPlan {
  std::vector<Change> changes;        // by prefix rule in tree order, then those found by search
  std::vector<Ambiguity> ambiguous;
  std::vector<DataFile> not_found;    // missing and neither rewritten nor ambiguous (those without a descriptor excluded)
  std::size_t missing = 0;            // descriptors that named no file before (with a descriptor)
  std::size_t no_descriptor = 0;      // data files without a descriptor, never touched
  std::vector<std::string> warnings;  // directories of the search that could not be read, link loops
  // Missing files left once the changes are made: not found, ambiguous, or
  // rewritten to a name that does not exist either.
  std::size_t remaining() const;
};

// What relinking would change; the project is not touched. Throws Failure
// when a search directory does not exist or cannot be read.
RelinkPlan plan_relink(pm_Project *project, const RelinkOptions &options);
// Makes the plan's changes in memory; the caller saves.
void apply_relink(const RelinkPlan &plan);

// ---- Searching ---------------------------------------------------------------
// The places where files of the wanted names lie under a set of directory
// trees, found in one walk of each tree. Symbolic links are followed, each
// directory is entered once however many ways lead to it, so a link loop
// ends the walk of that branch instead of repeating it.
struct SearchResult {
  std::map<std::string, std::vector<std::string>> found;  // file name -> absolute names, walk order
  std::vector<std::string> warnings;                       // what could not be read, loops met
};
// `wanted` holds file names (no "/"). A root that does not exist, is not a
// directory or cannot be read throws Failure naming it; below the roots such
// trouble becomes a warning and the walk goes on.
SearchResult search_trees(const std::vector<std::string> &roots, const std::vector<std::string> &wanted);

// ---- The commands -------------------------------------------------------------
void add_relink_command(CLI::App &app, Command &selected);
void add_pack_command(CLI::App &app, Command &selected);

// ---- Packing -----------------------------------------------------------------
struct PackOptions {
  std::string out;     // the directory to write
  bool force = false;  // write into a directory that is not empty
  bool link = false;   // hard links instead of copies where the file system allows
};

struct PackResult {
  std::string project_file;       // the copy's project file
  std::size_t copied = 0;         // data files written (each distinct file once)
  std::size_t linked = 0;         // of those, made as hard links
  std::uint64_t bytes = 0;
  std::vector<DataFile> missing;  // listed and left missing
  std::vector<DataFile> skipped;  // not regular files (directories, devices, ...): left where they are
};

// Writes the self-contained copy and saves the project's copy last; the
// loaded project itself is modified (its descriptors and file name become
// the copy's). Throws Failure on any error; a failure before the project
// file is saved leaves no project file in `out`.
PackResult pack_project(pm_Project *project, const PackOptions &options);

}  // namespace kcli

#endif
