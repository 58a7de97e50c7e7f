// Files that hold tile, sample and file nodes where a load does not look for
// them (a tile under a tile, a sample under a file, chains of such nodes):
// they load, and a save into the same file must succeed, keep every stray
// where it was and load back as the project it wrote, however deep the
// strays are nested. Saving into such a
// file costs memory in proportion to the file, not to the length of the
// paths of its nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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

enum Kind { kRoot, kProjectNode, kTile, kSample, kFile, kLevel, kProcess, kKinds };
const char *const kDesignOf[kKinds] = {nullptr, "PM_Root", "PM_Tile", "PM_Sample", "PM_File", "PM_PFA_Root",
                                       "PM_Process"};

// Whether a load reads a node of kind `child` found under a read node of
// kind `parent`.
bool Taken(Kind parent, Kind child) {
  switch (parent) {
    case kRoot: return child == kTile || child == kFile || child == kProjectNode || child == kLevel;
    case kTile: return child == kSample || child == kFile;
    case kSample: return child == kFile;
    case kLevel: return child == kProcess;
    default: return false;
  }
}

struct Place {
  int64_t node;
  Kind kind;
  bool read;  // the load reads this node
};

// Every node of the file with its kind, parents before children.
std::vector<Place> PlacesOf(tk_TreeFile *file) {
  std::vector<Place> places{{0, kRoot, true}};
  for (size_t at = 0; at < places.size(); ++at) {
    for (int kind = kProjectNode; kind < kKinds; ++kind) {
      for (int64_t child = tk_TreeNodeFirstChild(file, places[at].node, kDesignOf[kind]); child >= 0;
           child = tk_TreeNodeNextSibling(file, child, kDesignOf[kind])) {
        places.push_back({child, Kind(kind), places[at].read && Taken(places[at].kind, Kind(kind))});
      }
    }
  }
  return places;
}

// Adds `count` tile, sample and file nodes where no load reads them: under
// nodes it does not read, or under read nodes that hold no such children.
// Half the time the new node goes under the one added just before, so that
// chains of strays grow deep.
void AddStrays(TreeFile &tree, std::mt19937 &random, int count) {
  std::vector<Place> places = PlacesOf(tree.get());
  pm::NamedRecord named{Item("stray"), 0};
  pm::FileRecord file{Item("Raster"), Item("/elsewhere/stray.img"), 2.5, Item(nullptr), Item("stray")};
  for (int i = 0; i < count; ++i) {
    bool below_last = i > 0 && random() % 2 == 0;
    const Place parent = below_last ? places.back() : places[random() % places.size()];
    std::vector<Kind> unread;
    for (Kind kind : {kTile, kSample, kFile})
      if (!parent.read || !Taken(parent.kind, kind)) unread.push_back(kind);
    Kind kind = unread[random() % unread.size()];
    const void *record = kind == kFile ? static_cast<const void *>(&file) : &named;
    std::string name = "stray" + std::to_string(i);
    ReportSlot slot;
    int64_t added = tk_TreeNodeWrite(tree.get(), parent.node, name.c_str(), kDesignOf[kind], record,
                                     tree.Design(kDesignOf[kind]), slot.out());
    ASSERT_GE(added, 0) << slot.text();
    places.push_back({added, kind, false});
  }
}

TEST(StrayNodes, FilesWithStrayNodesAtAnyDepthSaveIntoThemselvesAndLoadBack) {
  std::mt19937 random(20261208);
  FullShape shape;
  shape.tiles = 2;
  shape.processes = 1;
  shape.arguments = 1;
  for (int round = 0; round < 16; ++round) {
    TempDir dir;
    std::string path = dir.Path("stray.qdx");
    ProjectPtr original(BuildFullProject(path, shape));
    ReportSlot slot;
    pm_ProjectSave(original.get(), 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
    {
      TreeFile tree(path, "rb+");
      AddStrays(tree, random, 1 + static_cast<int>(random() % 16));
      ASSERT_TRUE(tree.Close());
    }
    std::vector<std::string> every = NodePaths(path);
    std::sort(every.begin(), every.end());
    SCOPED_TRACE("round " + std::to_string(round) + ", nodes: " + ::testing::PrintToString(every));
    ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
    ASSERT_TRUE(loaded) << slot.text();
    EXPECT_EQ(ProjectDifference(original.get(), loaded.get()), "");
    for (int again = 0; again < 2; ++again) {
      pm_ProjectSave(loaded.get(), 0, slot.out());
      ASSERT_TRUE(slot.empty()) << slot.text();
      ProjectPtr reloaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
      ASSERT_TRUE(reloaded) << slot.text();
      EXPECT_EQ(ProjectDifference(loaded.get(), reloaded.get()), "");
      // The project kept every name, so every stray is still where it was.
      std::vector<std::string> now = NodePaths(path);
      std::sort(now.begin(), now.end());
      EXPECT_EQ(now, every);
    }
  }
}

// The peak resident memory of the process since the last reset, and now, in
// kB; both 0 where the system does not tell.
struct Resident {
  long peak = 0;
  long now = 0;
};

Resident ReadResident() {
  std::ifstream status("/proc/self/status");
  Resident r;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) r.peak = std::stol(line.substr(6));
    if (line.rfind("VmRSS:", 0) == 0) r.now = std::stol(line.substr(6));
  }
  return r;
}

bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return static_cast<bool>(clear);
}

// How far the resident memory grows (kB) while the project loaded from
// `path` is saved into it.
long SaveGrowth(const std::string &path) {
  ReportSlot slot;
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  EXPECT_TRUE(loaded) << slot.text();
  if (!loaded || !ResetPeak()) return -1;
  long start = ReadResident().now;
  pm_ProjectSave(loaded.get(), 0, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  return ReadResident().peak - start;
}

// A saved project whose first tile holds `levels` tile nodes of 4,096-byte
// names, each under the one before (`nested`) or all side by side, and
// `leaves` short-named tile nodes under the last of them.
std::string LongNamedStrays(const TempDir &dir, const char *name, bool nested, int levels, int leaves) {
  std::string path = dir.Path(name);
  FullShape shape;
  shape.tiles = 1;
  ProjectPtr project(BuildFullProject(path, shape));
  ReportSlot slot;
  pm_ProjectSave(project.get(), 0, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  TreeFile tree(path, "rb+");
  tk_Design *design = tree.Design("PM_Tile");
  pm::NamedRecord record{Item("stray"), 0};
  const int64_t tile = tk_TreeNodeFirstChild(tree.get(), 0, "PM_Tile");
  int64_t parent = tile;
  for (int i = 0; i < levels + leaves; ++i) {
    std::string node = i < levels ? std::to_string(i) + std::string(4096 - std::to_string(i).size(), 'n')
                                   : "leaf" + std::to_string(i);
    int64_t added = tk_TreeNodeWrite(tree.get(), parent, node.c_str(), "PM_Tile", &record, design, slot.out());
    EXPECT_GE(added, 0) << slot.text();
    if (nested && i < levels) parent = added;
  }
  EXPECT_TRUE(tree.Close());
  return path;
}

TEST(StrayNodes, SavingIntoADeepFileCostsNoMoreThanIntoAFlatOneOfTheSameSize) {
  if (!ResetPeak() || ReadResident().peak == 0) GTEST_SKIP() << "peak resident memory cannot be measured here";
  TempDir dir;
  const int levels = 120, leaves = 100;
  std::string flat = LongNamedStrays(dir, "flat.qdx", false, levels, leaves);
  std::string deep = LongNamedStrays(dir, "deep.qdx", true, levels, leaves);
  const long file_kb = static_cast<long>(ReadBytes(deep).size() / 1024);
  ASSERT_GT(file_kb, 400);
  long flat_growth = SaveGrowth(flat);
  long deep_growth = SaveGrowth(deep);
  ASSERT_GE(flat_growth, 0);
  // Listing every stray by its full path took over a hundred times the
  // file's size here.
  EXPECT_LE(deep_growth, 3 * flat_growth + 4 * file_kb)
      << "flat " << flat_growth << " kB, deep " << deep_growth << " kB, file " << file_kb << " kB";
}

}  // namespace
}  // namespace kestrum_test
