// Data file records: creation, accessors and their marks, the parent's kind
// and the existence test of the descriptor.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "project_builder.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

TEST(DataFile, CreatedWithEveryValueCopied) {
  char type[] = "image";
  char descriptor[] = "/data/a.img";
  FilePtr file(pm_FileCreate(type, descriptor, 42.5, "ok", "first pass"));
  type[0] = 'X';
  descriptor[0] = 'X';
  EXPECT_EQ(TakeText(pm_FileGetType(file.get())), "image");
  EXPECT_EQ(TakeText(pm_FileGetDescriptor(file.get())), "/data/a.img");
  EXPECT_EQ(pm_FileGetDate(file.get()), 42.5);
  EXPECT_EQ(TakeText(pm_FileGetVerified(file.get())), "ok");
  EXPECT_EQ(TakeText(pm_FileGetComment(file.get())), "first pass");
  EXPECT_EQ(StateOf(file.get()), kChanged);
  EXPECT_TRUE(IsDetached(file.get()));
  EXPECT_EQ(pm_NodeGetType(file.get()), PM_KIND_NONE);
}

TEST(DataFile, TypeOnlyFileAnswersNullAndZero) {
  FilePtr file(pm_FileCreate("image", nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(pm_FileGetDescriptor(file.get()), nullptr);
  EXPECT_EQ(pm_FileGetVerified(file.get()), nullptr);
  EXPECT_EQ(pm_FileGetComment(file.get()), nullptr);
  EXPECT_EQ(pm_FileGetDate(file.get()), 0);
  ReportSlot slot;
  EXPECT_EQ(pm_FileDescriptorExists(file.get(), slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

TEST(DataFile, EverySetterStoresAndMarks) {
  FilePtr file(pm_FileCreate("image", "old", 1, "v", "c"));
  struct TextField {
    int (*set)(pm_File *, const char *);
    char *(*get)(pm_File *);
  };
  for (TextField f : {TextField{pm_FileSetDescriptor, pm_FileGetDescriptor}, TextField{pm_FileSetVerified, pm_FileGetVerified},
                      TextField{pm_FileSetComment, pm_FileGetComment}}) {
    SetState(file.get(), kClean);
    EXPECT_EQ(f.set(file.get(), "new"), 1);
    EXPECT_EQ(TakeText(f.get(file.get())), "new");
    EXPECT_EQ(StateOf(file.get()), kChanged);
    EXPECT_EQ(f.set(file.get(), nullptr), 1);
    EXPECT_EQ(f.get(file.get()), nullptr);
    EXPECT_EQ(f.set(nullptr, "x"), 0);
    EXPECT_EQ(f.get(nullptr), nullptr);
  }
  SetState(file.get(), kClean);
  EXPECT_EQ(pm_FileSetDate(file.get(), 99.25), 1);
  EXPECT_EQ(pm_FileGetDate(file.get()), 99.25);
  EXPECT_EQ(StateOf(file.get()), kChanged);
  EXPECT_EQ(pm_FileSetDate(nullptr, 1), 0);
  EXPECT_EQ(pm_FileGetDate(nullptr), 0);
}

TEST(DataFile, SettingTheTypeItAlreadyHasIsRefused) {
  FilePtr file(pm_FileCreate("image", nullptr, 0, nullptr, nullptr));
  SetState(file.get(), kClean);
  ReportSlot slot;
  EXPECT_EQ(pm_FileSetType(file.get(), "image", slot.out()), 0);
  EXPECT_EQ(slot.messages().front(), "Error changing file type to image");
  EXPECT_EQ(StateOf(file.get()), kClean);
  EXPECT_EQ(pm_FileSetType(file.get(), "raster", slot.out()), 1);
  EXPECT_EQ(TakeText(pm_FileGetType(file.get())), "raster");
}

TEST(DataFileParent, KindOfEachOwner) {
  ProjectPtr project(BuildProject());
  pm_Tile *tile = project->tiles;
  ReportSlot slot;
  EXPECT_EQ(pm_FileGetParentType(project->files, slot.out()), PM_KIND_PROJECT);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(pm_FileGetParentType(tile->files, slot.out()), PM_KIND_TILE);
  EXPECT_EQ(pm_FileGetParentType(tile->samples->files, slot.out()), PM_KIND_SAMPLE);
  EXPECT_TRUE(slot.empty());
}

// -1 is no kind at all, so a failed question can never read as "project".
TEST(DataFileParent, DetachedOrNullFileIsReportedWithMinusOne) {
  FilePtr file(pm_FileCreate("image", nullptr, 0, nullptr, nullptr));
  ReportSlot slot;
  EXPECT_EQ(pm_FileGetParentType(file.get(), slot.out()), -1);
  EXPECT_EQ(slot.messages(), (Strings{"No parent to check"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_FileGetParentType"}));
  EXPECT_EQ(pm_FileGetParentType(nullptr, slot.out()), -1);
  EXPECT_EQ(slot.messages(), (Strings{"No file to check"}));
  EXPECT_EQ(pm_FileGetParentType(nullptr, nullptr), -1);
}

TEST(DataFileParent, RemovedFileHasNoParentAnyMore) {
  TilePtr tile(pm_TileCreate("T"));
  pm_File *file = pm_FileCreate("image", nullptr, 0, nullptr, nullptr);
  pm_TileAppendFile(tile.get(), file, nullptr);
  SetState(tile.get(), kClean);
  FilePtr removed(file);
  EXPECT_EQ(pm_FileRemove(file), nullptr);
  EXPECT_EQ(tile->files, nullptr);
  EXPECT_EQ(StateOf(tile.get()), kChanged);
  ReportSlot slot;
  EXPECT_EQ(pm_FileGetParentType(file, slot.out()), -1);
  EXPECT_EQ(slot.messages(), (Strings{"No parent to check"}));
}

TEST(DataFileExists, AnswersForTheDescriptorAsStored) {
  std::string path = ::testing::TempDir() + "kestrum_file_exists_probe";
  std::remove(path.c_str());
  FilePtr file(pm_FileCreate("image", path.c_str(), 0, nullptr, nullptr));
  ReportSlot slot;
  EXPECT_EQ(pm_FileDescriptorExists(file.get(), slot.out()), 0);
  EXPECT_TRUE(slot.empty()) << slot.text();
  std::FILE *probe = std::fopen(path.c_str(), "w");
  ASSERT_NE(probe, nullptr);
  std::fclose(probe);
  EXPECT_NE(pm_FileDescriptorExists(file.get(), slot.out()), 0);
  EXPECT_TRUE(slot.empty()) << slot.text();
  std::remove(path.c_str());
  EXPECT_EQ(pm_FileDescriptorExists(nullptr, slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

TEST(DataFileExists, ToolkitFailureIsWrappedWithTheDescriptor) {
  std::string path = ::testing::TempDir() + "kestrum_file_exists_fault";
  FilePtr file(pm_FileCreate("image", path.c_str(), 0, nullptr, nullptr));
  if (tk_FaultInject(1, 5 /* EIO */, 0) < 0) GTEST_SKIP() << "fault injection not compiled in";
  ReportSlot slot;
  int answer = pm_FileDescriptorExists(file.get(), slot.out());
  tk_FaultInject(0, 0, 0);
  ASSERT_FALSE(slot.empty());
  EXPECT_EQ(answer, 0);
  ASSERT_GE(slot.messages().size(), 2u);
  EXPECT_EQ(slot.messages().front(), "Error check file existance for " + path);
  EXPECT_EQ(slot.functions().front(), "pm_FileDescriptorExists");
}

}  // namespace
}  // namespace kestrum_test
