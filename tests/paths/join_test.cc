// Directory checks and path joins: one separator between the parts, missing
// directories created, and failures reported as a chain.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report_slot.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace {

using kestrum_test::ReportSlot;
using kestrum_test::TakeText;
using kestrum_test::TempDir;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(DirectoryCat, PutsExactlyOneSeparatorWhicheverSideHasOne) {
  TempDir dir;
  for (const std::string &directory : {dir.path(), dir.path() + "/"}) {
    for (const char *name : {"a.img", "/a.img"}) {
      ReportSlot slot;
      EXPECT_EQ(TakeText(pm_DirectoryCat(directory.c_str(), name, slot.out())), dir.path() + "/a.img")
          << directory << " + " << name;
      EXPECT_TRUE(slot.empty()) << slot.text();
    }
  }
}

TEST(DirectoryCat, CreatesMissingDirectoryButKeepsVariablesInTheResult) {
  TempDir dir;
  ASSERT_EQ(setenv("KESTRUM_JOIN_TEST_ROOT", dir.path().c_str(), 1), 0);
  ReportSlot slot;
  EXPECT_EQ(TakeText(pm_DirectoryCat("$KESTRUM_JOIN_TEST_ROOT/params", "p.txt", slot.out())),
            "$KESTRUM_JOIN_TEST_ROOT/params/p.txt");
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_TRUE(fs::is_directory(dir.Path("params")));
  unsetenv("KESTRUM_JOIN_TEST_ROOT");
}

TEST(Joins, NullPartGivesNullWithoutReportOrDirectory) {
  TempDir dir;
  const std::string missing = dir.Path("never");
  const char *d = missing.c_str();
  ReportSlot slot;
  EXPECT_EQ(pm_DirectoryCat(d, nullptr, slot.out()), nullptr);
  EXPECT_EQ(pm_DirectoryCat(nullptr, "a.img", slot.out()), nullptr);
  EXPECT_EQ(pm_DescriptorStringCat(nullptr, "dem", "", 0, slot.out()), nullptr);
  EXPECT_EQ(pm_DescriptorStringCat(d, nullptr, "", 0, slot.out()), nullptr);
  EXPECT_EQ(pm_DescriptorStringCat(d, "dem", nullptr, 0, slot.out()), nullptr);
  EXPECT_TRUE(slot.empty());
  EXPECT_FALSE(fs::exists(missing));
}

TEST(Joins, DirectoryThatIsAFileFailsEveryJoinWithChain) {
  TempDir dir;
  const std::string file = dir.Touch("plain");
  ReportSlot slot;
  EXPECT_EQ(pm_DirectoryCat(file.c_str(), "a.img", slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Texts{"Error verifying directory", "Project Manager directory " + file + " exists as a file"}));
  EXPECT_EQ(slot.functions(), (Texts{"pm_DirectoryCat", "pm_DirectoryCreate"}));
  EXPECT_EQ(slot.severities(), (std::vector<int>{1, 1}));
  EXPECT_EQ(pm_DescriptorStringCat(file.c_str(), "dem", "", 0, slot.out()), nullptr);
  EXPECT_EQ(slot.functions(), (Texts{"pm_DescriptorStringCat", "pm_DirectoryCreate"}));
  EXPECT_EQ(pm_FilenameExpand(file.c_str(), "$PROJECT/a.img", slot.out()), nullptr);
  EXPECT_EQ(slot.messages()[0], "Error creating local name");
  EXPECT_EQ(slot.functions(), (Texts{"pm_FilenameExpand", "pm_DirectoryCat", "pm_DirectoryCreate"}));
}

TEST(DirectoryCreate, UnknownVariableIsTheOneSeverityTwoReport) {
  unsetenv("KESTRUM_SURELY_UNDEFINED");
  ReportSlot slot;
  pm_DirectoryCreate("$KESTRUM_SURELY_UNDEFINED/dir", slot.out());
  ASSERT_GE(slot.messages().size(), 2u) << "the toolkit's report is chained";
  EXPECT_EQ(slot.messages()[0], "Error expanding project manager directory name.");
  EXPECT_EQ(slot.severities()[0], 2);
  // Wrapped by a join, the serious report stays beneath the join's own.
  EXPECT_EQ(pm_DirectoryCat("$KESTRUM_SURELY_UNDEFINED/dir", "a", slot.out()), nullptr);
  EXPECT_EQ(slot.severities()[0], 1);
  EXPECT_EQ(slot.severities()[1], 2);
}

TEST(DirectoryCreate, MakesOneMissingLevelAndReportsAMissingParent) {
  TempDir dir;
  ReportSlot slot;
  pm_DirectoryCreate(dir.Path("fresh").c_str(), slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_TRUE(fs::is_directory(dir.Path("fresh")));
  pm_DirectoryCreate(dir.Path("a/b").c_str(), slot.out());
  ASSERT_EQ(slot.messages().size(), 2u);
  EXPECT_EQ(slot.messages()[0], "Cannot create project manager directory: " + dir.Path("a/b"));
  EXPECT_FALSE(fs::exists(dir.Path("a")));
}

TEST(DescriptorStringCat, AppendsSuffixAndTheExtensionOfTheFileType) {
  TempDir dir;
  const Texts extensions = {".img", ".shp", ".txt", ".ovr", ".aoi", "", ""};
  const std::vector<pm_PFAType> types = {0, 1, 2, 3, 4, 7, -1};
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(TakeText(pm_DescriptorStringCat(dir.path().c_str(), "dem", "_v2", types[i], nullptr)),
              dir.path() + "/dem_v2" + extensions[i])
        << "type " << types[i];
  }
  // The name is taken whole: both separators stay.
  EXPECT_EQ(TakeText(pm_DescriptorStringCat((dir.path() + "/").c_str(), "/dem", "", PM_ANNOTATION, nullptr)),
            dir.path() + "//dem.ovr");
}

}  // namespace
