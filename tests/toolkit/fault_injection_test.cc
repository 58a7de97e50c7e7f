// Fault injection as the library's callers see it: every file-system call of
// the toolkit counts, and the armed one fails with the chosen errno.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "report_slot.h"
#include "temp_dir.h"
#include "toolkit.h"

namespace {

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (tk_FaultInject(0, 0, 0) < 0) GTEST_SKIP() << "built without fault injection";
  }
  void TearDown() override { tk_FaultInject(0, 0, 0); }

  int status(const std::string &path) { return tk_PathExistsAsFileOrDir(path.c_str(), slot.out()); }  // one operation
  bool reported(const std::string &part) { return slot.text().find(part) != std::string::npos; }

  kestrum_test::TempDir dir;
  kestrum_test::ReportSlot slot;
};

TEST_F(FaultInjectionTest, NthOperationFailsOnceWithTheChosenError) {
  tk_FaultInject(2, EIO, 0);
  EXPECT_EQ(status(dir.path()), 1);
  EXPECT_EQ(status(dir.path()), -1);
  EXPECT_TRUE(reported("Input/output error")) << slot.text();
  EXPECT_EQ(status(dir.path()), 1);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(tk_FaultInject(0, 0, 0), 3);
}

TEST_F(FaultInjectionTest, PersistentFaultFailsEveryOperationUntilDisarmed) {
  tk_FaultInject(2, EACCES, 1);
  EXPECT_EQ(status(dir.path()), 1);
  EXPECT_EQ(status(dir.path()), -1);
  EXPECT_EQ(status(dir.path()), -1);
  EXPECT_EQ(tk_MakeDir(dir.Path("sub").c_str(), 0, slot.out()), 0);
  EXPECT_EQ(tk_PathExpand("relative", 0, 0), nullptr);  // getcwd fails too
  tk_FaultInject(0, 0, 0);
  EXPECT_EQ(status(dir.path()), 1);
  EXPECT_EQ(status(dir.Path("sub")), 0);  // nothing was made
}

TEST_F(FaultInjectionTest, CountsEveryFileSystemCallSinceTheLastArming) {
  tk_FaultInject(0, 0, 0);
  EXPECT_EQ(tk_MakeDir(dir.Path("new").c_str(), 0, slot.out()), 1);  // mkdir
  EXPECT_EQ(tk_MakeDir(dir.Path("new").c_str(), 0, slot.out()), 1);  // mkdir, then stat
  EXPECT_NE(tk_FileExists(dir.path().c_str(), slot.out()), 0);       // stat
  tk_HeapFree(tk_PathExpand("x", 0, 0));                             // getcwd
  tk_HeapFree(tk_PathExpand("/x", 0, 0));                            // nothing
  EXPECT_EQ(tk_FaultInject(0, 0, 0), 5);
  EXPECT_EQ(tk_FaultInject(0, 0, 0), 0);
}

TEST_F(FaultInjectionTest, TheErrnoDecidesWhatTheCallerSees) {
  tk_FaultInject(1, ENOENT, 0);  // a vanished directory reads as absent, without a report
  EXPECT_EQ(status(dir.path()), 0);
  EXPECT_TRUE(slot.empty());
  tk_FaultInject(1, ENOSPC, 0);
  EXPECT_EQ(tk_MakeDir(dir.Path("full").c_str(), 0, slot.out()), 0);
  EXPECT_TRUE(reported("No space left on device")) << slot.text();
  tk_FaultInject(1, 0, 0);  // errno 0 would pass for success: the call fails all the same
  EXPECT_EQ(status(dir.path()), -1);
}

}  // namespace
