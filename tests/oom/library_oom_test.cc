// Every allocation of the library's larger operations is made to fail in
// turn, once and from then on: loading, saving into the bound file, save-as
// into a new and over an existing file, the list rebuilds, the copies of
// processes, argument and PFA lists, command lines and readiness. A run
// either gives exactly what a run without faults gives, or fails with a
// report and the call's failure result while the project in memory and the
// file on disk stay as they were (a save may also have put the complete new
// file in place). The sanitizer build adds that no run leaks.
//
// Two project sizes, every N of each: the small one has one of everything a
// project file can hold, so every allocation site is reached; the full one
// repeats each site, with lists long enough for their indexes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "allocation_loop.h"
#include "disk_helpers.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

FullShape Small(int variant) {
  FullShape shape;
  shape.tiles = 1;
  shape.samples = 1;
  shape.files = 1;
  shape.processes = 2;  // the second has no label file
  shape.arguments = 3;  // the third carries an out-of-range hide value
  shape.variant = variant;
  return shape;
}

FullShape Full(int variant) {
  FullShape shape;
  shape.variant = variant;
  return shape;
}

CompareOptions Exactly() {
  CompareOptions options;
  options.change_state = true;
  options.file_binding = true;
  return options;
}

// The parameters: the project's size, and whether the fault stays on.
class AllocationLoop : public testing::TestWithParam<std::tuple<bool, bool>> {
 protected:
  void SetUp() override {
    if (!AllocationFaultsAvailable()) GTEST_SKIP() << "toolkit built without fault injection";
    full_ = std::get<0>(GetParam());
    persistent_ = std::get<1>(GetParam());
    path_ = dir_.Path("site.kpr");
  }

  FullShape Shape(int variant) const { return full_ ? Full(variant) : Small(variant); }
  std::string Name(const std::string &operation) const { return operation + (full_ ? ", full" : ", small"); }

  LoopTally Loop(const std::string &operation, const std::function<Verdict(AllocationFault &)> &attempt) {
    return RunAllocationLoop(Name(operation), persistent_, attempt);
  }

  ProjectPtr Build(int variant) const {
    ProjectPtr project(BuildFullProject(path_, Shape(variant)));
    EXPECT_NE(project, nullptr);
    return project;
  }

  // Saves `project` into its bound file without faults.
  static void SaveCleanly(pm_Project *project) {
    ReportSlot slot;
    pm_ProjectSave(project, 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
  }

  TempDir dir_;
  bool full_ = false;
  bool persistent_ = false;
  std::string path_;
};

TEST_P(AllocationLoop, LoadGivesTheWholeProjectOrNothing) {
  ProjectPtr built = Build(1);
  ASSERT_TRUE(built);
  SaveCleanly(built.get());
  ReportSlot clean_slot;
  ProjectPtr clean(pm_ProjectLoad(path_.c_str(), 0, clean_slot.out()));
  ASSERT_TRUE(clean) << clean_slot.text();

  Loop("load", [&](AllocationFault &fault) {
    ReportSlot slot;
    fault.Arm();
    ProjectPtr loaded(pm_ProjectLoad(path_.c_str(), 0, slot.out()));
    fault.Disarm();
    if (!slot.empty()) return Verdict::Reported(loaded ? "a project came back with a report" : "");
    if (!loaded) return Verdict::Succeeded("neither a project nor a report");
    return Verdict::Succeeded(ProjectDifference(loaded.get(), clean.get(), Exactly()));
  });
}

// What a save may leave behind: the old file or the complete new one, and
// nothing else in the directory.
std::string DiskProblem(const std::string &path, const std::string &old_bytes, const pm_Project *expected,
                        const std::set<std::string> &listing, bool may_be_absent) {
  std::set<std::string> now = ListDir(std::filesystem::path(path).parent_path().string());
  now.insert(std::filesystem::path(path).filename().string());
  if (now != listing) {
    std::string names;
    for (const std::string &name : now) names += " " + name;
    return "the directory holds" + names;
  }
  if (!std::filesystem::exists(path)) return may_be_absent ? "" : "the file is gone";
  if (ReadBytes(path) == old_bytes) return "";
  std::string difference = LoadDifference(path, expected);
  return difference.empty() ? "" : "the file is neither the old nor the new version: " + difference;
}

enum class SaveKind { kInPlace, kAsNew, kAsOver };

class SaveLoop : public AllocationLoop {
 protected:
  // The old version at path_ (and, for a save over a file, at other_); the
  // new version is variant 2.
  void Check(SaveKind kind, const char *operation) {
    const std::string other = dir_.Path("copy.kpr");
    const std::string &target = kind == SaveKind::kInPlace ? path_ : other;
    {
      ProjectPtr old = Build(1);
      ASSERT_TRUE(old);
      SaveCleanly(old.get());
      if (kind == SaveKind::kAsOver) {
        ReportSlot slot;
        pm_ProjectSaveAs(old.get(), other.c_str(), 0, slot.out());
        ASSERT_TRUE(slot.empty()) << slot.text();
      }
    }
    const std::string old_bytes = kind == SaveKind::kAsNew ? std::string() : ReadBytes(target);
    std::set<std::string> listing = ListDir(dir_.path());
    listing.insert("copy.kpr");
    if (kind == SaveKind::kInPlace) listing.erase("copy.kpr");
    const std::string path_bytes = ReadBytes(path_);

    ProjectPtr before = Build(2);  // the project as it is before the call
    ProjectPtr after = Build(2);   // ... and after a clean one
    ASSERT_TRUE(before && after);
    ReportSlot clean_slot;
    Run(kind, after.get(), other, clean_slot);
    ASSERT_TRUE(clean_slot.empty()) << clean_slot.text();
    auto restore = [&] {
      if (kind == SaveKind::kAsNew) std::filesystem::remove(other);
      if (kind == SaveKind::kAsOver && ReadBytes(other) != old_bytes) WriteBytes(other, old_bytes);
      if (ReadBytes(path_) != path_bytes) WriteBytes(path_, path_bytes);
    };
    restore();

    Loop(operation, [&](AllocationFault &fault) {
      restore();
      ProjectPtr project = Build(2);
      if (!project) return Verdict::Reported("the project could not be built");
      ReportSlot slot;
      fault.Arm();
      Run(kind, project.get(), other, slot);
      fault.Disarm();
      std::string problem =
          DiskProblem(target, old_bytes, before.get(), listing, kind == SaveKind::kAsNew && !slot.empty());
      if (!problem.empty()) return Verdict{slot.empty() ? Outcome::kSucceeded : Outcome::kReported, problem};
      if (!slot.empty()) {
        problem = ProjectDifference(project.get(), before.get(), Exactly());
        return Verdict::Reported(problem.empty() ? "" : "the project changed: " + problem);
      }
      problem = LoadDifference(target, before.get());
      if (problem.empty()) problem = ProjectDifference(project.get(), after.get(), Exactly());
      return Verdict::Succeeded(problem);
    });
  }

  static void Run(SaveKind kind, pm_Project *project, const std::string &other, ReportSlot &slot) {
    if (kind == SaveKind::kInPlace) {
      pm_ProjectSave(project, 0, slot.out());
    } else {
      pm_ProjectSaveAs(project, other.c_str(), 0, slot.out());
    }
  }
};

TEST_P(SaveLoop, SaveLeavesTheOldOrTheNewFile) { Check(SaveKind::kInPlace, "save"); }
TEST_P(SaveLoop, SaveAsNewLeavesNoFileOrTheNewOne) { Check(SaveKind::kAsNew, "save-as into a new file"); }
TEST_P(SaveLoop, SaveAsOverLeavesTheOldOrTheNewFile) { Check(SaveKind::kAsOver, "save-as over a file"); }

std::vector<std::string> TileNames(const pm_Project *project) {
  std::vector<std::string> names;
  for (const pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<const pm_Tile *>(tile->node.next))
    names.push_back(tile->node.name);
  return names;
}

std::vector<std::string> SampleNames(const pm_Tile *tile) {
  std::vector<std::string> names;
  for (const pm_Sample *s = tile->samples; s; s = reinterpret_cast<const pm_Sample *>(s->node.next))
    names.push_back(s->node.name);
  return names;
}

// The rebuilds keep the last former node, put it first, and add two new ones
// after the first kept one: T1,T2,T3 -> T3,T1,N1,N2.
std::vector<std::string> Reordered(const std::vector<std::string> &former, const char *stem) {
  std::vector<std::string> names;
  names.push_back(former.back());
  if (former.size() > 1) names.push_back(former.front());
  names.push_back(std::string(stem) + " new 1");
  names.push_back(std::string(stem) + " new 2");
  return names;
}

std::vector<const char *> Pointers(const std::vector<std::string> &names) {
  std::vector<const char *> out;
  for (const std::string &name : names) out.push_back(name.c_str());
  return out;
}

class ChangeLoopTest : public AllocationLoop {
 protected:
  // A failure leaves the project as it was; a success as a clean run does.
  void Check(const std::string &operation, const std::function<void(pm_Project *, tk_ErrorReport **)> &change) {
    ProjectPtr before = Build(1);
    ProjectPtr after = Build(1);
    ASSERT_TRUE(before && after);
    ReportSlot clean_slot;
    change(after.get(), clean_slot.out());
    ASSERT_TRUE(clean_slot.empty()) << clean_slot.text();
    ASSERT_NE(ProjectDifference(before.get(), after.get()), "") << "the change changes nothing";
    Loop(operation, [&](AllocationFault &fault) {
      ProjectPtr project = Build(1);
      if (!project) return Verdict::Reported("the project could not be built");
      ReportSlot slot;
      fault.Arm();
      change(project.get(), slot.out());
      fault.Disarm();
      if (!slot.empty()) {
        std::string problem = ProjectDifference(project.get(), before.get(), Exactly());
        return Verdict::Reported(problem.empty() ? "" : "a failed call changed the project: " + problem);
      }
      return Verdict::Succeeded(ProjectDifference(project.get(), after.get(), Exactly()));
    });
  }
};

TEST_P(ChangeLoopTest, TileListRebuildIsAllOrNothing) {
  // The names are made before the loop: only the call may allocate.
  ProjectPtr shape = Build(1);
  ASSERT_TRUE(shape);
  const std::vector<std::string> names = Reordered(TileNames(shape.get()), "tile");
  const std::vector<const char *> pointers = Pointers(names);
  Check("pm_ProjectSetTileList", [&](pm_Project *project, tk_ErrorReport **slot) {
    pm_ProjectSetTileList(project, static_cast<int>(pointers.size()), pointers.data(), slot);
  });
}

TEST_P(ChangeLoopTest, SampleListRebuildIsAllOrNothing) {
  ProjectPtr shape = Build(1);
  ASSERT_TRUE(shape);
  const std::vector<std::string> names = Reordered(SampleNames(shape->tiles), "sample");
  const std::vector<const char *> pointers = Pointers(names);
  Check("pm_TileSetSampleList", [&](pm_Project *project, tk_ErrorReport **slot) {
    pm_TileSetSampleList(project->tiles, static_cast<int>(pointers.size()), pointers.data(), slot);
  });
}

TEST_P(ChangeLoopTest, FileListRebuildIsAllOrNothing) {
  // A sample's files rebuilt from the tile level's associations: the old
  // files go, new ones come.
  Check("pm_SetFileListFromPFA", [](pm_Project *project, tk_ErrorReport **slot) {
    pm_SetFileListFromPFA(project->pfa_root->lists[1], project->tiles->samples, slot);
  });
}

// The copies and the read-only answers: a failure gives a report (a list
// copy with the copies made so far, as its contract says) and changes
// nothing; a success gives the clean run's result.
class ReadLoop : public AllocationLoop {
 protected:
  void SetUp() override {
    AllocationLoop::SetUp();
    if (IsSkipped()) return;
    project_ = Build(1);
    before_ = Build(1);
    ASSERT_TRUE(project_ && before_);
  }

  // Runs `call` (which returns "" when its result is the clean one) and
  // checks the project afterwards.
  void Check(const std::string &operation, const std::function<Verdict(AllocationFault &)> &call) {
    Loop(operation, [&](AllocationFault &fault) {
      Verdict verdict = call(fault);
      std::string changed = ProjectDifference(project_.get(), before_.get(), Exactly());
      if (verdict.problem.empty() && !changed.empty()) verdict.problem = "the project changed: " + changed;
      return verdict;
    });
  }

  pm_Process *LastProcess(int level) const {
    pm_Process *process = project_->process_lists->lists[level];
    while (process && process->node.next) process = reinterpret_cast<pm_Process *>(process->node.next);
    return process;
  }

  ProjectPtr project_, before_;
};

TEST_P(ReadLoop, ProcessCopiesAreWholeOrAbsent) {
  pm_Process *list = project_->process_lists->lists[1];
  Check("pm_ProcessCopyList", [&](AllocationFault &fault) {
    ReportSlot slot;
    fault.Arm();
    ProcessPtr copy(pm_ProcessCopyList(list, slot.out()));
    fault.Disarm();
    if (!slot.empty()) return Verdict::Reported();  // with the copies made so far, as documented
    return Verdict::Succeeded(ProcessListDifference(copy.get(), list));
  });
  pm_Process *process = LastProcess(2);
  ReportSlot clean_slot;
  ProcessPtr clean(pm_ProcessCopy(process, clean_slot.out()));
  ASSERT_TRUE(clean) << clean_slot.text();
  Check("pm_ProcessCopy", [&](AllocationFault &fault) {
    ReportSlot slot;
    fault.Arm();
    ProcessPtr copy(pm_ProcessCopy(process, slot.out()));
    fault.Disarm();
    // With a report the copy holds the arguments copied so far, as documented.
    if (!slot.empty()) return Verdict::Reported();
    if (!copy) return Verdict::Reported("neither a copy nor a report");
    CompareOptions states;
    states.change_state = true;
    return Verdict::Succeeded(ProcessListDifference(copy.get(), clean.get(), states));
  });
}

TEST_P(ReadLoop, ArgumentAndAssociationCopiesAreWholeOrAbsent) {
  pm_Process *process = LastProcess(0);
  Check("pm_ArgumentCopyList", [&](AllocationFault &fault) {
    ReportSlot slot;
    fault.Arm();
    ArgumentPtr copy(pm_ArgumentCopyList(process->arguments, slot.out()));
    fault.Disarm();
    if (!slot.empty()) return Verdict::Reported();
    return Verdict::Succeeded(ArgumentListDifference(copy.get(), process->arguments));
  });
  pm_PFAFile *pfas = project_->pfa_root->lists[2];
  Check("pm_PFAListCopy", [&](AllocationFault &fault) {
    ReportSlot slot;
    fault.Arm();
    PFAPtr copy(pm_PFAListCopy(pfas, slot.out()));
    fault.Disarm();
    if (!slot.empty()) return Verdict::Reported();
    return Verdict::Succeeded(PFAListDifference(copy.get(), pfas));
  });
}

// The command lines of every process of every level, one per line, into
// `lines` (which the caller gives room enough, so that joining them takes no
// allocation of its own); true when any call reported.
bool CommandLines(pm_Project *project, std::string &lines) {
  bool reported = false;
  tk_ErrorReport *report = nullptr;
  lines.clear();
  for (int level = 0; level < 3; ++level) {
    for (pm_Process *p = project->process_lists->lists[level]; p; p = reinterpret_cast<pm_Process *>(p->node.next)) {
      char *line = pm_ProcessCommandLine(p, &report);
      reported = reported || report != nullptr;
      lines += line ? line : "(null)";
      lines += '\n';
      tk_HeapFree(line);
      tk_ErrorReportDelete(&report);
    }
  }
  return reported;
}

TEST_P(ReadLoop, CommandLineIsWholeOrReported) {
  std::string clean, lines;
  lines.reserve(1 << 16);
  ASSERT_FALSE(CommandLines(project_.get(), clean));
  Check("pm_ProcessCommandLine", [&](AllocationFault &fault) {
    fault.Arm();
    const bool reported = CommandLines(project_.get(), lines);
    fault.Disarm();
    if (reported) return Verdict::Reported();
    return Verdict::Succeeded(lines == clean ? "" : "the lines are\n" + lines + "not\n" + clean);
  });
}

TEST_P(ReadLoop, ReadinessIsTheCleanAnswerOrReported) {
  // Every process of every level at the project, each tile and each sample.
  std::vector<void *> nodes = {project_.get()};
  for (pm_Tile *t = project_->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
    nodes.push_back(t);
    for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next)) nodes.push_back(s);
  }
  std::vector<pm_Process *> processes;
  for (int level = 0; level < 3; ++level)
    for (pm_Process *p = project_->process_lists->lists[level]; p; p = reinterpret_cast<pm_Process *>(p->node.next))
      processes.push_back(p);
  std::vector<int> clean, answers(nodes.size() * processes.size());
  for (pm_Process *p : processes) {
    for (void *node : nodes) {
      ReportSlot slot;
      clean.push_back(pm_IsProcessReady(project_.get(), p, node, slot.out()));
      ASSERT_TRUE(slot.empty()) << slot.text();
    }
  }
  Check("pm_IsProcessReady", [&](AllocationFault &fault) {
    tk_ErrorReport *report = nullptr;
    bool reported = false;
    size_t i = 0;
    fault.Arm();
    for (pm_Process *p : processes) {
      for (void *node : nodes) {
        answers[i] = pm_IsProcessReady(project_.get(), p, node, &report);
        if (report) answers[i] = -1;
        reported = reported || report != nullptr;
        tk_ErrorReportDelete(&report);
        ++i;
      }
    }
    fault.Disarm();
    for (i = 0; i < answers.size(); ++i)
      if (answers[i] != -1 && answers[i] != clean[i]) return Verdict::Succeeded("answer " + std::to_string(i) + " changed");
    return reported ? Verdict::Reported() : Verdict::Succeeded();
  });
}

std::string CaseName(const testing::TestParamInfo<std::tuple<bool, bool>> &info) {
  return std::string(std::get<0>(info.param) ? "Full" : "Small") + (std::get<1>(info.param) ? "FromNOn" : "Once");
}

INSTANTIATE_TEST_SUITE_P(Library, AllocationLoop, testing::Combine(testing::Bool(), testing::Bool()), CaseName);
INSTANTIATE_TEST_SUITE_P(Library, SaveLoop, testing::Combine(testing::Bool(), testing::Bool()), CaseName);
INSTANTIATE_TEST_SUITE_P(Library, ChangeLoopTest, testing::Combine(testing::Bool(), testing::Bool()), CaseName);
INSTANTIATE_TEST_SUITE_P(Library, ReadLoop, testing::Combine(testing::Bool(), testing::Bool()), CaseName);

}  // namespace
}  // namespace kestrum_test
