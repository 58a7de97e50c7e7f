// What a failing file operation does to a tree file: every operation of an
// open, a close over an old file and a close of a new file is made to fail
// in turn. Built only with the toolkit's fault injection.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

// Every OS failure of the toolkit reads alike: "Cannot <action> <path>: ...",
// ending in the OS message of the fault (a short write counts as a full
// disk), whichever operation it fell on.
void expect_failure_text(const std::string &chain, int fault, long nth) {
  const size_t colon = chain.find(": ");  // after the function's name
  std::string message = colon == std::string::npos ? chain : chain.substr(colon + 2);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  const std::string os = std::string(": ") + std::strerror(fault == TK_FAULT_SHORT_WRITE ? ENOSPC : fault);
  EXPECT_EQ(message.rfind("Cannot ", 0), 0u) << "fault at operation " << nth << ": " << chain;
  EXPECT_TRUE(message.size() >= os.size() && message.compare(message.size() - os.size(), os.size(), os) == 0)
      << "fault at operation " << nth << ": " << chain;
}

// Runs `close_one` with a fault at each file operation in turn, until a run
// goes through with no fault left to trigger, and checks after each run that
// the file holds the old or the new content (new only when the close
// succeeded or failed after the rename) and that no temporary file remains.
class TreeFileCloseFaults : public TreeFileDisk, public ::testing::WithParamInterface<int> {};

TEST_P(TreeFileCloseFaults, AFailingFileOperationLeavesTheOldFileAndNoTemporary) {
  if (tk_FaultInject(0, 0, 0) < 0) GTEST_SKIP() << "built without fault injection";
  const int error = GetParam();
  make_file();
  const Bytes old_bytes = ReadBytes(path("f.kpf"));
  long nth = 1;
  for (;; ++nth) {
    ASSERT_LT(nth, 100) << "close never completed";
    tk_TreeFile *file = open("f.kpf", "rb+");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
    tk_ErrorReport *report = nullptr;
    tk_FaultInject(nth, error, 0);
    int ok = tk_TreeFileClose(file, &report);
    long used = tk_FaultInject(0, 0, 0);
    std::string message = take_report(report);
    Bytes now = ReadBytes(path("f.kpf"));
    EXPECT_EQ(entries(), std::vector<std::string>{"f.kpf"}) << "fault at operation " << nth;
    if (ok) {
      EXPECT_EQ(message, "");
      EXPECT_NE(now, old_bytes);
      if (used < nth) break;  // no operation was left to fail
      // The fault fell where failing is harmless (releasing the lock).
      WriteBytes(path("f.kpf"), old_bytes);
      continue;
    }
    EXPECT_NE(message, "") << "failure without report at operation " << nth;
    expect_failure_text(message, error, nth);
    if (now != old_bytes) {
      // Only the flush of the directory comes after the rename.
      EXPECT_NE(message.find("the new file is in place"), std::string::npos) << message;
    }
    WriteBytes(path("f.kpf"), old_bytes);
    // The failed close released the writer's lock.
    EXPECT_EQ(open_failure("f.kpf", "rb+"), "") << "fault at operation " << nth;
  }
  // Creating, permissions, writing, flushing, closing, renaming, flushing
  // the directory: each was made to fail once.
  EXPECT_GE(nth, 8);
  tk_TreeFile *file = open("f.kpf", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(list(file, ":", nullptr), (std::vector<std::string>{":A", ":B"}));
  tk_TreeFileAbandon(file);
}

TEST_P(TreeFileCloseFaults, AFailingCloseOfANewFileLeavesNothingBehind) {
  if (tk_FaultInject(0, 0, 0) < 0) GTEST_SKIP() << "built without fault injection";
  const int error = GetParam();
  for (long nth = 1;; ++nth) {
    ASSERT_LT(nth, 100) << "close never completed";
    tk_TreeFile *file = create_with_designs("new.kpf");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(write_entry(file, ":", "A", "a"), "");
    tk_FaultInject(nth, error, 0);
    tk_ErrorReport *report = nullptr;
    int ok = tk_TreeFileClose(file, &report);
    long used = tk_FaultInject(0, 0, 0);
    std::string message = take_report(report);
    if (ok) {
      if (used >= nth) {
        // The fault fell on releasing the lock file once the new file was
        // in place: harmless. A lock file left behind holds nobody back,
        // and the next writer removes it.
        std::filesystem::remove(path(".new.kpf.tmp-lock"));
        EXPECT_EQ(entries(), std::vector<std::string>{"new.kpf"});
        std::filesystem::remove(path("new.kpf"));
        continue;
      }
      EXPECT_EQ(entries(), std::vector<std::string>{"new.kpf"});
      break;
    }
    expect_failure_text(message, error, nth);
    if (message.find("the new file is in place") == std::string::npos) {
      EXPECT_EQ(entries(), std::vector<std::string>{}) << "fault at operation " << nth << ": " << message;
    }
    std::filesystem::remove(path("new.kpf"));
  }
}

TEST_P(TreeFileCloseFaults, AFailingOpenReportsAndHoldsNoLock) {
  if (tk_FaultInject(0, 0, 0) < 0) GTEST_SKIP() << "built without fault injection";
  make_file();
  for (long nth = 1;; ++nth) {
    ASSERT_LT(nth, 100) << "open never completed";
    tk_FaultInject(nth, GetParam(), 0);
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileOpen(path("f.kpf").c_str(), "rb+", 0, &report, 0);
    long used = tk_FaultInject(0, 0, 0);
    if (file) {
      EXPECT_EQ(report, nullptr);
      tk_TreeFileAbandon(file);
      if (used < nth) break;
      continue;  // the fault fell on an operation whose failure is harmless
    }
    expect_failure_text(take_report(report), GetParam(), nth);
    EXPECT_EQ(open_failure("f.kpf", "rb+"), "") << "a failed open kept the lock, fault at " << nth;
  }
}

INSTANTIATE_TEST_SUITE_P(Errors, TreeFileCloseFaults, ::testing::Values(EIO, ENOSPC, TK_FAULT_SHORT_WRITE),
                         [](const ::testing::TestParamInfo<int> &info) {
                           return info.param == EIO ? std::string("EIO")
                                  : info.param == ENOSPC ? std::string("ENOSPC")
                                                         : std::string("ShortWrite");
                         });

}  // namespace
}  // namespace treefile_test
