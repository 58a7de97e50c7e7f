// The kestrum command-line tool: what its commands share.
//
// Every command loads or builds a project through the public C interface and
// prints to the streams it is given. Failures travel as kcli::Failure, which
// carries the library's report chain already formatted; main() prints it and
// exits with kExitError. Library resources are held by the small owners
// below so that an early return or a throw frees them.
#ifndef KESTRUM_TOOLS_CLI_H
#define KESTRUM_TOOLS_CLI_H

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kestrum.h"

namespace CLI {
class App;
}

namespace kcli {

// Exit statuses: success, a negative answer (something is not ready, a
// descriptor names no file), an error.
constexpr int kExitOk = 0;
constexpr int kExitNegative = 1;
constexpr int kExitError = 2;

// The processing levels: the project, its tiles and their samples.
constexpr pm_Level kLevelProject = 0;
constexpr pm_Level kLevelTile = 1;
constexpr pm_Level kLevelSample = 2;
constexpr int kLevelCount = 3;

// The processes the library counts ready when at least one of their
// optional inputs is present (names compare without regard to case). The
// library's own list is internal; the tool's tests hold this copy to it.
constexpr const char *kSpecialProcessNames[] = {"finanal", "unires"};

// The names the project file keeps under its root for its own nodes (the
// project's record and the three levels): neither a tile nor a project data
// file can bear one, since the file keeps a node's children by name alone.
// The library's own list is internal; the tool's tests hold this copy to it.
constexpr const char *kFileRootNames[] = {"Project", "Root Files", "Primary Files", "Secondary Files"};

// An error the tool reports: a one-line summary and, when the library gave
// one, the report chain beneath it (outermost first, one line per report).
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string &summary, std::string chain = {})
      : std::runtime_error(summary), chain_(std::move(chain)) {}
  const std::string &chain() const noexcept { return chain_; }

 private:
  std::string chain_;
};

// Prints a failure the way every command does: "kestrum: summary" and the
// chain indented beneath it. The summary is made printable here; the chain
// already is (see Report::chain).
void print_failure(std::ostream &err, const Failure &failure);

// The most of one outside text (a descriptor, a report line quoting one)
// that a message shows; the JSON documents carry the texts whole.
constexpr std::size_t kQuoteLimit = 240;

// Text that came from a file, a JSON document or the command line (names,
// descriptors, report messages) as it may be shown on a terminal or in a
// line-based report: bytes that could move the cursor, start a new line or
// drive the terminal are written as escapes, so that a name can neither
// fake a line of output nor send control sequences. A backslash is doubled;
// tab, line feed and carriage return become \t, \n and \r; every other C0
// control byte, DEL, every byte that is not part of valid UTF-8, and the
// bytes of the C1 controls (U+0080..U+009F), the line and paragraph
// separators and the bidirectional controls become \xHH, one per byte.
// Valid UTF-8 otherwise passes unchanged. With a `quote` character the text
// is enclosed in it and that character is escaped as \<quote>.
std::string printable(std::string_view text, char quote = 0);

// The length of the valid UTF-8 sequence at the start of `text` (1 for an
// ASCII byte) and its code point in *code when asked; 0 when the bytes there
// are not valid UTF-8 (a bad lead or continuation byte, an overlong form, a
// surrogate, past U+10FFFF) or `text` is empty.
std::size_t utf8_length(std::string_view text, char32_t *code = nullptr);

// At most `limit` bytes of `text`, cut where a character begins and marked
// "..." when cut: a message may quote a value from outside but never repeat
// a whole one (it may be megabytes). Not escaped: whatever prints the message
// makes it printable.
std::string excerpt(std::string_view text, std::size_t limit);
// The same for a text whose end matters as much as its start (a path and
// the system's reason after it): cut in the middle, "..." where it was cut.
std::string shortened(std::string_view text, std::size_t limit = kQuoteLimit);

// "1 check", "2 checks": a count with its noun agreeing.
std::string counted(std::size_t count, const char *one, const char *many);

// Owns one report slot for one library call.
class Report {
 public:
  Report() = default;
  ~Report() { tk_ErrorReportDelete(&report_); }
  Report(const Report &) = delete;
  Report &operator=(const Report &) = delete;
  tk_ErrorReport **slot() noexcept {
    tk_ErrorReportDelete(&report_);
    return &report_;
  }
  explicit operator bool() const noexcept { return report_ != nullptr; }
  // The chain as text, outermost first, one line per report, each line
  // made printable; empty when there is no report.
  std::string chain() const;
  // The same lines as they are ("function: message"), for writers that
  // escape text their own way.
  std::vector<std::string> lines() const;
  // Throws Failure(summary, chain) when a report is held.
  void raise_if(const std::string &summary) const;

 private:
  tk_ErrorReport *report_ = nullptr;
};

// Takes over a string handed out by the library: returns its text (empty
// for null) and frees it.
std::string take(char *text);
std::optional<std::string> take_optional(char *text);

struct ProjectDeleter {
  void operator()(pm_Project *project) const noexcept { pm_ProjectDestroy(project); }
};
using ProjectPtr = std::unique_ptr<pm_Project, ProjectDeleter>;

// Loads a project file; a failure throws with the load's report chain.
ProjectPtr load_project(const std::string &path);
// Binds the project to `path` (absolute or relative to the current
// directory) and saves it there; a failure throws with the chain.
void save_project(pm_Project *project, const std::string &path);

// ---- Names of the enumerations, as the project file names them -----------
// The value names of each enumeration are the file schema's own
// (pm::kOutputNames and the like in persist/schema.h), in stored order.
using Names = std::span<const char *const>;
// The name of `value`; an empty string when it has none (out of range).
std::string value_name(Names names, int value);

// ---- Nodes of the tree by path ------------------------------------------
// "/" is the project, "T1" a tile, "T1/S2" a sample of it. Level is the
// processing level that serves the node (0, 1, 2).
struct NodeRef {
  std::string path;
  pm_Level level = 0;
  void *node = nullptr;
  pm_File *files = nullptr;  // the node's own data files
};
// Every node in tree order: the project, then each tile followed by its
// samples.
std::vector<NodeRef> all_nodes(pm_Project *project);
// The node at `path`; throws Failure when there is none.
NodeRef find_node(pm_Project *project, const std::string &path);

// Data files of a list, in list order.
std::vector<pm_File *> files_of(pm_File *list);
// Whether the file's descriptor names an existing file; a failing test
// throws.
bool file_present(pm_File *file);
// What testing a data file's descriptor found. A test that fails (a
// descriptor too long for the system, a directory that may not be searched)
// makes that one file untestable, with the reason shortened for a message.
enum class FileState { kNoDescriptor, kPresent, kMissing, kUntestable };
struct FileCheck {
  FileState state = FileState::kNoDescriptor;
  std::string reason;  // only when untestable
};
FileCheck check_data_file(pm_File *file);
// A path beneath the project's directory as "$PROJECT/rest"; any other path
// unchanged. Only whole directory names match: a sibling directory whose
// name merely begins with the project directory's name is not beneath it.
std::string project_relative(pm_Project *project, const std::string &path);
// The reverse: "$PROJECT" at the start of `name` replaced by `directory`.
std::string project_absolute(const std::string &directory, const std::string &name);

// ---- Progress on standard error -----------------------------------------
// Shows "label: done/total" on standard error, rewritten in place, once the
// work has taken longer than a second and only when standard error is a
// terminal, so that logs and pipes never see it. The line is erased when
// the object goes away.
class Progress {
 public:
  Progress(std::string label, std::size_t total);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;
  void step(std::size_t done = 1);

 private:
  std::string label_;
  std::size_t total_;
  std::size_t done_ = 0;
  bool terminal_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

// ---- Printing -------------------------------------------------------------
// The tree: settings, project files, tiles with samples and their files,
// and per level the PFA files and processes with their arguments.
void print_tree(std::ostream &out, pm_Project *project);

// ---- Where a process's data files are --------------------------------------
// One node whose data files an argument's file is looked up in, by path.
struct Place {
  std::string path;
  pm_File *files;
  void *node = nullptr;  // the project, tile or sample
};

// Why an input of a process is missing at a place.
enum class Lack { kNotOnDisk, kNoDataFile, kNoDescriptor };
// One input a process lacks at one place, and the line that says so.
struct MissingInput {
  pm_Argument *argument = nullptr;
  std::string value;      // the PFA file the argument stands for
  Place place;            // where it was looked for; no node when none could hold it
  Lack lack = Lack::kNoDataFile;
  std::string path;       // the path looked for (kNotOnDisk), as the data file holds it
  std::string stored;     // the same as the project file stores it ("$PROJECT/...")
  std::string text;       // "photo at T3: $PROJECT/tiles/T3/photo.img is not on disk"
};

// One process at one node, as the readiness table shows it.
struct ReadinessRow {
  NodeRef node;
  pm_Process *handle = nullptr;      // the process itself
  std::string process;
  bool ready = false;
  std::vector<std::string> error;    // the report chain when the test failed, as Report::lines
  std::vector<MissingInput> missing; // why not: inputs missing and where
  // A process that needs any one of its optional inputs and has none: each
  // of them, missing and where.
  bool lacks_optional = false;
  std::vector<MissingInput> missing_one_of;
  std::string command;               // process name and its argument line
};
// One process at one node (the node's own level or not): the library's
// verdict, and when it is not ready, every missing input and where.
ReadinessRow readiness_row(pm_Project *project, pm_Process *process, const NodeRef &node);
// The nodes whose files an argument naming a PFA file of `level` stands for
// at `node`: for the project every tile or sample, for a tile its samples,
// for a sample its own tile; the node itself when the levels match, and the
// project whatever the node for a project-level file.
std::vector<Place> places_for(pm_Project *project, pm_Level level, const NodeRef &node);
// Why the data file `value` at the place is not present (no such data file,
// one that names no file, a file not on disk), with the words `kestrum
// ready` prints; nothing when it is present. `argument` is recorded as the
// one whose input it is.
std::optional<MissingInput> missing_input(pm_Project *project, pm_Argument *argument, const std::string &value,
                                          const Place &place);
// Only those words; empty when it is present.
std::string absence(pm_Project *project, const std::string &value, const Place &place);
// The first two of those reasons, for a data file found as `file` (null
// when the place has none of that type) whose descriptor is empty.
std::string unnamed_file(const std::string &value, const Place &place, pm_File *file);
// Whether the library counts the process ready with any one of its
// optional inputs (kSpecialProcessNames).
bool special_process(pm_Process *process);

// Every process of every node's level; only nodes whose path is `only` when
// that is given.
std::vector<ReadinessRow> readiness(pm_Project *project, const std::optional<std::string> &only);
// Prints the table; returns kExitOk when all are ready, kExitNegative when
// some are not, kExitError when a test failed.
int print_readiness(std::ostream &out, const std::vector<ReadinessRow> &rows);
// The same as a JSON document (see the README and schema/); the same
// return value.
int print_readiness_json(std::ostream &out, const std::string &file, const std::optional<std::string> &only,
                         const std::vector<ReadinessRow> &rows);
// The exit status the rows give: kExitError when a test failed, kExitOk
// when all are ready, kExitNegative otherwise.
int readiness_status(const std::vector<ReadinessRow> &rows);

// ---- Building projects -------------------------------------------------------
// Appends that destroy a refused node (the library hands it back) and throw
// with the library's chain. Each takes over the node it is given.
pm_Tile *append_tile(pm_Project *project, pm_Tile *tile);
pm_Sample *append_sample(pm_Tile *tile, pm_Sample *sample);
void append_file(void *parent, pm_File *file);
void append_argument(pm_Process *process, pm_Argument *argument);

// The processing model of a project being built: PFA files and processes
// per level, collected in containers of their own and handed to the project
// in one go, so that a failure half-way leaves the project untouched and
// frees what was collected.
class Processing {
 public:
  Processing();
  ~Processing();
  Processing(const Processing &) = delete;
  Processing &operator=(const Processing &) = delete;
  void add_pfa(pm_Level level, pm_PFAFile *pfa);          // takes it over
  void add_process(pm_Level level, pm_Process *process);  // takes it over
  void apply(pm_Project *project);                        // hands everything over

 private:
  pm_ProcFiles *root_;
  pm_ProcessLists *lists_;
};

// ---- Writing files ------------------------------------------------------------
// Writes a file through `write`, in full or not at all: the text goes into
// a new file beside the target, which then takes the target's name. An
// existing target is refused ("PATH already exists (use --force to replace
// it)") unless `replace`; when replaced, a link is followed to the file it
// names and that file's permissions are kept. Only a regular file is ever
// replaced: a directory, device, pipe or socket is refused. Every file the
// tool writes itself goes through here.
void write_file(const std::string &path, bool replace, const std::function<void(std::ostream &)> &write);
// The refusal of an existing file, the same for every command that writes.
[[noreturn]] void refuse_existing(const std::string &path);

// ---- The bundled example project -----------------------------------------
// Builds the example under `directory` (data files, parameter files) and
// returns the project, not yet bound to a file. Data files already there
// are refused, or overwritten when `replace`.
ProjectPtr build_demo_project(const std::string &directory, bool replace = false);

// ---- Commands ---------------------------------------------------------------
// Each adds its subcommand to the app; when the subcommand is chosen, its
// callback stores the work to run in `selected`.
using Command = std::function<int(std::ostream &out, std::ostream &err)>;
// Runs the tool on a command line as main() does, printing on `out` and
// `err`, and returns its exit status. Nothing escapes: running out of memory
// anywhere, reading the command line included, is an error like any other.
int run_tool(int argc, char **argv, std::ostream &out, std::ostream &err) noexcept;
void add_demo_command(CLI::App &app, Command &selected);
void add_show_commands(CLI::App &app, Command &selected);   // show, ready
void add_transfer_commands(CLI::App &app, Command &selected);  // export, import
void add_check_command(CLI::App &app, Command &selected);
void add_dump_command(CLI::App &app, Command &selected);
void add_workflow_command(CLI::App &app, Command &selected);

// Calls visit(node, depth) for every node of an open tree file but the root,
// in pre-order (the root's children have depth 1), by number: no path is
// built per node.
void each_node(tk_TreeFile *file, const std::function<void(int64_t node, std::size_t depth)> &visit);
// Whether a design is one of the eight that kestrum reads (by name).
bool is_project_design(const tk_Design *design);
// Lines that say what the project file at `path` holds beyond what this
// kestrum reads: a newer write version, nodes of designs it does not know.
// Empty for a file of today's kestrum and for a file that does not open.
std::vector<std::string> file_notes(const std::string &path);

// What `kestrum dump FILE` prints, into `out`; kExitOk, or a Failure when
// the file does not open as a tree file. Any bytes at all are safe to give it.
int dump_file(const std::string &path, std::ostream &out);

}  // namespace kcli

#endif
