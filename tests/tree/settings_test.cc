// Project settings, selection flags, totals and new tile names.
#include <gtest/gtest.h>

#include "project_builder.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

TEST(ProjectSettings, SettersStoreAnyValueAndMarkTheProject) {
  ProjectPtr project(pm_ProjectCreate());
  struct Setting {
    int (*set)(pm_Project *, int32_t);
    int32_t (*get)(pm_Project *);
  };
  for (Setting s : {Setting{pm_ProjectSetType, pm_ProjectGetType}, Setting{pm_ProjectSetUseDotGrid, pm_ProjectGetUseDotGrid},
                    Setting{pm_ProjectSetUsePolyTool, pm_ProjectGetUsePolyTool}}) {
    SetState(project.get(), kClean);
    EXPECT_EQ(s.set(project.get(), 1), 1);
    EXPECT_EQ(s.get(project.get()), 1);
    EXPECT_EQ(StateOf(project.get()), kChanged);
    // Values are not validated: they are only stored and saved.
    EXPECT_EQ(s.set(project.get(), 7), 1);
    EXPECT_EQ(s.get(project.get()), 7);
    EXPECT_EQ(s.set(nullptr, 1), 0);
    EXPECT_EQ(s.get(nullptr), 0);
  }
  EXPECT_EQ(project->type, 7);
  EXPECT_EQ(project->use_dot_grid, 7);
  EXPECT_EQ(project->use_poly_tool, 7);
}

TEST(SelectionFlag, StoredWithoutMarkingAnything) {
  ProjectPtr project(BuildProject());
  MarkAllUnchanged(project.get());
  pm_Tile *tile = project->tiles;
  pm_Sample *sample = tile->samples;
  pm_TileSetAutomatic(tile, 1);
  pm_SampleSetAutomatic(sample, 1);
  EXPECT_EQ(pm_TileGetAutomatic(tile), 1);
  EXPECT_EQ(pm_SampleGetAutomatic(sample), 1);
  EXPECT_EQ(StateOf(tile), kClean);
  EXPECT_EQ(StateOf(sample), kClean);
  EXPECT_EQ(StateOf(project.get()), kClean);
  pm_TileSetAutomatic(nullptr, 1);
  pm_SampleSetAutomatic(nullptr, 1);
  EXPECT_EQ(pm_TileGetAutomatic(nullptr), 0);
  EXPECT_EQ(pm_SampleGetAutomatic(nullptr), 0);
}

TEST(ProjectTotals, CountProjectTilesAndSamplesOnly) {
  ProjectPtr project(pm_ProjectCreate());
  pm_Tile *three = TileWithSamples("A", {"s1", "s2", "s3"});
  pm_ProjectAppendTile(project.get(), three, nullptr);
  pm_ProjectAppendTile(project.get(), pm_TileCreate("B"), nullptr);
  pm_ProjectAppendFile(project.get(), pm_FileCreate("mosaic", nullptr, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(pm_ProjectGetTotalNodes(project.get()), 6);
  EXPECT_EQ(pm_ProjectGetTotalSamples(project.get()), 3);
  pm_SampleDestroy(three->samples);
  EXPECT_EQ(pm_ProjectGetTotalNodes(project.get()), 5);
  EXPECT_EQ(pm_ProjectGetTotalSamples(project.get()), 2);
}

TEST(NewTileName, FillsTheFirstGap) {
  ProjectPtr project(pm_ProjectCreate());
  ReportSlot slot;
  EXPECT_EQ(TakeText(pm_ProjectGetNewTileName(project.get(), "Tile", slot.out())), "Tile0");
  pm_ProjectAppendTile(project.get(), pm_TileCreate("Tile0"), nullptr);
  pm_ProjectAppendTile(project.get(), pm_TileCreate("Tile2"), nullptr);
  EXPECT_EQ(TakeText(pm_ProjectGetNewTileName(project.get(), "Tile", slot.out())), "Tile1");
  EXPECT_TRUE(slot.empty());
  // The name is only proposed: nothing is added.
  EXPECT_EQ(pm_TileGetNumber(project->tiles), 2);
  EXPECT_EQ(pm_ProjectGetNewTileName(nullptr, "Tile", slot.out()), nullptr);
  EXPECT_TRUE(slot.empty());
}

}  // namespace
}  // namespace kestrum_test
