// The jobs a plan leaves out are summed up by process and reason, not
// listed one per line: a large project with half its inputs missing would
// otherwise flood the terminal. --verbose lists them all, and --report
// writes every job as JSON; the exit status is the same either way.
#include "json.h"
#include "workflow_fixture.h"

namespace {

using namespace workflow_test;

// 60 tiles of 5 samples; every other sample's plot is missing, and no tile
// has a file for the segments its process would write.
std::string half_missing(const std::string &root) {
  fs::create_directories(root);
  kcli::ProjectPtr project(pm_ProjectCreate());
  pm_Project *p = project.get();
  for (int t = 0; t < 60; ++t) {
    const std::string tile_name = "T" + std::to_string(t);
    pm_Tile *tile = kcli::append_tile(p, pm_TileCreate(tile_name.c_str()));
    for (int s = 0; s < 5; ++s) {
      const std::string name = "S" + std::to_string(s), plot = root + "/" + tile_name + name + ".img";
      pm_Sample *sample = kcli::append_sample(tile, pm_SampleCreate(name.c_str()));
      if ((t * 5 + s) % 2 == 0) WriteBytes(plot, "plot\n");
      kcli::append_file(sample, pm_FileCreate("plot", plot.c_str(), 0.0, nullptr, nullptr));
    }
  }
  kcli::Processing processing;
  processing.add_pfa(1, pm_PFAFileCreate("segments", PM_VECTOR));
  processing.add_pfa(2, pm_PFAFileCreate("plot", PM_RASTER));
  pm_Process *count = pm_ProcessCreate("count", "", root.c_str(), "x.par", "x.lab", 1);
  kcli::append_argument(count, pm_ArgumentCreate("in", "plot", PM_RASTER, PM_STRICT_INPUT, 0));
  processing.add_process(2, count);
  pm_Process *segment = pm_ProcessCreate("segment", "", root.c_str(), "x.par", "x.lab", 1);
  kcli::append_argument(segment, pm_ArgumentCreate("out", "segments", PM_VECTOR, PM_STRICT_OUTPUT, 0));
  processing.add_process(1, segment);
  processing.apply(p);
  kcli::save_project(p, root + "/project.kpf");
  return root + "/project.kpf";
}

TEST_F(WorkflowCommand, JobsLeftOutAreSummedUpListedWithVerboseAndReportedAsJson) {
  const std::string project = half_missing(path("big"));
  const std::vector<std::string> base{"workflow", project, "--engine", "make", "-o", path("Makefile"), "--force"};
  const Outcome summary = run(base);
  EXPECT_EQ(summary.status, 1);
  EXPECT_THAT(summary.out, HasSubstr("Planned 150 jobs into " + path("Makefile") + "; 210 not planned"));
  EXPECT_EQ(summary.err,
            "Not planned, by process and reason (--verbose lists every job and why):\n"
            "  segment, 60 jobs: segments: no data file of that type to write to\n"
            "      at T0, T1, T2 and 57 more\n"
            "  count, 150 jobs: plot is not on disk\n"
            "      at T0/S1, T0/S3, T1/S0 and 147 more\n");

  std::vector<std::string> verbose = base;
  verbose.push_back("--verbose");
  const Outcome listed = run(verbose);
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(lines_of(listed.err).size(), 420u);
  EXPECT_THAT(listed.err, HasSubstr("not planned: count at T59/S4\n      - plot at T59/S4: $PROJECT/T59S4.img is not on disk\n"));

  std::vector<std::string> reported = base;
  reported.insert(reported.end(), {"--report", path("report.json")});
  EXPECT_EQ(run(reported).status, 1);
  const kcli::Json report = kcli::Json::parse(ReadBytes(path("report.json")));
  EXPECT_EQ(report["summary"]["planned"], 150);
  EXPECT_EQ(report["summary"]["not_planned"], 210);
  EXPECT_EQ(report["planned"].size(), 150u);
  EXPECT_EQ(report["planned"][0]["name"], "count-T0-S0");
  EXPECT_EQ(report["not_planned"].size(), 210u);
  ASSERT_EQ(report["groups"].size(), 2u);
  EXPECT_EQ(report["groups"][1]["count"], 150);
  EXPECT_EQ(report["groups"][1]["nodes"].size(), 150u);
  EXPECT_EQ(report["groups"][1]["nodes"][149], "T59/S4");
  // A report already there is refused like the plan, and nothing is written.
  const Outcome again = run({"workflow", project, "--engine", "make", "-o", path("other.mk"), "--report", path("report.json")});
  EXPECT_EQ(again.status, 2);
  EXPECT_FALSE(fs::exists(path("other.mk")));
}

}  // namespace
