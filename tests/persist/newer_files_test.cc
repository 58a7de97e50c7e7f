// Files that a newer kestrum may write: nodes of a design this one does not
// know at every depth, a design with an item added, and headers with newer
// versions. What loads, loads as this kestrum understands it; a save into
// the file keeps everything it did not read or refuses with a report that
// says why; nothing is dropped without a word.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "node/node.h"
#include "file_seal.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "project_compare.h"
#include "raw_tree_file.h"
#include "report_slot.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

bool Mentions(const ReportSlot &slot, const std::string &text) {
  for (const std::string &message : slot.messages())
    if (message.find(text) != std::string::npos) return true;
  return false;
}

// A record of the unknown design below: a text and a list of texts.
struct FutureEntry {
  tk_StringItem text;
};
struct FutureRecord {
  tk_StringItem note;
  tk_RecordList entries;
};

// Gives every node of the file at `path` (the root, Project, tiles, samples,
// data files, level nodes, processes) a child of a design this kestrum does
// not know, itself with a child, and returns the paths of those nodes.
Strings AddFutureNodes(const std::string &path) {
  TreeFile tree(path, "rb+");
  ReportSlot slot;
  tk_Design *entry = tk_DesignCreate(tree.dictionary(), "PM_Future_Entry", slot.out(), TK_ITEM_STRING, "Text",
                                     TK_ITEM_END);
  EXPECT_NE(entry, nullptr) << slot.text();
  tk_Design *future = tk_DesignCreate(tree.dictionary(), "PM_Future", slot.out(), TK_ITEM_STRING, "Note",
                                      TK_ITEM_RECORD_LIST, "Entries", entry, TK_ITEM_END);
  EXPECT_NE(future, nullptr) << slot.text();
  Strings parents{":"};
  for (const std::string &node : tree.List(":")) parents.push_back(node);
  Strings added;
  FutureEntry entries[2] = {{Item("first")}, {Item(nullptr)}};
  for (const std::string &parent : parents) {
    const std::string note = "kept under " + parent;
    FutureRecord record{Item(note.c_str()), {2, entries}};
    const int64_t at = tk_TreeNodeFind(tree.get(), parent.c_str());
    const int64_t node = tk_TreeNodeWrite(tree.get(), at, "future", nullptr, &record, future, slot.out());
    EXPECT_GE(node, 0) << slot.text();
    const int64_t below = tk_TreeNodeWrite(tree.get(), node, "deeper", nullptr, &record, future, slot.out());
    EXPECT_GE(below, 0) << slot.text();
    const std::string path_of = (parent == ":" ? std::string() : parent) + ":future";
    added.push_back(path_of);
    added.push_back(path_of + ":deeper");
  }
  EXPECT_TRUE(tree.Close());
  return added;
}

// The note of a PM_Future node, or "<missing>".
std::string FutureNote(tk_TreeFile *file, const std::string &path) {
  const int64_t node = tk_TreeNodeFind(file, path.c_str());
  tk_Design *design = tk_TreeNodeDesign(file, node);
  if (node < 0 || !design) return "<missing>";
  FutureRecord record{};
  if (!tk_TreeNodeRead(file, node, &record, design, nullptr)) return "<unreadable>";
  std::string note = record.note.text ? record.note.text : "<absent>";
  const bool entries_kept = record.entries.count == 2 &&
                            std::string(static_cast<FutureEntry *>(record.entries.elements)[0].text.text) == "first";
  tk_DesignRecordRelease(design, &record);
  return entries_kept ? note : note + " <entries lost>";
}

Strings Sorted(Strings paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

// A full project of `tiles` tiles and `processes` processes a level saved
// at `path`, whose every node then got future nodes (AddFutureNodes, their
// paths in *future); null with a test failure when a step fails.
ProjectPtr SavedWithFutureNodes(const std::string &path, int tiles, int processes, Strings *future) {
  FullShape shape;
  shape.tiles = tiles;
  shape.processes = processes;
  shape.arguments = 1;
  ProjectPtr project(BuildFullProject(path, shape));
  ReportSlot slot;
  pm_ProjectSave(project.get(), 0, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  if (!slot.empty()) return nullptr;
  *future = AddFutureNodes(path);
  return project;
}

TEST(NewerFiles, NodesOfAnUnknownDesignAtEveryDepthLoadAndSurviveSavesIntoTheFile) {
  TempDir dir;
  const std::string path = dir.Path("future.qdx");
  Strings future;
  ProjectPtr original = SavedWithFutureNodes(path, 2, 1, &future);
  ASSERT_TRUE(original);
  const Strings every = NodePaths(path);
  ReportSlot slot;

  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(ProjectDifference(original.get(), loaded.get()), "");
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(Sorted(NodePaths(path)), Sorted(every)) << "every node is still there, the unknown ones too";
  {
    TreeFile tree(path, "rb");
    for (const std::string &node : future) {
      const std::string parent = node.substr(0, node.rfind(":future"));
      EXPECT_EQ(FutureNote(tree.get(), node), "kept under " + (parent.empty() ? std::string(":") : parent)) << node;
    }
  }
  // A second save changes nothing: the kept nodes are where the first put them.
  const std::string once = ReadBytes(path);
  ProjectPtr again(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(again) << slot.text();
  EXPECT_EQ(ProjectDifference(original.get(), again.get()), "");
  pm_ProjectSave(again.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(ReadBytes(path), once);

  // A renamed tile writes a new node; what was kept under its old one goes
  // with that node, as its samples' old nodes do. Everything else stays.
  const std::string old_tile = ":" + TakeText(pm_TileGetName(again->tiles));
  ASSERT_EQ(pm_TileSetName(again->tiles, "renamed", slot.out()), 1) << slot.text();
  pm_ProjectSave(again.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  Strings expected;
  for (const std::string &node : future)
    if (node.rfind(old_tile + ":", 0) != 0) expected.push_back(node);
  Strings kept;
  for (const std::string &node : NodePaths(path))
    if (node.find(":future") != std::string::npos) kept.push_back(node);
  EXPECT_EQ(Sorted(kept), Sorted(expected));

  // Save-as writes the project alone: no node it does not read.
  const std::string copy = dir.Path("copy.qdx");
  pm_ProjectSaveAs(again.get(), copy.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  for (const std::string &node : NodePaths(copy)) EXPECT_EQ(node.find("future"), std::string::npos) << node;
}

TEST(NewerFiles, AKeptNodeThatTheProjectNowWritesBesideUnderItsNameRefusesTheSave) {
  TempDir dir;
  const std::string path = dir.Path("clash.qdx");
  Strings future;
  ASSERT_TRUE(SavedWithFutureNodes(path, 1, 0, &future));
  ReportSlot slot;
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  const std::string before = ReadBytes(path);
  // The tile's first sample takes the name of the node kept beside it.
  ASSERT_EQ(pm_SampleSetName(loaded->tiles->samples, "future", slot.out()), 1) << slot.text();
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_FALSE(slot.empty());
  EXPECT_TRUE(Mentions(slot, "Cannot keep node future of design PM_Future")) << slot.text();
  EXPECT_TRUE(Mentions(slot, "already exists")) << slot.text();
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_TRUE(pm_ProjectDirty(loaded.get())) << "a refused save leaves the project unsaved";
}

// A text as a record stores it: its length + 1, then its bytes.
void PutStored(std::string &out, const std::string &text) {
  PutVarint(out, text.size() + 1);
  out += text;
}

// The eight designs as kestrum writes them, with an item added at the end
// of PM_Tile and one in the middle of PM_Argument (a list element, read a
// part at a time), and a project of one tile and one process of two
// arguments in it.
RawTreeFile WithNewItems() {
  RawTreeFile file;
  file.designs = ProjectDesigns();
  file.designs[1].items.push_back({kRawText, "Colour", {}, 0});
  auto &argument = file.designs[6].items;
  argument.insert(argument.begin() + 2, RawItem{kRawTime, "Checked", {}, 0});
  std::string root;  // enumerations are stored as their zigzag
  for (int i = 0; i < 3; ++i) PutVarint(root, 0);
  file.nodes.push_back({0, 0, "Project", root});
  std::string tile;
  PutStored(tile, "T1");
  PutVarint(tile, 2);  // Automatic
  PutStored(tile, "blue!");
  file.nodes.push_back({0, 1, "T1", tile});
  std::string empty_list;
  PutVarint(empty_list, 0);
  for (const char *level : {"Root Files", "Primary Files", "Secondary Files"}) file.nodes.push_back({0, 5, level, empty_list});
  std::string process;
  PutStored(process, "P");
  PutStored(process, "title");
  PutVarint(process, 0);  // no parameter file
  PutVarint(process, 0);  // no label file
  PutStored(process, ".out");
  PutVarint(process, 2);  // Generate
  PutVarint(process, 2);  // two arguments
  for (const char *name : {"a1", "a2"}) {
    PutStored(process, name);
    PutStored(process, std::string("value of ") + name);
    PutVarint(process, 20);  // Checked: the whole time 5
    PutVarint(process, 4);   // Type: Text
    PutVarint(process, 2);   // Mode: Strict_Output
    PutVarint(process, 2);   // Hide: Hide
  }
  file.nodes.push_back({3, 7, "P", process});
  return file;
}

TEST(NewerFiles, ADesignWithItemsAddedIsReadByItemNameAndNeverSavedInto) {
  TempDir dir;
  const std::string path = dir.Path("items.qdx");
  ASSERT_TRUE(WriteBytes(path, WithNewItems().Bytes()));
  ReportSlot slot;
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  ASSERT_TRUE(loaded->tiles);
  EXPECT_EQ(TakeText(pm_TileGetName(loaded->tiles)), "T1");
  EXPECT_EQ(pm_TileGetAutomatic(loaded->tiles), 1);
  pm_Process *process = pm_ProcessListGetByType(loaded.get(), 0);
  ASSERT_TRUE(process);
  EXPECT_EQ(TakeText(pm_ProcessGetTitle(process)), "title");
  Strings arguments;
  for (pm_Argument *a = process->arguments; a; a = reinterpret_cast<pm_Argument *>(a->node.next))
    arguments.push_back(TakeText(pm_ArgumentGetName(a)) + "=" + TakeText(pm_ArgumentGetValue(a)) + " " +
                        std::to_string(pm_ArgumentGetType(a)) + std::to_string(pm_ArgumentGetMode(a)));
  EXPECT_EQ(arguments, (Strings{"a1=value of a1 21", "a2=value of a2 21"}));

  // A save would lose the items: refused, naming the design and the item.
  const std::string before = ReadBytes(path);
  pm_ProjectSave(loaded.get(), 0, slot.out());
  EXPECT_EQ(slot.messages(),
            (Strings{"Error reading dexil designs", "Error reading design PM_Tile from QDX file",
                     "Design PM_Tile in file was written by a newer kestrum: this one reads it but does not save "
                     "into it",
                     "Design PM_Tile in file does not match: it has an item \"Colour\" (text) that this kestrum does "
                     "not know"}))
      << slot.text();
  EXPECT_EQ(ReadBytes(path), before);
  // Saved as another file, it is a file of today's designs.
  const std::string copy = dir.Path("copy.qdx");
  pm_ProjectSaveAs(loaded.get(), copy.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr again(pm_ProjectLoad(copy.c_str(), 0, slot.out()));
  ASSERT_TRUE(again) << slot.text();
  EXPECT_EQ(ProjectDifference(loaded.get(), again.get()), "");

  // An item missing or of another kind is no newer design: refused, naming it.
  RawTreeFile missing = WithNewItems();
  missing.designs[1].items.erase(missing.designs[1].items.begin() + 1);
  missing.nodes[1].record.clear();
  PutStored(missing.nodes[1].record, "T1");
  PutStored(missing.nodes[1].record, "blue!");
  ASSERT_TRUE(WriteBytes(path, missing.Bytes()));
  EXPECT_EQ(pm_ProjectLoad(path.c_str(), 0, slot.out()), nullptr);
  EXPECT_TRUE(Mentions(slot, "Design PM_Tile in file does not match: it has an item \"Colour\" where this kestrum "
                             "reads \"Selection\"")) << slot.text();
  RawTreeFile other_kind = WithNewItems();
  // The project type 0 is stored as the varint 0, which reads as an absent text too.
  other_kind.designs[0].items[0] = RawItem{kRawText, "Project_Type", {}, 0};
  ASSERT_TRUE(WriteBytes(path, other_kind.Bytes()));
  EXPECT_EQ(pm_ProjectLoad(path.c_str(), 0, slot.out()), nullptr);
  EXPECT_TRUE(Mentions(slot, "its item \"Project_Type\" is a text, where this kestrum reads an enumeration"))
      << slot.text();
}

// The bytes of `file` with the header's read and write versions replaced.
std::string WithVersions(std::string bytes, uint32_t read, uint32_t write) {
  std::string head;
  PutU32(head, read);
  PutU32(head, write);
  bytes.replace(8, 8, head);
  ResealProjectFile(bytes);
  return bytes;
}

TEST(NewerFiles, ANewerWritersFileLoadsButIsNeverSavedIntoAndANewerReadersIsRefused) {
  TempDir dir;
  const std::string path = dir.Path("newer.qdx");
  ProjectPtr original(BuildFullProject(path, FullShape{}));
  ReportSlot slot;
  pm_ProjectSave(original.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  const std::string today = ReadBytes(path);

  // Read version 1, write version 2.
  ASSERT_TRUE(WriteBytes(path, WithVersions(today, 1, 2)));
  const std::string newer = ReadBytes(path);
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(ProjectDifference(original.get(), loaded.get()), "");
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_FALSE(slot.empty());
  EXPECT_EQ(slot.messages().front(), "Error opening QDX Project Manager file " + path);
  EXPECT_TRUE(Mentions(slot, "written by a newer kestrum (write version 2)")) << slot.text();
  EXPECT_EQ(ReadBytes(path), newer) << "the newer file is left as it was";
  // Saved as another file it is today's file again.
  const std::string copy = dir.Path("copy.qdx");
  pm_ProjectSaveAs(loaded.get(), copy.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(ReadBytes(copy), today);

  // Read version 2: not read at all.
  ASSERT_TRUE(WriteBytes(path, WithVersions(today, 2, 0)));
  EXPECT_EQ(pm_ProjectLoad(path.c_str(), 0, slot.out()), nullptr);
  EXPECT_TRUE(Mentions(slot, "unsupported version 2: written by a newer kestrum")) << slot.text();
}

}  // namespace
}  // namespace kestrum_test
