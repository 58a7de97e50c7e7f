// Renaming with unique names, and finding new names that fill gaps.
#include <gtest/gtest.h>

#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

TEST(NodeRename, NewUniqueNameIsStoredAndMarksTheNode) {
  TilePtr tile(TileWithSamples("T", {"s1", "s2"}));
  pm_Sample *s1 = tile->samples;
  SetState(s1, kClean);
  SetState(tile.get(), kClean);
  ReportSlot slot;
  EXPECT_EQ(pm_SampleSetName(s1, "renamed", slot.out()), 1);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(TakeText(pm_SampleGetName(s1)), "renamed");
  EXPECT_EQ(StateOf(s1), kChanged);
  EXPECT_EQ(StateOf(tile.get()), kClean);
  EXPECT_EQ(pm_SampleFind(tile->samples, "s1"), nullptr);
}

TEST(NodeRename, OwnCurrentNameIsRefused) {
  TilePtr tile(TileWithSamples("T", {"s1"}));
  pm_Sample *s1 = tile->samples;
  SetState(s1, kClean);
  ReportSlot slot;
  EXPECT_EQ(pm_SampleSetName(s1, "s1", slot.out()), 0);
  EXPECT_EQ(slot.messages(),
            (Strings{"Error changing sample name to s1", "Name \"s1\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_SampleSetName", "pm_NodeSetName"}));
  EXPECT_EQ(StateOf(s1), kClean);
}

TEST(NodeRename, SiblingsNameIsRefusedAndTheNameKept) {
  TilePtr tile(TileWithSamples("T", {"s1", "s2"}));
  pm_Sample *s2 = pm_SampleFind(tile->samples, "s2");
  ReportSlot slot;
  EXPECT_EQ(pm_SampleSetName(s2, "s1", slot.out()), 0);
  EXPECT_EQ(slot.messages().front(), "Error changing sample name to s1");
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"s1", "s2"}));
  // A name differing only in case is another name.
  EXPECT_EQ(pm_SampleSetName(s2, "S1", slot.out()), 1);
  EXPECT_TRUE(slot.empty());
}

TEST(NodeRename, DetachedNodeOnlyConflictsWithItself) {
  TilePtr tile(pm_TileCreate("T1"));
  EXPECT_EQ(pm_TileSetName(tile.get(), "T1", nullptr), 0);
  ReportSlot slot;
  EXPECT_EQ(pm_TileSetName(tile.get(), "T2", slot.out()), 1);
  EXPECT_TRUE(slot.empty());
}

TEST(NodeRename, FileTypeChangeUsesItsOwnReport) {
  TilePtr tile(pm_TileCreate("T"));
  pm_TileAppendFile(tile.get(), pm_FileCreate("image", nullptr, 0, nullptr, nullptr), nullptr);
  pm_File *grid = pm_FileCreate("grid", nullptr, 0, nullptr, nullptr);
  pm_TileAppendFile(tile.get(), grid, nullptr);
  ReportSlot slot;
  EXPECT_EQ(pm_FileSetType(grid, "image", slot.out()), 0);
  EXPECT_EQ(slot.messages(), (Strings{"Error changing file type to image",
                                      "Name \"image\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_FileSetType", "pm_NodeSetName"}));
  EXPECT_EQ(TakeText(pm_FileGetType(grid)), "grid");
}

// Clearing a name is allowed once per list: a second nameless node would be
// a duplicate, since two null names are equal.
TEST(NodeRename, OnlyOneNodeOfAListMayLoseItsName) {
  TilePtr tile(TileWithSamples("T", {"s1", "s2"}));
  pm_Sample *s1 = pm_SampleFind(tile->samples, "s1");
  pm_Sample *s2 = pm_SampleFind(tile->samples, "s2");
  EXPECT_EQ(pm_SampleSetName(s1, nullptr, nullptr), 1);
  EXPECT_EQ(s1->node.name, nullptr);
  ReportSlot slot;
  EXPECT_EQ(pm_SampleSetName(s2, nullptr, slot.out()), 0);
  EXPECT_FALSE(slot.empty());
  EXPECT_STREQ(s2->node.name, "s2");
}

TEST(NodeRename, NullNodeIsRefusedWithoutAReport) {
  ReportSlot slot;
  EXPECT_EQ(pm_TileSetName(nullptr, "x", slot.out()), 0);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(pm_FileSetType(nullptr, "x", slot.out()), 0);
  EXPECT_TRUE(slot.empty());
}

TEST(NodeNewName, SmallestFreeNumberFillsGaps) {
  TilePtr tile(TileWithSamples("T", {"S0", "S1", "S3"}));
  ReportSlot slot;
  EXPECT_EQ(TakeText(pm_TileGetNewSampleName(tile.get(), "S", slot.out())), "S2");
  EXPECT_TRUE(slot.empty());
  pm_SampleDestroy(pm_SampleFind(tile->samples, "S0"));
  EXPECT_EQ(TakeText(pm_TileGetNewSampleName(tile.get(), "S", nullptr)), "S0");
}

TEST(NodeNewName, EmptyListStartsAtZeroAndOtherBasesAreIndependent) {
  TilePtr tile(pm_TileCreate("T"));
  EXPECT_EQ(TakeText(pm_TileGetNewSampleName(tile.get(), "Sample", nullptr)), "Sample0");
  TilePtr other(TileWithSamples("T", {"Sample0", "s0"}));
  EXPECT_EQ(TakeText(pm_TileGetNewSampleName(other.get(), "Sample", nullptr)), "Sample1");
  EXPECT_EQ(TakeText(pm_TileGetNewSampleName(other.get(), "sample", nullptr)), "sample0");
}

TEST(NodeNewName, NullTileGivesNullWithoutAReport) {
  ReportSlot slot;
  EXPECT_EQ(pm_TileGetNewSampleName(nullptr, "S", slot.out()), nullptr);
  EXPECT_TRUE(slot.empty());
}

// Ten thousand candidates (0 to 9999) are tried and no more.
TEST(NodeNewName, AllTenThousandCandidatesTakenIsReported) {
  pm_Tile *tile = pm_TileCreate("T");
  // Link the samples directly: ten thousand checked appends would take
  // quadratic time for nothing this test is about.
  pm_Node *last = nullptr;
  for (int n = 0; n <= 9999; ++n) {
    pm_Sample *sample = pm_SampleCreate(("S" + std::to_string(n)).c_str());
    sample->node.parent = &tile->node;
    sample->node.prev = last;
    if (last)
      last->next = &sample->node;
    else
      tile->samples = sample;
    last = &sample->node;
  }
  ReportSlot slot;
  EXPECT_EQ(pm_TileGetNewSampleName(tile, "S", slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Strings{"Cannot find a new sample name", "Cannot create name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_TileGetNewSampleName", "pm_NodeGetNewName"}));
  // The last candidate is still one of them.
  pm_SampleDestroy(pm_SampleFind(tile->samples, "S9999"));
  EXPECT_EQ(TakeText(pm_TileGetNewSampleName(tile, "S", nullptr)), "S9999");
  pm_TileDestroy(tile);
}

}  // namespace
}  // namespace kestrum_test
