// A project file has one writer at a time, also while it is first made.
// While one process holds the file for update, another process's save is refused with a report that says the
// file is in use, and the file keeps its version; readers are not blocked
// and see the complete old version.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "disk_helpers.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

FullShape Variant(int variant) {
  FullShape shape;
  shape.variant = variant;
  return shape;
}

class WriterLock : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("site.kpr");
    first_.reset(BuildFullProject(path_, Variant(1)));
    second_.reset(BuildFullProject(path_, Variant(2)));
    ASSERT_TRUE(first_ && second_);
    ReportSlot slot;
    pm_ProjectSave(first_.get(), 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
    old_bytes_ = ReadBytes(path_);
  }

  // Saves (or saves as, to `target`) the second version in another process
  // and returns "saved" or the report chain.
  std::string SaveInOtherProcess(bool save_as, const std::string &target) {
    return RunInChild([&] {
      tk_ErrorReport *report = nullptr;
      if (save_as) {
        pm_ProjectSaveAs(second_.get(), target.c_str(), 0, &report);
      } else {
        pm_ProjectSave(second_.get(), 0, &report);
      }
      std::string text = report != nullptr ? ChainText(report) : "saved";
      tk_ErrorReportDelete(&report);
      return text;
    });
  }

  TempDir dir_;
  std::string path_, old_bytes_;
  ProjectPtr first_, second_;
};

TEST_F(WriterLock, SecondWriterIsRefusedAsInUseAndFileKeepsItsVersion) {
  ReportSlot slot;
  tk_TreeFile *held = tk_TreeFileOpen(path_.c_str(), "rb+", 0, slot.out(), 0);
  ASSERT_NE(held, nullptr) << slot.text();

  std::string outcome = SaveInOtherProcess(false, path_);
  EXPECT_NE(outcome.find("in use"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("pm_ProjectSave"), std::string::npos) << outcome;
  outcome = SaveInOtherProcess(true, path_);
  EXPECT_NE(outcome.find("in use"), std::string::npos) << "save-as over a held file: " << outcome;
  EXPECT_TRUE(ReadBytes(path_) == old_bytes_);

  // Readers are not held up by a writer and see the whole old version.
  EXPECT_EQ(LoadDifference(path_, first_.get()), "");

  tk_TreeFileAbandon(held);
  EXPECT_EQ(SaveInOtherProcess(false, path_), "saved");
  EXPECT_EQ(LoadDifference(path_, second_.get()), "");
  EXPECT_EQ(ListDir(dir_.path()), std::set<std::string>{"site.kpr"});
}

// The lock covers a file that does not exist yet: while one writer makes
// it, another process's save-as to that name is refused, and no save is
// silently lost.
TEST_F(WriterLock, SecondWriterOfANewFileIsRefused) {
  std::string fresh = dir_.Path("fresh.kpr");
  ReportSlot slot;
  tk_TreeFile *held = tk_TreeFileCreate(fresh.c_str(), 0, slot.out());
  ASSERT_NE(held, nullptr) << slot.text();
  std::string outcome = SaveInOtherProcess(true, fresh);
  EXPECT_NE(outcome.find("in use"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("pm_ProjectSaveAs"), std::string::npos) << outcome;
  EXPECT_FALSE(std::filesystem::exists(fresh));
  tk_TreeFileAbandon(held);
  EXPECT_EQ(SaveInOtherProcess(true, fresh), "saved");
  EXPECT_EQ(LoadDifference(fresh, second_.get()), "");
  EXPECT_EQ(ListDir(dir_.path()), (std::set<std::string>{"fresh.kpr", "site.kpr"}));
}

TEST_F(WriterLock, WriterThatFinishedReleasesTheFile) {
  // A writer that closes (with or without writing) lets the next one in,
  // also within one process.
  ReportSlot slot;
  tk_TreeFile *held = tk_TreeFileOpen(path_.c_str(), "rb+", 0, slot.out(), 0);
  ASSERT_NE(held, nullptr) << slot.text();
  EXPECT_EQ(tk_TreeFileClose(held, slot.out()), 1) << slot.text();
  pm_ProjectSave(second_.get(), 0, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  pm_ProjectSave(first_.get(), 0, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(LoadDifference(path_, first_.get()), "");
}

}  // namespace
}  // namespace kestrum_test
