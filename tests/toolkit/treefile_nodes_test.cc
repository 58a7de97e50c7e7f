// Node paths, listing, deleting and seeking in a tree file, the way the
// project file uses them.
#include "treefile_fixture.h"

namespace treefile_test {
namespace {

using Paths = std::vector<std::string>;

class TreeFileNodes : public TreeFileTest {
 protected:
  void SetUp() override {
    TreeFileTest::SetUp();
    file_ = create_with_designs("nodes.kpf");
    ASSERT_NE(file_, nullptr);
  }
  void TearDown() override {
    tk_TreeFileAbandon(file_);
    TreeFileTest::TearDown();
  }
  // A small project: tiles T and U with samples, files at every level and a
  // level node with processes beneath it, written the way a save writes.
  void build_project() {
    ASSERT_EQ(write_entry(file_, ":", "Project", "root"), "");
    ASSERT_EQ(write_entry(file_, ":", "T", "tile T"), "");
    ASSERT_EQ(write_entry(file_, "::T", "S", "sample S"), "");
    ASSERT_EQ(write_holder("::T:S", "Raster"), "");
    ASSERT_EQ(write_holder("::T", "Vector"), "");
    ASSERT_EQ(write_entry(file_, ":", "U", "tile U"), "");
    ASSERT_EQ(write_entry(file_, "::U", "S", "sample U/S"), "");
    ASSERT_EQ(write_holder(":", "Raster"), "");
    ASSERT_EQ(write_entry(file_, ":", "Root Files", "level"), "");
    ASSERT_EQ(write_entry(file_, "Root Files", "P", "process P"), "");
    ASSERT_EQ(write_entry(file_, "Root Files", "Q", "process Q"), "");
  }
  std::string write_holder(const char *parent, const char *name) {
    Holder h{{0, nullptr}, 0.0, 0, {0, nullptr}};
    tk_ErrorReport *report = nullptr;
    return tk_TreeObjectWrite(file_, parent, name, "Holder", TK_WRITE_NEW, &h, holder_, &report) ? ""
                                                                                                : take_report(report);
  }
  tk_TreeFile *file_ = nullptr;
};

TEST_F(TreeFileNodes, EveryParentPathFormReachesTheSameNode) {
  ASSERT_EQ(write_entry(file_, ":", "A", "a"), "");
  ASSERT_EQ(write_entry(file_, "::A", "B", "b"), "");
  ASSERT_EQ(write_entry(file_, ":A:B", "C", "c"), "");
  ASSERT_EQ(write_entry(file_, "A:B:C", "D", "d"), "");
  for (const char *parent : {":", "::", ""}) EXPECT_EQ(read_label(file_, parent, "A", entry_), "a") << parent;
  for (const char *parent : {":A", "::A", "A"}) EXPECT_EQ(read_label(file_, parent, "B", entry_), "b") << parent;
  for (const char *parent : {":A:B", "::A:B", "A:B"}) EXPECT_EQ(read_label(file_, parent, "C", entry_), "c") << parent;
  EXPECT_EQ(read_label(file_, "::A:B:C", "D", entry_), "d");
  EXPECT_EQ(list(file_, ":", "Entry"), (Paths{":A", ":A:B", ":A:B:C", ":A:B:C:D"}));
  EXPECT_EQ(list(file_, "::A:B", "Entry"), (Paths{":A:B:C", ":A:B:C:D"}));
}

TEST_F(TreeFileNodes, MalformedAndMissingPathsAreReported) {
  ASSERT_EQ(write_entry(file_, ":", "A", "a"), "");
  for (const char *parent : {":A:", ":::A", ":A::B", "A:"})
    EXPECT_NE(write_entry(file_, parent, "X", "x").find("Bad node path"), std::string::npos) << parent;
  EXPECT_NE(write_entry(file_, ":Nowhere", "X", "x").find("No node :Nowhere"), std::string::npos);
  EXPECT_NE(read_label(file_, ":", "Nowhere", entry_).find("No node Nowhere"), std::string::npos);
  EXPECT_NE(read_label(file_, ":Nowhere", "A", entry_).find("No node :Nowhere"), std::string::npos);
  EXPECT_NE(list(file_, ":Nowhere", nullptr)[0].find("<error:"), std::string::npos);
  EXPECT_NE(write_entry(file_, nullptr, "X", "x"), "");
}

TEST_F(TreeFileNodes, BadAndDuplicateNamesAreRefusedWithoutOverwriting) {
  EXPECT_NE(write_entry(file_, ":", "", "x"), "");
  EXPECT_NE(write_entry(file_, ":", "A:B", "x").find("':'"), std::string::npos);
  EXPECT_NE(write_entry(file_, ":", nullptr, "x"), "");
  EXPECT_NE(write_entry(file_, ":", std::string(5000, 'n').c_str(), "x"), "");
  ASSERT_EQ(write_entry(file_, ":", "A", "first"), "");
  EXPECT_NE(write_entry(file_, ":", "A", "second").find("already exists"), std::string::npos);
  EXPECT_NE(write_entry(file_, "::", "A", "third").find("already exists"), std::string::npos);
  EXPECT_EQ(read_label(file_, ":", "A", entry_), "first");
  // The same name under another parent, and names that differ in case, are
  // other nodes.
  EXPECT_EQ(write_entry(file_, ":A", "A", "inner"), "");
  EXPECT_EQ(write_entry(file_, ":", "a", "lower"), "");
  EXPECT_EQ(read_label(file_, ":A", "A", entry_), "inner");
  EXPECT_EQ(list(file_, ":", "Entry"), (Paths{":A", ":A:A", ":a"}));
}

TEST_F(TreeFileNodes, ListingGivesEveryDepthInWritingOrderForOneDesign) {
  build_project();
  EXPECT_EQ(list(file_, ":", "Entry"),
            (Paths{":Project", ":T", ":T:S", ":U", ":U:S", ":Root Files", ":Root Files:P", ":Root Files:Q"}));
  EXPECT_EQ(list(file_, ":", "Holder"), (Paths{":T:S:Raster", ":T:Vector", ":Raster"}));
  EXPECT_EQ(list(file_, ":T", "Holder"), (Paths{":T:S:Raster", ":T:Vector"}));
  EXPECT_EQ(list(file_, "Root Files", "Entry"), (Paths{":Root Files:P", ":Root Files:Q"}));
  // Nothing of that design beneath, or no such design at all: an empty list.
  EXPECT_EQ(list(file_, ":U", "Holder"), Paths{});
  EXPECT_EQ(list(file_, ":", "Unknown"), Paths{});
  tk_StringList *empty = tk_TreeObjectList(file_, ":U:S", 0, "Entry", nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->count, 0);
  tk_StringListDelete(empty, nullptr);
  // A null design name lists every node.
  EXPECT_EQ(list(file_, ":T", nullptr), (Paths{":T:S", ":T:S:Raster", ":T:Vector"}));
}

TEST_F(TreeFileNodes, ListingOrderSurvivesCloseAndReopen) {
  build_project();
  Paths before = list(file_, ":", nullptr);
  ASSERT_TRUE(tk_TreeFileClose(file_, nullptr));
  file_ = open("nodes.kpf", "rb");
  ASSERT_NE(file_, nullptr);
  EXPECT_EQ(list(file_, ":", nullptr), before);
  EXPECT_EQ(read_label(file_, "Root Files", "Q", entry_), "process Q");
}

TEST_F(TreeFileNodes, DeletingANodeTakesItsWholeSubtreeAndKeepsTheRest) {
  build_project();
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", ":T", TK_DELETE_TREE, &report)) << take_report(report);
  EXPECT_EQ(list(file_, ":", "Holder"), (Paths{":Raster"}));
  ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", "Root Files", TK_DELETE_TREE, &report)) << take_report(report);
  EXPECT_EQ(list(file_, ":", nullptr), (Paths{":Project", ":U", ":U:S", ":Raster"}));
  // Names freed by the deletion can be written again; they go to the end.
  EXPECT_EQ(write_entry(file_, ":", "T", "new tile"), "");
  EXPECT_EQ(write_entry(file_, "::T", "S", "new sample"), "");
  EXPECT_EQ(list(file_, ":", "Entry"), (Paths{":Project", ":U", ":U:S", ":T", ":T:S"}));
  EXPECT_EQ(read_label(file_, ":T", "S", entry_), "new sample");

  EXPECT_TRUE(tk_TreeObjectDelete(file_, ":", ":T", TK_DELETE_TREE, &report));
  EXPECT_FALSE(tk_TreeObjectDelete(file_, ":", ":T", TK_DELETE_TREE, &report));
  EXPECT_NE(take_report(report).find("No node :T"), std::string::npos);
  EXPECT_FALSE(tk_TreeObjectDelete(file_, ":", ":", TK_DELETE_TREE, &report));
  EXPECT_NE(take_report(report).find("root"), std::string::npos);
  // A relative path is taken beneath the given root.
  ASSERT_TRUE(tk_TreeObjectDelete(file_, ":U", "S", TK_DELETE_TREE, &report)) << take_report(report);
  EXPECT_EQ(list(file_, ":U", nullptr), Paths{});
}

TEST_F(TreeFileNodes, DeleteThenRewriteEverythingLikeASave) {
  build_project();
  ASSERT_TRUE(tk_TreeFileClose(file_, nullptr));
  for (int round = 0; round < 3; ++round) {
    file_ = open("nodes.kpf", "rb+");
    ASSERT_NE(file_, nullptr);
    for (const char *top : {"Project", "Root Files"}) ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", top, 17, nullptr));
    tk_StringList *tiles = tk_TreeObjectList(file_, ":", 0, "Entry", nullptr);
    for (int i = 0; i < tiles->count; ++i) {
      if (std::string(tiles->strings[i]).find(':', 1) != std::string::npos) continue;  // went with its tile
      ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", tiles->strings[i], 17, nullptr));
    }
    tk_StringListDelete(tiles, nullptr);
    ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", ":Raster", 17, nullptr));
    EXPECT_EQ(list(file_, ":", nullptr), Paths{});
    build_project();
    ASSERT_TRUE(tk_TreeFileClose(file_, nullptr));
  }
  file_ = open("nodes.kpf", "rb");
  ASSERT_NE(file_, nullptr);
  EXPECT_EQ(list(file_, ":", nullptr).size(), 11u);
}

TEST_F(TreeFileNodes, NameLookupStaysRightThroughManyDeletionsAndReuses) {
  // Many siblings and cousins of equal names, deleted in a scattered order
  // and written again: every remaining node must still be found by name and
  // no deleted one.
  const int count = 3000;
  ASSERT_EQ(write_entry(file_, ":", "P", "p"), "");
  for (int i = 0; i < count; ++i) {
    std::string name = std::to_string(i);
    ASSERT_EQ(write_entry(file_, ":", name.c_str(), name.c_str()), "");
    ASSERT_EQ(write_entry(file_, ":P", name.c_str(), "cousin"), "");
  }
  std::vector<bool> present(count, true);
  for (int step = 0, i = 0; step < count * 2 / 3; ++step) {
    i = (i + 1237) % count;  // visits the names in a scattered order
    if (!present[i]) continue;
    std::string path = ":" + std::to_string(i);
    ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", path.c_str(), TK_DELETE_TREE, nullptr));
    present[i] = false;
  }
  for (int i = 0; i < count; i += 2) {
    if (present[i]) continue;
    std::string name = std::to_string(i);
    ASSERT_EQ(write_entry(file_, ":", name.c_str(), "again"), "");
    present[i] = true;
  }
  for (int i = 0; i < count; ++i) {
    std::string name = std::to_string(i);
    std::string label = read_label(file_, ":", name.c_str(), entry_);
    if (present[i]) {
      EXPECT_TRUE(label == name || label == "again") << i << ": " << label;
    } else {
      EXPECT_NE(label.find("No node"), std::string::npos) << i;
    }
    EXPECT_EQ(read_label(file_, ":P", name.c_str(), entry_), "cousin") << i;
  }
}

TEST_F(TreeFileNodes, SeekPositionsOnExistingNodesOnly) {
  build_project();
  tk_ErrorReport *report = nullptr;
  EXPECT_TRUE(tk_TreeEntrySeek(file_, TK_SEEK_ROOT, nullptr, &report));
  EXPECT_TRUE(tk_TreeEntrySeek(file_, TK_SEEK_PATH, ":T:S", &report));
  EXPECT_TRUE(tk_TreeEntrySeek(file_, TK_SEEK_PATH, "Project", &report));
  EXPECT_TRUE(tk_TreeEntrySeek(file_, TK_SEEK_PATH, ":", &report));
  EXPECT_EQ(report, nullptr);
  EXPECT_FALSE(tk_TreeEntrySeek(file_, TK_SEEK_PATH, ":T:Nothing", &report));
  EXPECT_NE(take_report(report).find("No node :T:Nothing"), std::string::npos);
  EXPECT_FALSE(tk_TreeEntrySeek(file_, 5, ":T", &report));
  EXPECT_NE(take_report(report), "");
  // Deleting the node the file is positioned on is harmless.
  EXPECT_TRUE(tk_TreeEntrySeek(file_, TK_SEEK_PATH, ":T:S", &report));
  EXPECT_TRUE(tk_TreeObjectDelete(file_, ":", ":T", TK_DELETE_TREE, &report));
  EXPECT_FALSE(tk_TreeEntrySeek(file_, TK_SEEK_PATH, ":T:S", &report));
  take_report(report);
}

TEST_F(TreeFileNodes, NodesNestOnlyToALimitedDepth) {
  std::string parent = ":";
  std::string error;
  int depth = 0;
  for (; depth < 300; ++depth) {
    error = write_entry(file_, parent.c_str(), "n", "x");
    if (!error.empty()) break;
    parent += parent == ":" ? "n" : ":n";
  }
  EXPECT_EQ(depth, 255);
  EXPECT_NE(error.find("at most 255 deep"), std::string::npos);
  EXPECT_EQ(list(file_, ":", nullptr).size(), 255u);
}

TEST_F(TreeFileNodes, NullHandlesAndArgumentsGiveReportsNotCrashes) {
  tk_ErrorReport *report = nullptr;
  EXPECT_FALSE(tk_TreeEntrySeek(nullptr, TK_SEEK_ROOT, nullptr, &report));
  EXPECT_NE(take_report(report), "");
  EXPECT_EQ(tk_TreeObjectList(nullptr, ":", 0, "Entry", &report), nullptr);
  EXPECT_NE(take_report(report), "");
  EXPECT_FALSE(tk_TreeObjectDelete(nullptr, ":", ":A", 17, &report));
  EXPECT_NE(take_report(report), "");
  EXPECT_FALSE(tk_TreeObjectRead(nullptr, ":", "A", 12, nullptr, entry_, &report));
  EXPECT_NE(take_report(report), "");
  ASSERT_EQ(write_entry(file_, ":", "A", "a"), "");
  EXPECT_FALSE(tk_TreeObjectRead(file_, ":", "A", 12, nullptr, entry_, &report));
  EXPECT_NE(take_report(report), "");
  Entry e{};
  EXPECT_FALSE(tk_TreeObjectRead(file_, ":", "A", 12, &e, nullptr, &report));
  EXPECT_NE(take_report(report), "");
  EXPECT_FALSE(tk_TreeObjectWrite(file_, ":", "B", "Entry", 4, nullptr, entry_, &report));
  EXPECT_NE(take_report(report), "");
  EXPECT_FALSE(tk_TreeObjectWrite(file_, ":", "B", nullptr, 4, &e, nullptr, &report));
  EXPECT_NE(take_report(report), "");
  EXPECT_FALSE(tk_TreeObjectWrite(file_, ":", "B", "Missing", 4, &e, nullptr, &report));
  EXPECT_NE(take_report(report).find("No design Missing"), std::string::npos);
  // A design given only by name is enough for writing.
  EXPECT_EQ(write_entry(file_, ":", "C", "c", 0, nullptr, "Entry"), "");
  EXPECT_EQ(tk_TreeFileGetDictionary(nullptr), nullptr);
  EXPECT_EQ(tk_TreeFileClose(nullptr, &report), 0);
  tk_TreeFileAbandon(nullptr);
  // Calls with a null slot still work and leak nothing.
  EXPECT_FALSE(tk_TreeObjectWrite(file_, ":", "A", "Entry", 4, &e, entry_, nullptr));
}

}  // namespace
}  // namespace treefile_test
