// Loading lists long enough that the load indexes the names it links: the
// loaded project must equal the saved one, links and order included, and a
// repeated name must still stop the load with the ordinary reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "full_project.h"
#include "persist/designs.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

FullShape LongShape() {
  FullShape shape;
  shape.tiles = 45;
  shape.samples = 40;
  shape.files = 3;
  return shape;
}

TEST(LongListLoad, LongTileAndSampleListsLoadAsSavedInOrder) {
  TempDir dir;
  std::string path = dir.Path("long.qdx");
  ProjectPtr saved(BuildFullProject(path, LongShape()));
  ASSERT_TRUE(saved);
  ReportSlot slot;
  pm_ProjectSave(saved.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(ProjectDifference(saved.get(), loaded.get()), "");
  EXPECT_EQ(ProjectStructureProblem(loaded.get()), "");
  EXPECT_EQ(pm_ProjectDirty(loaded.get()), 0);
  // Saving the loaded project again gives the same file.
  std::string before = FileBytes(path);
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(FileBytes(path), before);
}

TEST(LongListLoad, RepeatedTileNameInALongListStopsTheLoadWithTheOrdinaryReports) {
  TempDir dir;
  std::string path = dir.Path("twin.qdx");
  ProjectPtr saved(BuildFullProject(path, LongShape()));
  ASSERT_TRUE(saved);
  std::string repeated = saved->tiles->node.name;
  ReportSlot slot;
  pm_ProjectSave(saved.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  {
    TreeFile tree(path, "rb+");
    pm::NamedRecord record{Item(repeated.c_str()), 0};
    tree.Write(":", "twin", "PM_Tile", &record);
    EXPECT_TRUE(tree.Close());
  }
  pm_Project *project = pm_ProjectLoad(path.c_str(), 0, slot.out());
  EXPECT_EQ(project, nullptr);
  pm_ProjectDestroy(project);
  Strings messages = slot.messages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages[2], "Error adding tile " + repeated);
  EXPECT_EQ(messages[3], "Cannot append tile " + repeated + " to project node");
  EXPECT_EQ(messages.back(), "Name \"" + repeated + "\" already in use, please use another name");
}

}  // namespace
}  // namespace kestrum_test
