// Loading lists long enough that the load indexes the names it links: the
// loaded project must equal the saved one, links and order included, a
// repeated name must still stop the load with the ordinary reports, and a
// load of a long list of any kind costs time in proportion to the list.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "node/list_append.h"
#include "peak_memory.h"
#include "persist/designs.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "scaling.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

FullShape LongShape() {
  FullShape shape;
  shape.tiles = 45;
  shape.samples = 40;
  shape.files = 3;
  return shape;
}

TEST(LongListLoad, LongTileAndSampleListsLoadAsSavedInOrder) {
  TempDir dir;
  std::string path = dir.Path("long.qdx");
  ProjectPtr saved(BuildFullProject(path, LongShape()));
  ASSERT_TRUE(saved);
  ReportSlot slot;
  pm_ProjectSave(saved.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(ProjectDifference(saved.get(), loaded.get()), "");
  EXPECT_EQ(ProjectStructureProblem(loaded.get()), "");
  EXPECT_EQ(pm_ProjectDirty(loaded.get()), 0);
  // Saving the loaded project again gives the same file.
  std::string before = ReadBytes(path);
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(ReadBytes(path), before);
}

TEST(LongListLoad, RepeatedTileNameInALongListStopsTheLoadWithTheOrdinaryReports) {
  TempDir dir;
  std::string path = dir.Path("twin.qdx");
  ProjectPtr saved(BuildFullProject(path, LongShape()));
  ASSERT_TRUE(saved);
  std::string repeated = saved->tiles->node.name;
  ReportSlot slot;
  pm_ProjectSave(saved.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  {
    TreeFile tree(path, "rb+");
    pm::NamedRecord record{Item(repeated.c_str()), 0};
    tree.Write(":", "twin", "PM_Tile", &record);
    EXPECT_TRUE(tree.Close());
  }
  pm_Project *project = pm_ProjectLoad(path.c_str(), 0, slot.out());
  EXPECT_EQ(project, nullptr);
  pm_ProjectDestroy(project);
  Strings messages = slot.messages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages[2], "Error adding tile " + repeated);
  EXPECT_EQ(messages[3], "Cannot append tile " + repeated + " to project node");
  EXPECT_EQ(messages.back(), "Name \"" + repeated + "\" already in use, please use another name");
}

// PFA files of one level, arguments of one process, processes of one level:
// the lists a project file keeps inside one record or one level.
enum class LongKind { kPFAFiles, kArguments, kProcesses };

// A project holding `n` nodes of that kind, named like names made to collide
// (sixteen bytes that differ only at the end), built through the appends.
pm_Project *ProjectWithLongList(LongKind kind, int n) {
  pm_Project *project = pm_ProjectCreate();
  pm_Process *holder = nullptr;
  if (kind == LongKind::kArguments) {
    holder = pm_ProcessCreate("many", "Many arguments", nullptr, nullptr, "_m", 1);
    project->process_lists->lists[1] = pm_ProcessAppend(nullptr, holder, nullptr);
  }
  for (int i = 0; i < n; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "AAAAAAAA%08d", i);
    ReportSlot slot;
    if (kind == LongKind::kPFAFiles) {
      project->pfa_root->lists[1] = pm_PFAFileAppend(project->pfa_root->lists[1], pm_PFAFileCreate(name, PM_RASTER), slot.out());
    } else if (kind == LongKind::kArguments) {
      pm_ProcessAppendArgument(holder, pm_ArgumentCreate(name, "v", PM_RASTER, PM_STRICT_INPUT, 0), slot.out());
    } else {
      project->process_lists->lists[2] = pm_ProcessAppend(project->process_lists->lists[2],
                                                          pm_ProcessCreate(name, "t", nullptr, nullptr, "_s", 1), slot.out());
    }
    EXPECT_TRUE(slot.empty()) << slot.text();
  }
  return project;
}

TEST(LongListLoad, LongPFAArgumentAndProcessListsLoadInLinearTime) {
  if (kestrum_test::SlowPathsForced()) GTEST_SKIP() << kestrum_test::kFastPathsOff;
  TempDir dir;
  const char *names[] = {"pfa", "arguments", "processes"};
  for (LongKind kind : {LongKind::kPFAFiles, LongKind::kArguments, LongKind::kProcesses}) {
    const char *name = names[static_cast<int>(kind)];
    std::map<int, std::string> paths;
    for (int n : {1000, 4000}) {
      paths[n] = dir.Path(std::string(name) + std::to_string(n) + ".qdx");
      ProjectPtr project(ProjectWithLongList(kind, n));
      ReportSlot slot;
      pm_ProjectSetFilename(project.get(), paths[n].c_str(), slot.out());
      pm_ProjectSave(project.get(), 0, slot.out());
      ASSERT_TRUE(slot.empty()) << slot.text();
    }
    ProjectPtr once(pm_ProjectLoad(paths[4000].c_str(), 0, nullptr));
    ASSERT_TRUE(once) << name;
    ProjectPtr built(ProjectWithLongList(kind, 4000));
    EXPECT_EQ(ProjectDifference(built.get(), once.get()), "") << name;
    double ratio = ScalingRatio(1000, [&](int n) {
      ProjectPtr loaded(pm_ProjectLoad(paths[n].c_str(), 0, nullptr));
      EXPECT_TRUE(loaded);
    });
    EXPECT_LE(ratio, kLinearBound) << name;
  }
}

// A project file whose level-0 PFA node holds `count` elements, element i
// named name(i) (null for an absent name); written through the toolkit,
// since the library refuses to build such lists. Its size in bytes.
template <typename Name>
size_t WriteLongPFARoot(const std::string &path, int count, Name name) {
  {
    ProjectPtr project(pm_ProjectCreate());
    ReportSlot slot;
    pm_ProjectSetFilename(project.get(), path.c_str(), slot.out());
    pm_ProjectSave(project.get(), 0, slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
  }
  {
    std::vector<std::string> names(static_cast<size_t>(count));
    std::vector<pm::PFAFileRecord> elements(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const char *text = name(i);
      if (text) names[static_cast<size_t>(i)] = text;
      elements[static_cast<size_t>(i)] = {Item(text ? names[static_cast<size_t>(i)].c_str() : nullptr), PM_RASTER};
    }
    TreeFile tree(path, "rb+");
    ReportSlot slot;
    tk_TreeObjectDelete(tree.get(), ":", ":Root Files", TK_DELETE_TREE, slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
    pm::PFARootRecord record{tk_RecordList{count, elements.data()}};
    EXPECT_TRUE(tree.Write(":", "Root Files", "PM_PFA_Root", &record));
    EXPECT_TRUE(tree.Close());
  }
  return ReadBytes(path).size();
}

// The peak (KiB) of a child process that loads `path`; *loaded whether it
// gave a project.
long PeakKibOfLoad(const std::string &path, bool *loaded) {
  return PeakKibOf(
      [&] {
        pm_Project *project = pm_ProjectLoad(path.c_str(), 0, nullptr);
        pm_ProjectDestroy(project);
        return project != nullptr;
      },
      loaded);
}

// A PFA list of half a million elements loads in little more memory than
// the project it gives and the file: its elements are taken from the file a
// chunk at a time, and a load refused at the second element (a repeated
// empty name) decodes nothing after it. Decoding the whole list first cost
// some 40 bytes an element beside the nodes, 12 to 24 times the file's own
// 2 to 7 bytes an element.
TEST(LongListLoad, AHugePFAListLoadsInMemoryInProportionToTheFileAndTheProject) {
  if (kSanitizedHeap) GTEST_SKIP() << "a sanitized heap holds freed memory back";
  if (kestrum_test::SlowPathsForced()) GTEST_SKIP() << kestrum_test::kFastPathsOff;
  TempDir dir;
  const int count = 500000;
  static char names[count][8];
  for (int i = 0; i < count; ++i) std::snprintf(names[i], sizeof names[i], "%x", i);
  const std::string empty = dir.Path("empty.qdx"), distinct = dir.Path("distinct.qdx");
  const size_t empty_bytes = WriteLongPFARoot(empty, count, [](int) { return ""; });
  const size_t distinct_bytes = WriteLongPFARoot(distinct, count, [&](int i) { return names[i]; });

  // Refused at the second element: against a plain project file of about
  // the same size (tiles with samples and data files).
  std::string plain = dir.Path("plain.qdx");
  auto plain_bytes = [&](int tiles) {
    FullShape shape;
    shape.tiles = tiles;
    shape.processes = 0;
    ProjectPtr project(BuildFullProject(plain, shape));
    ReportSlot slot;
    pm_ProjectSave(project.get(), 0, slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
    return ReadBytes(plain).size();
  };
  size_t one = plain_bytes(1), per_tile = std::max<size_t>((plain_bytes(5) - one) / 4, 1);
  size_t plain_size = plain_bytes(static_cast<int>(empty_bytes / per_tile) + 1);
  bool loaded = false;
  long plain_peak = PeakKibOfLoad(plain, &loaded);
  ASSERT_TRUE(loaded);
  long empty_peak = PeakKibOfLoad(empty, &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_LT(empty_peak, plain_peak * 3 / 2) << "KiB at peak for " << empty_bytes << " bytes, against " << plain_peak
                                            << " for a plain project file of " << plain_size << " bytes";

  // Loaded whole: against the same project built through the appends (its
  // own memory), plus three times the file.
  long built_peak = PeakKibOf(
      [&] {
        ProjectPtr project(pm_ProjectCreate());
        pm_PFAFile *list = nullptr;
        for (int i = 0; i < count; ++i) list = pm_PFAFileAppend(list, pm_PFAFileCreate(names[i], PM_RASTER), nullptr);
        project->pfa_root->lists[0] = list;
        return tk_ListCount(tk_ListStart(list)) == count;
      },
      &loaded);
  ASSERT_TRUE(loaded);
  long distinct_peak = PeakKibOfLoad(distinct, &loaded);
  EXPECT_TRUE(loaded);
  long file_kib = static_cast<long>(distinct_bytes / 1024);
  EXPECT_LT(distinct_peak, built_peak + 3 * file_kib)
      << "KiB at peak for " << distinct_bytes << " bytes, against " << built_peak << " for the project built in memory";
}

}  // namespace
}  // namespace kestrum_test
