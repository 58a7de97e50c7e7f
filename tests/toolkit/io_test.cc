// The file-system seam itself. Its wrappers are internal to the toolkit, so
// this test compiles the seam in (with fault injection on and its control
// function renamed, leaving the library's own seam and counter untouched).
#define TK_FAULT_INJECTION 1
#define tk_FaultInject seam_FaultInject
#include "toolkit/io.cc"
#undef tk_FaultInject

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "temp_dir.h"

namespace {

class SeamTest : public ::testing::Test {
 protected:
  void SetUp() override { seam_FaultInject(0, 0, 0); }
  void TearDown() override { seam_FaultInject(0, 0, 0); }

  int create(const char *name) {
    return tk::io::open(dir.Path(name).c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
  }
  off_t size_of(int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 ? info.st_size : -1;
  }

  kestrum_test::TempDir dir;
};

TEST_F(SeamTest, ShortWriteWritesPartThenFailsWithNoSpace) {
  int fd = create("short");
  ASSERT_GE(fd, 0);
  seam_FaultInject(1, TK_FAULT_SHORT_WRITE, 0);
  errno = 0;
  EXPECT_EQ(tk::io::write(fd, "0123456789", 10), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(size_of(fd), 5);
  EXPECT_EQ(tk::io::write(fd, "abc", 3), 3);  // once only
  EXPECT_EQ(size_of(fd), 8);
  ::close(fd);
}

TEST_F(SeamTest, ShortWriteFaultOnAnotherCallFailsItWithNoSpace) {
  seam_FaultInject(1, TK_FAULT_SHORT_WRITE, 0);
  EXPECT_EQ(create("never"), -1);
  EXPECT_EQ(errno, ENOSPC);
  struct stat info;
  EXPECT_NE(::stat(dir.Path("never").c_str(), &info), 0);
}

TEST_F(SeamTest, ReadCollectsPartialTransfersUntilFullOrEnd) {
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  std::string sent(200000, 'k');  // more than a pipe holds: arrives in pieces
  std::thread writer([&] {
    EXPECT_EQ(tk::io::write(pipe_ends[1], sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    ::close(pipe_ends[1]);
  });
  std::vector<char> got(sent.size() - 100);
  EXPECT_EQ(tk::io::read(pipe_ends[0], got.data(), got.size()), static_cast<ssize_t>(got.size()));
  EXPECT_EQ(tk::io::read(pipe_ends[0], got.data(), got.size()), 100);  // the rest, then the end
  EXPECT_EQ(tk::io::read(pipe_ends[0], got.data(), got.size()), 0);
  writer.join();
  ::close(pipe_ends[0]);
}

TEST_F(SeamTest, FailedCloseStillReleasesTheDescriptor) {
  int fd = create("closed");
  ASSERT_GE(fd, 0);
  seam_FaultInject(1, EIO, 0);
  EXPECT_EQ(tk::io::close(fd), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);  // no leak
}

TEST_F(SeamTest, DescriptorsAreCloseOnExec) {
  int fd = create("cloexec");
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
  ::close(fd);
}

TEST_F(SeamTest, DirectorySyncIsOneOperationAndNeedsADirectory) {
  seam_FaultInject(0, 0, 0);
  EXPECT_EQ(tk::io::fsync_dir(dir.path().c_str()), 0);
  EXPECT_EQ(seam_FaultInject(0, 0, 0), 1);
  std::string file = dir.Touch("file");
  EXPECT_EQ(tk::io::fsync_dir(file.c_str()), -1);
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_EQ(tk::io::fsync_dir(dir.Path("missing").c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(SeamTest, PersistentFaultHitsEveryKindOfCall) {
  int fd = create("persist");
  ASSERT_GE(fd, 0);
  seam_FaultInject(1, EROFS, 1);
  struct stat info;
  char buffer[8];
  EXPECT_EQ(tk::io::write(fd, "x", 1), -1);
  EXPECT_EQ(tk::io::read(fd, buffer, sizeof buffer), -1);
  EXPECT_EQ(tk::io::fsync(fd), -1);
  EXPECT_EQ(tk::io::fstat(fd, &info), -1);
  EXPECT_EQ(tk::io::fchmod(fd, 0600), -1);
  EXPECT_EQ(tk::io::flock(fd, LOCK_EX | LOCK_NB), -1);
  EXPECT_EQ(tk::io::lstat(dir.path().c_str(), &info), -1);
  EXPECT_EQ(tk::io::rename(dir.Path("persist").c_str(), dir.Path("moved").c_str()), -1);
  EXPECT_EQ(tk::io::unlink(dir.Path("persist").c_str()), -1);
  EXPECT_EQ(tk::io::readlink(dir.path().c_str(), buffer, sizeof buffer), -1);
  EXPECT_EQ(tk::io::getcwd(buffer, sizeof buffer), nullptr);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(seam_FaultInject(0, 0, 0), 11);
  EXPECT_EQ(size_of(fd), 0);  // nothing reached the file
  EXPECT_EQ(tk::io::unlink(dir.Path("persist").c_str()), 0);
  ::close(fd);
}

}  // namespace
