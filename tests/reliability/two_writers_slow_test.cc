// Two processes save their own version of one project file as fast as they
// can while a third loads it over and over. Every save either completes or
// is refused because the other writer holds the file; every load sees one
// complete version, never a mixture.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "disk_helpers.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

FullShape Variant(int variant) {
  FullShape shape;
  shape.tiles = 8;
  shape.samples = 4;
  shape.variant = variant;
  return shape;
}

// Saves for `duration` and returns "saved S refused R", or the first report
// that was not a refusal because the file is in use.
std::string SaveRepeatedly(pm_Project *project, std::chrono::milliseconds duration) {
  long saved = 0, refused = 0;
  auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    tk_ErrorReport *report = nullptr;
    pm_ProjectSave(project, 0, &report);
    if (report == nullptr) {
      ++saved;
      continue;
    }
    std::string chain = ChainText(report);
    tk_ErrorReportDelete(&report);
    if (chain.find("in use") == std::string::npos) return "unexpected report: " + chain;
    ++refused;
  }
  return "saved " + std::to_string(saved) + " refused " + std::to_string(refused);
}

TEST(TwoWriters, ConcurrentSavesNeverMixVersions) {
  TempDir dir;
  const std::string path = dir.Path("site.kpr");
  ProjectPtr first(BuildFullProject(path, Variant(1)));
  ProjectPtr second(BuildFullProject(path, Variant(2)));
  ASSERT_TRUE(first && second);
  ReportSlot slot;
  pm_ProjectSave(first.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();

  const auto duration = std::chrono::milliseconds(1500);
  std::string outcome[2];
  pid_t writers[2];
  int pipes[2][2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(pipe(pipes[i]), 0);
    writers[i] = fork();
    ASSERT_GE(writers[i], 0);
    if (writers[i] == 0) {
      std::string text = SaveRepeatedly(i == 0 ? first.get() : second.get(), duration);
      ssize_t ignored = write(pipes[i][1], text.data(), text.size());
      (void)ignored;
      _exit(0);
    }
    close(pipes[i][1]);
  }

  // Meanwhile every load must give one of the two versions.
  long loads = 0, seen[3] = {0, 0, 0};
  auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    int which = 0;
    std::string difference = LoadDifferenceFromAll(path, first.get(), second.get(), &which);
    ASSERT_EQ(difference, "") << "load " << loads;
    ++seen[which];
    ++loads;
  }
  for (int i = 0; i < 2; ++i) {
    char buffer[4096];
    ssize_t n = read(pipes[i][0], buffer, sizeof buffer);
    outcome[i].assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    close(pipes[i][0]);
    int status = 0;
    ASSERT_EQ(waitpid(writers[i], &status, 0), writers[i]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(outcome[i].rfind("saved ", 0), 0u) << "writer " << i << ": " << outcome[i];
  }
  std::printf("writer 1: %s; writer 2: %s; %ld loads saw version 1 %ld times, version 2 %ld times\n",
              outcome[0].c_str(), outcome[1].c_str(), loads, seen[1], seen[2]);
  EXPECT_EQ(LoadDifferenceFromAll(path, first.get(), second.get()), "");
  EXPECT_EQ(ListDir(dir.path()), std::set<std::string>{"site.kpr"});
}

}  // namespace
}  // namespace kestrum_test
