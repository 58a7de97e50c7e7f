// Project-relative names: localising and expanding are inverse for names in
// the directory, leave every other name alone, and never touch the current
// directory.
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
namespace fs = std::filesystem;

std::string Localise(const std::string &directory, const std::string &name) {
  ReportSlot slot;
  std::string local = TakeText(pm_FilenameLocalise(directory.c_str(), name.c_str(), slot.out()));
  EXPECT_TRUE(slot.empty()) << slot.text();
  return local;
}

std::string Expand(const std::string &directory, const std::string &name) {
  ReportSlot slot;
  std::string full = TakeText(pm_FilenameExpand(directory.c_str(), name.c_str(), slot.out()));
  EXPECT_TRUE(slot.empty()) << slot.text();
  return full;
}

TEST(Localise, NamesInTheDirectoryRoundTripWhicheverWayTheDirectoryEnds) {
  TempDir dir;
  const std::string d = dir.Path("proj");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {d + "/t1/a.img", "$PROJECT/t1/a.img"}, {d, "$PROJECT"}, {d + "/", "$PROJECT/"}, {d + "//t1", "$PROJECT//t1"}};
  for (const std::string &directory : {d, d + "/"}) {
    for (const auto &[name, local] : cases) {
      EXPECT_EQ(Localise(directory, name), local) << directory << " / " << name;
      EXPECT_EQ(Expand(directory, local), name) << directory << " / " << name;
    }
  }
  EXPECT_EQ(Localise("/", "/data/a.img"), "$PROJECT/data/a.img");
}

// Regression: a name that merely begins with the directory's characters used
// to be captured (/data/proj took /data/project2/a.img as $PROJECT/ect2/a.img).
TEST(Localise, OnlyNamesInsideTheDirectoryAreLocalised) {
  TempDir dir;
  const std::string d = dir.Path("proj");
  for (const std::string &name : {d + "ect2/a.img", d + "2", std::string("/elsewhere/a.img"),
                                  std::string("relative/a.img"), std::string("$PROJECT/t1/a.img"), std::string("")}) {
    EXPECT_EQ(Localise(d, name), name);
    EXPECT_EQ(Expand(d, Localise(d, name)), name.rfind("$PROJECT", 0) == 0 ? d + "/t1/a.img" : name);
  }
  EXPECT_EQ(Localise("", "/data/a.img"), "/data/a.img");
}

// Whatever the environment says about PROJECT, localising works and creates
// nothing in the current directory.
TEST(Localise, MarkerIsNotAPlaceInTheCurrentDirectory) {
  TempDir cwd;
  const fs::path previous = fs::current_path();
  fs::current_path(cwd.path());
  const char *old = getenv("PROJECT");
  const std::string saved = old ? old : "";
  for (const char *value : {static_cast<const char *>(nullptr), "", "/nonexistent/kestrum/project"}) {
    value ? setenv("PROJECT", value, 1) : unsetenv("PROJECT");
    EXPECT_EQ(Localise("/data/proj", "/data/proj/t1/a.img"), "$PROJECT/t1/a.img");
    EXPECT_TRUE(fs::is_empty(cwd.path())) << "something was created in the current directory";
  }
  old ? setenv("PROJECT", saved.c_str(), 1) : unsetenv("PROJECT");
  fs::current_path(previous);
  EXPECT_FALSE(fs::exists("/nonexistent/kestrum"));
}

TEST(Expand, OnlyAWholeMarkerComponentIsExpandedIntoTheCreatedDirectory) {
  TempDir dir;
  const std::string moved = dir.Path("moved");
  EXPECT_EQ(Expand(moved, "$PROJECT/t1/a.img"), moved + "/t1/a.img");
  EXPECT_TRUE(fs::is_directory(moved));
  for (const char *name : {"$PROJECTX/a.img", "$PROJECT_DATA/a.img", "/abs/$PROJECT/a", "$project/a"}) {
    EXPECT_EQ(Expand(moved, name), name);
  }
}

TEST(LocaliseAndExpand, NullArgumentsGiveNullOrCopyWithoutReport) {
  ReportSlot slot;
  EXPECT_EQ(TakeText(pm_FilenameLocalise(nullptr, "/data/a.img", slot.out())), "/data/a.img");
  EXPECT_EQ(pm_FilenameLocalise("/data", nullptr, slot.out()), nullptr);
  EXPECT_EQ(pm_FilenameExpand("/data", nullptr, slot.out()), nullptr);
  EXPECT_EQ(pm_FilenameExpand(nullptr, "$PROJECT/a.img", slot.out()), nullptr);
  EXPECT_EQ(TakeText(pm_FilenameExpand(nullptr, "/abs/a.img", slot.out())), "/abs/a.img");
  EXPECT_TRUE(slot.empty());
}

}  // namespace
