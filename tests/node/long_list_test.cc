// Long lists: filling a list node by node through the exported appends costs
// time in proportion to the nodes, for every kind of list; the indexes that
// make it so use the keyed name hash; and whatever a host does in between
// (renames, removals, destroys, sorts, rebuilds, refused appends), the lists,
// results and reports are exactly those of the plain walk.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <thread>
#include <type_traits>
#include <unistd.h>

#include "list_kinds.h"
#include "node/list_append.h"
#include "report_slot.h"
#include "scaling.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

static_assert(std::is_same_v<pm::NameSet::hasher, tk::NameHash>, "list indexes must use the keyed hash");
static_assert(std::is_same_v<pm::NameMap::hasher, tk::NameHash>, "list indexes must use the keyed hash");

// Sixteen bytes that differ only at the end, like names made to collide.
std::string LongName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "AAAAAAAA%08d", i);
  return name;
}

TEST(LongList, AppendingNodeByNodeIsLinearForEveryKind) {
  if (SlowPathsForced()) GTEST_SKIP() << kestrum_test::kFastPathsOff;
  for (ListKind kind : kAllListKinds) {
    double ratio = ScalingRatio(1000, [&](int n) {
      auto holder = MakeListHolder(kind);
      for (int i = 0; i < n; ++i) holder->append(holder->create(LongName(i).c_str()), nullptr);
    });
    EXPECT_LE(ratio, kLinearBound) << ListKindName(kind);
  }
}

// Appends stay linear while the host works on other lists in between: the
// pattern of an import, which fills each new tile's samples and files
// between two tiles.
TEST(LongList, AppendsBetweenWorkOnOtherListsStayLinear) {
  if (SlowPathsForced()) GTEST_SKIP() << kestrum_test::kFastPathsOff;
  double ratio = ScalingRatio(600, [](int n) {
    auto tiles = MakeListHolder(ListKind::kTiles);
    for (int i = 0; i < n; ++i) {
      pm_Tile *tile = pm_TileCreate(LongName(i).c_str());
      tiles->append(&tile->node, nullptr);
      for (int s = 0; s < 2; ++s) {
        pm_Sample *sample = pm_SampleCreate(LongName(s).c_str());
        pm_TileAppendSample(tile, sample, nullptr);
        pm_SampleAppendFile(sample, pm_FileCreate("plot", "p", 0, nullptr, nullptr), nullptr);
      }
      pm_TileAppendFile(tile, pm_FileCreate("photo", "p", 0, nullptr, nullptr), nullptr);
    }
  });
  EXPECT_LE(ratio, kLinearBound);
}

// A project may pass from one thread to another. What one thread remembers
// about a list must not outlive a change made by another: a name removed
// there can be appended here again, a name given there is taken here.
TEST(LongList, ChangesInAnotherThreadAreSeen) {
  auto tiles = MakeListHolder(ListKind::kTiles);
  for (int i = 0; i < 100; ++i) tiles->append(tiles->create(LongName(i).c_str()), nullptr);
  std::thread([&] {
    pm_Node *fifth = tiles->first();
    for (int i = 0; i < 5; ++i) fifth = fifth->next;
    tiles->remove(fifth);
    tiles->destroy(fifth);  // LongName(5) is free again
    ReportSlot slot;
    EXPECT_EQ(tiles->rename(tiles->first(), "renamed", slot.out()), 1) << slot.text();
  }).join();
  ReportSlot slot;
  tiles->append(tiles->create(LongName(5).c_str()), slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  pm_Node *twin = tiles->create("renamed");
  tiles->append(twin, slot.out());
  EXPECT_EQ(slot.messages().back(), "Name \"renamed\" already in use, please use another name");
  tiles->destroy(twin);
  tiles->append(tiles->create(LongName(0).c_str()), slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
}

// Threads filling lists of their own at the same time each get their lists.
TEST(LongList, ThreadsFillingTheirOwnListsGetTheirOwnLists) {
  auto fill = [](ListKind kind, int salt, std::vector<std::string> *names) {
    auto holder = MakeListHolder(kind);
    for (int i = 0; i < 3000; ++i) {
      holder->append(holder->create(LongName(i * 7 + salt).c_str()), nullptr);
      if (i % 100 == 99) holder->rename(holder->first(), LongName(-i - salt).c_str(), nullptr);
    }
    for (pm_Node *n = holder->first(); n; n = n->next) names->push_back(n->name);
  };
  std::vector<std::string> a, b, expected_a, expected_b;
  std::thread one(fill, ListKind::kTiles, 1, &a);
  std::thread two(fill, ListKind::kProcesses, 2, &b);
  one.join();
  two.join();
  fill(ListKind::kTiles, 1, &expected_a);
  fill(ListKind::kProcesses, 2, &expected_b);
  EXPECT_EQ(a, expected_a);
  EXPECT_EQ(b, expected_b);
  EXPECT_EQ(a.size(), 3000u);
}

// ---- the fast paths against the plain walk ---------------------------------

// Runs a random sequence of list operations over one list of every kind (two
// of tiles, so that nodes can move between owners) and writes down every
// result, report and list.
std::string Transcript(unsigned seed, int *longest = nullptr) {
  std::mt19937 random(seed);
  std::vector<std::unique_ptr<ListHolder>> holders;
  for (ListKind kind : kAllListKinds) holders.push_back(MakeListHolder(kind, std::string("owner") + ListKindName(kind)));
  holders.push_back(MakeListHolder(ListKind::kTiles));
  std::vector<std::vector<pm_Node *>> detached(holders.size());
  std::ostringstream out;
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto name = [&]() { return "x" + std::to_string(pick(70)); };
  auto node_at = [&](ListHolder &h) -> pm_Node * {
    int length = 0;
    for (pm_Node *n = h.first(); n; n = n->next) ++length;
    if (length == 0) return nullptr;
    pm_Node *n = h.first();
    for (int i = pick(length); i > 0; --i) n = n->next;
    return n;
  };
  auto same_kind = [&](int h) {
    std::vector<int> others;
    for (int o = 0; o < static_cast<int>(holders.size()); ++o)
      if (holders[o]->kind() == holders[h]->kind()) others.push_back(o);
    return others[pick(static_cast<int>(others.size()))];
  };
  for (int step = 0; step < 2500; ++step) {
    int h = pick(static_cast<int>(holders.size()));
    ListHolder &holder = *holders[h];
    ReportSlot slot;
    int op = pick(100);
    out << step << " " << ListKindName(holder.kind()) << h << " ";
    if (op < 45) {  // a new node, sometimes without a name
      std::string n = name();
      pm_Node *node = holder.create(pick(30) == 0 ? nullptr : n.c_str());
      holder.append(node, slot.out());
      bool linked = node->prev || holder.first() == node;
      out << "append " << (node->name ? node->name : "<none>") << (linked ? " linked" : " left");
      if (!linked) holder.destroy(node);
    } else if (op < 53) {  // a node removed earlier
      if (detached[h].empty()) continue;
      pm_Node *node = detached[h].back();
      holder.append(node, slot.out());
      bool linked = node->prev || holder.first() == node;
      out << "append removed " << node->name << (linked ? " linked" : " left");
      if (linked) detached[h].pop_back();
    } else if (op < 60) {  // a node that is in a list of its kind (maybe this one)
      pm_Node *node = node_at(*holders[same_kind(h)]);
      if (!node) continue;
      holder.append(node, slot.out());
      out << "append listed " << (node->name ? node->name : "<none>");
    } else if (op < 72) {
      pm_Node *node = node_at(holder);
      if (!node) continue;
      std::string n = name();
      out << "rename " << (node->name ? node->name : "<none>") << " to " << n << " gives "
          << holder.rename(node, n.c_str(), slot.out());
    } else if (op < 82) {
      pm_Node *node = node_at(holder);
      if (!node) continue;
      out << "remove " << (node->name ? node->name : "<none>");
      holder.remove(node);
      detached[h].push_back(node);
    } else if (op < 88) {
      pm_Node *node = node_at(holder);
      if (!node) continue;
      out << "destroy " << (node->name ? node->name : "<none>");
      holder.remove(node);
      holder.destroy(node);
    } else if (op < 92) {
      out << "sort " << holder.sort();
    } else if (op < 96) {
      std::vector<std::string> names;
      for (int i = pick(60); i > 0; --i) names.push_back(name());
      out << "rebuild " << names.size() << " " << holder.rebuild(names, slot.out());
    } else {
      if (detached[h].empty()) continue;
      out << "destroy removed " << detached[h].back()->name;
      holder.destroy(detached[h].back());
      detached[h].pop_back();
    }
    for (const std::string &line : slot.messages()) out << "\n  report " << line;
    for (const std::string &line : slot.functions()) out << "\n  from " << line;
    out << "\n";
    for (const auto &each : holders) {
      out << "  " << ListKindName(each->kind()) << ":";
      int length = 0;
      for (pm_Node *n = each->first(); n; n = n->next, ++length)
        out << " " << (n->name ? n->name : "<none>") << (n->next && n->next->prev != n ? "!" : "");
      out << "\n";
      if (longest && length > *longest) *longest = length;
    }
  }
  for (size_t h = 0; h < holders.size(); ++h)
    for (pm_Node *node : detached[h]) holders[h]->destroy(node);
  return out.str();
}

constexpr unsigned kSeeds[] = {7, 1313, 90210};

// The same sequences with KESTRUM_SLOW_PATHS set, in a process of its own:
// run only as the child of the test below.
TEST(LongList, WalkTranscript) {
  const char *target = std::getenv("KESTRUM_TRANSCRIPT");
  if (!target) GTEST_SKIP() << "run by LongList.FastPathsGiveWhatTheWalkGives";
  std::string walk;
  for (unsigned seed : kSeeds) walk += Transcript(seed) + "====\n";
  WriteBytes(target, walk);
}

TEST(LongList, FastPathsGiveWhatTheWalkGives) {
  if (!KESTRUM_TEST_HOOKS) GTEST_SKIP() << "the library reads KESTRUM_SLOW_PATHS only with the test hooks";
  if (SlowPathsForced() || std::getenv("KESTRUM_TRANSCRIPT")) GTEST_SKIP() << "this process walks already";
  std::string fast;
  int longest = 0;
  for (unsigned seed : kSeeds) fast += Transcript(seed, &longest) + "====\n";

  TempDir dir;
  const std::string target = dir.Path("walk.txt");
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  const std::string command = "KESTRUM_SLOW_PATHS=1 KESTRUM_TRANSCRIPT='" + target + "' '" + self +
                              "' --gtest_filter=LongList.WalkTranscript >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string walk = ReadBytes(target);
  ASSERT_FALSE(walk.empty());
  if (fast != walk) {
    std::istringstream a(fast), b(walk);
    std::string la, lb;
    int line = 1;
    while (std::getline(a, la) && std::getline(b, lb) && la == lb) ++line;
    ADD_FAILURE() << "first difference at line " << line << ":\n fast: " << la << "\n walk: " << lb;
  }
  // The sequences must reach lists long enough to be indexed.
  EXPECT_GE(longest, pm::kIndexFrom + 8);
}

}  // namespace
}  // namespace kestrum_test
