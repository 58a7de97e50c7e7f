// `kestrum workflow`: plans written for GNU make and Snakemake and run by
// the real engines with stub programs, on the demo project made runnable
// (its outputs given data files to write to) and placed in a directory whose
// name needs quoting in the shell.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <sstream>
#include <tuple>

#include "workflow_fixture.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using namespace workflow_test;

// The demo as it comes plans every job whose inputs are there: only those
// short of an input are left out.
TEST_F(WorkflowCommand, TheDemoPlansEveryJobWhoseInputsAreThere) {
  ASSERT_EQ(run({"demo", path("demo")}).status, 0);
  const Outcome planned = run({"workflow", path("demo/survey.kpf"), "--engine", "make", "-o", path("Makefile")});
  EXPECT_EQ(planned.status, 1);
  EXPECT_THAT(planned.out, HasSubstr("Planned 8 jobs"));
  EXPECT_EQ(planned.err,
            "Not planned, by process and reason (--verbose lists every job and why):\n"
            "  publish, 1 job: report is not on disk\n      at /\n"
            "  segment, 1 job: photo is not on disk\n      at T3\n"
            "  count, 1 job: plot is not on disk\n      at T3/S2\n");
}

TEST_F(WorkflowCommand, MakeRunsThePlanInOrderOnceWithPathsThatNeedQuoting) {
  const std::string root = path("it's a \"survey\" #1");
  const std::string project = runnable_demo(root);
  const Outcome planned = plan(project, "make", path("plan.mk"));
  EXPECT_EQ(planned.status, 1) << planned.err;
  EXPECT_THAT(planned.out, HasSubstr("Planned 8 jobs into " + path("plan.mk") + "; 3 not planned"));
  const Outcome first = run_program({"make", "-f", path("plan.mk"), "-j2"});
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  expect_whole_plan_ran(root);
  const std::string log = ReadBytes(path("log"));
  EXPECT_EQ(run_program({"make", "-f", path("plan.mk"), "-q"}).status, 0);
  const Outcome again = run_program({"make", "-f", path("plan.mk"), "-j2"});
  EXPECT_EQ(again.status, 0);
  EXPECT_THAT(again.out, HasSubstr("Nothing to be done"));
  EXPECT_EQ(ReadBytes(path("log")), log);
}

TEST_F(WorkflowCommand, SnakemakeListsRunsAndThenHasNothingToDo) {
  const std::string root = path("it's a \"survey\" #2");
  const std::string project = runnable_demo(root);
  fs::create_directories(path("plan's dir"));
  const Outcome planned = plan(project, "snakemake", path("plan's dir/Snakefile"));
  EXPECT_EQ(planned.status, 1) << planned.err;
  EXPECT_TRUE(fs::exists(path("plan's dir/Snakefile.jobs.json")));
  const std::vector<std::string> snakemake{"snakemake", "-s", path("plan's dir/Snakefile"), "-j2"};
  std::vector<std::string> dry = snakemake;
  dry.push_back("-n");
  const Outcome listed = run_program(dry);
  ASSERT_EQ(listed.status, 0) << listed.out << listed.err;
  const std::string listing = listed.out + listed.err;
  for (const char *count : {"\nmosaic +1 ", "\nfinanal +1 ", "\nsegment-T2 +1 ", "\ncount-T1-S2 +1 ", "total +9 "})
    EXPECT_THAT(listing, testing::ContainsRegex(count)) << listing;
  EXPECT_FALSE(fs::exists(path("log")));
  const Outcome ran = run_program(snakemake);
  ASSERT_EQ(ran.status, 0) << ran.out << ran.err;
  expect_whole_plan_ran(root);
  const Outcome again = run_program(dry);
  EXPECT_EQ(again.status, 0);
  EXPECT_THAT(again.out + again.err, HasSubstr("Nothing to be done"));
}

TEST_F(WorkflowCommand, LeavesOutWhatCannotRunAndRefusesWhatMakeCannotName) {
  const std::string root = path("survey");
  const std::string project = runnable_demo(root);
  // Strict inputs not on disk, at the project, a tile and a sample.
  fs::remove(root + "/tiles/T2/S1/plot.img");
  const Outcome made = plan(project, "make", path("Makefile"), {"--verbose"});
  const Outcome snaked = plan(project, "snakemake", path("Snakefile"), {"--verbose"});
  for (const Outcome &outcome : {made, snaked}) {
    EXPECT_EQ(outcome.status, 1);
    EXPECT_THAT(outcome.err, HasSubstr("not planned: publish at /\n"
                                       "      - report at /: $PROJECT/data/report.txt is not on disk\n"));
    EXPECT_THAT(outcome.err, HasSubstr("not planned: count at T2/S1\n"
                                       "      - plot at T2/S1: $PROJECT/tiles/T2/S1/plot.img is not on disk\n"));
    EXPECT_THAT(outcome.err, HasSubstr("not planned: segment at T3\n"
                                       "      - photo at T3: $PROJECT/tiles/T3/photo.img is not on disk\n"));
  }
  const std::string makefile = ReadBytes(path("Makefile"));
  const std::string table = ReadBytes(path("Snakefile.jobs.json"));
  EXPECT_THAT(makefile, HasSubstr("# count at T1/S1 (count-T1-S1)\n"));
  for (const char *absent : {"publish", "T2/S1/", "T3/segments"}) {
    EXPECT_THAT(makefile, Not(HasSubstr(absent)));
    EXPECT_THAT(table, Not(HasSubstr(absent)));
  }
  // One job per tile and process for the samples: T1's two counts run as one.
  const Outcome batched = plan(project, "make", path("batched.mk"), {"--per-tile"});
  EXPECT_EQ(batched.status, 1);
  EXPECT_THAT(batched.out, HasSubstr("Planned 6 jobs"));
  EXPECT_THAT(ReadBytes(path("batched.mk")), testing::ContainsRegex("T1/S1/counts.txt && .*T1/S2/plot.img"));
  // File names that one engine cannot hold: that plan is refused and not
  // written, and the other engine takes them.
  for (const auto &[name, engine, other, why] :
       {std::tuple{"odd:name", "make", "snakemake", "make has no way to write ':' in a file name (use --engine snakemake)"},
        std::tuple{"odd{name}", "snakemake", "make",
                   "Snakemake reads '{' and '}' in a file name as a wildcard (use --engine make)"}}) {
    const std::string odd = path(name);
    ASSERT_EQ(run({"demo", odd}).status, 0);
    const Outcome refused = run({"workflow", odd + "/survey.kpf", "--engine", engine, "-o", path("odd.plan")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.err, HasSubstr("cannot name " + odd));
    EXPECT_THAT(refused.err, HasSubstr(why));
    EXPECT_FALSE(fs::exists(path("odd.plan")));
    EXPECT_FALSE(fs::exists(path("odd.plan.jobs.json")));
    EXPECT_EQ(run({"workflow", odd + "/survey.kpf", "--engine", other, "-o", path(std::string(other) + ".plan")}).status, 1);
  }
}

// Projects made at random: data files present, absent or never recorded,
// processes at every level reading and writing files of any level, so that
// outputs clash, jobs wait for jobs left out, and some wait for each other
// in circles. Whatever the plan leaves in must run under make to the end
// (the stub fails on any input that is neither there nor made first), and
// a second make must find everything up to date.
TEST_F(WorkflowCommand, RandomProjectsRunToTheEndUnderMake) {
  std::mt19937 random(20261208);
  const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  const auto pfa = [](int level, int k) { return "f" + std::to_string(level) + std::to_string(k); };
  const std::vector<std::string> programs = stub_programs();
  int planned_total = 0, left_out_total = 0;
  for (int round = 0; round < 10; ++round) {
    const std::string root = path("r" + std::to_string(round));
    fs::create_directories(root);
    kcli::ProjectPtr project(pm_ProjectCreate());
    pm_Project *p = project.get();
    for (int t = 0, tiles = static_cast<int>(random() % 3); t <= tiles; ++t) {
      pm_Tile *tile = kcli::append_tile(p, pm_TileCreate(("T" + std::to_string(t)).c_str()));
      for (int s = 0, samples = static_cast<int>(random() % 3); s < samples; ++s)
        kcli::append_sample(tile, pm_SampleCreate(("S" + std::to_string(s)).c_str()));
    }
    int index = 0;
    for (const kcli::NodeRef &node : kcli::all_nodes(p)) {
      for (int k = 0; k < 3; ++k) {
        if (!chance(85)) continue;
        const std::string file = root + "/n" + std::to_string(index++) + "-" + pfa(node.level, k);
        if (chance(35)) WriteBytes(file, "there\n");
        kcli::append_file(node.node, pm_FileCreate(pfa(node.level, k).c_str(), file.c_str(), 0.0, nullptr, nullptr));
      }
    }
    kcli::Processing processing;
    for (int level = 0; level < kcli::kLevelCount; ++level) {
      for (int k = 0; k < 3; ++k) processing.add_pfa(level, pm_PFAFileCreate(pfa(level, k).c_str(), PM_RASTER));
      // Sometimes a second process is the first turned round: it reads
      // what that one writes and writes what it reads, a circle wherever
      // both are planned.
      const int count = 1 + static_cast<int>(random() % 2);
      const bool mirror = count == 2 && chance(50);
      std::vector<std::pair<std::string, pm_ArgumentMode>> first;
      for (int n = 0; n < count; ++n) {
        const std::string name = "p" + std::to_string(level) + std::to_string(n);
        pm_Process *process = pm_ProcessCreate(name.c_str(), "", root.c_str(), "x.par", "x.lab", 1);
        std::vector<std::pair<std::string, pm_ArgumentMode>> arguments;
        if (mirror && n == 0) {
          const int k = static_cast<int>(random() % 3);
          arguments = {{pfa(level, k), PM_STRICT_INPUT}, {pfa(level, (k + 1) % 3), PM_STRICT_OUTPUT}};
        }
        if (mirror && n == 1) {
          for (const auto &[value, mode] : first)
            arguments.emplace_back(value, mode == PM_STRICT_OUTPUT ? PM_STRICT_INPUT : PM_STRICT_OUTPUT);
        }
        for (int a = 0, count_of = 1 + static_cast<int>(random() % 3); arguments.empty() && a < count_of; ++a) {
          // Mostly files of the process's own level, sometimes of another.
          const int of = chance(70) ? level : static_cast<int>(random() % 3);
          // Now and then a value that names no PFA file, or none at all.
          const std::string value = chance(10) ? "nofile" : chance(10) ? "" : pfa(of, static_cast<int>(random() % 3));
          arguments.emplace_back(value, std::array{PM_STRICT_INPUT, PM_OPTIONAL_INPUT, PM_STRICT_OUTPUT,
                                                   PM_OPTIONAL_OUTPUT}[random() % 4]);
        }
        if (n == 0) first = arguments;
        for (std::size_t a = 0; a < arguments.size(); ++a) {
          const auto &[value, mode] = arguments[a];
          const bool output = mode == PM_STRICT_OUTPUT || mode == PM_OPTIONAL_OUTPUT;
          const std::string argument = (output ? "out" : "in") + std::to_string(a);
          kcli::append_argument(process, pm_ArgumentCreate(argument.c_str(), value.empty() ? nullptr : value.c_str(),
                                                           PM_RASTER, mode, 0));
        }
        processing.add_process(level, process);
      }
    }
    processing.apply(p);
    kcli::save_project(p, root + "/project.kpf");
    std::vector<std::string> args{"workflow", root + "/project.kpf", "--engine", "make", "-o", root + "/Makefile",
                                  "--verbose"};
    for (int level = 0; level < kcli::kLevelCount; ++level)
      for (int n = 0; n < 2; ++n) {
        const std::string name = "p" + std::to_string(level) + std::to_string(n);
        args.insert(args.end(), {"--program", name + "=" + quoted(path("stub")) + " " + quoted(path("log")) + " " + name});
      }
    const Outcome planned = run(args);
    ASSERT_LE(planned.status, 1) << planned.err;
    EXPECT_EQ(planned.status == 1, planned.err.find("not planned: ") != std::string::npos);
    const std::string makefile = ReadBytes(root + "/Makefile");
    for (std::size_t at = 0; (at = makefile.find("\n\n# ", at)) != std::string::npos; ++at) ++planned_total;
    left_out_total += static_cast<int>(lines_of(planned.err).size());
    const Outcome first = run_program({"make", "-f", root + "/Makefile", "-j2"});
    ASSERT_EQ(first.status, 0) << "round " << round << "\n" << makefile << first.err << planned.err;
    // make drops a circular dependency with a warning and runs on.
    EXPECT_THAT(first.err, Not(HasSubstr("Circular"))) << "round " << round << "\n" << makefile;
    EXPECT_EQ(run_program({"make", "-f", root + "/Makefile", "-q"}).status, 0) << "round " << round;
  }
  // The rounds are meant to cover both outcomes plentifully.
  EXPECT_GT(planned_total, 15);
  EXPECT_GT(left_out_total, 20);
}

}  // namespace
