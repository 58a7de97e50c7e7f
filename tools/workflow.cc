// `kestrum workflow FILE --engine snakemake|make`: the project's processing
// as a plan for an engine that runs it.
//
// kestrum runs nothing itself. It works out, for every process at every
// node of its level, which data files the run reads and writes, drops the
// runs whose required inputs neither exist nor are made by another run, and
// writes the rest for GNU make or Snakemake, which order and run them.
// Inputs are looked up by the rules `kestrum ready` explains readiness with
// (places_for, absence); a file another job makes counts as there.
//
// Make gets one explicit rule per job with the data files themselves as
// targets. Snakemake gets one rule per process with the node as a wildcard
// and a JSON table beside the Snakefile that maps each node to its inputs and
// command, so that its rules stay few however many samples there are; its
// jobs write a stamp file each (a data file's path cannot be made from a
// wildcard), and a job that reads what another makes waits for that stamp.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <unordered_map>

#include "cli.h"
#include "name_hash.h"

namespace kcli {

namespace {

namespace fs = std::filesystem;

enum class Engine { kSnakemake, kMake };

struct WorkflowOptions {
  std::string file;
  std::string engine;
  std::string output;
  std::vector<std::string> programs;  // NAME=COMMAND
  std::optional<std::string> node;
  bool per_tile = false;
  bool force = false;
};

// One input argument of a job: the data files it stands for, each with
// whether it is on disk and, once the plan is settled, whether it is taken.
struct InputFile {
  std::string path;   // absolute; empty when the place has no file to name
  std::string why;    // why it is missing when it is neither on disk nor made
  bool on_disk = false;
};
struct Argument {
  std::string name;   // empty for an argument without a name
  bool has_value = false;
  bool input = false;
  bool output = false;
  bool strict = false;
  std::string value;
  std::vector<InputFile> files;      // inputs
  std::vector<std::string> outputs;  // outputs
};

struct Job {
  std::string process;
  std::string rule;  // the process's rule name: unique, safe in file names and Python
  NodeRef node;
  std::size_t node_index = 0;  // position in tree order: the job's key
  bool special = false;
  std::vector<Argument> arguments;
  std::vector<std::string> blocked;  // why the job is not planned; empty when it is
  // Settled by the plan:
  std::vector<std::string> inputs;       // data files read that no job makes
  std::vector<std::size_t> after;        // jobs that make what it reads
  std::vector<std::string> outputs;
  std::string command;
};

using PathMap = std::unordered_map<std::string, std::size_t, tk::NameHash, std::equal_to<>>;

// Sorted, each once: a project job may read a file at each of a hundred
// thousand samples, where a search per file would be quadratic.
template <typename T>
void unique(std::vector<T> &list) {
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
}

bool is_output(pm_ArgumentMode mode) {
  return mode == PM_STRICT_OUTPUT || mode == PM_OPTIONAL_OUTPUT || mode == PM_EDITABLE_OUTPUT;
}

// Rule names: the process's level and position, then its name kept to the
// letters and digits that Python identifiers and file names take as they are.
std::string rule_name(pm_Level level, std::size_t index, const std::string &process) {
  std::string rule = "p" + std::to_string(level) + "_" + std::to_string(index) + "_";
  for (const char c : process)
    rule += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
  return rule;
}

// A word for the shell: bare when it holds only characters no shell treats
// specially, otherwise in single quotes (a quote inside written as '\'').
std::string shell_word(const std::string &word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_-./+,:@%=").find(c) != std::string_view::npos;
  });
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Planner {
 public:
  Planner(pm_Project *project, const WorkflowOptions &options) : project_(project), options_(options) {
    directory_ = text_of(project->dirname);
    for (const std::string &mapping : options.programs) {
      const std::size_t equals = mapping.find('=');
      if (equals == std::string::npos || equals == 0)
        throw Failure("--program wants NAME=COMMAND, not '" + excerpt(mapping, 200) + "'");
      programs_[mapping.substr(0, equals)] = mapping.substr(equals + 1);
    }
  }

  std::vector<Job> plan() {
    collect();
    claim_outputs();
    settle();
    break_circles();
    for (Job &job : jobs_)
      if (job.blocked.empty()) finish(job);
    return std::move(jobs_);
  }

 private:
  // The selected nodes: all of them, or one and those beneath it.
  std::vector<std::pair<std::size_t, NodeRef>> selected_nodes() {
    const std::vector<NodeRef> nodes = all_nodes(project_);
    std::vector<std::pair<std::size_t, NodeRef>> chosen;
    if (!options_.node) {
      for (std::size_t i = 0; i < nodes.size(); ++i) chosen.emplace_back(i, nodes[i]);
      return chosen;
    }
    const NodeRef top = find_node(project_, *options_.node);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const NodeRef &node = nodes[i];
      const bool beneath = top.level == kLevelProject || node.node == top.node ||
                           (top.level == kLevelTile && node.level == kLevelSample &&
                            static_cast<pm_Sample *>(node.node)->node.parent == top.node);
      if (beneath) chosen.emplace_back(i, node);
    }
    return chosen;
  }

  std::string path_of(pm_File *file) { return project_absolute(directory_, text_of(file->descriptor)); }

  void add_argument(Job &job, pm_Argument *argument) {
    Argument arg;
    arg.name = text_of(argument->node.name);
    const std::optional<std::string> value = optional_text(argument->value);
    const pm_ArgumentMode mode = pm_ArgumentGetMode(argument);
    arg.has_value = value.has_value();
    arg.input = mode == PM_STRICT_INPUT || mode == PM_OPTIONAL_INPUT;
    arg.output = is_output(mode);
    arg.strict = mode == PM_STRICT_INPUT;
    if (value) arg.value = *value;
    if (!value || (!arg.input && !arg.output)) {
      job.arguments.push_back(std::move(arg));
      return;
    }
    Report report;
    const pm_Level level = pm_PFAFileFindLevel(argument, project_->pfa_root, report.slot());
    const bool optional = mode == PM_OPTIONAL_INPUT || mode == PM_OPTIONAL_OUTPUT;
    if (report || level < kLevelProject || level > kLevelSample) {
      // An optional argument that stands for no file is left off the line,
      // as readiness leaves it untested; a required one cannot be.
      if (!optional) job.blocked.push_back(*value + ": no PFA file of that name at any level");
      if (optional) job.arguments.push_back(std::move(arg));
      return;
    }
    for (const Place &place : places_for(project_, level, job.node)) {
      pm_File *file = pm_FileFind(place.files, value->c_str());
      std::string path = file ? path_of(file) : std::string();
      if (arg.input) {
        InputFile input{path, {}, false};
        if (!path.empty()) input.on_disk = file_present(file);
        if (!input.on_disk) input.why = path.empty() ? unnamed_file(*value, place, file) : absence(project_, *value, place);
        arg.files.push_back(std::move(input));
      } else if (path.empty()) {
        // An optional output with nowhere to go is simply not asked for.
        if (!optional) job.blocked.push_back(unnamed_file(*value, place, file) + " to write to");
      } else {
        arg.outputs.push_back(std::move(path));
      }
    }
    job.arguments.push_back(std::move(arg));
  }

  void collect() {
    const auto nodes = selected_nodes();
    Progress progress("planning", nodes.size());
    for (const auto &[index, node] : nodes) {
      std::size_t position = 0;
      for (pm_Process *process = pm_ProcessListGetByType(project_, node.level); process;
           process = reinterpret_cast<pm_Process *>(process->node.next), ++position) {
        Job job;
        job.process = text_of(process->node.name);
        job.rule = rule_name(node.level, position, job.process);
        job.node = node;
        job.node_index = index;
        job.special = special_process(process);
        for (pm_Argument *argument = process->arguments; argument;
             argument = reinterpret_cast<pm_Argument *>(argument->node.next))
          if (pm_ArgumentGetHide(argument) == 0) add_argument(job, argument);
        jobs_.push_back(std::move(job));
      }
      progress.step();
    }
  }

  // Every file is made by one job at most: two jobs that would write the
  // same file are both left out, since neither engine can tell which one
  // should.
  void claim_outputs() {
    std::unordered_map<std::string, std::vector<std::size_t>, tk::NameHash, std::equal_to<>> clashes;
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      for (const Argument &arg : jobs_[i].arguments) {
        for (const std::string &path : arg.outputs) {
          const auto [it, fresh] = makers_.emplace(path, i);
          if (fresh || it->second == i) continue;
          std::vector<std::size_t> &writers = clashes[path];
          if (writers.empty()) writers.push_back(it->second);
          if (writers.back() != i) writers.push_back(i);
        }
      }
    }
    for (const auto &[path, writers] : clashes) {
      for (const std::size_t i : writers) {
        std::string others;
        std::size_t named = 0;
        for (const std::size_t j : writers) {
          if (j == i) continue;
          if (++named > 3) {
            others += " and " + std::to_string(writers.size() - 4) + " more";
            break;
          }
          others += (others.empty() ? "" : ", ") + describe(jobs_[j]);
        }
        jobs_[i].blocked.push_back(project_relative(project_, path) + " is written by " + others + " as well");
      }
    }
  }

  static std::string describe(const Job &job) { return job.process + " at " + job.node.path; }

  // The job that makes `path` and is planned, if any.
  std::optional<std::size_t> maker(const std::string &path, std::size_t self) const {
    const auto it = makers_.find(path);
    if (it == makers_.end() || it->second == self || !jobs_[it->second].blocked.empty()) return std::nullopt;
    return it->second;
  }

  // Why the job cannot be planned while the jobs left out so far are left
  // out; empty when it can.
  std::vector<std::string> missing(std::size_t self) const {
    const Job &job = jobs_[self];
    std::vector<std::string> why;
    std::vector<std::string> optional_why;
    bool optional_seen = false, optional_found = false;
    for (const Argument &arg : job.arguments) {
      if (!arg.input || !arg.has_value) continue;
      const bool optional = !arg.strict;
      optional_seen = optional_seen || optional;
      std::size_t found = 0;
      for (const InputFile &file : arg.files) {
        if (file.on_disk || (!file.path.empty() && maker(file.path, self)) ||
            (!file.path.empty() && makes(self, file.path))) {
          ++found;
          continue;
        }
        std::string reason = file.why;
        const auto it = file.path.empty() ? makers_.end() : makers_.find(file.path);
        if (it != makers_.end() && it->second != self)
          reason += " (" + describe(jobs_[it->second]) + " would make it, and is not planned)";
        (optional ? optional_why : why).push_back(std::move(reason));
      }
      optional_found = optional_found || (optional && found > 0);
    }
    // A process that the library counts ready with any one of its optional
    // inputs runs only when one of them is there.
    if (job.special && optional_seen && !optional_found) {
      why.push_back("needs one of its optional inputs, and none is present or made:");
      for (std::string &reason : optional_why) why.push_back("    " + reason);
    }
    return why;
  }

  // Whether the job itself writes `path` (a file it reads and rewrites).
  bool makes(std::size_t self, const std::string &path) const {
    const auto it = makers_.find(path);
    return it != makers_.end() && it->second == self;
  }

  // Leaves out every job whose required input is neither on disk nor made
  // by a planned job, until no more drop out: a job left out takes with it
  // those that need what it would have made.
  void settle() {
    // A job left out already (an output it cannot name, a clash) lists its
    // missing inputs as well.
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      if (jobs_[i].blocked.empty()) continue;
      std::vector<std::string> why = missing(i);
      jobs_[i].blocked.insert(jobs_[i].blocked.end(), why.begin(), why.end());
    }
    bool changed = true;
    while (changed) {
      changed = false;
      for (std::size_t i = 0; i < jobs_.size(); ++i) {
        if (!jobs_[i].blocked.empty()) continue;
        std::vector<std::string> why = missing(i);
        if (why.empty()) continue;
        jobs_[i].blocked = std::move(why);
        changed = true;
      }
    }
  }

  // The planned jobs that make what the job reads.
  std::vector<std::size_t> makers_of(std::size_t self) const {
    std::vector<std::size_t> from;
    for (const Argument &arg : jobs_[self].arguments)
      for (const InputFile &file : arg.files)
        if (!file.path.empty())
          if (const std::optional<std::size_t> maker_job = maker(file.path, self)) from.push_back(*maker_job);
    unique(from);
    return from;
  }

  // Jobs that wait for each other in a circle (each reads what the next
  // makes) can run in no order; neither engine takes them. They are left
  // out, with every job that waits for one of them.
  void break_circles() {
    std::vector<std::vector<std::size_t>> waiting(jobs_.size());  // job -> jobs that wait for it
    std::vector<std::size_t> pending(jobs_.size(), 0);           // job -> makers not yet ordered
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      if (!jobs_[i].blocked.empty()) continue;
      for (const std::size_t from : makers_of(i)) {
        waiting[from].push_back(i);
        ++pending[i];
      }
    }
    std::vector<std::size_t> ready;
    for (std::size_t i = 0; i < jobs_.size(); ++i)
      if (jobs_[i].blocked.empty() && pending[i] == 0) ready.push_back(i);
    while (!ready.empty()) {
      const std::size_t job = ready.back();
      ready.pop_back();
      for (const std::size_t next : waiting[job])
        if (--pending[next] == 0) ready.push_back(next);
    }
    for (std::size_t i = 0; i < jobs_.size(); ++i)
      if (jobs_[i].blocked.empty() && pending[i] > 0)
        jobs_[i].blocked.push_back("it waits for jobs that wait for each other in a circle (each reads what another makes)");
  }

  // The job's inputs, the jobs it waits for, its outputs and its command:
  // the program, then the process's arguments as its command line has them
  // (pm_ProcessCommandLine), with each "$value" that stands for data files
  // replaced by their paths at the node.
  void finish(Job &job) {
    const std::size_t self = static_cast<std::size_t>(&job - jobs_.data());
    const auto program = programs_.find(job.process);
    std::string command = program != programs_.end() ? program->second : shell_word(job.process);
    for (const Argument &arg : job.arguments) {
      std::vector<std::string> paths;
      if (arg.input) {
        for (const InputFile &file : arg.files) {
          if (file.path.empty()) continue;
          const std::optional<std::size_t> from = maker(file.path, self);
          const bool own = makes(self, file.path);
          if (!file.on_disk && !from && !own) continue;
          paths.push_back(file.path);
          if (from)
            job.after.push_back(*from);
          else if (!own)
            job.inputs.push_back(file.path);
        }
        // An optional input that is nowhere leaves no trace on the line.
        if (arg.has_value && paths.empty()) continue;
      } else if (arg.output) {
        paths = arg.outputs;
        job.outputs.insert(job.outputs.end(), paths.begin(), paths.end());
        if (arg.has_value && paths.empty()) continue;
      }
      if (!arg.name.empty()) command += " " + shell_word(arg.name);
      if (!arg.has_value) continue;
      if (!arg.input && !arg.output) command += " " + shell_word("$" + arg.value);
      for (const std::string &path : paths) command += " " + shell_word(path);
    }
    job.command = std::move(command);
    for (auto *list : {&job.inputs, &job.outputs}) unique(*list);
    unique(job.after);
  }

  pm_Project *project_;
  const WorkflowOptions &options_;
  std::string directory_;
  std::map<std::string, std::string> programs_;
  std::vector<Job> jobs_;
  PathMap makers_;
};

// With --per-tile the sample jobs of one process in one tile become one job
// that runs them one after the other: a hundred thousand samples make a
// graph of a few thousand jobs, which Snakemake plans in seconds.
std::vector<Job> batch_per_tile(std::vector<Job> jobs, const std::vector<NodeRef> &tree) {
  std::vector<std::size_t> target(jobs.size());
  std::vector<Job> merged;
  std::map<std::pair<std::string, std::size_t>, std::size_t> batches;  // (rule, tile index) -> merged job
  std::unordered_map<const void *, std::size_t> tile_index;
  for (std::size_t i = 0; i < tree.size(); ++i)
    if (tree[i].level == kLevelTile) tile_index[tree[i].node] = i;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    Job &job = jobs[i];
    const pm_Node *parent = job.node.level == kLevelSample ? static_cast<pm_Sample *>(job.node.node)->node.parent : nullptr;
    if (!job.blocked.empty() || !parent) {
      target[i] = merged.size();
      merged.push_back(std::move(job));
      continue;
    }
    const std::size_t tile = tile_index.at(parent);
    const auto [it, fresh] = batches.emplace(std::make_pair(job.rule, tile), merged.size());
    target[i] = it->second;
    if (fresh) {
      Job batch = std::move(job);
      batch.node = tree[tile];
      batch.node_index = tile;
      merged.push_back(std::move(batch));
      continue;
    }
    Job &batch = merged[it->second];
    batch.command += " && " + job.command;
    batch.inputs.insert(batch.inputs.end(), job.inputs.begin(), job.inputs.end());
    batch.outputs.insert(batch.outputs.end(), job.outputs.begin(), job.outputs.end());
    batch.after.insert(batch.after.end(), job.after.begin(), job.after.end());
  }
  for (std::size_t i = 0; i < merged.size(); ++i) {
    Job &job = merged[i];
    for (std::size_t &from : job.after) from = target[from];
    for (auto *list : {&job.inputs, &job.outputs}) unique(*list);
    unique(job.after);
    job.after.erase(std::remove(job.after.begin(), job.after.end(), i), job.after.end());
  }
  return merged;
}

// ---- Writing the plan ---------------------------------------------------------

std::string stamp_path(const std::string &stamps, const Job &job) {
  return stamps + "/" + job.rule + "/n" + std::to_string(job.node_index) + ".done";
}

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

void write_makefile(std::ostream &out, const std::string &source, const std::vector<Job> &jobs,
                    const std::string &stamps) {
  std::vector<std::string> targets(jobs.size());
  std::size_t planned = 0;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job &job = jobs[i];
    if (!job.blocked.empty()) continue;
    ++planned;
    for (const std::string &path : job.outputs) targets[i] += (targets[i].empty() ? "" : " ") + make_word(path);
    if (targets[i].empty()) targets[i] = make_word(stamp_path(stamps, job));
  }
  out << "# The processing of " << printable(source) << " as made by kestrum workflow: "
      << counted(planned, "job", "jobs") << ".\n"
      << "# Run with: make -f THIS-FILE -j N (GNU make 4.3 or later)\n"
      << "MAKEFLAGS += --no-builtin-rules\n.SUFFIXES:\n.DELETE_ON_ERROR:\n.PHONY: all\nall:";
  for (const std::string &target : targets)
    if (!target.empty()) out << " \\\n  " << target;
  out << "\n";
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job &job = jobs[i];
    if (!job.blocked.empty()) continue;
    out << "\n# " << printable(job.process) << " at " << printable(job.node.path) << "\n"
        << targets[i] << (job.outputs.size() > 1 ? " &:" : ":");
    for (const std::string &path : job.inputs) out << " " << make_word(path);
    for (const std::size_t from : job.after) out << " " << targets[from];
    out << "\n\t" << make_recipe(job.command) << "\n";
    if (job.outputs.empty()) {
      const std::string stamp = stamp_path(stamps, job);
      out << "\t@mkdir -p " << make_recipe(shell_word(fs::path(stamp).parent_path().string())) << " && touch "
          << make_recipe(shell_word(stamp)) << "\n";
    }
  }
}

// Text the Snakefile's table and a Python string literal can hold as it is.
const std::string &snake_text(const std::string &text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_length(std::string_view(text).substr(at));
    if (length == 0)
      throw Failure("the Snakefile cannot hold '" + excerpt(text, 200) + "': it is not valid UTF-8 (use --engine make)");
    at += length;
  }
  return text;
}

// A file name as Snakemake reads an input or output. It takes braces for a
// wildcard wherever they are, doubled or not, so a path holding one is
// refused.
const std::string &snake_file(const std::string &path) {
  if (path.find_first_of("{}") != std::string::npos)
    throw Failure("the Snakefile cannot name " + path +
                  ": Snakemake reads '{' and '}' in a file name as a wildcard (use --engine make)");
  return snake_text(path);
}

// A string as a JSON string, which Python reads as the same string too.
// Written by hand rather than through a JSON document: the table of a
// hundred thousand jobs is written in a fraction of the time.
std::string quoted_text(const std::string &text) {
  std::string literal = "\"";
  for (const char c : snake_text(text)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      literal += '\\';
      literal += c;
    } else if (u < 0x20 || u == 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      literal += "\\u00";
      literal += kHex[u >> 4];
      literal += kHex[u & 15];
    } else {
      literal += c;
    }
  }
  return literal + "\"";
}

void write_list(std::ostream &out, const std::vector<std::string> &items) {
  out << "[";
  for (std::size_t i = 0; i < items.size(); ++i) out << (i ? "," : "") << quoted_text(items[i]);
  out << "]";
}

// {rule: {node key: {node, input, output, command}}}; a job's inputs are the
// files it reads that no job makes and the stamps of the jobs that make the
// others.
void write_table(std::ostream &out, const std::vector<Job> &jobs, const std::string &stamps) {
  std::map<std::string, std::vector<std::size_t>> rules;
  for (std::size_t i = 0; i < jobs.size(); ++i)
    if (jobs[i].blocked.empty()) rules[jobs[i].rule].push_back(i);
  out << "{";
  const char *rule_separator = "";
  for (const auto &[rule, members] : rules) {
    out << rule_separator << "\n" << quoted_text(rule) << ":{";
    rule_separator = ",";
    const char *separator = "";
    for (const std::size_t i : members) {
      const Job &job = jobs[i];
      std::vector<std::string> inputs;
      for (const std::string &path : job.inputs) inputs.push_back(snake_file(path));
      for (const std::size_t from : job.after) inputs.push_back(snake_file(stamp_path(stamps, jobs[from])));
      out << separator << "\n\"n" << job.node_index << "\":{\"node\":" << quoted_text(job.node.path) << ",\"input\":";
      separator = ",";
      write_list(out, inputs);
      out << ",\"output\":";
      write_list(out, job.outputs);
      out << ",\"command\":" << quoted_text(job.command) << "}";
    }
    out << "}";
  }
  out << "\n}\n";
}

void write_snakefile(std::ostream &out, const std::string &source, const std::vector<Job> &jobs,
                     const std::string &table, const std::string &stamps) {
  std::vector<std::pair<std::string, std::string>> rules;  // rule, process
  std::size_t planned = 0;
  for (const Job &job : jobs) {
    if (!job.blocked.empty()) continue;
    ++planned;
    if (std::none_of(rules.begin(), rules.end(), [&](const auto &rule) { return rule.first == job.rule; }))
      rules.emplace_back(job.rule, job.process);
  }
  out << "# The processing of " << printable(source) << " as made by kestrum workflow: "
      << counted(planned, "job", "jobs") << ".\n"
      << "# Run with: snakemake -s THIS-FILE -j N\n"
      << "# One rule per process; the table beside this file gives each node's inputs and command, and\n"
      << "# each job leaves a stamp file that the jobs reading its outputs wait for.\n"
      << "import json\n\n"
      << "with open(" << quoted_text(table) << ", encoding=\"utf-8\") as table:\n"
      << "    JOBS = json.load(table)\n"
      << "STAMPS = " << quoted_text(snake_file(stamps)) << "\n\n"
      << "rule all:\n"
      << "    input: [f\"{STAMPS}/{rule}/{node}.done\" for rule, nodes in JOBS.items() for node in nodes]\n";
  for (const auto &[rule, process] : rules) {
    const std::string key = quoted_text(rule);
    out << "\n# " << printable(process) << "\n"
        << "rule " << rule << ":\n"
        << "    input: lambda w: JOBS[" << key << "][w.node][\"input\"]\n"
        << "    output: touch(STAMPS + \"/" << rule << "/{node}.done\")\n"
        << "    wildcard_constraints: node=\"n[0-9]+\"\n"
        << "    params: command=lambda w: JOBS[" << key << "][w.node][\"command\"]\n"
        << "    shell: \"{params.command}\"\n";
  }
}

// Prints the jobs left out and why, the way `kestrum ready` lists missing
// inputs.
void report_blocked(std::ostream &err, const std::vector<Job> &jobs) {
  for (const Job &job : jobs) {
    if (job.blocked.empty()) continue;
    err << "not planned: " << printable(job.process) << " at " << printable(job.node.path) << "\n";
    for (const std::string &why : job.blocked) err << "      - " << printable(why) << "\n";
  }
}

int run_workflow(const WorkflowOptions &options, std::ostream &out, std::ostream &err) {
  const Engine engine = options.engine == "make" ? Engine::kMake : Engine::kSnakemake;
  const std::string output = !options.output.empty()       ? options.output
                             : engine == Engine::kMake ? "Makefile"
                                                       : "Snakefile";
  ProjectPtr project = load_project(options.file);
  std::vector<Job> jobs = Planner(project.get(), options).plan();
  if (options.per_tile) jobs = batch_per_tile(std::move(jobs), all_nodes(project.get()));
  const std::string target = fs::absolute(output).lexically_normal().string();
  const std::string stamps = target + ".stamps";
  std::size_t planned = 0;
  for (const Job &job : jobs) planned += job.blocked.empty() ? 1 : 0;
  std::string written;
  if (engine == Engine::kMake) {
    write_file(output, options.force, [&](std::ostream &file) { write_makefile(file, options.file, jobs, stamps); });
    written = output;
  } else {
    const std::string table = target + ".jobs.json";
    // Both are made before either is written, so that a file name the
    // Snakefile cannot hold, or an existing file, leaves neither behind.
    std::ostringstream table_text, snakefile_text;
    write_table(table_text, jobs, stamps);
    write_snakefile(snakefile_text, options.file, jobs, table, stamps);
    if (!options.force && fs::exists(fs::symlink_status(table))) refuse_existing(table);
    if (!options.force && fs::exists(fs::symlink_status(output))) refuse_existing(output);
    write_file(table, options.force, [&](std::ostream &file) { file << table_text.str(); });
    write_file(output, options.force, [&](std::ostream &file) { file << snakefile_text.str(); });
    written = output + " and " + output + ".jobs.json";
  }
  out << "Planned " << counted(planned, "job", "jobs") << " into " << printable(written);
  if (planned < jobs.size()) out << "; " << jobs.size() - planned << " not planned (see standard error)";
  out << "\n";
  out.flush();
  report_blocked(err, jobs);
  return planned == jobs.size() ? kExitOk : kExitNegative;
}

}  // namespace

void add_workflow_command(CLI::App &app, Command &selected) {
  auto options = std::make_shared<WorkflowOptions>();
  auto node = std::make_shared<std::string>();
  CLI::App *command = app.add_subcommand(
      "workflow",
      "Write the project's processing as a plan for Snakemake or GNU make: a job per process and node "
      "(exit 1 when some could not be planned)");
  command->add_option("FILE", options->file, "Project file")->required();
  command->add_option("--engine", options->engine, "The engine that runs the plan: snakemake or make")
      ->required()
      ->check(CLI::IsMember({"snakemake", "make"}));
  command->add_option("-o,--output", options->output,
                      "The plan to write (default Snakefile or Makefile here); Snakemake's table goes beside it "
                      "as OUTPUT.jobs.json, and stamp files into OUTPUT.stamps/");
  command->add_option("--program", options->programs,
                      "Run process NAME as COMMAND (shell text; default: the process's name); repeatable")
      ->type_name("NAME=COMMAND");
  command->add_option("--node", *node, "Only this node and those beneath it: \"/\", \"TILE\" or \"TILE/SAMPLE\"");
  command->add_flag("--per-tile", options->per_tile,
                    "Run the sample processes of each tile as one job per tile and process: a far smaller job "
                    "graph for large projects");
  command->add_flag("--force", options->force, "Replace the plan's files when they exist");
  command->callback([&selected, options, node, command] {
    options->node = command->count("--node") > 0 ? std::optional<std::string>(*node) : std::nullopt;
    selected = [options](std::ostream &out, std::ostream &err) { return run_workflow(*options, out, err); };
  });
}

}  // namespace kcli
