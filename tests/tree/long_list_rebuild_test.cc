// Rebuilding tile and sample lists long enough that the rebuild indexes the
// names: order, record identity, links and reports must be those of a short
// list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

Strings Numbered(const char *stem, int count) {
  Strings names;
  for (int i = 0; i < count; ++i) names.push_back(std::string(stem) + std::to_string(i));
  return names;
}

std::vector<const char *> Pointers(const Strings &names) {
  std::vector<const char *> out;
  for (const std::string &n : names) out.push_back(n.c_str());
  return out;
}

pm_Project *ProjectWithTiles(int count) {
  pm_Project *project = pm_ProjectCreate();
  for (const std::string &name : Numbered("tile ", count)) {
    ReportSlot slot;
    pm_ProjectAppendTile(project, pm_TileCreate(name.c_str()), slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
  }
  return project;
}

std::vector<pm_Tile *> TilesOf(pm_Project *project) {
  std::vector<pm_Tile *> out;
  for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) out.push_back(t);
  return out;
}

TEST(LongTileList, ReversingKeepsEveryRecordWithSoundLinksAndParents) {
  for (int count : {5, 200}) {
    ProjectPtr project(ProjectWithTiles(count));
    std::vector<pm_Tile *> before = TilesOf(project.get());
    Strings names = NamesOf(project->tiles);
    std::reverse(names.begin(), names.end());
    ReportSlot slot;
    pm_ProjectSetTileList(project.get(), count, Pointers(names).data(), slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
    std::vector<pm_Tile *> after = TilesOf(project.get());
    std::reverse(before.begin(), before.end());
    EXPECT_EQ(after, before) << "records are moved, never recreated";
    EXPECT_EQ(NamesOf(project->tiles), names);
    EXPECT_EQ(ProjectStructureProblem(project.get()), "");
    EXPECT_EQ(pm_ProjectGetTotalNodes(project.get()), count + 1);
  }
}

TEST(LongTileList, NewNamesAreCreatedAndDroppedOnesDestroyedInTheGivenOrder) {
  ProjectPtr project(ProjectWithTiles(100));
  // Keep every other tile, interleaved with new ones.
  Strings names;
  for (int i = 98; i >= 0; i -= 2) {
    names.push_back(std::string("tile ") + std::to_string(i));
    names.push_back(std::string("new ") + std::to_string(i));
  }
  pm_Tile *kept = pm_TileFind(project->tiles, "tile 50");
  ReportSlot slot;
  pm_ProjectSetTileList(project.get(), static_cast<int>(names.size()), Pointers(names).data(), slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(project->tiles), names);
  EXPECT_EQ(pm_TileFind(project->tiles, "tile 50"), kept);
  EXPECT_EQ(pm_TileFind(project->tiles, "tile 51"), nullptr);
  EXPECT_EQ(ProjectStructureProblem(project.get()), "");
}

// A name given twice is refused at its second place with the reports of an
// ordinary append, whatever the length of the list; the tiles not reached
// are put back after those placed.
TEST(LongTileList, RepeatedNameStopsWithTheOrdinaryReportsAndKeepsTheRest) {
  for (int count : {4, 120}) {
    ProjectPtr project(ProjectWithTiles(count));
    Strings names = {"tile 1", "tile 0", "tile 1"};
    ReportSlot slot;
    pm_ProjectSetTileList(project.get(), 3, Pointers(names).data(), slot.out());
    EXPECT_EQ(slot.functions(), (Strings{"pm_ProjectSetTileList", "pm_ProjectAppendTile", "pm_TileAppend",
                                         "pm_NodeAppend"}))
        << count;
    EXPECT_EQ(slot.messages().back(), "Name \"tile 1\" already in use, please use another name");
    Strings expected = {"tile 1", "tile 0"};
    for (int i = 2; i < count; ++i) expected.push_back(std::string("tile ") + std::to_string(i));
    EXPECT_EQ(NamesOf(project->tiles), expected) << count;
    EXPECT_EQ(ProjectStructureProblem(project.get()), "");
  }
}

TEST(LongSampleList, RebuildOfALongSampleListKeepsRecordsAndOrder) {
  ProjectPtr project(ProjectWithTiles(1));
  pm_Tile *tile = project->tiles;
  Strings names = Numbered("s", 80);
  ReportSlot slot;
  pm_TileSetSampleList(tile, 80, Pointers(names).data(), slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  pm_Sample *s40 = pm_SampleFind(tile->samples, "s40");
  std::reverse(names.begin(), names.end());
  pm_TileSetSampleList(tile, 80, Pointers(names).data(), slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(tile->samples), names);
  EXPECT_EQ(pm_SampleFind(tile->samples, "s40"), s40);
  EXPECT_EQ(ProjectStructureProblem(project.get()), "");
}

}  // namespace
}  // namespace kestrum_test
