// Load, save and save-as of whole projects: round trips, the file each call
// writes, change flags afterwards, and saves that fail without losing the
// file on disk.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

FullShape RichShape() {
  FullShape shape;
  shape.tiles = 4;
  shape.files = 4;  // the fourth file of every owner has no descriptor
  shape.variant = 3;  // an out-of-range poly-tool switch
  return shape;
}

pm_Project *Load(const std::string &path, ReportSlot &slot) { return pm_ProjectLoad(path.c_str(), 0, slot.out()); }

// A full project bound to `path` and saved there for the first time; null
// (with a test failure) when either step fails.
ProjectPtr SavedFullProject(const std::string &path, const FullShape &shape = RichShape()) {
  ProjectPtr project(BuildFullProject(path, shape));
  ReportSlot slot;
  pm_ProjectSave(project.get(), 0, slot.out());
  if (!project || !slot.empty()) {
    ADD_FAILURE() << "cannot save " << path << ": " << slot.text();
    return nullptr;
  }
  return project;
}

// "" when the file loads as `expected`; otherwise the report chain or the
// first difference.
std::string LoadedDifference(const std::string &path, const pm_Project *expected, CompareOptions options = {}) {
  ReportSlot slot;
  ProjectPtr loaded(Load(path, slot));
  if (!loaded) return "load failed: " + slot.text();
  std::string structure = ProjectStructureProblem(loaded.get());
  return structure.empty() ? ProjectDifference(expected, loaded.get(), options) : structure;
}

TEST(ProjectRoundTrip, RichProjectComesBackFieldForFieldSavedAgainAndLoadedAgain) {
  TempDir dir;
  std::string path = dir.Path("site/survey.qdx");
  ProjectPtr original(SavedFullProject(path));
  ASSERT_TRUE(original);
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectDirty(original.get()), 0);

  EXPECT_EQ(LoadedDifference(path, original.get(), {true, true}), "");

  // Loaded, changed in nothing and saved: the same file, nothing to save.
  ProjectPtr loaded(Load(path, slot));
  ASSERT_TRUE(loaded) << slot.text();
  std::string first_bytes = ReadBytes(path);
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(ReadBytes(path), first_bytes) << "an unchanged project is written the same";
  EXPECT_EQ(pm_ProjectDirty(loaded.get()), 0);
  EXPECT_EQ(LoadedDifference(path, original.get(), {true, true}), "");
}

TEST(ProjectRoundTrip, NamesInTheProjectDirectoryFollowItWhenItMoves) {
  TempDir dir;
  std::string old_path = dir.Path("before/survey.qdx");
  ASSERT_TRUE(SavedFullProject(old_path));
  std::filesystem::rename(dir.Path("before"), dir.Path("after"));
  std::string new_path = dir.Path("after/survey.qdx");
  // The same project built in the new place: names under the directory
  // lie there, names elsewhere are the same.
  ProjectPtr expected(BuildFullProject(new_path, RichShape()));
  EXPECT_EQ(LoadedDifference(new_path, expected.get(), {false, true}), "");
}

TEST(ProjectRoundTrip, EmptyProjectHoldsOnlyTheRootAndTheThreeLevelNodes) {
  TempDir dir;
  std::string path = dir.Path("empty.qdx");
  ProjectPtr project(pm_ProjectCreate());
  ReportSlot slot;
  ASSERT_EQ(pm_ProjectSetFilename(project.get(), path.c_str(), slot.out()), 1);
  pm_ProjectSave(project.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(pm_ProjectDirty(project.get()), 0) << "a first save marks the project unchanged";
  EXPECT_EQ(NodePaths(path), (Strings{":Project", ":Root Files", ":Primary Files", ":Secondary Files"}));

  TreeFile tree(path, "rb");
  for (const char *name : {"PM_Root", "PM_Tile", "PM_Sample", "PM_File", "PM_PFAFile", "PM_PFA_Root",
                           "PM_Argument", "PM_Process"})
    EXPECT_NE(tree.Design(name), nullptr) << name;

  EXPECT_EQ(LoadedDifference(path, project.get(), {true, true}), "");
}

TEST(ProjectRoundTrip, RemovedTileLeavesNoNodeBehind) {
  TempDir dir;
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(SavedFullProject(path));
  ASSERT_TRUE(project);
  ReportSlot slot;
  std::string gone = TakeText(pm_TileGetName(project->tiles));
  pm_TileDestroy(project->tiles);
  pm_ProjectSave(project.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  for (const std::string &node : NodePaths(path))
    EXPECT_NE(node.rfind(":" + gone, 0), 0u) << node << " survived its tile";
  EXPECT_EQ(LoadedDifference(path, project.get()), "");
}

TEST(ProjectLoadFailures, MissingFileAndUnsetNameReportWithoutTouchingAnything) {
  TempDir dir;
  ReportSlot slot;
  EXPECT_EQ(Load(dir.Path("none.qdx"), slot), nullptr);
  EXPECT_EQ(slot.messages(), Strings{"Project Manager file does not exist"});

  ProjectPtr project(BuildProject());
  pm_ProjectSave(project.get(), 0, slot.out());
  EXPECT_EQ(slot.messages(), Strings{"Project Filename not set"});
  EXPECT_EQ(slot.functions(), Strings{"pm_ProjectSave"});
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(ProjectSaveAs, WritesTheNewFileButLeavesTheProjectBoundToItsOwn) {
  TempDir dir;
  std::string first = dir.Path("first.qdx"), second = dir.Path("copy/second.qdx");
  std::filesystem::create_directory(dir.Path("copy"));
  ReportSlot slot;
  ASSERT_TRUE(SavedFullProject(first, FullShape()));
  ProjectPtr project(Load(first, slot));
  ASSERT_TRUE(project) << slot.text();
  pm_Tile *tile = project->tiles;
  ASSERT_EQ(pm_TileSetName(tile, "renamed", slot.out()), 1);

  pm_ProjectSaveAs(project.get(), second.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(TakeText(pm_ProjectGetFilename(project.get())), first);
  EXPECT_EQ(StateOf(tile), (State{1, 1})) << "written, but not marked unchanged";
  EXPECT_EQ(StateOf(project.get()), (State{0, 1}));

  pm_ProjectSetType(project.get(), 1 - project->type);
  pm_ProjectSave(project.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(pm_ProjectDirty(project.get()), 0);
  ProjectPtr from_first(Load(first, slot)), from_second(Load(second, slot));
  ASSERT_TRUE(from_first && from_second);
  EXPECT_EQ(from_first->type, project->type) << "the plain save went to the first file";
  EXPECT_NE(from_second->type, project->type);
  EXPECT_EQ(ProjectDifference(project.get(), from_first.get()), "");
  EXPECT_NE(pm_TileFind(from_second->tiles, "renamed"), nullptr);
}

// Names that the project file cannot hold side by side with the nodes it
// needs: each save fails with a report, and the file keeps its old bytes.
TEST(ProjectSaveFailures, UnstorableNamesFailTheSaveAndKeepTheOldFile) {
  struct Case {
    const char *tile;       // a tile of that name, or
    const char *root_file;  // a project-level data file of that type
  };
  const Case cases[] = {{"Project", nullptr},   {"Root Files", nullptr}, {"Vector root", nullptr},
                        {"north:south", nullptr}, {nullptr, "Secondary Files"}, {nullptr, "odd:type"}};
  TempDir dir;
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(SavedFullProject(path, FullShape()));
  ASSERT_TRUE(project);
  ReportSlot slot;
  const std::string saved = ReadBytes(path);
  ProjectPtr reference(BuildFullProject(path));

  for (const Case &c : cases) {
    SCOPED_TRACE(c.tile ? c.tile : c.root_file);
    void *added = nullptr;
    if (c.tile) {
      pm_Tile *tile = pm_TileCreate(c.tile);
      pm_ProjectAppendTile(project.get(), tile, slot.out());
      added = tile;
    } else {
      pm_File *file = pm_FileCreate(c.root_file, nullptr, 0, nullptr, nullptr);
      pm_ProjectAppendFile(project.get(), file, slot.out());
      added = file;
    }
    ASSERT_TRUE(slot.empty()) << slot.text();
    State before = StateOf(project->tiles);
    pm_ProjectSave(project.get(), 0, slot.out());
    ASSERT_FALSE(slot.empty());
    EXPECT_EQ(slot.functions().front(), "pm_ProjectSave");
    EXPECT_EQ(slot.functions().back(), "tk_TreeObjectWrite") << slot.text();
    EXPECT_EQ(ReadBytes(path), saved);
    EXPECT_EQ(StateOf(project->tiles), before) << "nothing was saved, nothing is marked saved";
    EXPECT_EQ(pm_ProjectDirty(project.get()), 1);
    if (c.tile) {
      pm_TileDestroy(static_cast<pm_Tile *>(added));
    } else {
      pm_FileDestroy(static_cast<pm_File *>(added));
    }
  }
  EXPECT_EQ(LoadedDifference(path, reference.get()), "");
  pm_ProjectSave(project.get(), 0, slot.out());
  EXPECT_TRUE(slot.empty()) << "a failed save does not spoil the next one: " << slot.text();
}

TEST(ProjectSaveFailures, DeepWriteFailureReachesTheCallerAsOneReportPerLevel) {
  TempDir dir;
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(BuildFullProject(path));
  pm_Sample *sample = project->tiles->samples;
  pm_File *first = sample->files;
  pm_File *bad = pm_FileCreate("bad:type", nullptr, 0, nullptr, nullptr);
  ReportSlot slot;
  pm_SampleAppendFile(sample, bad, slot.out());
  pm_SampleAppendFile(sample, pm_FileCreate("after", nullptr, 0, nullptr, nullptr), slot.out());
  // A host may set flags the library never sets; a failed save gives them
  // back exactly too.
  project->tiles->node.state->changed = 7;
  ASSERT_EQ(pm_FileGetNumber(first), 4);
  pm_ProjectSave(project.get(), 0, slot.out());
  EXPECT_EQ(slot.functions(),
            (Strings{"pm_ProjectSave", "pm_ProjectSaveAs", "pm_RootSave", "pm_TileListSave", "pm_TileSave",
                     "pm_SampleListSave", "pm_SampleSave", "pm_FileListSave", "pm_FileSave", "pm_RewindAndWrite",
                     "tk_TreeObjectWrite"}));
  Strings messages = slot.messages();
  messages.pop_back();  // the toolkit's own words
  std::string sample_path = "::" + TakeText(pm_TileGetName(project->tiles)) + ":" + TakeText(pm_SampleGetName(sample));
  EXPECT_EQ(messages, (Strings{"Error saving project file for the first time", "Error saving root node",
                               "Error saving tile list", "Error saving tile", "Error saving sample list",
                               "Error saving sample", "Error saving file list", "Error saving file",
                               "Error saving file", "Error saving node " + sample_path + " bad:type"}));
  EXPECT_FALSE(std::filesystem::exists(path)) << "a failed first save leaves no file";
  EXPECT_EQ(StateOf(first), kChanged) << "the flags are as before the failed save";
  EXPECT_EQ(project->tiles->node.state->changed, 7);
}

// Saving into a file replaces the project's own nodes and keeps every other
// one. A replaced node's record is never believed, so damage in it that
// only decoding notices must not stop the save; the same damage in a kept
// node refuses the save as it refuses a load, and the file stays as it was.
// Every record of a generated file is damaged in turn, both ways.
TEST(ProjectSaveIntoFile, OnlyTheRecordsTheSaveKeepsAreChecked) {
  enum Design : uint64_t { kRoot, kTile, kSample, kFile, kPFAFile, kPFARoot, kArgument, kProcess };
  struct Node {
    uint64_t parent;
    Design design;
    const char *name;
    bool kept;
  };
  const Node nodes[] = {
      {0, kRoot, "Project", false},          {0, kTile, "T1", false},     {2, kSample, "S1", false},
      {3, kFile, "plot", false},             {2, kFile, "photo", false},  {2, kTile, "T1", true},
      {0, kFile, "overview", false},         {0, kSample, "notes", true}, {8, kFile, "old", true},
      {8, kTile, "T1", true},                {0, kPFARoot, "Root Files", false},
      {11, kProcess, "mosaic", false},       {0, kPFARoot, "Primary Files", false},
      {0, kPFARoot, "Secondary Files", false}, {0, kProcess, "archived", true},
      {0, kArgument, "Project Files", true},
  };
  TempDir dir;
  const std::string path = dir.Path("kept.qdx");
  ProjectPtr project(BuildFullProject(path));
  ASSERT_TRUE(project);
  RawFileGenerator generate(20261208);
  ReportSlot slot;
  for (int round = 0; round < 2; ++round) {
    RawTreeFile raw;
    raw.designs = ProjectDesigns();
    for (const Node &n : nodes)
      raw.nodes.push_back({n.parent, n.design, n.name, generate.Record(raw.designs, n.design)});
    for (size_t k = 0; k <= raw.nodes.size(); ++k) {
      RawTreeFile damaged = raw;
      const bool sound = k == raw.nodes.size();
      if (!sound) {
        std::string &record = damaged.nodes[k].record;
        // One byte more than the items take, or one byte short of them.
        if (generate.Below(2) == 0) record += static_cast<char>(generate.Below(256));
        else record.pop_back();
      }
      SCOPED_TRACE("round " + std::to_string(round) + (sound ? ", nothing damaged" : ", damaged " + raw.nodes[k].name));
      const std::string bytes = damaged.Bytes();
      WriteBytes(path, bytes);
      pm_ProjectSave(project.get(), 0, slot.out());
      if (sound || !nodes[k].kept) {
        ASSERT_TRUE(slot.empty()) << slot.text();
        EXPECT_EQ(LoadedDifference(path, project.get()), "");
        Strings kept = NodePaths(path);
        kept.erase(std::remove_if(kept.begin(), kept.end(),
                                  [](const std::string &p) {
                                    return p.rfind(":notes", 0) != 0 && p != ":archived" && p != ":Project Files";
                                  }),
                   kept.end());
        // The stray tile under T1 is read to be kept, and goes with T1,
        // which the project does not hold.
        EXPECT_EQ(kept, (Strings{":notes", ":notes:old", ":notes:T1", ":archived", ":Project Files"}));
      } else {
        ASSERT_FALSE(slot.empty());
        // Nodes beneath a rewritten one are read as they are taken out of
        // the way; the others are checked after the deletion.
        const std::string front = slot.messages().front();
        EXPECT_TRUE(front == "Error opening QDX Project Manager file " + path ||
                    front.rfind("Cannot keep node " + std::string(nodes[k].name) + " of design", 0) == 0)
            << slot.text();
        EXPECT_NE(slot.messages().back().find("damaged"), std::string::npos) << slot.text();
        EXPECT_EQ(ReadBytes(path), bytes) << "the refused save leaves the file as it was";
        ProjectPtr loaded(Load(path, slot));
        EXPECT_FALSE(loaded) << "a load refuses the same damage";
      }
    }
  }
}

TEST(ProjectSaveFailures, FileThatCannotBeWrittenAtCloseIsAFailedSave) {
  if (tk_FaultInject(0, 0, 0) < 0) GTEST_SKIP() << "no fault injection in this build";
  TempDir dir;
  std::string path = dir.Path("p.qdx");
  ProjectPtr project(SavedFullProject(path, FullShape()));
  ASSERT_TRUE(project);
  ReportSlot slot;
  const std::string saved = ReadBytes(path);
  pm_ProjectSetType(project.get(), 1 - project->type);

  bool close_failed = false;
  for (long nth = 1; nth < 500 && !close_failed; ++nth) {
    tk_FaultInject(nth, ENOSPC, 1);
    pm_ProjectSave(project.get(), 0, slot.out());
    tk_FaultInject(0, 0, 0);
    ASSERT_FALSE(slot.empty()) << "every operation fails from the " << nth << "th on";
    close_failed = slot.messages().front() == "Cannot write QDX file " + path;
    EXPECT_EQ(ReadBytes(path), saved);
    EXPECT_EQ(pm_ProjectDirty(project.get()), 1);
  }
  EXPECT_TRUE(close_failed);
  pm_ProjectSave(project.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr loaded(Load(path, slot));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->type, project->type);
}

}  // namespace
}  // namespace kestrum_test
