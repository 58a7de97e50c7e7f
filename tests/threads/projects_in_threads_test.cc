// Threads that each work on a project of their own share nothing that changes
// a result: four threads build, save, load and save again, all at once and
// into one directory, and each gets exactly its own project back. The
// sanitizer build for threads runs this with the other tests that use
// threads, so that a shared counter or cache shows as a race there.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "include/kestrum.h"
#include "owned_records.h"
#include "project_builder.h"
#include "project_compare.h"
#include "temp_dir.h"

namespace {

using kestrum_test::BuildFullProject;
using kestrum_test::FullShape;
using kestrum_test::ProjectDifference;
using kestrum_test::ProjectPtr;

// One thread's work; what went wrong, or "" when nothing did.
std::string RoundTrip(const std::string &path, int variant) {
  FullShape shape;
  shape.variant = variant;
  ProjectPtr built(BuildFullProject(path, shape));
  if (!built) return "cannot build";
  tk_ErrorReport *report = nullptr;
  std::string problem;
  for (int round = 0; round < 3 && problem.empty(); ++round) {
    pm_ProjectSave(built.get(), 0, &report);
    if (report) problem = "save: " + std::string(tk_ErrorReportGetMessage(report));
    ProjectPtr loaded(problem.empty() ? pm_ProjectLoad(path.c_str(), 0, &report) : nullptr);
    if (problem.empty() && !loaded) problem = "load: " + std::string(report ? tk_ErrorReportGetMessage(report) : "");
    if (problem.empty()) problem = ProjectDifference(built.get(), loaded.get());
    if (problem.empty()) {
      pm_ProjectSave(loaded.get(), 0, &report);  // in place, into the file it came from
      if (report) problem = "second save: " + std::string(tk_ErrorReportGetMessage(report));
    }
  }
  tk_ErrorReportDelete(&report);
  return problem;
}

TEST(ProjectsInThreads, FourThreadsSavingIntoOneDirectoryEachGetTheirOwnProject) {
  kestrum_test::TempDir dir;
  constexpr int kThreads = 4;
  std::vector<std::string> problems(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] { problems[i] = RoundTrip(dir.Path("p" + std::to_string(i) + ".qdx"), i + 1); });
  for (std::thread &thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(problems[i], "") << "thread " << i;
    // Each file holds its own thread's project, read once more on this thread.
    FullShape shape;
    shape.variant = i + 1;
    ProjectPtr expected(BuildFullProject(dir.Path("expected" + std::to_string(i) + ".qdx"), shape));
    ProjectPtr loaded(pm_ProjectLoad(dir.Path("p" + std::to_string(i) + ".qdx").c_str(), 0, nullptr));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(ProjectDifference(expected.get(), loaded.get()), "") << "file " << i;
  }
}

}  // namespace
