// Sorting tiles and samples by name: order, stability, the owner's pointer
// and which nodes are marked changed.
#include <gtest/gtest.h>

#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

// Builds a tile whose samples bear the given names in order, duplicates and
// nameless nodes included (which appends would refuse), all clean.
pm_Tile *TileWithRawNames(std::initializer_list<const char *> names) {
  pm_Tile *tile = pm_TileCreate("T");
  int n = 0;
  for (const char *name : names) {
    pm_Sample *sample = pm_SampleCreate(("placeholder" + std::to_string(n++)).c_str());
    pm_TileAppendSample(tile, sample, nullptr);
    ForceName(sample, name);
    SetState(sample, kClean);
  }
  SetState(tile, kClean);
  return tile;
}

TEST(NodeSort, AscendingNamelessFirstAndStable) {
  TilePtr tile(TileWithRawNames({"b", nullptr, "a", "b"}));
  pm_Sample *first_b = pm_SampleFindByNumber(tile->samples, 1);
  pm_Sample *nameless = pm_SampleFindByNumber(tile->samples, 2);
  pm_Sample *a = pm_SampleFindByNumber(tile->samples, 3);
  pm_Sample *second_b = pm_SampleFindByNumber(tile->samples, 4);

  pm_Sample *result = pm_TileSortSamples(tile.get());

  EXPECT_EQ(NamesOf(tile->samples), (Strings{"<null>", "a", "b", "b"}));
  EXPECT_EQ(result, nameless);
  EXPECT_EQ(tile->samples, nameless);
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 3), first_b);  // equal names keep their order
  EXPECT_EQ(pm_SampleFindByNumber(tile->samples, 4), second_b);
  // Only the node that moved back is marked; the owner and the nodes that
  // moved forward are not.
  EXPECT_EQ(StateOf(first_b), kChanged);
  EXPECT_EQ(StateOf(nameless), kClean);
  EXPECT_EQ(StateOf(a), kClean);
  EXPECT_EQ(StateOf(second_b), kClean);
  EXPECT_EQ(StateOf(tile.get()), kClean);
}

TEST(NodeSort, SortedListIsLeftAloneAndUnmarked) {
  TilePtr tile(TileWithRawNames({"a", "b", "c"}));
  pm_Sample *first = tile->samples;
  EXPECT_EQ(pm_TileSortSamples(tile.get()), first);
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"a", "b", "c"}));
  for (pm_Node *n = &tile->samples->node; n; n = n->next) EXPECT_EQ(StateOf(n), kClean);
}

TEST(NodeSort, ReversedListEndsAscendingWithLinksIntact) {
  TilePtr tile(TileWithRawNames({"e", "d", "c", "b", "a"}));
  pm_TileSortSamples(tile.get());
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"a", "b", "c", "d", "e"}));
  // The back links must agree with the forward ones after all the relinking.
  pm_Node *last = &tile->samples->node;
  while (last->next) {
    EXPECT_EQ(last->next->prev, last);
    last = last->next;
  }
  EXPECT_STREQ(last->name, "e");
  EXPECT_EQ(tile->samples->node.prev, nullptr);
}

TEST(NodeSort, ComparesBytesSoCapitalsComeFirst) {
  TilePtr tile(TileWithRawNames({"b", "B", "a", "A"}));
  pm_TileSortSamples(tile.get());
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"A", "B", "a", "b"}));
}

TEST(NodeSort, EmptySingleAndNullOwners) {
  TilePtr empty(pm_TileCreate("T"));
  EXPECT_EQ(pm_TileSortSamples(empty.get()), nullptr);
  EXPECT_EQ(empty->samples, nullptr);
  TilePtr one(TileWithRawNames({"only"}));
  pm_Sample *only = one->samples;
  EXPECT_EQ(pm_TileSortSamples(one.get()), only);
  EXPECT_EQ(StateOf(only), kClean);
  EXPECT_EQ(pm_TileSortSamples(nullptr), nullptr);
  EXPECT_EQ(pm_ProjectSortTiles(nullptr), nullptr);
}

}  // namespace
}  // namespace kestrum_test
