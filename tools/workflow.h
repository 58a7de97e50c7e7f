// `kestrum workflow`: the parts of a plan shared by the planner
// (workflow_plan.cc), the writers for each engine (workflow_make.cc,
// workflow_snakemake.cc) and the account of the jobs left out
// (workflow_report.cc). workflow.cc holds the command itself.
#ifndef KESTRUM_TOOLS_WORKFLOW_H_
#define KESTRUM_TOOLS_WORKFLOW_H_

#include <algorithm>
#include <cstddef>
#include <map>
#include <unordered_map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli.h"

namespace kcli::workflow {

struct Options {
  std::string file;
  std::string engine;
  std::string output;
  std::vector<std::string> programs;  // NAME=COMMAND
  std::vector<std::string> threads;   // NAME=N
  std::vector<std::string> memory;    // NAME=SIZE
  std::optional<std::string> node;
  std::string report;                 // --report FILE; empty for none
  bool per_tile = false;
  bool verbose = false;
  bool force = false;
};

// One reason a job is left out: `group` says it without the node, so that
// jobs left out for the same reason can be counted together; `detail` says
// it with the node and the path, as `kestrum ready` would.
struct Blocked {
  std::string group;
  std::string detail;
};

// A data file a job reads that another job writes.
struct MadeInput {
  std::size_t maker;  // the job that writes it
  std::string path;   // as the maker names it
  bool edited;        // the maker edits it in place rather than making it
  bool on_disk;       // it is there before the run
};

struct Job {
  std::string process;
  std::string name;  // process and node, unique in the plan: "count-T1-S2"
  NodeRef node;
  std::size_t node_index = 0;  // position in tree order
  std::vector<Blocked> blocked;  // why the job is not planned; empty when it is
  // Settled by the plan for the jobs that are planned:
  std::vector<std::string> inputs;   // data files read that no job writes
  std::vector<MadeInput> made;       // data files read that other jobs write
  std::vector<std::size_t> after;    // the jobs that write them
  std::vector<std::string> outputs;  // data files the job makes from nothing
  // Data files the job changes that are there before it runs (an editable
  // output, or any output already on disk): no engine may delete them.
  std::vector<std::string> edits;
  std::vector<std::string> edits_on_disk;  // those of them on disk when planned
  std::string command;
  int threads = 1;
  std::optional<long long> mem_mb;
};

// Which file a path names, so that two spellings of one file are one: the
// path made absolute and lexically normal, then the file's device and inode
// where it exists, else its nearest existing directory's and the rest of
// the path. Directories are looked up once each.
class FileIdentity {
 public:
  struct Identity {
    std::string path;  // lexically normal
    std::string key;   // equal for the same file
    bool exists = false;
  };
  Identity of(const std::string &path);

 private:
  std::string directory_key(const std::string &normal);
  std::unordered_map<std::string, std::string> directories_;
};

// Sorted, each once: a project job may read a file at each of a hundred
// thousand samples, where a search per file would be quadratic.
template <typename T>
void sort_unique(std::vector<T> &list) {
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
}
// The same for the files a job reads that others write, by path.
void sort_unique(std::vector<MadeInput> &list);

// Every process at every selected node, planned or left out with reasons.
std::vector<Job> plan_jobs(pm_Project *project, const Options &options);

// Names each job by its process and node ("count-T1-S2"), each name once.
void name_jobs(std::vector<Job> &jobs);

// The sample jobs of one process in one tile as one job.
std::vector<Job> batch_per_tile(std::vector<Job> jobs, const std::vector<NodeRef> &tree);

// Where a job with no output file of its own records that it ran.
std::string stamp_path(const std::string &stamps, const Job &job);
// Whether the job needs that stamp: it makes no file from nothing, or it
// edits one, which no engine is told is its output.
bool needs_stamp(const Job &job);

void write_makefile(std::ostream &out, const std::string &source, const std::vector<Job> &jobs,
                    const std::string &stamps);

// The Snakefile and the table of jobs it reads, written to two streams so
// that neither file is written when either cannot be.
void write_snakemake(std::ostream &snakefile, std::ostream &table, const std::string &source,
                     const std::vector<Job> &jobs, const std::string &table_path, const std::string &stamps);

// The jobs left out: a summary grouped by process and reason, or each one
// when `verbose`.
void report_blocked(std::ostream &err, const std::vector<Job> &jobs, bool verbose);
// The same as a JSON document (schema/kestrum-workflow.schema.json).
void write_report(std::ostream &out, const Options &options, const std::string &plan, const std::vector<Job> &jobs);

// A word for the shell: bare when it holds only characters no shell treats
// specially, otherwise in single quotes.
std::string shell_word(const std::string &word);

}  // namespace kcli::workflow

#endif  // KESTRUM_TOOLS_WORKFLOW_H_
