// Files that hold what the library never writes: each load fails with the
// chain of the step that refused it, returns nothing and leaves nothing
// behind (the sanitizer build checks for leaks of half-built objects).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "persist/designs.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

// Saves the default test project and lets `doctor` change the file.
std::string Doctored(const TempDir &dir, const std::function<void(TreeFile &)> &doctor) {
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(BuildProject());
  pm_ProjectSaveAs(project.get(), path.c_str(), 0, nullptr);
  TreeFile tree(path, "rb+");
  doctor(tree);
  EXPECT_TRUE(tree.Close());
  return path;
}

// The first `n` messages of the chain a failed load leaves.
Strings LoadFailure(const std::string &path, size_t n) {
  ReportSlot slot;
  pm_Project *project = pm_ProjectLoad(path.c_str(), 0, slot.out());
  EXPECT_EQ(project, nullptr);
  pm_ProjectDestroy(project);
  Strings messages = slot.messages();
  if (messages.size() > n) messages.resize(n);
  return messages;
}

TEST(LoadFailures, DuplicateOrNamelessTilesStopTheLoad) {
  TempDir dir;
  std::string twin = Doctored(dir, [](TreeFile &t) {
    pm::NamedRecord record{Item("tile1"), 0};
    t.Write(":", "twin", "PM_Tile", &record);
  });
  EXPECT_EQ(LoadFailure(twin, 4), (Strings{"Error loading root node", "Error reading tile nodes",
                                           "Error adding tile tile1", "Cannot append tile tile1 to project node"}));
  TempDir other;
  std::string nameless = Doctored(other, [](TreeFile &t) {
    pm::NamedRecord record{Item(nullptr), 1};
    t.Write(":", "nameless", "PM_Tile", &record);
  });
  EXPECT_EQ(LoadFailure(nameless, 3),
            (Strings{"Error loading root node", "Error reading tile nodes", "Error adding tile (null)"}));
}

TEST(LoadFailures, TileWhoseSamplesFailIsReleasedWithEverythingBelowIt) {
  TempDir dir;
  std::string path = Doctored(dir, [](TreeFile &t) {
    pm::NamedRecord record{Item("sample1"), 0};
    t.Write(":tile2", "again", "PM_Sample", &record);
    pm::FileRecord file{Item("Raster"), Item("/x.img"), 1.5, Item(nullptr), Item("c")};
    t.Write(":tile2:again", "Raster", "PM_File", &file);
  });
  EXPECT_EQ(LoadFailure(path, 6), (Strings{"Error loading root node", "Error reading tile nodes",
                                           "Error loading tile :tile2", "Error reading sample nodes",
                                           "Error adding sample to tile", "Cannot append sample sample1 to tile tile2"}));
}

TEST(LoadFailures, DuplicateAssociationsOrArgumentsStopTheLoad) {
  TempDir dir;
  std::string pfa = Doctored(dir, [](TreeFile &t) {
    tk_TreeObjectDelete(t.get(), ":", "Primary Files", TK_DELETE_TREE, nullptr);
    pm::PFAFileRecord twins[] = {{Item("dup"), 0}, {Item("dup"), 9}};
    pm::PFARootRecord record{{2, twins}};
    t.Write(":", "Primary Files", "PM_PFA_Root", &record);
  });
  EXPECT_EQ(LoadFailure(pfa, 4), (Strings{"Error loading root node", "Error reading Level 2 Process File Association Nodes",
                                          "Cannot read PFA file nodes", "Cannot append new PFA File dup"}));
  TempDir other;
  std::string arguments = Doctored(other, [](TreeFile &t) {
    pm::ArgumentRecord twins[] = {{Item("a"), Item("v"), 0, 0, 0}, {Item("a"), Item("w"), 1, 1, 1}};
    pm::ProcessRecord record{Item("twinargs"), Item("T"), Item(nullptr), Item(nullptr), Item(""), 0, {2, twins}};
    t.Write("Root Files", "twinargs", "PM_Process", &record);
  });
  EXPECT_EQ(LoadFailure(arguments, 5),
            (Strings{"Error loading root node", "Error reading Level 1 Processes", "Error loading process :Root Files:twinargs",
                     "Error reading process values", "Error reading process arguments"}));
}

TEST(LoadFailures, MissingLevelNodeFailsAtItsLevel) {
  TempDir dir;
  std::string path = Doctored(dir, [](TreeFile &t) {
    EXPECT_EQ(tk_TreeObjectDelete(t.get(), ":", "Secondary Files", TK_DELETE_TREE, nullptr), 1);
  });
  EXPECT_EQ(LoadFailure(path, 3), (Strings{"Error loading root node",
                                           "Error reading Level 3 Process File Association Nodes",
                                           "Error loading root node"}));
}

TEST(LoadValues, OutOfRangeEnumerationsAndFractionsComeBackUnchanged) {
  TempDir dir;
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(BuildProject());
  pm_ProjectSetType(project.get(), 4);
  pm_ProjectSetUseDotGrid(project.get(), -1);
  pm_TileSetAutomatic(project->tiles, 5);
  pm_SampleSetAutomatic(project->tiles->samples, -2);
  pm_FileSetDate(project->files, -0.0);
  pm_FileSetDate(project->tiles->samples->files, 1e-300);
  pm_PFAFileSetType(pm_PFAFileListGetByType(project.get(), 1), 9);
  pm_Process *process = pm_ProcessListGetByType(project.get(), 2);
  pm_ProcessSetOutput(process, 3);
  pm_ArgumentSetType(process->arguments, 7);
  pm_ArgumentSetMode(process->arguments, 11);
  pm_ArgumentSetHide(process->arguments, -5);
  ReportSlot slot;
  pm_ProjectSaveAs(project.get(), path.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(ProjectDifference(project.get(), loaded.get()), "");
}

}  // namespace
}  // namespace kestrum_test
