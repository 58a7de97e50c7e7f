// File-system tests and directory creation, in a directory of their own.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "report_slot.h"
#include "temp_dir.h"
#include "toolkit.h"

namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  kestrum_test::TempDir dir;
  kestrum_test::ReportSlot slot;

  int status(const std::string &path) { return tk_PathExistsAsFileOrDir(path.c_str(), slot.out()); }
  bool contains(const std::string &part) { return slot.text().find(part) != std::string::npos; }
};

TEST_F(FileSystemTest, TellsAbsentDirectoryAndFileApart) {
  std::string file = dir.Touch("site.prj");
  EXPECT_EQ(status(dir.path()), 1);
  EXPECT_EQ(status(file), 2);
  EXPECT_EQ(status(dir.Path("missing")), 0);
  EXPECT_EQ(status(dir.Path("missing/below")), 0);
  EXPECT_EQ(status(file + "/below"), 0);  // through a file
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(tk_PathExistsAsFileOrDir(nullptr, slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

TEST_F(FileSystemTest, FollowsLinksAndCountsDanglingOnesAbsent) {
  std::string file = dir.Touch("target");
  ASSERT_EQ(symlink(file.c_str(), dir.Path("to-file").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), dir.Path("to-dir").c_str()), 0);
  ASSERT_EQ(symlink(dir.Path("nothing").c_str(), dir.Path("dangling").c_str()), 0);
  EXPECT_EQ(status(dir.Path("to-file")), 2);
  EXPECT_EQ(status(dir.Path("to-dir")), 1);
  EXPECT_EQ(status(dir.Path("dangling")), 0);
  EXPECT_EQ(tk_FileExists(dir.Path("dangling").c_str(), slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

TEST_F(FileSystemTest, UndeterminableStatusReportsPathAndReason) {
  std::string loop = dir.Path("loop");
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);  // stat fails with ELOOP
  EXPECT_EQ(status(loop), -1);
  EXPECT_EQ(slot.functions(), std::vector<std::string>({"tk_PathExistsAsFileOrDir"}));
  EXPECT_TRUE(contains(loop)) << slot.text();
  EXPECT_TRUE(contains("symbolic links")) << slot.text();

  EXPECT_EQ(tk_FileExists(loop.c_str(), slot.out()), 0);
  EXPECT_EQ(slot.functions(), std::vector<std::string>({"tk_FileExists", "tk_PathExistsAsFileOrDir"}));
}

TEST_F(FileSystemTest, FileExistsForFilesAndDirectories) {
  EXPECT_NE(tk_FileExists(dir.Touch("a.img").c_str(), slot.out()), 0);
  EXPECT_NE(tk_FileExists(dir.path().c_str(), slot.out()), 0);
  EXPECT_EQ(tk_FileExists(dir.Path("b.img").c_str(), slot.out()), 0);
  EXPECT_EQ(tk_FileExists(nullptr, slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

TEST_F(FileSystemTest, MakeDirAppliesModeAndZeroMeansAll) {
  mode_t old_mask = umask(022);
  std::string open_dir = dir.Path("open"), private_dir = dir.Path("private");
  EXPECT_EQ(tk_MakeDir(open_dir.c_str(), 0, slot.out()), 1);
  EXPECT_EQ(tk_MakeDir(private_dir.c_str(), 0700, slot.out()), 1);
  umask(old_mask);
  EXPECT_TRUE(slot.empty());
  struct stat info;
  ASSERT_EQ(stat(open_dir.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  ASSERT_EQ(stat(private_dir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(FileSystemTest, MakeDirAcceptsAnExistingDirectoryOnly) {
  EXPECT_EQ(tk_MakeDir(dir.path().c_str(), 0, slot.out()), 1);
  EXPECT_TRUE(slot.empty());

  std::string file = dir.Touch("plain");
  EXPECT_EQ(tk_MakeDir(file.c_str(), 0, slot.out()), 0);
  EXPECT_EQ(slot.text(), "tk_MakeDir: Cannot create directory " + file + ": File exists");

  EXPECT_EQ(tk_MakeDir(dir.Path("no/parent").c_str(), 0, slot.out()), 0);
  EXPECT_TRUE(contains("No such file or directory")) << slot.text();

  EXPECT_EQ(tk_MakeDir(nullptr, 0, slot.out()), 0);
  EXPECT_FALSE(slot.empty());
  EXPECT_EQ(tk_MakeDir(nullptr, 0, nullptr), 0);  // null slot: report discarded
}

}  // namespace
