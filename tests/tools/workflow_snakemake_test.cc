// Snakemake plans track the data files themselves, as make's do: a job
// that exits 0 without writing its output fails, and a deleted or changed
// file reruns the jobs that make or read it. Jobs are named by process and
// node, and carry the threads and memory asked for.
#include "workflow_fixture.h"

namespace {

using namespace workflow_test;

class SnakemakePlan : public WorkflowCommand {
 protected:
  std::vector<std::string> snakemake(std::vector<std::string> extra = {}) {
    std::vector<std::string> command{"snakemake", "-s", path("Snakefile"), "-j2", "-d", path("sm"), "--latency-wait", "1"};
    command.insert(command.end(), extra.begin(), extra.end());
    return command;
  }
  // The jobs a dry run would run now, by name.
  std::vector<std::string> pending() {
    const Outcome dry = run_program(snakemake({"-n", "--quiet", "rules"}));
    EXPECT_EQ(dry.status, 0) << dry.err;
    std::vector<std::string> names;
    for (const std::string &line : lines_of(dry.out + dry.err)) {
      std::istringstream words(line);
      std::string name, count;
      if (words >> name >> count && count.find_first_not_of("0123456789") == std::string::npos &&
          name != "total" && name != "all")
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(SnakemakePlan, AJobThatWritesNothingFailsAndFilesDecideWhatReruns) {
  const std::string root = path("survey");
  const std::string project = runnable_demo(root);
  // count at T1/S2 exits 0 and writes nothing.
  std::vector<std::string> lazy = stub_programs();
  lazy.insert(lazy.end(), {"--program", "count=true"});
  ASSERT_EQ(run([&] {
              std::vector<std::string> args{"workflow", project, "--engine", "snakemake", "-o", path("Snakefile")};
              args.insert(args.end(), lazy.begin(), lazy.end());
              return args;
            }()).status,
            1);
  const Outcome failed = run_program(snakemake());
  EXPECT_NE(failed.status, 0);
  EXPECT_THAT(failed.err, testing::ContainsRegex("MissingOutputException|Missing files after"));
  EXPECT_FALSE(fs::exists(root + "/tiles/T1/S2/counts.txt"));
  EXPECT_THAT(ReadBytes(path("log")), Not(HasSubstr("finanal")));

  // The real programs: everything runs, then nothing is left to do.
  ASSERT_EQ(plan(project, "snakemake", path("Snakefile"), {"--force"}).status, 1);
  const Outcome ran = run_program(snakemake());
  ASSERT_EQ(ran.status, 0) << ran.err;
  expect_whole_plan_ran(root);
  EXPECT_EQ(pending(), std::vector<std::string>{});
  // A deleted output is made again, and what reads it runs again.
  fs::remove(root + "/tiles/T1/S2/counts.txt");
  EXPECT_EQ(pending(), (std::vector<std::string>{"count-T1-S2", "finanal"}));
  // So is what reads a file changed since.
  ASSERT_EQ(run_program(snakemake()).status, 0);
  WriteBytes(root + "/tiles/T2/segments.shp", "changed\n");
  EXPECT_EQ(pending(), std::vector<std::string>{"finanal"});
}

TEST_F(SnakemakePlan, JobsAreNamedByProcessAndNodeAndCarryTheirResources) {
  const std::string project = runnable_demo(path("survey"));
  const Outcome planned =
      plan(project, "snakemake", path("Snakefile"), {"--threads", "count=2", "--mem", "count=1500M", "--mem", "segment=2G"});
  ASSERT_EQ(planned.status, 1) << planned.err;
  const Outcome dry = run_program(snakemake({"-n", "-p", "--cores", "4"}));
  ASSERT_EQ(dry.status, 0) << dry.err;
  const std::string listing = dry.out + dry.err;
  EXPECT_THAT(listing, testing::ContainsRegex("rule count-T1-S2:(\n    [^\n]*)*\n    threads: 2\n    resources: [^\n]*mem_mb=1500"));
  EXPECT_THAT(listing, testing::ContainsRegex("rule segment-T2:(\n    [^\n]*)*\n    resources: [^\n]*mem_mb=2048"));
  EXPECT_THAT(listing, testing::ContainsRegex("rule mosaic:"));
  for (const auto &[option, why] : {std::pair{"--threads=nosuch=2", "no process of the plan"},
                                    std::pair{"--threads=count=0", "a count of 1 or more"},
                                    std::pair{"--mem=count=lots", "a size such as 500M or 4G"}}) {
    const Outcome refused = run({"workflow", project, "--engine", "snakemake", "-o", path("refused"), option});
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.err, HasSubstr(why));
    EXPECT_FALSE(fs::exists(path("refused")));
  }
}

}  // namespace
