// Sorting tiles and samples by name: order, stability, the owner's pointer
// and which nodes are marked changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>

#include "project_builder.h"
#include "scaling.h"
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

// The model the sort must agree with: a bubble sort over plain names that
// swaps a node with its successor while the successor sorts strictly before
// it (nameless before every name, bytes compared), and marks each node it
// moves back. Gives the old positions in their new order and the marks by
// old position.
struct Sorted {
  std::vector<int> order;
  std::vector<bool> marked;
};

Sorted BubbleSortModel(const std::vector<std::optional<std::string>> &names) {
  auto before = [&](int a, int b) {  // a sorts strictly before b
    if (!names[a]) return static_cast<bool>(names[b]);
    return names[b] && *names[a] < *names[b];
  };
  Sorted out{{}, std::vector<bool>(names.size(), false)};
  for (int i = 0; i < static_cast<int>(names.size()); ++i) out.order.push_back(i);
  for (bool swapped = true; swapped;) {
    swapped = false;
    for (size_t i = 0; i + 1 < out.order.size(); ++i) {
      if (before(out.order[i + 1], out.order[i])) {
        out.marked[out.order[i]] = true;
        std::swap(out.order[i], out.order[i + 1]);
        swapped = true;
      }
    }
  }
  return out;
}

// Random lists with few distinct names (many duplicates, bytes above 0x7f
// that a signed comparison would misplace) and some nameless nodes, sorted
// through both exports: the order, the owner's pointer, the links, the
// parents and exactly the marked nodes agree with the model.
TEST(NodeSort, AgreesWithTheBubbleSortOnRandomLists) {
  static const char *const kNames[] = {"a", "b", "B", "ab", "a\xe9", "\xe9", "b0", ""};
  std::mt19937 random(20261208);
  for (int round = 0; round < 600; ++round) {
    const int length = round % 41;
    const bool tiles = round % 2 == 0;
    std::vector<std::optional<std::string>> names;
    for (int i = 0; i < length; ++i) {
      int pick = static_cast<int>(random() % 10);
      names.push_back(pick < 8 ? std::optional<std::string>(kNames[pick]) : std::nullopt);
    }
    // Lists in order, in reverse order (equal names side by side) and
    // nearly in order, besides the random ones.
    const int kind = round / 2 % 5;
    if (kind >= 2) std::stable_sort(names.begin(), names.end());  // nullopt first, bytes as strcmp
    if (kind == 3) std::reverse(names.begin(), names.end());
    if (kind == 4 && length > 1) std::swap(names[random() % length], names[random() % length]);
    // Some nodes start out changed: the sort adds marks, it never clears one.
    std::vector<bool> premarked;
    for (int i = 0; i < length; ++i) premarked.push_back(random() % 5 == 0);

    ProjectPtr project(pm_ProjectCreate());
    TilePtr tile(pm_TileCreate("T"));
    pm_Node *owner = tiles ? &project->node : &tile->node;
    std::vector<pm_Node *> nodes;
    for (int i = 0; i < length; ++i) {
      const std::string placeholder = "placeholder" + std::to_string(i);
      pm_Node *node;
      if (tiles) {
        pm_Tile *t = pm_TileCreate(placeholder.c_str());
        pm_ProjectAppendTile(project.get(), t, nullptr);
        node = &t->node;
      } else {
        pm_Sample *s = pm_SampleCreate(placeholder.c_str());
        pm_TileAppendSample(tile.get(), s, nullptr);
        node = &s->node;
      }
      ForceName(node, names[i] ? names[i]->c_str() : nullptr);
      SetState(node, premarked[i] ? kChanged : kClean);
      nodes.push_back(node);
    }
    SetState(owner, kClean);

    // Records begin with their node header.
    void *result = tiles ? static_cast<void *>(pm_ProjectSortTiles(project.get()))
                         : static_cast<void *>(pm_TileSortSamples(tile.get()));
    auto *head = static_cast<pm_Node *>(tiles ? static_cast<void *>(project->tiles) : static_cast<void *>(tile->samples));

    const Sorted want = BubbleSortModel(names);
    SCOPED_TRACE("round " + std::to_string(round) + ", length " + std::to_string(length));
    ASSERT_EQ(result, head);
    std::vector<pm_Node *> got;
    pm_Node *previous = nullptr;
    for (pm_Node *n = head; n; previous = n, n = n->next) {
      ASSERT_EQ(n->prev, previous);
      ASSERT_EQ(n->parent, owner);
      got.push_back(n);
    }
    ASSERT_EQ(got.size(), want.order.size());
    for (int i = 0; i < length; ++i) {
      EXPECT_EQ(got[i], nodes[want.order[i]]) << "place " << i;
      EXPECT_EQ(StateOf(nodes[i]), want.marked[i] || premarked[i] ? kChanged : kClean) << "node " << i;
    }
    EXPECT_EQ(StateOf(owner), kClean);
  }
}

// Sorting is n log n: a shuffled list of four times the tiles costs little
// more than four times as much (relinking through the list calls cost n^3).
TEST(NodeSort, ShuffledLongListsSortInNLogN) {
  // The list is built by appends, which are linear only on the fast paths.
  if (SlowPathsForced()) GTEST_SKIP() << kestrum_test::kFastPathsOff;
  double ratio = ScalingRatio(2000, [](int n) {
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(n));
    ProjectPtr project(pm_ProjectCreate());
    for (int i : order) {
      char name[32];
      std::snprintf(name, sizeof name, "tile%08d", i);
      pm_ProjectAppendTile(project.get(), pm_TileCreate(name), nullptr);
    }
    pm_ProjectSortTiles(project.get());
  });
  EXPECT_LE(ratio, kLinearBound);
}

}  // namespace
}  // namespace kestrum_test
