// Appending tiles to the project and attaching data files at every level,
// directly and through pm_ParentAppendFile.
#include <gtest/gtest.h>

#include "project_builder.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

pm_File *NewFile(const char *type) { return pm_FileCreate(type, nullptr, 0, nullptr, nullptr); }

TEST(ProjectAppendTile, SecondTileOfTheSameNameIsRefusedWithThreeReports) {
  ProjectPtr project(pm_ProjectCreate());
  pm_Tile *first = pm_TileCreate("T1");
  ReportSlot slot;
  pm_ProjectAppendTile(project.get(), first, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(first->node.parent, &project->node);

  TilePtr twin(pm_TileCreate("T1"));
  pm_ProjectAppendTile(project.get(), twin.get(), slot.out());
  EXPECT_EQ(slot.messages(), (Strings{"Cannot append tile T1 to project node", "Error appending tile T1",
                                      "Name \"T1\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_ProjectAppendTile", "pm_TileAppend", "pm_NodeAppend"}));
  EXPECT_EQ(slot.severities(), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(project->tiles, first);
  EXPECT_EQ(pm_TileGetNumber(project->tiles), 1);
  EXPECT_TRUE(IsDetached(twin.get()));
}

TEST(ProjectAppendTile, TilesKeepOrderAndSortByName) {
  ProjectPtr project(pm_ProjectCreate());
  for (const char *name : {"c", "a", "b"}) pm_ProjectAppendTile(project.get(), pm_TileCreate(name), nullptr);
  EXPECT_EQ(NamesOf(project->tiles), (Strings{"c", "a", "b"}));
  pm_Tile *c = project->tiles;
  SetState(project.get(), kClean);
  EXPECT_EQ(TakeText(pm_TileGetName(pm_ProjectSortTiles(project.get()))), "a");
  EXPECT_EQ(NamesOf(project->tiles), (Strings{"a", "b", "c"}));
  EXPECT_EQ(project->tiles->node.prev, nullptr);
  EXPECT_EQ(StateOf(c), kChanged);
  EXPECT_EQ(StateOf(project.get()), kClean);
}

TEST(ProjectAppendTile, RemovingTheFirstTileKeepsTheProjectOnTheRest) {
  ProjectPtr project(BuildProject());
  MarkAllUnchanged(project.get());
  pm_Tile *first = project->tiles;
  TilePtr removed(first);
  EXPECT_EQ(pm_TileRemove(first), project->tiles);
  EXPECT_EQ(NamesOf(project->tiles), (Strings{TileName(2), TileName(3)}));
  EXPECT_EQ(StateOf(project.get()), kChanged);
  // The removed tile keeps what it owns.
  EXPECT_EQ(pm_SampleGetNumber(first->samples), 2);
  EXPECT_EQ(first->samples->node.parent, &first->node);
}

TEST(FileAttach, SameTypeTwiceOnATileIsRefusedAndTheFirstStays) {
  TilePtr tile(pm_TileCreate("T"));
  pm_File *image = pm_FileCreate("image", "first", 0, nullptr, nullptr);
  ReportSlot slot;
  pm_TileAppendFile(tile.get(), image, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  FilePtr twin(pm_FileCreate("image", "second", 0, nullptr, nullptr));
  pm_TileAppendFile(tile.get(), twin.get(), slot.out());
  EXPECT_EQ(slot.messages().size(), 3u);
  EXPECT_EQ(pm_FileFind(tile->files, "image"), image);
  EXPECT_EQ(TakeText(pm_FileGetDescriptor(pm_FileFind(tile->files, "image"))), "first");
  EXPECT_TRUE(IsDetached(twin.get()));
}

TEST(FileAttach, ProjectAndSampleRefusalsCarryTheirOwnTexts) {
  ProjectPtr project(pm_ProjectCreate());
  pm_ProjectAppendFile(project.get(), NewFile("mosaic"), nullptr);
  FilePtr twin(NewFile("mosaic"));
  ReportSlot slot;
  pm_ProjectAppendFile(project.get(), twin.get(), slot.out());
  EXPECT_EQ(slot.messages(), (Strings{"Cannot add file to project node", "Error appending file mosaic",
                                      "Name \"mosaic\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_ProjectAppendFile", "pm_FileAppend", "pm_NodeAppend"}));

  SamplePtr sample(pm_SampleCreate("S"));
  pm_SampleAppendFile(sample.get(), NewFile("plot"), nullptr);
  FilePtr plot(NewFile("plot"));
  pm_SampleAppendFile(sample.get(), plot.get(), slot.out());
  EXPECT_EQ(slot.messages().front(), "Error adding file plot to sample S");
  EXPECT_EQ(slot.functions().front(), "pm_SampleAppendFile");
  EXPECT_EQ(pm_FileGetNumber(sample->files), 1);
}

TEST(FileAttach, OneTypeMayBeAttachedOnceToEachOfSeveralOwners) {
  ProjectPtr project(BuildProject());
  pm_Tile *t1 = pm_TileFind(project->tiles, TileName(1).c_str());
  pm_Tile *t2 = pm_TileFind(project->tiles, TileName(2).c_str());
  pm_File *on_t1 = pm_FileFind(t1->files, "image");
  pm_File *on_t2 = pm_FileFind(t2->files, "image");
  ASSERT_NE(on_t1, nullptr);
  ASSERT_NE(on_t2, nullptr);
  EXPECT_NE(on_t1, on_t2);
  EXPECT_EQ(on_t1->node.parent, &t1->node);
  EXPECT_EQ(on_t2->node.parent, &t2->node);
  EXPECT_EQ(TakeText(pm_FileGetDescriptor(on_t2)), DescriptorFor(ProjectShape(), TileName(2), "image"));
}

TEST(FileAttach, NullOwnerOrFileDoesNothing) {
  TilePtr tile(pm_TileCreate("T"));
  FilePtr file(NewFile("image"));
  ReportSlot slot;
  pm_TileAppendFile(nullptr, file.get(), slot.out());
  pm_ProjectAppendFile(nullptr, file.get(), slot.out());
  pm_SampleAppendFile(nullptr, file.get(), slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_TRUE(IsDetached(file.get()));
  pm_TileAppendFile(tile.get(), nullptr, slot.out());
  EXPECT_EQ(tile->files, nullptr);
  // A file without a type cannot be told apart in its list: not attached.
  FilePtr untyped(NewFile(nullptr));
  pm_TileAppendFile(tile.get(), untyped.get(), slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(tile->files, nullptr);
  EXPECT_TRUE(IsDetached(untyped.get()));
}

TEST(ParentAppendFile, DispatchesOnTheParentsKind) {
  ProjectPtr project(pm_ProjectCreate());
  pm_Tile *tile = pm_TileCreate("T");
  pm_ProjectAppendTile(project.get(), tile, nullptr);
  pm_Sample *sample = pm_SampleCreate("S");
  pm_TileAppendSample(tile, sample, nullptr);
  ReportSlot slot;
  EXPECT_EQ(pm_ParentAppendFile(project.get(), NewFile("mosaic"), slot.out()), 0);
  EXPECT_EQ(pm_ParentAppendFile(tile, NewFile("image"), slot.out()), 0);
  EXPECT_EQ(pm_ParentAppendFile(sample, NewFile("plot"), slot.out()), 0);
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(project->files), (Strings{"mosaic"}));
  EXPECT_EQ(NamesOf(tile->files), (Strings{"image"}));
  EXPECT_EQ(NamesOf(sample->files), (Strings{"plot"}));
  EXPECT_EQ(pm_FileGetParentType(sample->files, slot.out()), PM_KIND_SAMPLE);
}

TEST(ParentAppendFile, RefusalAddsItsReportOverTheOwners) {
  TilePtr tile(pm_TileCreate("T"));
  pm_ParentAppendFile(tile.get(), NewFile("image"), nullptr);
  FilePtr twin(NewFile("image"));
  ReportSlot slot;
  EXPECT_NE(pm_ParentAppendFile(tile.get(), twin.get(), slot.out()), 0);
  EXPECT_EQ(slot.messages(),
            (Strings{"Cannot append file to parent node", "Error adding file image to tile T", "Error appending file image",
                     "Name \"image\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(),
            (Strings{"pm_ParentAppendFile", "pm_TileAppendFile", "pm_FileAppend", "pm_NodeAppend"}));
}

TEST(ParentAppendFile, ParentThatCannotHoldFilesIsRefusedWithoutAReport) {
  FilePtr holder(NewFile("holder"));
  FilePtr file(NewFile("image"));
  ReportSlot slot;
  EXPECT_NE(pm_ParentAppendFile(holder.get(), file.get(), slot.out()), 0);
  EXPECT_TRUE(slot.empty());
  EXPECT_TRUE(IsDetached(file.get()));
  EXPECT_NE(pm_ParentAppendFile(nullptr, file.get(), slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

}  // namespace
}  // namespace kestrum_test
