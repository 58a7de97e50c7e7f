// The plan for Snakemake: a short Snakefile that defines one rule per job
// from a JSON table beside it, named by process and node ("count-T1-S2"),
// so that Snakemake's listings, job scripts and cluster logs say which job
// is which.
//
// A job's outputs are the data files it makes, as make's targets are: a job
// that exits 0 without writing one fails with Snakemake's own error, and a
// deleted or changed file reruns the jobs that make or read it. Snakemake
// deletes a declared output before its job runs and the outputs of a failed
// job, so a file a job edits in place (an editable output, or any output on
// disk when the plan is made) is never declared as an output: the job reads
// it as an input and leaves a stamp, and the jobs that read the file wait
// for that stamp. A job with no output file leaves a stamp as well.
#include "workflow.h"

namespace kcli::workflow {

namespace {

// Text the table and a Python string literal can hold as it is.
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

void write_files(std::ostream &out, const std::vector<std::string> &paths) {
  out << "[";
  for (std::size_t i = 0; i < paths.size(); ++i) out << (i ? "," : "") << quoted_text(snake_file(paths[i]));
  out << "]";
}

// The files a job reads: those no job writes, those it edits that are
// there, and for each file another job writes, that file or, when that job
// edits it in place, the job's stamp.
std::vector<std::string> snake_inputs(const std::vector<Job> &jobs, const Job &job, const std::string &stamps) {
  std::vector<std::string> inputs = job.inputs;
  inputs.insert(inputs.end(), job.edits_on_disk.begin(), job.edits_on_disk.end());
  for (const MadeInput &made : job.made) {
    if (!made.edited || made.on_disk) inputs.push_back(made.path);
    if (made.edited) inputs.push_back(stamp_path(stamps, jobs[made.maker]));
  }
  sort_unique(inputs);
  return inputs;
}

// {"targets": [every output and stamp], "jobs": [{name, process, node,
// input, output, stamp, threads, resources, command}]}
void write_table(std::ostream &out, const std::vector<Job> &jobs, const std::string &stamps) {
  std::vector<std::string> targets;
  for (const Job &job : jobs) {
    if (!job.blocked.empty()) continue;
    targets.insert(targets.end(), job.outputs.begin(), job.outputs.end());
    if (needs_stamp(job)) targets.push_back(stamp_path(stamps, job));
  }
  out << "{\"targets\":";
  write_files(out, targets);
  out << ",\n\"jobs\":[";
  const char *separator = "";
  for (const Job &job : jobs) {
    if (!job.blocked.empty()) continue;
    out << separator << "\n{\"name\":" << quoted_text(job.name) << ",\"process\":" << quoted_text(job.process)
        << ",\"node\":" << quoted_text(job.node.path) << ",\"input\":";
    separator = ",";
    write_files(out, snake_inputs(jobs, job, stamps));
    out << ",\"output\":";
    write_files(out, job.outputs);
    out << ",\"stamp\":";
    if (needs_stamp(job))
      out << quoted_text(snake_file(stamp_path(stamps, job)));
    else
      out << "null";
    out << ",\"threads\":" << job.threads << ",\"resources\":{";
    if (job.mem_mb) out << "\"mem_mb\":" << *job.mem_mb;
    out << "},\"command\":" << quoted_text(job.command) << "}";
  }
  out << "\n]}\n";
}

}  // namespace

void write_snakemake(std::ostream &snakefile, std::ostream &table, const std::string &source,
                     const std::vector<Job> &jobs, const std::string &table_path, const std::string &stamps) {
  write_table(table, jobs, stamps);
  std::size_t planned = 0;
  for (const Job &job : jobs) planned += job.blocked.empty() ? 1 : 0;
  snakefile << "# The processing of " << printable(source) << " as made by kestrum workflow: "
            << counted(planned, "job", "jobs") << ".\n"
            << "# Run with: snakemake -s THIS-FILE -j N (Snakemake 7.21 or later)\n"
            << "# One rule per job, named by its process and node, from the table beside this file. A job's\n"
            << "# outputs are the data files it makes; a file it edits in place is one of its inputs, and the\n"
            << "# job leaves a stamp, as does a job that makes no file.\n"
            << "import json\n\n"
            << "with open(" << quoted_text(table_path) << ", encoding=\"utf-8\") as table:\n"
            << "    PLAN = json.load(table)\n\n"
            << "localrules: all\n\n"
            << "rule all:\n"
            << "    input: PLAN[\"targets\"]\n\n"
            << "for job in PLAN[\"jobs\"]:\n"
            << "    rule:\n"
            << "        name: job[\"name\"]\n"
            << "        input: job[\"input\"]\n"
            << "        output: job[\"output\"] + ([touch(job[\"stamp\"])] if job[\"stamp\"] else [])\n"
            << "        threads: job[\"threads\"]\n"
            << "        resources: **job[\"resources\"]\n"
            << "        params: command=job[\"command\"]\n"
            << "        shell: \"{params.command}\"\n";
}

}  // namespace kcli::workflow
