// The project's life cycle: a new project, clearing, destroying a full one,
// replacing its processing containers and reading them by level.
#include <gtest/gtest.h>

#include "project_builder.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

TEST(Project, NewProjectIsEmptyDirtyAndHasBothContainers) {
  ProjectPtr project(pm_ProjectCreate());
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(pm_NodeGetType(project.get()), PM_KIND_PROJECT);
  EXPECT_EQ(pm_ProjectGetName(project.get()), nullptr);
  EXPECT_EQ(project->tiles, nullptr);
  EXPECT_EQ(project->files, nullptr);
  EXPECT_EQ(project->filename, nullptr);
  EXPECT_EQ(pm_ProjectGetType(project.get()), 0);
  EXPECT_EQ(pm_ProjectGetUseDotGrid(project.get()), 0);
  EXPECT_EQ(pm_ProjectGetUsePolyTool(project.get()), 0);
  EXPECT_EQ(StateOf(project.get()), kChanged);
  ASSERT_NE(project->pfa_root, nullptr);
  ASSERT_NE(project->process_lists, nullptr);
  for (int level = 0; level <= 2; ++level) {
    EXPECT_EQ(pm_PFAFileListGetByType(project.get(), level), nullptr);
    EXPECT_EQ(pm_ProcessListGetByType(project.get(), level), nullptr);
  }
  EXPECT_EQ(pm_ProjectGetTotalNodes(project.get()), 1);
}

TEST(Project, ClearEmptiesTheTreeButKeepsSettingsAndContainers) {
  ProjectPtr project(BuildProject());
  ASSERT_NE(project, nullptr);
  pm_ProjectSetType(project.get(), 1);
  pm_ProjectSetUseDotGrid(project.get(), 1);
  pm_ProjectSetUsePolyTool(project.get(), 1);
  project->node.name = tk_StrDuplicate("survey");
  project->filename = tk_StrDuplicate("/data/survey.prj");
  project->dirname = tk_StrDuplicate("/data/survey");
  project->basename = tk_StrDuplicate("survey");
  pm_ProcFiles *root = project->pfa_root;
  pm_ProcessLists *lists = project->process_lists;
  MarkAllUnchanged(project.get());

  pm_ProjectClear(project.get());

  EXPECT_EQ(project->tiles, nullptr);
  EXPECT_EQ(project->files, nullptr);
  EXPECT_EQ(project->node.name, nullptr);
  EXPECT_EQ(project->filename, nullptr);
  EXPECT_EQ(project->dirname, nullptr);
  EXPECT_EQ(project->basename, nullptr);
  EXPECT_EQ(pm_ProjectGetType(project.get()), 1);
  EXPECT_EQ(pm_ProjectGetUseDotGrid(project.get()), 1);
  EXPECT_EQ(pm_ProjectGetUsePolyTool(project.get()), 1);
  EXPECT_EQ(project->pfa_root, root);
  EXPECT_EQ(project->process_lists, lists);
  for (int level = 0; level <= 2; ++level) {
    EXPECT_EQ(root->lists[level], nullptr);
    EXPECT_EQ(lists->lists[level], nullptr);
  }
  // Destroying its tiles and files is a change of the project.
  EXPECT_EQ(StateOf(project.get()), kChanged);
  EXPECT_EQ(pm_ProjectGetTotalNodes(project.get()), 1);

  // A cleared project is fit for use again.
  ReportSlot slot;
  pm_ProjectAppendTile(project.get(), pm_TileCreate("again"), slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(project->tiles), (Strings{"again"}));
}

// Run under the sanitizer build, this fails on any record, text, report or
// container that destroying the project does not free.
TEST(Project, DestroyingABigProjectFreesEverything) {
  ProjectShape shape;
  shape.tiles = 12;
  shape.samples_per_tile = 7;
  pm_Project *project = BuildProject(shape);
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(pm_ProjectGetTotalNodes(project), 1 + 12 + 12 * 7);
  EXPECT_EQ(pm_FileGetNumber(project->files), 2);
  for (int level = 0; level <= 2; ++level) {
    EXPECT_EQ(pm_PFAFileGetNumber(pm_PFAFileListGetByType(project, level)), 2);
    pm_Process *processes = pm_ProcessListGetByType(project, level);
    EXPECT_EQ(pm_ProcessGetNumber(processes), 2);
    EXPECT_EQ(pm_ArgumentGetNumber(processes->arguments), 2);
  }
  pm_Tile *last = pm_TileFindByNumber(project->tiles, 12);
  EXPECT_EQ(NamesOf(pm_SampleFindByNumber(last->samples, 7)->files), (Strings{"plot", "notes"}));
  pm_ProjectDestroy(project);
}

TEST(Project, NullHandlesAreIgnored) {
  pm_ProjectInitialize(nullptr);
  pm_ProjectClear(nullptr);
  pm_ProjectDestroy(nullptr);
  pm_TileInitialize(nullptr);
  pm_TileClear(nullptr);
  pm_SampleInitialize(nullptr);
  pm_SampleClear(nullptr);
  EXPECT_EQ(pm_TileDestroy(nullptr), nullptr);
  EXPECT_EQ(pm_TileDestroyList(nullptr), nullptr);
  EXPECT_EQ(pm_ProjectGetTotalNodes(nullptr), 0);
  EXPECT_EQ(pm_ProjectGetTotalSamples(nullptr), 0);
  EXPECT_EQ(pm_ProcessListGetByType(nullptr, 0), nullptr);
  EXPECT_EQ(pm_PFAFileListGetByType(nullptr, 0), nullptr);
  pm_ProjectTypesApply(nullptr, nullptr, nullptr);
}

TEST(Project, InitializeResetsFieldsWithoutFreeing) {
  TilePtr tile(TileWithSamples("T", {"s1"}));
  pm_Sample *sample = tile->samples;
  pm_TileSetAutomatic(tile.get(), 1);
  SetState(tile.get(), kClean);
  char *name = tile->node.name;
  pm_TileInitialize(tile.get());
  EXPECT_EQ(tile->node.name, nullptr);
  EXPECT_EQ(tile->samples, nullptr);
  EXPECT_EQ(tile->automatic, 0);
  EXPECT_EQ(tile->node.kind, PM_KIND_TILE);
  EXPECT_EQ(StateOf(tile.get()), kChanged);
  // The caller still owns what the tile held: nothing was freed.
  EXPECT_STREQ(name, "T");
  EXPECT_EQ(sample->node.parent, &tile->node);
  sample->node.parent = nullptr;
  pm_SampleDestroy(sample);
  tk_HeapFree(name);
}

TEST(Project, TilesAndSamplesStartDirtyDetachedAndManual) {
  TilePtr tile(pm_TileCreate("T"));
  SamplePtr sample(pm_SampleCreate("S"));
  EXPECT_EQ(StateOf(tile.get()), kChanged);
  EXPECT_TRUE(IsDetached(tile.get()));
  EXPECT_EQ(pm_TileGetAutomatic(tile.get()), 0);
  EXPECT_EQ(tile->samples, nullptr);
  EXPECT_EQ(tile->files, nullptr);
  EXPECT_EQ(StateOf(sample.get()), kChanged);
  EXPECT_TRUE(IsDetached(sample.get()));
  EXPECT_EQ(pm_SampleGetAutomatic(sample.get()), 0);
  EXPECT_EQ(TakeText(pm_SampleGetName(sample.get())), "S");
}

TEST(ProjectTypesApply, ReplacesBothContainersAndFreesTheOldOnes) {
  ProjectPtr project(BuildProject());
  MarkAllUnchanged(project.get());
  pm_ProcFiles *root = pm_ProcFilesCreate();
  root->lists[1] = pm_PFAFileAppend(nullptr, pm_PFAFileCreate("fresh", PM_AOI), nullptr);
  pm_ProcessLists *lists = pm_ProcessListsCreate();
  pm_ProjectTypesApply(project.get(), root, lists);
  EXPECT_EQ(project->pfa_root, root);
  EXPECT_EQ(project->process_lists, lists);
  EXPECT_EQ(NamesOf(pm_PFAFileListGetByType(project.get(), 1)), (Strings{"fresh"}));
  EXPECT_EQ(pm_ProcessListGetByType(project.get(), 0), nullptr);
  EXPECT_EQ(StateOf(project.get()), kClean);
}

// Re-applying the containers the project already holds must keep them:
// destroying them first would leave the project on freed memory.
TEST(ProjectTypesApply, ApplyingTheHeldContainersKeepsThem) {
  ProjectPtr project(BuildProject());
  pm_ProcFiles *root = project->pfa_root;
  pm_ProcessLists *lists = project->process_lists;
  pm_ProjectTypesApply(project.get(), root, lists);
  EXPECT_EQ(project->pfa_root, root);
  EXPECT_EQ(project->process_lists, lists);
  EXPECT_EQ(NamesOf(pm_PFAFileListGetByType(project.get(), 2)), (Strings{"plot", "notes"}));
  EXPECT_EQ(NamesOf(pm_ProcessListGetByType(project.get(), 2)), (Strings{ProcessName(2, 1), ProcessName(2, 2)}));

  // Replacing only one of the two keeps the other.
  pm_ProcessLists *fresh = pm_ProcessListsCreate();
  pm_ProjectTypesApply(project.get(), root, fresh);
  EXPECT_EQ(project->pfa_root, root);
  EXPECT_EQ(project->process_lists, fresh);
  EXPECT_EQ(pm_PFAFileGetNumber(pm_PFAFileListGetByType(project.get(), 0)), 2);
}

TEST(ProjectLevels, ListsByLevelAndNullOutsideZeroToTwo) {
  ProjectPtr project(BuildProject());
  for (int level = 0; level <= 2; ++level) {
    EXPECT_EQ(pm_PFAFileListGetByType(project.get(), level), project->pfa_root->lists[level]);
    EXPECT_STREQ(pm_PFAFileListGetByType(project.get(), level)->node.name, kFileTypes[level][0]);
    EXPECT_EQ(TakeText(pm_ProcessGetName(pm_ProcessListGetByType(project.get(), level))), ProcessName(level, 1));
  }
  for (int level : {-1, 3, 100}) {
    EXPECT_EQ(pm_PFAFileListGetByType(project.get(), level), nullptr);
    EXPECT_EQ(pm_ProcessListGetByType(project.get(), level), nullptr);
  }
  // A project left without containers answers null too.
  pm_ProjectTypesApply(project.get(), nullptr, nullptr);
  EXPECT_EQ(pm_PFAFileListGetByType(project.get(), 0), nullptr);
  EXPECT_EQ(pm_ProcessListGetByType(project.get(), 0), nullptr);
}

}  // namespace
}  // namespace kestrum_test
