// List rebuilds: a node's data files from associations, a project's tiles and
// a tile's samples from names, and the lookup from a data file back to its
// association. Leaks and double frees in the failure paths show up in the
// sanitizer build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "include/kestrum.h"
#include "project_builder.h"
#include "report_slot.h"

namespace {

using kestrum_test::BuildProject;
using kestrum_test::MarkAllUnchanged;
using kestrum_test::PFAPtr;
using kestrum_test::ProjectPtr;
using kestrum_test::ProjectShape;
using kestrum_test::ReportSlot;
using Names = std::vector<std::string>;

template <typename T>
Names NamesOf(T *list) {
  Names names;
  for (T *n = list; n; n = reinterpret_cast<T *>(n->node.next)) names.emplace_back(n->node.name ? n->node.name : "");
  return names;
}

template <typename T>
bool IsDirty(const T *record) {
  return record->node.state->changed != 0 && record->node.state->saved == 0;
}

// A PFA list of the given names, linked without the uniqueness check so that
// a test can hand the rebuild a list that names one kind twice.
pm_PFAFile *PfaList(const Names &names) {
  pm_PFAFile *list = nullptr;
  for (const std::string &name : names)
    list = static_cast<pm_PFAFile *>(tk_ListAdd(list, TK_LIST_APPEND, pm_PFAFileCreate(name.c_str(), PM_RASTER)));
  return list;
}

// A tile of its own (no project) with data files of the given types; the
// first gets a descriptor so that a test can tell the record apart.
pm_Tile *TileWithFiles(const Names &types) {
  pm_Tile *tile = pm_TileCreate("T");
  for (const std::string &type : types)
    pm_TileAppendFile(tile, pm_FileCreate(type.c_str(), (type + ".tif").c_str(), 7, nullptr, nullptr), nullptr);
  pm_TileUnchanged(tile);
  pm_FileListUnchanged(tile->files);
  return tile;
}

// ---- data files from associations -----------------------------------------------

TEST(SetFileListFromPfa, ReusesSurvivingFilesInAssociationOrderAndDestroysTheRest) {
  pm_Tile *tile = TileWithFiles({"a", "x"});
  pm_File *a = tile->files;
  PFAPtr pfa(PfaList({"b", "a"}));
  ReportSlot slot;
  pm_SetFileListFromPFA(pfa.get(), tile, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(tile->files), (Names{"b", "a"}));
  pm_File *b = tile->files;
  EXPECT_EQ(b->descriptor, nullptr);
  EXPECT_EQ(b->time, 0);
  EXPECT_TRUE(IsDirty(b));
  EXPECT_EQ(b->node.parent, &tile->node);
  EXPECT_EQ(pm_FileFind(tile->files, "a"), a) << "the same record is kept";
  EXPECT_STREQ(a->descriptor, "a.tif");
  EXPECT_FALSE(IsDirty(a)) << "keeping a file marks nothing";
  EXPECT_EQ(a->node.parent, &tile->node);
  EXPECT_TRUE(IsDirty(tile)) << "destroying x marks its owner";
  pm_TileDestroy(tile);
}

TEST(SetFileListFromPfa, NullAssociationsLeaveTheNodeWithoutFiles) {
  pm_Tile *tile = TileWithFiles({"a", "x"});
  pm_SetFileListFromPFA(nullptr, tile, nullptr);
  EXPECT_EQ(tile->files, nullptr);
  EXPECT_TRUE(IsDirty(tile));
  pm_TileDestroy(tile);
}

TEST(SetFileListFromPfa, WorksOnProjectAndSampleAndIgnoresOtherRecords) {
  PFAPtr pfa(PfaList({"one", "two"}));
  pm_Project *project = pm_ProjectCreate();
  pm_Sample *sample = pm_SampleCreate("s");
  pm_File *file = pm_FileCreate("f", nullptr, 0, nullptr, nullptr);
  ReportSlot slot;
  pm_SetFileListFromPFA(pfa.get(), project, slot.out());
  EXPECT_EQ(NamesOf(project->files), (Names{"one", "two"}));
  pm_SetFileListFromPFA(pfa.get(), sample, slot.out());
  EXPECT_EQ(NamesOf(sample->files), (Names{"one", "two"}));
  pm_SetFileListFromPFA(pfa.get(), file, slot.out());
  pm_SetFileListFromPFA(pfa.get(), nullptr, slot.out());
  EXPECT_TRUE(slot.empty());
  pm_FileDestroy(file);
  pm_SampleDestroy(sample);
  pm_ProjectDestroy(project);
}

TEST(SetFileListFromPfa, StopsAtAKindNamedTwiceKeepingWhatWasPlacedAndReleasingTheRest) {
  pm_Tile *tile = TileWithFiles({"a", "z"});
  pm_File *a = tile->files;
  PFAPtr pfa(PfaList({"a", "b", "a", "c"}));
  ReportSlot slot;
  pm_SetFileListFromPFA(pfa.get(), tile, slot.out());
  EXPECT_EQ(slot.messages(),
            (Names{"Error adding file to parent", "Cannot append file to parent node", "Error adding file a to tile T",
                   "Error appending file a", "Name \"a\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Names{"pm_SetFileListFromPFA", "pm_ParentAppendFile", "pm_TileAppendFile",
                                     "pm_FileAppend", "pm_NodeAppend"}));
  EXPECT_EQ(NamesOf(tile->files), (Names{"a", "b"}));
  EXPECT_EQ(tile->files, a);
  pm_TileDestroy(tile);
}

TEST(SetFileListFromPfa, NamelessAssociationGetsNoFile) {
  PFAPtr pfa(PfaList({"a", "b"}));
  ASSERT_EQ(pm_PFAFileSetName(pfa.get(), nullptr, nullptr), 1);
  pm_Sample *sample = pm_SampleCreate("s");
  ReportSlot slot;
  pm_SetFileListFromPFA(pfa.get(), sample, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(sample->files), (Names{"b"}));
  pm_SampleDestroy(sample);
}

// ---- from a data file back to its association ----------------------------------------

TEST(PfaFileFindFromFile, LooksOnlyAtTheLevelOfTheFilesOwner) {
  ProjectPtr p(BuildProject());
  pm_Tile *tile = p->tiles;
  pm_File *image = pm_FileFind(tile->files, "image");
  ReportSlot slot;
  EXPECT_EQ(pm_PFAFileFindFromFile(p.get(), image, slot.out()), pm_PFAFileFind(p->pfa_root->lists[1], "image"));
  EXPECT_TRUE(slot.empty());

  // "image" is a level 1 kind: a sample's file of that name has no association.
  pm_File *stray = pm_FileCreate("image", nullptr, 0, nullptr, nullptr);
  pm_SampleAppendFile(tile->samples, stray, nullptr);
  EXPECT_EQ(pm_PFAFileFindFromFile(p.get(), stray, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Names{"Cannot find corresponding PFA File for \"image\""}));
  EXPECT_EQ(slot.functions(), (Names{"pm_PFAFileFindFromFile"}));

  pm_File *plot = pm_FileFind(tile->samples->files, "plot");
  EXPECT_EQ(pm_PFAFileFindFromFile(p.get(), plot, slot.out()), pm_PFAFileFind(p->pfa_root->lists[2], "plot"));
}

TEST(PfaFileFindFromFile, ReportsDetachedFilesAndMissingLevelLists) {
  ProjectShape shape;
  shape.processing = false;
  ProjectPtr p(BuildProject(shape));
  ReportSlot slot;
  pm_File *detached = pm_FileCreate("image", nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(pm_PFAFileFindFromFile(p.get(), detached, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Names{"Cannot get type of parent node for file \"image\"", "No parent to check"}));
  EXPECT_EQ(pm_PFAFileFindFromFile(p.get(), nullptr, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Names{"Cannot get type of parent node for file \"(null)\"", "No file to check"}));
  pm_FileDestroy(detached);

  EXPECT_EQ(pm_PFAFileFindFromFile(p.get(), p->tiles->files, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Names{"Cannot find correct PFA file list for this level"}));
}

// ---- tiles and samples from names --------------------------------------------------------

class TileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_.reset(BuildProject());
    MarkAllUnchanged(project_.get());
    for (int n = 1; n <= 3; ++n) before_.push_back(pm_TileFindByNumber(project_->tiles, n));
  }
  void Set(const std::vector<const char *> &names, int count = -1) {
    pm_ProjectSetTileList(project_.get(), count < 0 ? static_cast<int>(names.size()) : count, names.data(),
                          slot_.out());
  }
  pm_Project *p() { return project_.get(); }

  ProjectPtr project_;
  std::vector<pm_Tile *> before_;  // tile1, tile2, tile3 as built
  ReportSlot slot_;
};

TEST_F(TileListTest, KeepsNamedTilesInTheGivenOrderAndDestroysTheRest) {
  Set({"tile2", "tile1"});
  EXPECT_TRUE(slot_.empty()) << slot_.text();
  EXPECT_EQ(NamesOf(p()->tiles), (Names{"tile2", "tile1"}));
  EXPECT_EQ(p()->tiles, before_[1]);
  EXPECT_EQ(pm_TileFindByNumber(p()->tiles, 2), before_[0]);
  EXPECT_EQ(NamesOf(before_[1]->samples), (Names{"sample1", "sample2"})) << "a kept tile keeps its samples";
  EXPECT_EQ(before_[1]->node.parent, &p()->node);
  EXPECT_FALSE(IsDirty(before_[0]));
  EXPECT_FALSE(IsDirty(before_[1]));
  EXPECT_TRUE(IsDirty(p())) << "destroying tile3 marks the project";
}

TEST_F(TileListTest, PureReorderingChangesNoFlags) {
  Set({"tile3", "tile1", "tile2"});
  EXPECT_EQ(NamesOf(p()->tiles), (Names{"tile3", "tile1", "tile2"}));
  EXPECT_EQ(pm_ProjectDirty(p()), 0);
}

TEST_F(TileListTest, NewTileGetsOneEmptyFilePerLevelOneAssociation) {
  Set({"tile1", "fresh"});
  pm_Tile *fresh = pm_TileFind(p()->tiles, "fresh");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(NamesOf(fresh->files), (Names{"image", "grid"}));
  EXPECT_EQ(fresh->files->descriptor, nullptr);
  EXPECT_EQ(fresh->samples, nullptr);
  EXPECT_EQ(fresh->node.parent, &p()->node);
  EXPECT_TRUE(IsDirty(fresh));
}

TEST_F(TileListTest, NullNameEndsTheListEarly) {
  Set({"tile3", nullptr, "tile1"}, 3);
  EXPECT_TRUE(slot_.empty());
  EXPECT_EQ(NamesOf(p()->tiles), (Names{"tile3"}));
}

TEST_F(TileListTest, NoNamesEmptiesTheProject) {
  Set({"tile1"}, 0);
  EXPECT_EQ(p()->tiles, nullptr);
  EXPECT_TRUE(IsDirty(p()));
  pm_ProjectUnchanged(p());
  pm_ProjectSetTileList(p(), 2, nullptr, slot_.out());
  EXPECT_EQ(p()->tiles, nullptr);
  EXPECT_FALSE(IsDirty(p())) << "nothing left to destroy, nothing marked";
  pm_ProjectSetTileList(nullptr, 1, nullptr, slot_.out());
  EXPECT_TRUE(slot_.empty());
}

// A name given twice: the duplicate is refused, and neither it nor the former
// tiles that were not reached yet are lost or leaked.
TEST_F(TileListTest, NameGivenTwiceStopsAndKeepsFormerTilesNotYetReached) {
  Set({"tile2", "fresh", "tile2", "tile1"});
  EXPECT_EQ(slot_.messages(), (Names{"Cannot append tile tile2 to project", "Cannot append tile tile2 to project node",
                                     "Error appending tile tile2",
                                     "Name \"tile2\" already in use, please use another name"}));
  EXPECT_EQ(slot_.functions(),
            (Names{"pm_ProjectSetTileList", "pm_ProjectAppendTile", "pm_TileAppend", "pm_NodeAppend"}));
  EXPECT_EQ(slot_.severities(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(NamesOf(p()->tiles), (Names{"tile2", "fresh", "tile1", "tile3"}));
  EXPECT_EQ(pm_TileFind(p()->tiles, "tile1"), before_[0]);
  EXPECT_EQ(pm_TileFind(p()->tiles, "tile3"), before_[2]);
  EXPECT_EQ(before_[2]->node.parent, &p()->node);
  EXPECT_EQ(NamesOf(before_[2]->samples), (Names{"sample1", "sample2"}));
  EXPECT_FALSE(IsDirty(p())) << "nothing was destroyed";
}

TEST_F(TileListTest, FailingToSetFilesKeepsTheFormerListWhole) {
  // The level 1 associations name "image" twice, so a new tile's files
  // cannot be built; new tiles are made before any tile moves.
  pm_PFAFile *level1 = p()->pfa_root->lists[1];
  tk_ListAdd(level1, TK_LIST_APPEND, pm_PFAFileCreate("image", PM_RASTER));
  Set({"tile3", "fresh", "tile1"});
  ASSERT_GE(slot_.messages().size(), 2u);
  EXPECT_EQ(slot_.messages()[0], "Cannot set files for tile fresh");
  EXPECT_EQ(slot_.messages()[1], "Error adding file to parent");
  EXPECT_EQ(NamesOf(p()->tiles), (Names{"tile1", "tile2", "tile3"}));
  EXPECT_EQ(p()->tiles, before_[0]);
  EXPECT_FALSE(IsDirty(p())) << "nothing was destroyed";
}

TEST(SampleList, RebuildsFromLevelTwoAssociationsOfTheTilesProject) {
  ProjectPtr p(BuildProject());
  MarkAllUnchanged(p.get());
  pm_Tile *tile = p->tiles;
  pm_Sample *second = pm_SampleFind(tile->samples, "sample2");
  std::vector<const char *> names{"sample2", "extra"};
  ReportSlot slot;
  pm_TileSetSampleList(tile, 2, names.data(), slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(tile->samples), (Names{"sample2", "extra"}));
  EXPECT_EQ(tile->samples, second);
  EXPECT_EQ(NamesOf(pm_SampleFind(tile->samples, "extra")->files), (Names{"plot", "notes"}));
  EXPECT_TRUE(IsDirty(tile)) << "destroying sample1 marks the tile";
  EXPECT_FALSE(IsDirty(p.get()));

  std::vector<const char *> twice{"extra", "extra", "sample2"};
  pm_TileUnchanged(tile);
  pm_TileSetSampleList(tile, 3, twice.data(), slot.out());
  EXPECT_EQ(slot.messages(), (Names{"Cannot append sample extra to tile tile1", "Cannot append sample extra to tile tile1",
                                    "Error appending sample extra",
                                    "Name \"extra\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions()[0], "pm_TileSetSampleList");
  EXPECT_EQ(NamesOf(tile->samples), (Names{"extra", "sample2"}));
  EXPECT_FALSE(IsDirty(tile));
}

TEST(SampleList, TileOutsideAProjectGetsSamplesWithoutFiles) {
  pm_Tile *tile = pm_TileCreate("loose");
  std::vector<const char *> names{"a", "b"};
  ReportSlot slot;
  pm_TileSetSampleList(tile, 2, names.data(), slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(NamesOf(tile->samples), (Names{"a", "b"}));
  EXPECT_EQ(tile->samples->files, nullptr);
  pm_TileSetSampleList(nullptr, 2, names.data(), slot.out());
  EXPECT_TRUE(slot.empty());
  pm_TileDestroy(tile);
}

}  // namespace
