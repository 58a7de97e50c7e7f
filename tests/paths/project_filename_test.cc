// Binding a project to its file name: the four derived texts, the project
// manager directory on disk, and what is reported when it cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace {

using kestrum_test::kChanged;
using kestrum_test::kClean;
using kestrum_test::ProjectPtr;
using kestrum_test::ReportSlot;
using kestrum_test::SetState;
using kestrum_test::StateOf;
using kestrum_test::TakeText;
using kestrum_test::TempDir;
namespace fs = std::filesystem;

struct Derived {
  std::string name, filename, dirname, basename;
  bool operator==(const Derived &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Derived &d) {
  return out << d.name << " | " << d.filename << " | " << d.dirname << " | " << d.basename;
}

Derived DerivedOf(pm_Project *project) {
  return {TakeText(pm_ProjectGetName(project)), TakeText(pm_ProjectGetFilename(project)),
          TakeText(pm_ProjectGetDirname(project)), TakeText(pm_ProjectGetBasename(project))};
}

TEST(ProjectSetFilename, MissingDirectoryIsCreatedAndNamesDerived) {
  TempDir dir;
  ProjectPtr project(pm_ProjectCreate());
  SetState(project.get(), kClean);
  const std::string file = dir.Path("proj/site.prj");
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectSetFilename(project.get(), file.c_str(), slot.out()), 1);
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(DerivedOf(project.get()), (Derived{"site.prj", file, dir.Path("proj"), "site"}));
  EXPECT_TRUE(fs::is_directory(dir.Path("proj")));
  EXPECT_EQ(StateOf(project.get()), kChanged);
}

TEST(ProjectSetFilename, RelativeNameIsMadeAbsoluteAndReplacesEarlierFields) {
  TempDir dir;
  ProjectPtr project(pm_ProjectCreate());
  ASSERT_EQ(pm_ProjectSetFilename(project.get(), dir.Path("one/first.prj").c_str(), nullptr), 1);
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(pm_ProjectSetFilename(project.get(), "./sub/../second.prj", nullptr), 1);
  fs::current_path(previous);
  EXPECT_EQ(DerivedOf(project.get()), (Derived{"second.prj", cwd + "/second.prj", cwd, "second"}));
}

TEST(ProjectSetFilename, DirectoryPartThatIsAFileSetsNameButReports) {
  TempDir dir;
  const std::string plain = dir.Touch("plain");
  ProjectPtr project(pm_ProjectCreate());
  SetState(project.get(), kClean);
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectSetFilename(project.get(), (plain + "/site.prj").c_str(), slot.out()), 1);
  EXPECT_EQ(slot.messages(), (std::vector<std::string>{"Error " + plain + " is a file"}));
  EXPECT_EQ(slot.functions(), (std::vector<std::string>{"pm_ProjectSetFilename"}));
  EXPECT_EQ(DerivedOf(project.get()).dirname, plain);
  EXPECT_EQ(StateOf(project.get()), kChanged);
}

TEST(ProjectSetFilename, UncreatableDirectoryFailsAndKeepsWhatWasDerived) {
  TempDir dir;
  ProjectPtr project(pm_ProjectCreate());
  SetState(project.get(), kClean);
  const std::string deep = dir.Path("a/b");
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectSetFilename(project.get(), (deep + "/site.prj").c_str(), slot.out()), 0);
  ASSERT_FALSE(slot.empty());
  EXPECT_EQ(slot.messages()[0], "Error creating directory " + deep);
  EXPECT_EQ(slot.messages().size(), 2u);
  Derived d = DerivedOf(project.get());
  EXPECT_EQ(d.name, "site.prj");
  EXPECT_EQ(d.dirname, deep);
  EXPECT_EQ(StateOf(project.get()), kClean);
}

TEST(ProjectSetFilename, NullNameClearsAllFourAndNullProjectIsIgnored) {
  TempDir dir;
  ProjectPtr project(pm_ProjectCreate());
  ASSERT_EQ(pm_ProjectSetFilename(project.get(), dir.Path("site.prj").c_str(), nullptr), 1);
  SetState(project.get(), kClean);
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectSetFilename(project.get(), nullptr, slot.out()), 0);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(DerivedOf(project.get()), (Derived{"<null>", "<null>", "<null>", "<null>"}));
  EXPECT_EQ(StateOf(project.get()), kClean);

  EXPECT_EQ(pm_ProjectSetFilename(nullptr, "/tmp/site.prj", slot.out()), 0);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(pm_ProjectGetFilename(nullptr), nullptr);
  EXPECT_EQ(pm_ProjectGetDirname(nullptr), nullptr);
  EXPECT_EQ(pm_ProjectGetBasename(nullptr), nullptr);
}

}  // namespace
