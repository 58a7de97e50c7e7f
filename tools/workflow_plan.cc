// The plan itself: for every process at every node of its level, which data
// files the run reads, makes and edits, which jobs it waits for, and its
// command; or why it is left out.
//
// Inputs are looked up by the rules `kestrum ready` explains readiness with
// (places_for, absence); a file another job writes counts as there. A job
// is left out when a required input is neither on disk nor written by a
// planned job, when an output has no file to go to, when another job writes
// one of its files as well (compared by FileIdentity, not by spelling), or
// when it waits for jobs that wait for each other in a circle.
#include <algorithm>
#include <unordered_map>

#include "name_hash.h"
#include "workflow.h"

namespace kcli::workflow {

namespace {

constexpr std::size_t kNoWriter = static_cast<std::size_t>(-1);

// One data file of the plan, however many arguments stand for it.
struct PlannedFile {
  std::string path;        // as the engine is told it: absolute, lexically normal
  std::string spelled;     // as the project spells it, when that differs from `path`
  std::string key;         // FileIdentity's
  bool on_disk = false;
  std::size_t writer = kNoWriter;  // the job that writes it, if any

  // As the command line gives it: absolute, as the project spells it.
  const std::string &given() const { return spelled.empty() ? path : spelled; }
};

// One file an argument stands for at the node: the plan's file, or the
// table's first entry (no path, no key) when the place names none.
struct FileUse {
  std::size_t file = 0;
  Blocked why;  // an input's absence: why it is neither on disk nor named
};

struct Argument {
  std::string name;   // empty for an argument without a name
  bool has_value = false;
  bool input = false;
  bool output = false;
  bool strict = false;
  bool editable = false;
  std::string value;
  std::vector<FileUse> files;
};

struct Draft {
  bool special = false;
  std::vector<Argument> arguments;
};

using KeyMap = std::unordered_map<std::string, std::size_t, tk::NameHash, std::equal_to<>>;

bool is_output(pm_ArgumentMode mode) {
  return mode == PM_STRICT_OUTPUT || mode == PM_OPTIONAL_OUTPUT || mode == PM_EDITABLE_OUTPUT;
}

// Text safe as a word of a job's name: letters, digits, '_', '.' and '-',
// never first '-' or '.', which read as an option or a hidden file where the
// name becomes a file name.
std::string name_part(const std::string &text) {
  std::string part;
  for (const char c : text) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                      ((c == '.' || c == '-') && !part.empty());
    part += kept ? c : '_';
  }
  return part.empty() ? "_" : part;
}

// A command as a shell line that neither make nor anything else before the
// shell reads as syntax: make takes a recipe's leading '-', '@' and '+'
// (after blanks) as its own prefixes, so such a first character is escaped
// with a backslash, which the shell drops again.
std::string unprefixed(const std::string &command) {
  const std::size_t start = command.find_first_not_of(" \t");
  if (start == std::string::npos) return command;
  const std::string rest = command.substr(start);
  return std::string_view("-@+").find(rest.front()) != std::string_view::npos ? "\\" + rest : rest;
}

// "4G", "500M", "2000" (megabytes), "1T", "512K", each optionally with "B":
// the size in megabytes, rounded up.
long long megabytes(const std::string &size, const std::string &option) {
  std::size_t digits = 0;
  while (digits < size.size() && size[digits] >= '0' && size[digits] <= '9') ++digits;
  std::string unit = size.substr(digits);
  if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b')) unit.pop_back();
  static const std::map<std::string, long long> kUnits{{"", 1024},   {"K", 1},          {"k", 1},
                                                       {"M", 1024}, {"m", 1024},        {"G", 1024 * 1024},
                                                       {"g", 1024 * 1024}, {"T", 1024LL * 1024 * 1024},
                                                       {"t", 1024LL * 1024 * 1024}};
  const auto unit_kib = kUnits.find(unit);
  if (digits == 0 || digits > 12 || unit_kib == kUnits.end())
    throw Failure(option + " wants a size such as 500M or 4G, not '" + excerpt(size, 200) + "'");
  const long long kib = std::stoll(size.substr(0, digits)) * unit_kib->second;
  return std::max(1LL, (kib + 1023) / 1024);
}

// NAME=VALUE options as a map, each NAME once.
std::map<std::string, std::string> mappings(const std::vector<std::string> &given, const char *option,
                                            const char *form) {
  std::map<std::string, std::string> map;
  for (const std::string &mapping : given) {
    const std::size_t equals = mapping.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == mapping.size())
      throw Failure(std::string(option) + " wants " + form + ", not '" + excerpt(mapping, 200) + "'");
    map[mapping.substr(0, equals)] = mapping.substr(equals + 1);
  }
  return map;
}

class Planner {
 public:
  Planner(pm_Project *project, const Options &options) : project_(project), options_(options) {
    directory_ = text_of(project->dirname);
    programs_ = mappings(options.programs, "--program", "NAME=COMMAND");
    for (const auto &[name, count] : mappings(options.threads, "--threads", "NAME=N")) {
      const bool number = count.size() <= 6 && count.find_first_not_of("0123456789") == std::string::npos;
      if (!number || std::stoi(count) < 1)
        throw Failure("--threads wants a count of 1 or more for " + excerpt(name, 200) + ", not '" +
                      excerpt(count, 200) + "'");
      threads_[name] = std::stoi(count);
    }
    for (const auto &[name, size] : mappings(options.memory, "--mem", "NAME=SIZE"))
      memory_[name] = megabytes(size, "--mem");
  }

  std::vector<Job> plan() {
    collect();
    check_resource_names();
    claim_outputs();
    find_writers();
    settle();
    break_circles();
    for (std::size_t i = 0; i < jobs_.size(); ++i)
      if (jobs_[i].blocked.empty()) finish(i);
    name_jobs(jobs_);
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

  // The data file as the plan names it. A sample's output is read again by
  // its tile's and the project's jobs: it is looked up on disk once.
  std::size_t planned_file(pm_File *data, const std::string &descriptor) {
    const auto [known, fresh] = files_.emplace(data, table_.size());
    if (!fresh) return known->second;
    const std::string given = project_absolute(directory_, descriptor);
    const FileIdentity::Identity identity = identity_.of(given);
    PlannedFile &file = table_.emplace_back();
    file.path = identity.path;
    if (identity.path != given) file.spelled = given;
    file.key = identity.key;
    file.on_disk = identity.exists;
    return known->second;
  }

  void add_argument(Job &job, Draft &draft, pm_Argument *argument) {
    Argument arg;
    arg.name = text_of(argument->node.name);
    const std::optional<std::string> value = optional_text(argument->value);
    const pm_ArgumentMode mode = pm_ArgumentGetMode(argument);
    arg.has_value = value.has_value();
    arg.input = mode == PM_STRICT_INPUT || mode == PM_OPTIONAL_INPUT;
    arg.output = is_output(mode);
    arg.strict = mode == PM_STRICT_INPUT;
    arg.editable = mode == PM_EDITABLE_OUTPUT;
    if (value) arg.value = *value;
    if (!value || (!arg.input && !arg.output)) {
      draft.arguments.push_back(std::move(arg));
      return;
    }
    Report report;
    const pm_Level level = pm_PFAFileFindLevel(argument, project_->pfa_root, report.slot());
    const bool optional = mode == PM_OPTIONAL_INPUT || mode == PM_OPTIONAL_OUTPUT;
    if (report || level < kLevelProject || level > kLevelSample) {
      // An optional argument that stands for no file is left off the line,
      // as readiness leaves it untested; a required one cannot be.
      if (!optional)
        job.blocked.push_back({*value + ": no PFA file of that name at any level",
                               *value + ": no PFA file of that name at any level"});
      if (optional) draft.arguments.push_back(std::move(arg));
      return;
    }
    for (const Place &place : places_for(project_, level, job.node)) {
      pm_File *data = pm_FileFind(place.files, value->c_str());
      const std::string descriptor = data ? text_of(data->descriptor) : std::string();
      if (descriptor.empty()) {
        // An optional output with nowhere to go is simply not asked for.
        if (arg.output && optional) continue;
        const char *lack = data ? "the data file names no file" : "no data file of that type";
        Blocked why{*value + ": " + lack + (arg.output ? " to write to" : ""),
                    unnamed_file(*value, place, data) + (arg.output ? " to write to" : "")};
        if (arg.output) {
          job.blocked.push_back(std::move(why));
        } else {
          arg.files.push_back({0, std::move(why)});
        }
        continue;
      }
      FileUse use{planned_file(data, descriptor), {}};
      const PlannedFile &file = table_[use.file];
      if (arg.input && !file.on_disk)
        use.why = {*value + " is not on disk", *value + " at " + place.path + ": " +
                                                   project_relative(project_, file.given()) + " is not on disk"};
      arg.files.push_back(std::move(use));
    }
    draft.arguments.push_back(std::move(arg));
  }

  void collect() {
    const auto nodes = selected_nodes();
    Progress progress("planning", nodes.size());
    for (const auto &[index, node] : nodes) {
      for (pm_Process *process = pm_ProcessListGetByType(project_, node.level); process;
           process = reinterpret_cast<pm_Process *>(process->node.next)) {
        Job job;
        Draft draft;
        job.process = text_of(process->node.name);
        job.node = node;
        job.node_index = index;
        draft.special = special_process(process);
        for (pm_Argument *argument = process->arguments; argument;
             argument = reinterpret_cast<pm_Argument *>(argument->node.next))
          if (pm_ArgumentGetHide(argument) == 0) add_argument(job, draft, argument);
        jobs_.push_back(std::move(job));
        drafts_.push_back(std::move(draft));
      }
      progress.step();
    }
  }

  // A --threads or --mem for a process the plan does not have is a mistake
  // worth saying, not a setting to ignore.
  void check_resource_names() const {
    const auto known = [&](const std::string &name) {
      return std::any_of(jobs_.begin(), jobs_.end(), [&](const Job &job) { return job.process == name; });
    };
    for (const auto &[name, count] : threads_)
      if (!known(name)) throw Failure("--threads names " + excerpt(name, 200) + ", which is no process of the plan");
    for (const auto &[name, size] : memory_)
      if (!known(name)) throw Failure("--mem names " + excerpt(name, 200) + ", which is no process of the plan");
  }

  // Every file is written by one job at most: two jobs that would write the
  // same file are both left out, since neither engine can tell which one
  // should.
  void claim_outputs() {
    std::unordered_map<std::string, std::vector<std::size_t>, tk::NameHash, std::equal_to<>> clashes;
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      for (const Argument &arg : drafts_[i].arguments) {
        if (!arg.output) continue;
        for (const FileUse &use : arg.files) {
          const PlannedFile &file = table_[use.file];
          const auto [it, fresh] = makers_.emplace(file.key, i);
          if (fresh || it->second == i) continue;
          std::vector<std::size_t> &writers = clashes[file.key];
          if (writers.empty()) writers.push_back(it->second);
          if (writers.back() != i) writers.push_back(i);
          clash_paths_.emplace(file.key, file.path);
        }
      }
    }
    for (const auto &[key, writers] : clashes) {
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
        jobs_[i].blocked.push_back({"writes a file that another job writes as well",
                                    project_relative(project_, clash_paths_.at(key)) + " is written by " + others +
                                        " as well"});
      }
    }
  }

  static std::string describe(const Job &job) { return job.process + " at " + job.node.path; }

  // The job that writes the file and is planned, if any.
  std::optional<std::size_t> maker(const PlannedFile &file, std::size_t self) const {
    if (file.writer == kNoWriter || file.writer == self || !jobs_[file.writer].blocked.empty()) return std::nullopt;
    return file.writer;
  }

  // Whether the job itself writes the file (one it reads and rewrites).
  static bool makes(std::size_t self, const PlannedFile &file) { return file.writer == self; }

  // Notes beside each input the job that writes it, so that settling the
  // plan, which asks again and again, needs no search.
  void find_writers() {
    for (PlannedFile &file : table_)
      if (!file.key.empty())
        if (const auto it = makers_.find(file.key); it != makers_.end()) file.writer = it->second;
  }

  // Why the job cannot be planned while the jobs left out so far are left
  // out; empty when it can.
  std::vector<Blocked> missing(std::size_t self) const {
    std::vector<Blocked> why;
    std::vector<Blocked> optional_why;
    bool optional_seen = false, optional_found = false;
    for (const Argument &arg : drafts_[self].arguments) {
      if (!arg.input || !arg.has_value) continue;
      const bool optional = !arg.strict;
      optional_seen = optional_seen || optional;
      std::size_t found = 0;
      for (const FileUse &use : arg.files) {
        const PlannedFile &file = table_[use.file];
        const bool named = !file.key.empty();
        if (file.on_disk || (named && (maker(file, self) || makes(self, file)))) {
          ++found;
          continue;
        }
        Blocked reason = use.why;
        if (file.writer != kNoWriter && file.writer != self) {
          reason.group = arg.value + " is written by a job that is not planned";
          reason.detail += " (" + describe(jobs_[file.writer]) + " would make it, and is not planned)";
        }
        (optional ? optional_why : why).push_back(std::move(reason));
      }
      optional_found = optional_found || (optional && found > 0);
    }
    // A process that the library counts ready with any one of its optional
    // inputs runs only when one of them is there.
    if (drafts_[self].special && optional_seen && !optional_found) {
      const std::string group = "none of its optional inputs is present or made";
      why.push_back({group, "needs one of its optional inputs, and none is present or made:"});
      for (Blocked &reason : optional_why) why.push_back({group, "    " + reason.detail});
    }
    return why;
  }

  // Leaves out every job whose required input is neither on disk nor made
  // by a planned job, until no more drop out: a job left out takes with it
  // those that need what it would have made.
  void settle() {
    // A job left out already (an output it cannot name, a clash) lists its
    // missing inputs as well.
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      if (jobs_[i].blocked.empty()) continue;
      std::vector<Blocked> why = missing(i);
      jobs_[i].blocked.insert(jobs_[i].blocked.end(), why.begin(), why.end());
    }
    bool changed = true;
    while (changed) {
      changed = false;
      for (std::size_t i = 0; i < jobs_.size(); ++i) {
        if (!jobs_[i].blocked.empty()) continue;
        std::vector<Blocked> why = missing(i);
        if (why.empty()) continue;
        jobs_[i].blocked = std::move(why);
        changed = true;
      }
    }
  }

  // The planned jobs that write what the job reads.
  std::vector<std::size_t> makers_of(std::size_t self) const {
    std::vector<std::size_t> from;
    for (const Argument &arg : drafts_[self].arguments)
      if (arg.input)
        for (const FileUse &use : arg.files)
          if (const std::optional<std::size_t> maker_job = maker(table_[use.file], self)) from.push_back(*maker_job);
    sort_unique(from);
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
    const std::string circle = "it waits for jobs that wait for each other in a circle (each reads what another makes)";
    for (std::size_t i = 0; i < jobs_.size(); ++i)
      if (jobs_[i].blocked.empty() && pending[i] > 0) jobs_[i].blocked.push_back({circle, circle});
  }

  // Whether the job's output is one it edits: an editable output, or one
  // already on disk, which the job changes rather than makes.
  static bool edited(const Argument &arg, const PlannedFile &file) { return arg.editable || file.on_disk; }

  // Whether the maker of `key` edits it rather than makes it.
  bool maker_edits(std::size_t maker_job, const std::string &key) const {
    for (const Argument &arg : drafts_[maker_job].arguments)
      if (arg.output)
        for (const FileUse &use : arg.files)
          if (table_[use.file].key == key) return edited(arg, table_[use.file]);
    return false;
  }

  // The job's inputs, the jobs it waits for, its outputs and its command:
  // the program, then the process's arguments as its command line has them
  // (pm_ProcessCommandLine), with each "$value" that stands for data files
  // replaced by their paths at the node.
  void finish(std::size_t self) {
    Job &job = jobs_[self];
    const auto program = programs_.find(job.process);
    std::string command = program != programs_.end() ? program->second : shell_word(job.process);
    for (const Argument &arg : drafts_[self].arguments) {
      std::vector<std::string> paths;
      if (arg.input) {
        for (const FileUse &use : arg.files) {
          const PlannedFile &file = table_[use.file];
          if (file.key.empty()) continue;
          const std::optional<std::size_t> from = maker(file, self);
          const bool own = makes(self, file);
          if (!file.on_disk && !from && !own) continue;
          paths.push_back(file.given());
          if (from) {
            const std::string &spelling = maker_spelling(*from, file.key);
            job.made.push_back({*from, spelling, maker_edits(*from, file.key), file.on_disk});
            job.after.push_back(*from);
          } else if (!own) {
            job.inputs.push_back(file.path);
          }
        }
        // An optional input that is nowhere leaves no trace on the line.
        if (arg.has_value && paths.empty()) continue;
      } else if (arg.output) {
        for (const FileUse &use : arg.files) {
          const PlannedFile &file = table_[use.file];
          paths.push_back(file.given());
          if (!edited(arg, file)) {
            job.outputs.push_back(file.path);
            continue;
          }
          job.edits.push_back(file.path);
          if (file.on_disk) job.edits_on_disk.push_back(file.path);
        }
        if (arg.has_value && paths.empty()) continue;
      }
      if (!arg.name.empty()) command += " " + shell_word(arg.name);
      if (!arg.has_value) continue;
      if (!arg.input && !arg.output) command += " " + shell_word("$" + arg.value);
      for (const std::string &path : paths) command += " " + shell_word(path);
    }
    job.command = unprefixed(command);
    for (auto *list : {&job.inputs, &job.outputs, &job.edits, &job.edits_on_disk}) sort_unique(*list);
    sort_unique(job.made);
    sort_unique(job.after);
    if (const auto count = threads_.find(job.process); count != threads_.end()) job.threads = count->second;
    if (const auto size = memory_.find(job.process); size != memory_.end()) job.mem_mb = size->second;
  }

  // The path of `key` as the job that writes it names it, so that the
  // engine sees one spelling for one file.
  const std::string &maker_spelling(std::size_t maker_job, const std::string &key) const {
    for (const Argument &arg : drafts_[maker_job].arguments)
      if (arg.output)
        for (const FileUse &use : arg.files)
          if (table_[use.file].key == key) return table_[use.file].path;
    throw Failure("internal error: a job's output was lost");
  }

  pm_Project *project_;
  const Options &options_;
  std::string directory_;
  std::map<std::string, std::string> programs_;
  std::map<std::string, int> threads_;
  std::map<std::string, long long> memory_;
  FileIdentity identity_;
  std::vector<PlannedFile> table_{1};  // every data file of the plan, after an empty first
  std::unordered_map<const pm_File *, std::size_t> files_;  // data file -> its entry
  std::vector<Job> jobs_;
  std::vector<Draft> drafts_;  // beside jobs_, what only the planner needs
  KeyMap makers_;              // file key -> the job that writes it
  std::unordered_map<std::string, std::string> clash_paths_;
};

}  // namespace

// Names a job by its process and node, "count-T1-S2" ("mosaic" at the
// project), the same way in every plan; when two would be the same, the
// later one takes "-2", "-3"... "all" is Snakemake's first rule.
void name_jobs(std::vector<Job> &jobs) {
  std::unordered_map<std::string, std::size_t> taken{{"all", 1}};
  for (Job &job : jobs) {
    std::string name = name_part(job.process);
    if (job.node.level != kLevelProject) {
      const std::string &path = job.node.path;
      std::size_t start = 0;
      for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
        name += "-" + name_part(path.substr(start, slash - start));
      name += "-" + name_part(path.substr(start));
    }
    std::size_t &uses = taken[name];
    if (++uses > 1) {
      std::string numbered;
      do numbered = name + "-" + std::to_string(uses++);
      while (taken.count(numbered));
      taken[numbered] = 1;
      name = numbered;
    }
    job.name = std::move(name);
  }
}

std::vector<Job> plan_jobs(pm_Project *project, const Options &options) { return Planner(project, options).plan(); }

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

}  // namespace kcli::workflow
