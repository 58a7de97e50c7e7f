// Every file-system operation of a save, a save-as and a load is made to
// fail in turn, once and from then on, with a full disk, an I/O error, a
// refused permission and a short write. Whatever operation fails, the caller
// gets a report chain, the file on disk is the old one byte for byte (or,
// when the operation still succeeded, loads as the new one), nothing
// temporary is left beside it and the project in memory is untouched.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>

#include "disk_helpers.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

enum class Operation { kSave, kSaveAsNew, kSaveAsOver, kLoad };

struct Fault {
  int error;
  const char *name;
};

const Fault kFaults[] = {
    {ENOSPC, "NoSpace"}, {EIO, "IOError"}, {EACCES, "Denied"}, {TK_FAULT_SHORT_WRITE, "ShortWrite"}};

const char *OperationName(Operation op) {
  switch (op) {
    case Operation::kSave: return "Save";
    case Operation::kSaveAsNew: return "SaveAsNew";
    case Operation::kSaveAsOver: return "SaveAsOver";
    case Operation::kLoad: return "Load";
  }
  return "?";
}

void PrintTo(const Fault &fault, std::ostream *out) { *out << fault.name; }
void PrintTo(Operation op, std::ostream *out) { *out << OperationName(op); }

const char *ReportingName(Operation op) {
  switch (op) {
    case Operation::kSave: return "pm_ProjectSave";
    case Operation::kSaveAsNew:
    case Operation::kSaveAsOver: return "pm_ProjectSaveAs";
    case Operation::kLoad: return "pm_ProjectLoad";
  }
  return "?";
}

FullShape Shape(int variant) {
  FullShape shape;
  shape.variant = variant;
  return shape;
}

class FaultLoop : public ::testing::TestWithParam<std::tuple<Operation, Fault, bool>> {
 protected:
  void SetUp() override {
    if (!FaultInjectionAvailable()) GTEST_SKIP() << "toolkit built without fault injection";
    op_ = std::get<0>(GetParam());
    fault_ = std::get<1>(GetParam());
    persistent_ = std::get<2>(GetParam());
    path_ = dir_.Path("site.kpr");
    other_ = dir_.Path("copy.kpr");

    // The old version on disk, written without any fault.
    ProjectPtr old(BuildFullProject(path_, Shape(1)));
    ASSERT_NE(old, nullptr);
    ReportSlot slot;
    pm_ProjectSave(old.get(), 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
    if (op_ == Operation::kSaveAsOver) {
      pm_ProjectSaveAs(old.get(), other_.c_str(), 0, slot.out());
      ASSERT_TRUE(slot.empty()) << slot.text();
    }
    old_bytes_ = ReadBytes(op_ == Operation::kSaveAsNew ? path_ : Target());
    ASSERT_FALSE(old_bytes_.empty());
    listing_ = ListDir(dir_.path());
    old_version_ = std::move(old);
  }

  // The file that the operation writes (or reads).
  const std::string &Target() const {
    return op_ == Operation::kSaveAsNew || op_ == Operation::kSaveAsOver ? other_ : path_;
  }

  // Puts the disk back as it was before the operation's first attempt.
  void RestoreDisk() {
    if (op_ == Operation::kSaveAsNew) {
      std::remove(other_.c_str());
    } else if (ReadBytes(Target()) != old_bytes_) {
      ASSERT_TRUE(WriteBytes(Target(), old_bytes_));
    }
  }

  // Runs the operation once on `project` (unused by a load). Returns the
  // loaded project for a load.
  ProjectPtr Run(pm_Project *project, ReportSlot &slot) {
    switch (op_) {
      case Operation::kSave: pm_ProjectSave(project, 0, slot.out()); break;
      case Operation::kSaveAsNew:
      case Operation::kSaveAsOver: pm_ProjectSaveAs(project, other_.c_str(), 0, slot.out()); break;
      case Operation::kLoad: return ProjectPtr(pm_ProjectLoad(path_.c_str(), 0, slot.out()));
    }
    return nullptr;
  }

  TempDir dir_;
  Operation op_ = Operation::kSave;
  Fault fault_{};
  bool persistent_ = false;
  std::string path_, other_, old_bytes_;
  std::set<std::string> listing_;
  ProjectPtr old_version_;
};

TEST_P(FaultLoop, EveryFailingOperationLeavesOldFileAndIntactProject) {
  FaultDisarm disarm;
  // The save writes variant 2 over variant 1; a load reads variant 1.
  bool loading = op_ == Operation::kLoad;
  ProjectPtr project(loading ? nullptr : BuildFullProject(path_, Shape(2)));
  ProjectPtr reference(loading ? nullptr : BuildFullProject(path_, Shape(2)));
  const pm_Project *expected = loading ? old_version_.get() : reference.get();
  if (!loading) {
    ASSERT_TRUE(project && reference);
  }

  // A clean run counts the operations that the faults can hit.
  ReportSlot slot;
  tk_FaultInject(0, 0, 0);
  ProjectPtr result = Run(project.get(), slot);
  long operations = tk_FaultInject(0, 0, 0);
  ASSERT_TRUE(slot.empty()) << slot.text();
  ASSERT_GT(operations, 0);
  result.reset();

  int failures = 0;
  for (long n = 1; n <= operations + 1; ++n) {
    SCOPED_TRACE(testing::Message() << OperationName(op_) << " with operation " << n << " of "
                                    << operations << " failing (" << fault_.name
                                    << (persistent_ ? ", persistent)" : ", once)"));
    RestoreDisk();
    if (!loading) {
      // A fresh project each time: every record dirty, as before a first save.
      project.reset(BuildFullProject(path_, Shape(2)));
      ASSERT_TRUE(project);
    }
    tk_FaultInject(n, fault_.error, persistent_ ? 1 : 0);
    result = Run(project.get(), slot);
    long counted = tk_FaultInject(0, 0, 0);
    bool hit = counted >= n;

    if (!slot.empty()) {
      ++failures;
      EXPECT_TRUE(hit) << "failure without a fault: " << slot.text();
      EXPECT_EQ(result, nullptr);
      ASSERT_GE(slot.functions().size(), 2u) << "the chain should say which step failed: " << slot.text();
      EXPECT_EQ(slot.functions().front(), ReportingName(op_)) << slot.text();
      const bool present = std::filesystem::exists(Target());
      const std::string now = ReadBytes(Target());
      if (present && now != old_bytes_) {
        // Only the flush of the directory comes after the new file is put in
        // place; when that fails the save says so, and the file holds the
        // complete new version.
        EXPECT_NE(slot.text().find("the new file is in place"), std::string::npos) << slot.text();
        EXPECT_EQ(LoadDifference(Target(), expected), "");
      } else if (op_ == Operation::kSaveAsNew) {
        EXPECT_FALSE(present) << "a failed save-as left a file";
      } else {
        EXPECT_TRUE(now == old_bytes_) << "file changed by a failed operation";
      }
    } else if (loading) {
      ASSERT_NE(result, nullptr);
      EXPECT_EQ(ProjectDifference(result.get(), expected), "");
      EXPECT_EQ(pm_ProjectDirty(result.get()), 0);
    } else {
      EXPECT_EQ(LoadDifference(Target(), expected), "");
    }
    result.reset();

    std::set<std::string> now = ListDir(dir_.path());
    if (op_ == Operation::kSaveAsNew) now.erase("copy.kpr");
    for (const std::string &name : now) {
      if (listing_.count(name) != 0) continue;
      // A fault that stays on also fails the removal of the temporary file,
      // and a fault on taking or releasing the lock file of a new file can
      // leave that (it holds nobody back; the next writer removes it);
      // nothing else may be left over.
      bool temporary = name.rfind(".", 0) == 0 && name.find(".tmp") != std::string::npos;
      bool lock = temporary && name.size() > 9 && name.compare(name.size() - 9, 9, ".tmp-lock") == 0;
      EXPECT_TRUE((persistent_ && temporary) || (hit && lock)) << "left in the project directory: " << name;
      std::remove(dir_.Path(name).c_str());
    }
    if (project) {
      // A failed save keeps nothing, so it must not mark anything saved: the
      // host would believe its changes are on disk.
      CompareOptions options;
      options.change_state = !slot.empty();
      EXPECT_EQ(ProjectDifference(project.get(), reference.get(), options), "")
          << "the project in memory changed";
      if (slot.empty() && op_ == Operation::kSave) {
        EXPECT_EQ(pm_ProjectDirty(project.get()), 0);
      }
    }
    if (!hit) break;  // ran to the end without meeting the fault
  }
  EXPECT_GT(failures, 0) << "no injected fault made the operation fail";
}

std::string CaseName(const testing::TestParamInfo<FaultLoop::ParamType> &info) {
  return std::string(OperationName(std::get<0>(info.param))) + std::get<1>(info.param).name +
         (std::get<2>(info.param) ? "Persistent" : "Once");
}

INSTANTIATE_TEST_SUITE_P(AllOperations, FaultLoop,
                         testing::Combine(testing::Values(Operation::kSave, Operation::kSaveAsNew,
                                                          Operation::kSaveAsOver, Operation::kLoad),
                                          testing::ValuesIn(kFaults), testing::Bool()),
                         CaseName);

}  // namespace
}  // namespace kestrum_test
