// Finding nodes by name and number, counts, positions, name lists and kinds.
#include <gtest/gtest.h>

#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

class ThreeSamples : public ::testing::Test {
 protected:
  TilePtr tile{TileWithSamples("T", {"a", "b", "c"})};
  pm_Sample *a = pm_SampleFind(tile->samples, "a");
  pm_Sample *b = pm_SampleFind(tile->samples, "b");
  pm_Sample *c = pm_SampleFind(tile->samples, "c");
};

TEST_F(ThreeSamples, PositionsRunFromOneToTheLength) {
  EXPECT_EQ(pm_SampleGetPosition(a), 1);
  EXPECT_EQ(pm_SampleGetPosition(b), 2);
  EXPECT_EQ(pm_SampleGetPosition(c), 3);
  EXPECT_EQ(pm_SampleGetPosition(nullptr), 0);
}

TEST_F(ThreeSamples, CountIsTheWholeListFromAnyElement) {
  EXPECT_EQ(pm_SampleGetNumber(a), 3);
  EXPECT_EQ(pm_SampleGetNumber(b), 3);
  EXPECT_EQ(pm_SampleGetNumber(c), 3);
  EXPECT_EQ(pm_SampleGetNumber(nullptr), 0);
}

TEST_F(ThreeSamples, FindByNumberCoversOneToTheLengthOnly) {
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 1), a);
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 3), c);
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 4), nullptr);
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 0), nullptr);
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, -1), nullptr);
  EXPECT_EQ(pm_SampleFindByNumber(nullptr, 1), nullptr);
  // Numbers count from the list's first element, whatever element is given.
  EXPECT_EQ(pm_SampleFindByNumber(c, 1), a);
}

TEST_F(ThreeSamples, FindByNameSearchesTheWholeListFromAnyElement) {
  EXPECT_EQ(pm_SampleFind(tile->samples, "c"), c);
  EXPECT_EQ(pm_SampleFind(c, "a"), a);
  EXPECT_EQ(pm_SampleFind(tile->samples, "d"), nullptr);
  EXPECT_EQ(pm_SampleFind(tile->samples, "A"), nullptr);
  EXPECT_EQ(pm_SampleFind(tile->samples, "a "), nullptr);
  EXPECT_EQ(pm_SampleFind(nullptr, "a"), nullptr);
}

TEST_F(ThreeSamples, NumbersFollowRemovalAndAppend) {
  pm_SampleRemove(a);
  EXPECT_EQ(pm_SampleGetPosition(b), 1);
  EXPECT_EQ(pm_SampleGetPosition(c), 2);
  pm_TileAppendSample(tile.get(), a, nullptr);
  EXPECT_EQ(pm_SampleGetPosition(a), 3);
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 3), a);
}

TEST_F(ThreeSamples, NameListHoldsTheNamesInOrder) {
  ReportSlot slot;
  tk_StringList *names = pm_SampleGetList(b, slot.out());
  ASSERT_NE(names, nullptr);
  EXPECT_TRUE(slot.empty());
  ASSERT_EQ(names->count, 3);
  EXPECT_STREQ(names->strings[0], "a");
  EXPECT_STREQ(names->strings[2], "c");
  tk_StringListDelete(names, nullptr);
}

TEST(NodeLookup, NameListOfAnEmptyListIsNull) {
  ReportSlot slot;
  EXPECT_EQ(pm_TileGetList(nullptr, slot.out()), nullptr);
  EXPECT_TRUE(slot.empty());
}

// Two null names are equal, so a nameless node is what a null name finds.
TEST(NodeLookup, NullNameFindsTheNamelessNode) {
  TilePtr tile(TileWithSamples("T", {"a", "b"}));
  pm_Sample *b = pm_SampleFind(tile->samples, "b");
  EXPECT_EQ(pm_SampleFind(tile->samples, nullptr), nullptr);
  ForceName(b, nullptr);
  EXPECT_EQ(pm_SampleFind(tile->samples, nullptr), b);
  EXPECT_EQ(pm_SampleFind(tile->samples, "b"), nullptr);
}

TEST(NodeLookup, NameGettersHandOutCopies) {
  TilePtr tile(pm_TileCreate("T1"));
  char *name = pm_TileGetName(tile.get());
  ASSERT_NE(name, nullptr);
  EXPECT_NE(name, tile->node.name);
  name[0] = 'X';
  EXPECT_STREQ(tile->node.name, "T1");
  tk_HeapFree(name);
  EXPECT_EQ(pm_TileGetName(nullptr), nullptr);
  TilePtr nameless(pm_TileCreate(nullptr));
  EXPECT_EQ(pm_TileGetName(nameless.get()), nullptr);
}

TEST(NodeLookup, KindOfEachRecord) {
  TilePtr tile(pm_TileCreate("T"));
  SamplePtr sample(pm_SampleCreate("S"));
  FilePtr file(pm_FileCreate("image", nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(pm_NodeGetType(tile.get()), PM_KIND_TILE);
  EXPECT_EQ(pm_NodeGetType(sample.get()), PM_KIND_SAMPLE);
  EXPECT_EQ(pm_NodeGetType(file.get()), PM_KIND_NONE);
  EXPECT_EQ(pm_NodeGetType(nullptr), 0);
}

}  // namespace
}  // namespace kestrum_test
