// Paths that do not name a project file: a named pipe, a device, a
// directory, a missing directory. Loading and saving must answer promptly
// with a report and leave what is there alone; nothing may wait for a
// writer that never comes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "disk_helpers.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

// Loads `path` in a child process that a timer ends after five seconds, so
// that a load that hangs fails the test instead of hanging the suite.
std::string LoadWithDeadline(const std::string &path) {
  return RunInChild([&]() -> std::string {
    alarm(5);
    tk_ErrorReport *report = nullptr;
    pm_Project *project = pm_ProjectLoad(path.c_str(), 0, &report);
    std::string out = project != nullptr ? "loaded" : "refused: " + ChainText(report);
    pm_ProjectDestroy(project);
    tk_ErrorReportDelete(&report);
    return out;
  });
}

TEST(HostilePath, LoadOfNamedPipeIsRefusedWithoutWaitingForWriter) {
  TempDir dir;
  std::string path = dir.Path("pipe.kpr");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string outcome = LoadWithDeadline(path);
  EXPECT_EQ(outcome.rfind("refused: ", 0), 0u) << outcome;
  EXPECT_NE(outcome.find("pm_ProjectLoad"), std::string::npos) << outcome;
}

TEST(HostilePath, LoadOfDeviceOrDirectoryIsRefused) {
  TempDir dir;
  for (const std::string &path : {std::string("/dev/null"), std::string("/dev/zero"), dir.path()}) {
    std::string outcome = LoadWithDeadline(path);
    EXPECT_EQ(outcome.rfind("refused: ", 0), 0u) << path << ": " << outcome;
  }
}

TEST(HostilePath, SaveOverDirectoryOrIntoMissingDirectoryFailsAndTouchesNothing) {
  TempDir dir;
  std::string folder = dir.Path("taken.kpr");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ProjectPtr project(BuildFullProject(dir.Path("site.kpr")));
  ASSERT_TRUE(project);
  ReportSlot slot;
  pm_ProjectSaveAs(project.get(), folder.c_str(), 0, slot.out());
  EXPECT_FALSE(slot.empty()) << "saved over a directory";
  EXPECT_TRUE(ListDir(folder).empty());

  std::string missing = dir.Path("no/such/dir/site.kpr");
  pm_ProjectSaveAs(project.get(), missing.c_str(), 0, slot.out());
  EXPECT_FALSE(slot.empty()) << "saved into a directory that does not exist";
  EXPECT_EQ(ListDir(dir.path()), (std::set<std::string>{"taken.kpr"}));
}

}  // namespace
}  // namespace kestrum_test
