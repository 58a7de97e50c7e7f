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

#include "full_project.h"
#include "node/list_append.h"
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
  std::string before = FileBytes(path);
  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(FileBytes(path), before);
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
  if (pm::slow_paths_wanted(std::getenv("KESTRUM_SLOW_PATHS"))) GTEST_SKIP() << "KESTRUM_SLOW_PATHS walks every list";
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

}  // namespace
}  // namespace kestrum_test
