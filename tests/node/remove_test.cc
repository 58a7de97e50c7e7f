// Removing and destroying nodes: what remains, what the removed node keeps,
// which owner is marked, and that the owner never holds a removed or freed
// node.
#include <gtest/gtest.h>

#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

class RemoveFromThree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (pm_Node *n = &tile->samples->node; n; n = n->next) SetState(n, kClean);
    SetState(tile.get(), kClean);
  }
  // The removed node is detached but keeps its name, kind and state.
  void ExpectDetachedIntact(pm_Sample *sample, const char *name) {
    EXPECT_TRUE(IsDetached(sample));
    EXPECT_STREQ(sample->node.name, name);
    EXPECT_EQ(sample->node.kind, PM_KIND_SAMPLE);
    EXPECT_EQ(StateOf(sample), kClean);
  }
  TilePtr tile{TileWithSamples("T", {"a", "b", "c"})};
  pm_Sample *a = pm_SampleFind(tile->samples, "a");
  pm_Sample *b = pm_SampleFind(tile->samples, "b");
  pm_Sample *c = pm_SampleFind(tile->samples, "c");
};

TEST_F(RemoveFromThree, FirstNodeMovesTheOwnersPointerOn) {
  SamplePtr removed(a);
  EXPECT_EQ(pm_SampleRemove(a), b);
  ExpectDetachedIntact(a, "a");
  EXPECT_EQ(tile->samples, b);
  EXPECT_EQ(b->node.prev, nullptr);
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"b", "c"}));
  EXPECT_EQ(StateOf(tile.get()), kChanged);
}

TEST_F(RemoveFromThree, MiddleNodeJoinsItsNeighbours) {
  SamplePtr removed(b);
  EXPECT_EQ(pm_SampleRemove(b), a);
  ExpectDetachedIntact(b, "b");
  EXPECT_EQ(tile->samples, a);
  EXPECT_EQ(a->node.next, &c->node);
  EXPECT_EQ(c->node.prev, &a->node);
  EXPECT_EQ(pm_SampleGetPosition(c), 2);
  EXPECT_EQ(StateOf(tile.get()), kChanged);
}

TEST_F(RemoveFromThree, LastNodeEndsTheList) {
  SamplePtr removed(c);
  EXPECT_EQ(pm_SampleRemove(c), a);
  ExpectDetachedIntact(c, "c");
  EXPECT_EQ(b->node.next, nullptr);
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"a", "b"}));
}

TEST_F(RemoveFromThree, DestroyingTheFirstNodeLeavesTheOwnerOnTheRest) {
  EXPECT_EQ(pm_SampleDestroy(a), b);
  // Under the sanitizer a pointer left on the freed node fails here.
  EXPECT_EQ(tile->samples, b);
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"b", "c"}));
  EXPECT_EQ(StateOf(tile.get()), kChanged);
}

TEST_F(RemoveFromThree, DestroyingEveryNodeOneByOneEmptiesTheOwner) {
  EXPECT_EQ(pm_SampleDestroy(b), a);
  EXPECT_EQ(pm_SampleDestroy(a), c);
  EXPECT_EQ(pm_SampleDestroy(c), nullptr);
  EXPECT_EQ(tile->samples, nullptr);
}

TEST_F(RemoveFromThree, DestroyListFromAMiddleElementDestroysTheWholeList) {
  EXPECT_EQ(pm_SampleDestroyList(b), nullptr);
  EXPECT_EQ(tile->samples, nullptr);
}

TEST(NodeRemove, OnlyNodeLeavesAnEmptyList) {
  TilePtr tile(TileWithSamples("T", {"only"}));
  SamplePtr only(tile->samples);
  EXPECT_EQ(pm_SampleRemove(only.get()), nullptr);
  EXPECT_TRUE(IsDetached(only.get()));
  EXPECT_EQ(tile->samples, nullptr);
}

TEST(NodeRemove, FileRemovalKeepsEachKindOfOwnerValid) {
  TilePtr tile(TileWithSamples("T", {"s"}));
  pm_Sample *sample = tile->samples;
  pm_File *image = pm_FileCreate("image", nullptr, 0, nullptr, nullptr);
  pm_File *grid = pm_FileCreate("grid", nullptr, 0, nullptr, nullptr);
  pm_TileAppendFile(tile.get(), image, nullptr);
  pm_TileAppendFile(tile.get(), grid, nullptr);
  pm_File *plot = pm_FileCreate("plot", nullptr, 0, nullptr, nullptr);
  pm_SampleAppendFile(sample, plot, nullptr);
  SetState(tile.get(), kClean);
  SetState(sample, kClean);

  EXPECT_EQ(pm_FileDestroy(image), grid);
  EXPECT_EQ(tile->files, grid);
  EXPECT_EQ(StateOf(tile.get()), kChanged);
  EXPECT_EQ(pm_FileDestroy(plot), nullptr);
  EXPECT_EQ(sample->files, nullptr);
  EXPECT_EQ(StateOf(sample), kChanged);
}

TEST(NodeRemove, DetachedOrNullNodeIsHarmless) {
  SamplePtr loose(pm_SampleCreate("s"));
  SetState(loose.get(), kClean);
  EXPECT_EQ(pm_SampleRemove(loose.get()), nullptr);
  EXPECT_TRUE(IsDetached(loose.get()));
  EXPECT_EQ(StateOf(loose.get()), kClean);
  EXPECT_EQ(pm_SampleRemove(nullptr), nullptr);
  EXPECT_EQ(pm_TileRemove(nullptr), nullptr);
  EXPECT_EQ(pm_FileRemove(nullptr), nullptr);
  EXPECT_EQ(pm_SampleDestroy(nullptr), nullptr);
  EXPECT_EQ(pm_SampleDestroyList(nullptr), nullptr);
}

// The owner's pointer may rest on any element of its list; removing a node
// of the list must not move it to another list or onto the removed node.
TEST(NodeRemove, OwnerPointerOnALaterElementStaysInTheList) {
  TilePtr tile(TileWithSamples("T", {"a", "b", "c"}));
  pm_Sample *a = pm_SampleFind(tile->samples, "a");
  pm_Sample *c = pm_SampleFind(tile->samples, "c");
  tile->samples = c;
  SamplePtr removed(a);
  pm_SampleRemove(a);
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"b", "c"}));
  EXPECT_NE(tile->samples, a);
}

}  // namespace
}  // namespace kestrum_test
