// Node paths of the project file: where each object is written, which
// listed nodes count as a node's own children, and what the records of the
// file hold.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "persist/designs.h"
#include "persist/node_io.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

TEST(DirectChild, KeepsOnlyTheParentsOwnChildrenExactly) {
  struct Case {
    const char *expected, *parent_part;
    bool child;
  } cases[] = {
      {":", ":", true},                          // :T under the root
      {":T", ":T:", true},                       // :T:S under :T
      {":T:S", ":T:S:", true},                   // :T:S:A under :T:S
      {"Root Files", ":Root Files:", true},      // a process under its level node
      {"Primary Files", ":Root Files:", false},  // another level's process
      {":", ":T:", false},                       // a tile's file is not the project's
      {":T", ":T:S:", false},                    // nor is a sample's file the tile's
      {":t", ":T:", false},                      // letter case counts
      {":T", ":", false},
      {"Root Files", ":", false},
      {nullptr, ":", false},
      {":", "", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(pm::is_direct_child(c.expected, c.parent_part), c.child)
        << (c.expected ? c.expected : "(null)") << " vs " << c.parent_part;
}

// One tile T with samples S1 (holding file A) and S2, a file B of the tile,
// a project file E, processes P1 and P2 on level 0 and Q on level 1.
pm_Project *SmallProject(const std::string &path) {
  pm_Project *project = pm_ProjectCreate();
  pm_ProjectSetFilename(project, path.c_str(), nullptr);
  pm_Tile *tile = pm_TileCreate("T");
  pm_ProjectAppendTile(project, tile, nullptr);
  pm_Sample *s1 = pm_SampleCreate("S1");
  pm_TileAppendSample(tile, s1, nullptr);
  pm_TileAppendSample(tile, pm_SampleCreate("S2"), nullptr);
  std::string directory = path.substr(0, path.rfind('/'));
  pm_SampleAppendFile(s1, pm_FileCreate("A", (directory + "/img/a.img").c_str(), 0.25, "abc", nullptr), nullptr);
  pm_TileAppendFile(tile, pm_FileCreate("B", "/elsewhere/b.img", -3.5, nullptr, ""), nullptr);
  pm_ProjectAppendFile(project, pm_FileCreate("E", nullptr, 0, nullptr, nullptr), nullptr);
  pm_ProcessLists *lists = project->process_lists;
  pm_Process *p1 = pm_ProcessCreate("P1", "First", (directory + "/p1.par").c_str(), nullptr, ".o", 1);
  pm_ProcessAppendArgument(p1, pm_ArgumentCreate("in", "A", PM_RASTER, PM_STRICT_INPUT, 1), nullptr);
  lists->lists[0] = pm_ProcessAppend(lists->lists[0], p1, nullptr);
  lists->lists[0] = pm_ProcessAppend(lists->lists[0], pm_ProcessCreate("P2", "", nullptr, nullptr, nullptr, 0), nullptr);
  lists->lists[1] = pm_ProcessAppend(lists->lists[1], pm_ProcessCreate("Q", "Q", nullptr, nullptr, nullptr, 0), nullptr);
  return project;
}

TEST(NodeLayout, ObjectsAreWrittenUnderTheirOwnersInListOrder) {
  TempDir dir;
  std::string path = dir.Path("small.qdx");
  ProjectPtr project(SmallProject(path));
  ReportSlot slot;
  pm_ProjectSaveAs(project.get(), path.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NodePaths(path), (Strings{":Project", ":T", ":T:S1", ":T:S1:A", ":T:S2", ":T:B", ":E", ":Root Files",
                                      ":Root Files:P1", ":Root Files:P2", ":Primary Files", ":Primary Files:Q",
                                      ":Secondary Files"}));
  EXPECT_EQ(NodePaths(path, "PM_File"), (Strings{":T:S1:A", ":T:B", ":E"}));
  // Everything written is marked saved; save-as leaves `changed` alone.
  EXPECT_EQ(pm_ProjectDirty(project.get()), 0);
  EXPECT_EQ(project->tiles->samples->files->node.state->changed, 1);
}

TEST(NodeLayout, RecordsHoldStringItemsLocalNamesAndExactValues) {
  TempDir dir;
  std::string path = dir.Path("small.qdx");
  ProjectPtr project(SmallProject(path));
  ReportSlot slot;
  pm_ProjectSave(project.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  TreeFile tree(path, "rb");

  pm::FileRecord a{}, b{};
  ASSERT_TRUE(tree.Read(":T:S1", "A", "PM_File", &a));
  EXPECT_EQ(a.verified.count, 4) << "length and the NUL";
  EXPECT_EQ(a.comment.count, 0);
  EXPECT_EQ(a.comment.text, nullptr) << "an absent text stays absent";
  EXPECT_EQ(TakeItem(a.descriptor), "$PROJECT/img/a.img");
  EXPECT_EQ(a.time, 0.25);
  ASSERT_TRUE(tree.Read(":T", "B", "PM_File", &b));
  EXPECT_EQ(TakeItem(b.descriptor), "/elsewhere/b.img");
  EXPECT_EQ(b.comment.count, 1) << "an empty text is present";
  EXPECT_EQ(b.time, -3.5);
  for (pm::FileRecord *r : {&a, &b}) {
    TakeItem(r->type);
    TakeItem(r->verified);
    TakeItem(r->comment);
  }

  pm::ProcessRecord p1{};
  ASSERT_TRUE(tree.Read("Root Files", "P1", "PM_Process", &p1));
  EXPECT_EQ(TakeItem(p1.params), "$PROJECT/p1.par");
  EXPECT_EQ(p1.labels.count, 0);
  EXPECT_EQ(p1.output, 1);
  ASSERT_EQ(p1.arguments.count, 1);
  auto *argument = static_cast<pm::ArgumentRecord *>(p1.arguments.elements);
  EXPECT_EQ(argument->hide, 1);
  EXPECT_EQ(TakeItem(argument->name), "in");
  EXPECT_EQ(TakeItem(argument->value), "A");
  tk_HeapFree(p1.arguments.elements);
  for (tk_StringItem *item : {&p1.name, &p1.title, &p1.suffix}) TakeItem(*item);
}

}  // namespace
}  // namespace kestrum_test
