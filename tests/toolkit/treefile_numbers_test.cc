// Nodes by number: walking children and reading and writing under a node
// found by number must agree with the path calls in every answer, order
// and report, since loads and saves take whichever is at hand.
#include "treefile_fixture.h"

namespace treefile_test {
namespace {

using Paths = std::vector<std::string>;

class TreeFileNumbers : public TreeFileTest {
 protected:
  void SetUp() override {
    TreeFileTest::SetUp();
    file_ = create_with_designs("numbers.kpf");
    ASSERT_NE(file_, nullptr);
    // Twelve tiles, so that the root's children are found through a table
    // and a tile's two children by walking.
    for (int i = 0; i < 12; ++i) {
      std::string tile = "T" + std::to_string(i);
      ASSERT_EQ(write_entry(file_, ":", tile.c_str(), tile.c_str()), "");
      ASSERT_EQ(write_entry(file_, (":" + tile).c_str(), "S", "sample"), "");
      Holder h{{0, nullptr}, 0.0, 0, {0, nullptr}};
      ASSERT_TRUE(tk_TreeObjectWrite(file_, (":" + tile).c_str(), "F", "Holder", TK_WRITE_NEW, &h, holder_, nullptr));
    }
  }
  void TearDown() override {
    tk_TreeFileAbandon(file_);
    TreeFileTest::TearDown();
  }
  // The children of `node` of a design, by number, as the paths a listing
  // of the children would give.
  Paths children(int64_t node, const char *prefix, const char *design) {
    Paths out;
    for (int64_t c = tk_TreeNodeFirstChild(file_, node, design); c >= 0; c = tk_TreeNodeNextSibling(file_, c, design)) {
      size_t length = 0;
      const char *name = tk_TreeNodeName(file_, c, &length);
      out.push_back(std::string(prefix) + ":" + std::string(name, length));
    }
    return out;
  }
  Paths listed(const char *path, const char *design) {
    Paths out;
    tk_StringList *list = tk_TreeObjectList(file_, path, TK_LIST_CHILDREN, design, nullptr);
    for (int i = 0; list && i < list->count; ++i) out.push_back(list->strings[i]);
    tk_StringListDelete(list, nullptr);
    return out;
  }
  tk_TreeFile *file_ = nullptr;
};

TEST_F(TreeFileNumbers, WalkingChildrenAgreesWithListingTheChildren) {
  EXPECT_EQ(children(0, "", "Entry"), listed(":", "Entry"));
  EXPECT_EQ(listed(":", "Entry").size(), 12u) << "children only, not the samples beneath them";
  int64_t t3 = tk_TreeNodeFind(file_, ":T3");
  ASSERT_GT(t3, 0);
  EXPECT_EQ(tk_TreeNodeFind(file_, "T3"), t3);
  EXPECT_EQ(children(t3, ":T3", "Entry"), (Paths{":T3:S"}));
  EXPECT_EQ(children(t3, ":T3", "Holder"), (Paths{":T3:F"}));
  EXPECT_EQ(children(t3, ":T3", nullptr), (Paths{":T3:S", ":T3:F"}));
  EXPECT_EQ(children(t3, ":T3", "Unknown"), Paths{});
  EXPECT_EQ(tk_TreeNodeFind(file_, ":T3:Nothing"), -1);
  EXPECT_EQ(tk_TreeNodeFind(file_, ":T3:"), -1);
  EXPECT_EQ(tk_TreeNodeNextSibling(file_, 0, nullptr), -1) << "the root has no siblings";
}

TEST_F(TreeFileNumbers, ReadsAndWritesByNumberMatchThoseByPath) {
  int64_t t5 = tk_TreeNodeFind(file_, ":T5");
  int64_t s = tk_TreeNodeFind(file_, ":T5:S");
  Entry e{};
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeNodeRead(file_, s, &e, entry_, &report)) << take_report(report);
  EXPECT_STREQ(e.label.text, "sample");
  tk_HeapFree(e.label.text);

  Entry written{{4, const_cast<char *>("new")}, 2};
  int64_t added = tk_TreeNodeWrite(file_, t5, "N", "Entry", &written, entry_, &report);
  ASSERT_GE(added, 0) << take_report(report);
  EXPECT_EQ(tk_TreeNodeFind(file_, ":T5:N"), added);
  EXPECT_EQ(read_label(file_, ":T5", "N", entry_), "new");
  EXPECT_EQ(children(t5, ":T5", nullptr), (Paths{":T5:S", ":T5:F", ":T5:N"}));

  // A refused write names the parent by its path, as the path call does.
  EXPECT_EQ(tk_TreeNodeWrite(file_, t5, "N", "Entry", &written, entry_, &report), -1);
  EXPECT_NE(take_report(report).find("Node N already exists under :T5"), std::string::npos);
  EXPECT_EQ(tk_TreeNodeWrite(file_, t5, "a:b", "Entry", &written, entry_, &report), -1);
  EXPECT_NE(take_report(report).find("under :T5"), std::string::npos);
  // A wrong design: the record is left as it was.
  Holder h{{0, nullptr}, 0.0, 0, {0, nullptr}};
  EXPECT_FALSE(tk_TreeNodeRead(file_, s, &h, holder_, &report));
  EXPECT_NE(take_report(report).find("Node S under :T5 holds a Entry record"), std::string::npos);
}

TEST_F(TreeFileNumbers, NumbersOfDeletedNodesAndNonsenseAreRefused) {
  int64_t t7 = tk_TreeNodeFind(file_, ":T7");
  int64_t s = tk_TreeNodeFind(file_, ":T7:S");
  ASSERT_TRUE(tk_TreeObjectDelete(file_, ":", ":T7", TK_DELETE_TREE, nullptr));
  Entry e{};
  tk_ErrorReport *report = nullptr;
  for (int64_t gone : {t7, s, int64_t{-1}, int64_t{1} << 40}) {
    EXPECT_FALSE(tk_TreeNodeRead(file_, gone, &e, entry_, &report)) << gone;
    EXPECT_NE(take_report(report).find("No node numbered"), std::string::npos);
    EXPECT_EQ(tk_TreeNodeWrite(file_, gone, "X", "Entry", &e, entry_, &report), -1);
    EXPECT_NE(take_report(report).find("No node numbered"), std::string::npos);
    EXPECT_EQ(tk_TreeNodeFirstChild(file_, gone, nullptr), -1);
    EXPECT_EQ(tk_TreeNodeName(file_, gone, nullptr), nullptr);
  }
  EXPECT_EQ(tk_TreeNodeFind(nullptr, ":T1"), -1);
  EXPECT_EQ(tk_TreeNodeFirstChild(nullptr, 0, nullptr), -1);
  EXPECT_FALSE(tk_TreeNodeRead(file_, 0, &e, entry_, &report)) << "the root holds no record";
  take_report(report);
}

TEST_F(TreeFileNumbers, AFileOpenForReadingTakesNoWriteByNumber) {
  ASSERT_TRUE(tk_TreeFileClose(file_, nullptr));
  file_ = open("numbers.kpf", "rb");
  ASSERT_NE(file_, nullptr);
  Entry e{{2, const_cast<char *>("x")}, 0};
  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_TreeNodeWrite(file_, 0, "X", "Entry", &e, entry_, &report), -1);
  EXPECT_NE(take_report(report).find("reading only"), std::string::npos);
  EXPECT_EQ(children(0, "", "Entry").size(), 12u);
}

}  // namespace
}  // namespace treefile_test
