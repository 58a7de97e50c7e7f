// The node tree's name lookup checked against a plain model: random adds and
// subtree removals in a tree small enough that probe runs often wrap around
// the end of the index, where removal is easiest to get wrong, with parents
// crossing the number of children above which they are indexed in both
// directions.
//
// The tree is internal to the toolkit library and not exported, so this test
// compiles its source in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <unistd.h>

#include "toolkit/treefile_tree.cc"

namespace {

using tk::tree::kNone;
using tk::tree::kRoot;
using tk::tree::Tree;

TEST(TreeFileIndex, LookupsMatchAModelThroughRandomAddsAndRemovals) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    // 0 indexes every child, 8 is what files use.
    const uint32_t limits[] = {0, 2, Tree::kScanLimit};
    Tree tree(limits[round % 3]);
    // Half the trees index a large parent only when a child is looked up by
    // name, as those of files opened for reading do.
    if (round % 6 >= 3) tree.index_on_demand();
    std::map<uint32_t, std::pair<uint32_t, std::string>> model;  // node -> (parent, name)
    for (int step = 0; step < 400; ++step) {
      // Few nodes keep the index small (16 slots at first, half full at
      // most), so runs cross its end often.
      const size_t most = round % 3 == 0 ? 8 : 24;
      bool add = model.size() < 3 || (model.size() < most && random() % 3 != 0);
      if (add) {
        // Parents among the root and the existing nodes; few names, so
        // siblings and cousins share them.
        std::vector<uint32_t> parents = {kRoot};
        for (const auto &entry : model) parents.push_back(entry.first);
        uint32_t parent = parents[random() % parents.size()];
        std::string name = "n" + std::to_string(random() % 12);
        // Half the adds take the hash their lookup made, as loading does.
        tk::tree::HashMemo memo;
        if (tree.find_child(parent, name, step % 2 ? &memo : nullptr) != kNone) continue;
        uint32_t node = tree.add(parent, name, 0, "r", &memo);
        ASSERT_EQ(model.count(node), 0u);
        model[node] = {parent, name};
      } else {
        auto it = std::next(model.begin(), static_cast<long>(random() % model.size()));
        std::set<uint32_t> removed;
        tree.remove(it->first, [&](uint32_t i) { removed.insert(i); });
        for (uint32_t i : removed) ASSERT_EQ(model.erase(i), 1u);
      }
      // Every node in the model is found, and nothing else.
      ASSERT_EQ(tree.count(), model.size());
      for (const auto &[node, key] : model) ASSERT_EQ(tree.find_child(key.first, key.second), node) << step;
      for (int n = 0; n < 12; ++n) {
        std::string name = "n" + std::to_string(n);
        bool expected = false;
        for (const auto &entry : model) expected |= entry.second.first == kRoot && entry.second.second == name;
        ASSERT_EQ(tree.find_child(kRoot, name) != kNone, expected) << step;
      }
    }
  }
}

// A file rewritten completely must not keep the image it was loaded from:
// the image goes with the last node that views it, and not before.
TEST(TreeFileIndex, TheLoadedImageGoesWithTheLastNodeViewingIt) {
  Tree tree;
  const char text[] = "AxBy";
  std::unique_ptr<char[]> image(new char[sizeof text]);
  std::memcpy(image.get(), text, sizeof text);
  const char *bytes = image.get();
  tree.keep_image(std::move(image));
  uint32_t a = tree.add_view(kRoot, std::string_view(bytes, 1), 0, 0, 1);      // "A", record "x"
  uint32_t b = tree.add_view(kRoot, std::string_view(bytes + 2, 1), 0, 0, 1);  // "B", record "y"
  uint32_t c = tree.add(kRoot, "C", 0, "z");
  EXPECT_EQ(tree.node(b).record(), "y");
  tree.remove(a, [](uint32_t) {});
  EXPECT_TRUE(tree.holds_image());
  EXPECT_EQ(tree.find_child(kRoot, "B"), b);
  tree.remove(b, [](uint32_t) {});
  EXPECT_FALSE(tree.holds_image());
  EXPECT_EQ(tree.node(c).record(), "z") << "written nodes keep their own bytes";
}

// Names are hashed under a key of the process's own, so that a file cannot
// carry names chosen to share one probe run: another run of this program
// hashes the same names differently.
TEST(TreeFileIndex, NamesHashDifferentlyInEachProcess) {
  const std::string names[] = {"T1", "Tile0001", "", std::string(100, 'x')};
  if (std::getenv("TREEFILE_PRINT_HASHES")) {
    for (const std::string &name : names) std::printf("hash %llu\n", static_cast<unsigned long long>(tk::name_hash(name)));
    return;
  }
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string command = std::string("TREEFILE_PRINT_HASHES=1 '") + self +
                        "' --gtest_filter=TreeFileIndex.NamesHashDifferentlyInEachProcess";
  FILE *other = popen(command.c_str(), "r");
  ASSERT_NE(other, nullptr);
  std::vector<unsigned long long> theirs;
  char line[256];
  while (std::fgets(line, sizeof line, other)) {
    unsigned long long h = 0;
    if (std::sscanf(line, "hash %llu", &h) == 1) theirs.push_back(h);
  }
  ASSERT_EQ(pclose(other), 0);
  ASSERT_EQ(theirs.size(), std::size(names));
  for (size_t i = 0; i < theirs.size(); ++i) EXPECT_NE(theirs[i], tk::name_hash(names[i])) << i;
}

}  // namespace
