// Files that hold what the library never writes: each load fails with the
// chain of the step that refused it, returns nothing and leaves nothing
// behind (the sanitizer build checks for leaks of half-built objects).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "persist/designs.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

// Saves the default test project and lets `doctor` change the file.
std::string Doctored(const TempDir &dir, const std::function<void(TreeFile &)> &doctor) {
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(BuildProject());
  pm_ProjectSaveAs(project.get(), path.c_str(), 0, nullptr);
  TreeFile tree(path, "rb+");
  doctor(tree);
  EXPECT_TRUE(tree.Close());
  return path;
}

// The first `n` messages of the chain a failed load leaves.
Strings LoadFailure(const std::string &path, size_t n) {
  ReportSlot slot;
  pm_Project *project = pm_ProjectLoad(path.c_str(), 0, slot.out());
  EXPECT_EQ(project, nullptr);
  pm_ProjectDestroy(project);
  Strings messages = slot.messages();
  if (messages.size() > n) messages.resize(n);
  return messages;
}

TEST(LoadFailures, DuplicateOrNamelessTilesStopTheLoad) {
  TempDir dir;
  std::string twin = Doctored(dir, [](TreeFile &t) {
    pm::NamedRecord record{Item("tile1"), 0};
    t.Write(":", "twin", "PM_Tile", &record);
  });
  EXPECT_EQ(LoadFailure(twin, 4), (Strings{"Error loading root node", "Error reading tile nodes",
                                           "Error adding tile tile1", "Cannot append tile tile1 to project node"}));
  TempDir other;
  std::string nameless = Doctored(other, [](TreeFile &t) {
    pm::NamedRecord record{Item(nullptr), 1};
    t.Write(":", "nameless", "PM_Tile", &record);
  });
  EXPECT_EQ(LoadFailure(nameless, 3),
            (Strings{"Error loading root node", "Error reading tile nodes", "Error adding tile (null)"}));
}

TEST(LoadFailures, TileWhoseSamplesFailIsReleasedWithEverythingBelowIt) {
  TempDir dir;
  std::string path = Doctored(dir, [](TreeFile &t) {
    pm::NamedRecord record{Item("sample1"), 0};
    t.Write(":tile2", "again", "PM_Sample", &record);
    pm::FileRecord file{Item("Raster"), Item("/x.img"), 1.5, Item(nullptr), Item("c")};
    t.Write(":tile2:again", "Raster", "PM_File", &file);
  });
  EXPECT_EQ(LoadFailure(path, 6), (Strings{"Error loading root node", "Error reading tile nodes",
                                           "Error loading tile :tile2", "Error reading sample nodes",
                                           "Error adding sample to tile", "Cannot append sample sample1 to tile tile2"}));
}

TEST(LoadFailures, DuplicateAssociationsOrArgumentsStopTheLoad) {
  TempDir dir;
  std::string pfa = Doctored(dir, [](TreeFile &t) {
    tk_TreeObjectDelete(t.get(), ":", "Primary Files", TK_DELETE_TREE, nullptr);
    pm::PFAFileRecord twins[] = {{Item("dup"), 0}, {Item("dup"), 9}};
    pm::PFARootRecord record{{2, twins}};
    t.Write(":", "Primary Files", "PM_PFA_Root", &record);
  });
  EXPECT_EQ(LoadFailure(pfa, 4), (Strings{"Error loading root node", "Error reading Level 2 Process File Association Nodes",
                                          "Cannot read PFA file nodes", "Cannot append new PFA File dup"}));
  TempDir other;
  std::string arguments = Doctored(other, [](TreeFile &t) {
    pm::ArgumentRecord twins[] = {{Item("a"), Item("v"), 0, 0, 0}, {Item("a"), Item("w"), 1, 1, 1}};
    pm::ProcessRecord record{Item("twinargs"), Item("T"), Item(nullptr), Item(nullptr), Item(""), 0, {2, twins}};
    t.Write("Root Files", "twinargs", "PM_Process", &record);
  });
  EXPECT_EQ(LoadFailure(arguments, 5),
            (Strings{"Error loading root node", "Error reading Level 1 Processes", "Error loading process :Root Files:twinargs",
                     "Error reading process values", "Error reading process arguments"}));
}

// A load links what it reads without looking the name up while the name
// is that of its node in the file, which siblings cannot share: what counts
// is still the name in the record. Random tile and sample lists whose
// records now and then bear the name of their node, of another node, or
// one given before, under node names that never repeat: a load fails
// exactly when two records of one list share a name, and otherwise gives
// the records' names in order.
TEST(LoadFailures, NamesAreCheckedAsTheRecordsGiveThemWhateverTheNodesAreCalled) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 40; ++round) {
    TempDir dir;
    std::string path = dir.Path("p.qdx");
    ProjectPtr empty(pm_ProjectCreate());
    ReportSlot slot;
    pm_ProjectSaveAs(empty.get(), path.c_str(), 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
    // Node i is called "n<i>"; its record names it "n<j>" for some j, mostly
    // j = i, and in about every fourth round a list repeats a name.
    auto record_names = [&](int count) {
      std::vector<std::string> names;
      for (int i = 0; i < count; ++i) {
        int j = i;
        if (random() % 6 == 0) j = static_cast<int>(random() % static_cast<unsigned>(count) + count);  // no node's
        if (round % 4 == 0 && i > 0 && random() % 5 == 0) j = static_cast<int>(random() % static_cast<unsigned>(i));
        names.push_back("n" + std::to_string(j));
      }
      return names;
    };
    auto distinct = [](std::vector<std::string> names) {
      std::sort(names.begin(), names.end());
      return std::adjacent_find(names.begin(), names.end()) == names.end();
    };
    const int tiles = 1 + static_cast<int>(random() % 40);
    std::vector<std::string> tile_names = record_names(tiles);
    std::vector<std::vector<std::string>> sample_names;
    bool loads = distinct(tile_names);
    {
      TreeFile tree(path, "rb+");
      for (int t = 0; t < tiles; ++t) {
        std::string node = "n" + std::to_string(t);
        pm::NamedRecord tile{Item(tile_names[t].c_str()), 0};
        ASSERT_TRUE(tree.Write(":", node.c_str(), "PM_Tile", &tile));
        sample_names.push_back(record_names(static_cast<int>(random() % 40)));
        loads = loads && distinct(sample_names.back());
        for (size_t s = 0; s < sample_names.back().size(); ++s) {
          pm::NamedRecord sample{Item(sample_names.back()[s].c_str()), 0};
          ASSERT_TRUE(tree.Write((":" + node).c_str(), ("n" + std::to_string(s)).c_str(), "PM_Sample", &sample));
        }
      }
      ASSERT_TRUE(tree.Close());
    }
    ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
    ASSERT_EQ(loaded != nullptr, loads) << round << ": " << slot.text();
    if (!loads) continue;
    std::vector<std::string> got_tiles;
    std::vector<std::vector<std::string>> got_samples;
    for (pm_Tile *t = loaded->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
      got_tiles.push_back(t->node.name);
      got_samples.emplace_back();
      for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next))
        got_samples.back().push_back(s->node.name);
    }
    EXPECT_EQ(got_tiles, tile_names) << round;
    EXPECT_EQ(got_samples, sample_names) << round;
  }
}

TEST(LoadFailures, MissingLevelNodeFailsAtItsLevel) {
  TempDir dir;
  std::string path = Doctored(dir, [](TreeFile &t) {
    EXPECT_EQ(tk_TreeObjectDelete(t.get(), ":", "Secondary Files", TK_DELETE_TREE, nullptr), 1);
  });
  EXPECT_EQ(LoadFailure(path, 3), (Strings{"Error loading root node",
                                           "Error reading Level 3 Process File Association Nodes",
                                           "Error loading root node"}));
}

TEST(LoadValues, OutOfRangeEnumerationsAndFractionsComeBackUnchanged) {
  TempDir dir;
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(BuildProject());
  pm_ProjectSetType(project.get(), 4);
  pm_ProjectSetUseDotGrid(project.get(), -1);
  pm_TileSetAutomatic(project->tiles, 5);
  pm_SampleSetAutomatic(project->tiles->samples, -2);
  pm_FileSetDate(project->files, -0.0);
  pm_FileSetDate(project->tiles->samples->files, 1e-300);
  pm_PFAFileSetType(pm_PFAFileListGetByType(project.get(), 1), 9);
  pm_Process *process = pm_ProcessListGetByType(project.get(), 2);
  pm_ProcessSetOutput(process, 3);
  pm_ArgumentSetType(process->arguments, 7);
  pm_ArgumentSetMode(process->arguments, 11);
  pm_ArgumentSetHide(process->arguments, -5);
  ReportSlot slot;
  pm_ProjectSaveAs(project.get(), path.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(ProjectDifference(project.get(), loaded.get()), "");
}

}  // namespace
}  // namespace kestrum_test
