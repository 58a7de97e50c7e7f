// Names the file cannot hold side by side (it keeps a node's children by
// name alone): a project holding them fails to save, and a file whose
// records give them (its nodes named apart, which kestrum never writes) is
// refused when it loads, naming the clash, so that every file that loads
// also saves. Each clash is crafted byte by byte beside a file that differs
// only in the clashing name and loads and saves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "include/kestrum.h"
#include "owned_records.h"
#include "persist/name_clash.h"
#include "raw_tree_file.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace {

using kestrum_test::ProjectPtr;
using kestrum_test::PutVarint;
using kestrum_test::RawNode;
using kestrum_test::RawTreeFile;
using kestrum_test::ReportSlot;
using kestrum_test::TempDir;

enum Design : uint64_t { kRoot, kTile, kSample, kFile, kPFAFile, kPFARoot, kArgument, kProcess };

std::string Text(const std::string &text) {
  std::string out;
  PutVarint(out, text.size() + 1);
  return out + text;
}
std::string Named(const std::string &name) { return Text(name) + std::string(1, '\0'); }  // name, selection
std::string FileRecord(const std::string &type) { return Text(type) + std::string(4, '\0'); }  // no descriptor, time 0

// A project file of tile `tile` (with a data file `tile_file` and a sample
// `sample`) and a project data file `project_file`, with everything else a
// load wants.
std::string ProjectBytes(const std::string &tile, const std::string &tile_file, const std::string &sample,
                         const std::string &project_file) {
  RawTreeFile raw;
  raw.designs = kestrum_test::ProjectDesigns();
  // The file refuses two nodes of one name under one parent; the names a
  // load gives come from the records, and the nodes are named apart.
  raw.nodes = {
      {0, kRoot, pm::kProjectNodeName, std::string(3, '\0')},
      {0, kFile, "file node", FileRecord(project_file)},
      {0, kTile, "tile node", Named(tile)},
      {3, kFile, "tile file node", FileRecord(tile_file)},
      {3, kSample, "sample node", Named(sample)},
  };
  for (const char *level : {"Root Files", "Primary Files", "Secondary Files"}) raw.nodes.push_back({0, kPFARoot, level, std::string(1, '\0')});
  return raw.Bytes();
}

struct Clash {
  const char *what;
  std::string tile, tile_file, sample, project_file;
  std::string message;  // of the refused load
};

TEST(NameClash, AFileHoldingNamesItCannotSaveIsRefusedAtLoadAndTheRestLoadAndSave) {
  const std::vector<Clash> clashes = {
      {"tile and project data file", "overview", "photo", "S1", "overview",
       "Tile overview has the name of a project data file; the file cannot hold both"},
      {"tile named like the project's record", "Project", "photo", "S1", "overview",
       "Tile Project has the name of the project's own record; the file cannot hold both"},
      {"project data file named like a level", "T1", "photo", "S1", "Primary Files",
       "Project data file Primary Files has the name of a level of the processing model; the file cannot hold both"},
      {"sample and tile data file", "T1", "photo", "photo", "overview",
       "Sample photo of tile T1 has the name of a data file of its tile; the file cannot hold both"},
  };
  TempDir dir;
  const std::string path = dir.Path("clash.qdx");
  ReportSlot slot;
  // The same file without a clash loads and saves.
  ASSERT_TRUE(kestrum_test::WriteBytes(path, ProjectBytes("T1", "photo", "S1", "overview")));
  {
    ProjectPtr project(pm_ProjectLoad(path.c_str(), 0, slot.out()));
    ASSERT_TRUE(project) << slot.text();
    pm_ProjectSaveAs(project.get(), dir.Path("again.qdx").c_str(), 0, slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
  }
  for (const Clash &clash : clashes) {
    SCOPED_TRACE(clash.what);
    ASSERT_TRUE(kestrum_test::WriteBytes(path, ProjectBytes(clash.tile, clash.tile_file, clash.sample, clash.project_file)));
    pm_Project *project = pm_ProjectLoad(path.c_str(), 0, slot.out());
    EXPECT_EQ(project, nullptr);
    pm_ProjectDestroy(project);
    ASSERT_FALSE(slot.empty());
    EXPECT_EQ(slot.messages().front(), clash.message);
    EXPECT_EQ(slot.functions().front(), "pm_ProjectLoad");
  }
}

// A tile with many data files looks its samples' names up in a set of the
// files' names instead of comparing each: both ways find the same clash.
TEST(NameClash, ASampleNamedLikeOneOfManyTileFilesIsFound) {
  auto bytes = [](int files, const std::string &sample) {
    RawTreeFile raw;
    raw.designs = kestrum_test::ProjectDesigns();
    raw.nodes = {{0, kRoot, pm::kProjectNodeName, std::string(3, '\0')}, {0, kTile, "tile node", Named("T")}};
    for (int i = 0; i < files; ++i)
      raw.nodes.push_back({2, kFile, "tile file node " + std::to_string(i), FileRecord("f" + std::to_string(i))});
    for (int i = 0; i < 20; ++i)
      raw.nodes.push_back({2, kSample, "sample node " + std::to_string(i), Named(i == 7 ? sample : "s" + std::to_string(i))});
    for (const char *level : {"Root Files", "Primary Files", "Secondary Files"})
      raw.nodes.push_back({0, kPFARoot, level, std::string(1, '\0')});
    return raw.Bytes();
  };
  TempDir dir;
  const std::string path = dir.Path("many.qdx");
  for (int files : {1, 8, 9, 40}) {
    for (bool clash : {false, true}) {
      SCOPED_TRACE(std::to_string(files) + (clash ? " files, clash" : " files"));
      const std::string last = "f" + std::to_string(files - 1);
      ASSERT_TRUE(kestrum_test::WriteBytes(path, bytes(files, clash ? last : "s7")));
      ReportSlot slot;
      ProjectPtr project(pm_ProjectLoad(path.c_str(), 0, slot.out()));
      EXPECT_EQ(project == nullptr, clash) << slot.text();
      if (clash) {
        ASSERT_FALSE(slot.empty());
        EXPECT_EQ(slot.messages().front(),
                  "Sample " + last + " of tile T has the name of a data file of its tile; the file cannot hold both");
      }
    }
  }
}

}  // namespace
