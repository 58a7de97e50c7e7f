// `kestrum workflow FILE --engine snakemake|make`: the project's processing
// as a plan for an engine that runs it.
//
// kestrum runs nothing itself. It works out, for every process at every
// node of its level, which data files the run reads, makes and edits
// (workflow_plan.cc), and writes the jobs that can run for GNU make
// (workflow_make.cc) or Snakemake (workflow_snakemake.cc), which order and
// run them; the jobs it leaves out are summed up (workflow_report.cc).
#include <CLI/CLI.hpp>

#include <filesystem>
#include <sstream>

#include "workflow.h"

namespace kcli {

namespace workflow {

std::string stamp_path(const std::string &stamps, const Job &job) { return stamps + "/" + job.name + ".done"; }

bool needs_stamp(const Job &job) { return job.outputs.empty() || !job.edits.empty(); }

namespace {

namespace fs = std::filesystem;

// One file of the plan, made in full before any is written, so that a
// name an engine cannot hold, or a file already there, leaves none behind.
struct PlanFile {
  std::string path;
  std::string text;
};

int run_workflow(const Options &options, std::ostream &out, std::ostream &err) {
  const bool make = options.engine == "make";
  const std::string output = !options.output.empty() ? options.output : make ? "Makefile" : "Snakefile";
  ProjectPtr project = load_project(options.file);
  std::vector<Job> jobs = plan_jobs(project.get(), options);
  if (options.per_tile) jobs = batch_per_tile(std::move(jobs), all_nodes(project.get()));
  const std::string target = fs::absolute(output).lexically_normal().string();
  const std::string stamps = target + ".stamps";
  std::size_t planned = 0;
  for (const Job &job : jobs) planned += job.blocked.empty() ? 1 : 0;
  std::vector<PlanFile> files;
  std::string written = output;
  if (make) {
    std::ostringstream makefile;
    write_makefile(makefile, options.file, jobs, stamps);
    files.push_back({output, makefile.str()});
  } else {
    std::ostringstream snakefile, table;
    write_snakemake(snakefile, table, options.file, jobs, target + ".jobs.json", stamps);
    files.push_back({output + ".jobs.json", table.str()});
    files.push_back({output, snakefile.str()});
    written = output + " and " + output + ".jobs.json";
  }
  if (!options.report.empty()) {
    std::ostringstream report;
    write_report(report, options, output, jobs);
    files.push_back({options.report, report.str()});
  }
  if (!options.force)
    for (const PlanFile &file : files)
      if (fs::exists(fs::symlink_status(file.path))) refuse_existing(file.path);
  for (const PlanFile &file : files)
    write_file(file.path, options.force, [&](std::ostream &stream) { stream << file.text; });
  out << "Planned " << counted(planned, "job", "jobs") << " into " << printable(written);
  if (planned < jobs.size()) out << "; " << jobs.size() - planned << " not planned (see standard error)";
  out << "\n";
  out.flush();
  report_blocked(err, jobs, options.verbose);
  return planned == jobs.size() ? kExitOk : kExitNegative;
}

}  // namespace

}  // namespace workflow

void add_workflow_command(CLI::App &app, Command &selected) {
  auto options = std::make_shared<workflow::Options>();
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
  command->add_option("--threads", options->threads,
                      "Give each job of process NAME N threads (Snakemake's threads; default 1); repeatable")
      ->type_name("NAME=N");
  command->add_option("--mem", options->memory,
                      "Give each job of process NAME SIZE of memory (500M, 4G: Snakemake's mem_mb resource, "
                      "which a cluster profile passes on); repeatable")
      ->type_name("NAME=SIZE");
  command->add_option("--node", *node, "Only this node and those beneath it: \"/\", \"TILE\" or \"TILE/SAMPLE\"");
  command->add_flag("--per-tile", options->per_tile,
                    "Run the sample processes of each tile as one job per tile and process: a far smaller job "
                    "graph for large projects");
  command->add_flag("--verbose", options->verbose,
                    "List every job left out and why, rather than a summary by process and reason");
  command->add_option("--report", options->report,
                      "Also write every job, planned or not, and why, as a JSON document to FILE")
      ->type_name("FILE");
  command->add_flag("--force", options->force, "Replace the plan's files when they exist");
  command->callback([&selected, options, node, command] {
    options->node = command->count("--node") > 0 ? std::optional<std::string>(*node) : std::nullopt;
    selected = [options](std::ostream &out, std::ostream &err) { return workflow::run_workflow(*options, out, err); };
  });
}

}  // namespace kcli
