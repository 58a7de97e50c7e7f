// A plan run to the end on a real one-node Slurm cluster started from
// Debian's packages (tests/tools/helpers/slurm_cluster.sh): every output
// made, a second run with nothing to do, and a failing job reported as
// failed through the installed profile. Starting Slurm needs root; without
// it the test is skipped and says why.
#include <unistd.h>

#include "workflow_fixture.h"

namespace {

using namespace workflow_test;

const std::string kHelper = std::string(KESTRUM_SOURCE_DIR) + "/tests/tools/helpers/slurm_cluster.sh";
const std::string kProfile = std::string(KESTRUM_SOURCE_DIR) + "/tools/workflow/slurm";

class SlurmCluster : public WorkflowCommand {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "starting a Slurm cluster (munged, slurmctld, slurmd) needs root";
    for (const char *daemon : {"munged", "slurmctld", "slurmd", "sbatch"})
      ASSERT_EQ(run_program({"sh", "-c", std::string("command -v ") + daemon}).status, 0)
          << daemon << " is not installed: scripts/setup.sh installs munge, slurmctld, slurmd and slurm-client";
    fs::create_directories(path("slurm"));
    const Outcome started = run_program({kHelper, "start", path("slurm")});
    ASSERT_EQ(started.status, 0) << started.err;
    conf_ = lines_of(started.out).back();
  }
  void TearDown() override {
    if (!conf_.empty()) run_program({kHelper, "stop", path("slurm")});
  }

  // Snakemake with the cluster's configuration in its environment, run in
  // the test's directory.
  Outcome snakemake(std::vector<std::string> args) {
    std::vector<std::string> command{"env", "SLURM_CONF=" + conf_, "USER=root", "snakemake", "-s", path("Snakefile")};
    command.insert(command.end(), args.begin(), args.end());
    return run_program(command);
  }

  std::string conf_;
};

TEST_F(SlurmCluster, APlanRunsToTheEndOnSlurmAndAFailedJobIsReported) {
  const std::string root = path("survey");
  const std::string project = runnable_demo(root);
  ASSERT_EQ(plan(project, "snakemake", path("Snakefile"), {"--mem", "count=100M"}).status, 1);
  // sbatch --wait: each job a Slurm job, named and logged by process and node.
  const std::vector<std::string> on_cluster{
      "-j4", "--latency-wait", "5",
      "--cluster-sync", "sbatch --wait --partition=debug --job-name={rule} --mem={resources.mem_mb} "
                        "--output=" + path("logs") + "/{rule}-%j.out"};
  fs::create_directories(path("logs"));
  const Outcome ran = snakemake(on_cluster);
  ASSERT_EQ(ran.status, 0) << ran.out << ran.err;
  expect_whole_plan_ran(root);
  std::vector<std::string> logs;
  for (const auto &entry : fs::directory_iterator(path("logs"))) logs.push_back(entry.path().filename().string());
  EXPECT_EQ(logs.size(), 8u);
  EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const std::string &l) { return l.rfind("count-T1-S2-", 0) == 0; }));
  const Outcome again = snakemake(on_cluster);
  EXPECT_EQ(again.status, 0);
  EXPECT_THAT(again.out + again.err, HasSubstr("Nothing to be done"));

  // Through the installed profile (--slurm): a job that fails is reported
  // as failed, and what needs its output does not run.
  fs::remove(root + "/tiles/T1/S2/counts.txt");
  WriteBytes(path("log.fail"), "count\n");
  const std::string log = ReadBytes(path("log"));
  const Outcome failed = snakemake({"--profile", kProfile, "--default-resources", "slurm_partition=debug",
                                    "--latency-wait", "5"});
  EXPECT_NE(failed.status, 0) << failed.out << failed.err;
  EXPECT_THAT(failed.err, HasSubstr("Error in rule count-T1-S2"));
  EXPECT_THAT(failed.err, HasSubstr("failed"));
  EXPECT_FALSE(fs::exists(root + "/tiles/T1/S2/counts.txt"));
  EXPECT_EQ(ReadBytes(path("log")), log) << "finanal ran without the counts it reads";
  EXPECT_TRUE(fs::exists(path(".snakemake/slurm_logs/rule_count-T1-S2")));
}

}  // namespace
