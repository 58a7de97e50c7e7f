// Scratch space on disk for tests: TempDir, a fresh directory of its own for
// one test, removed with all it holds when the test ends, and the one way
// the tests read and write whole files.
//
//   kestrum_test::TempDir dir;
//   std::string path = dir.Touch("tile1/image");   // creates the file
//   WriteBytes(dir.Path("a.kpf"), bytes);
//   EXPECT_EQ(ReadBytes(dir.Path("a.kpf")), bytes);
//
// Tests that look at the disk never share a directory, so they can run in
// parallel and leave nothing behind.
#ifndef KESTRUM_TEST_TEMP_DIR_H
#define KESTRUM_TEST_TEMP_DIR_H

#include <string>

namespace kestrum_test {

class TempDir {
 public:
  TempDir();  // in the system's temporary directory
  // In `parent` (a file system in memory, say); fails the current test when
  // no directory can be made.
  explicit TempDir(const std::string &parent);
  ~TempDir();  // removes the directory and everything below it
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const noexcept { return path_; }
  // The absolute path of `relative` inside the directory.
  std::string Path(const std::string &relative) const { return path_ + "/" + relative; }
  // Creates an empty file at `relative` (and the directories above it) and
  // returns its absolute path.
  std::string Touch(const std::string &relative) const;

 private:
  std::string path_;
};

// The file's bytes; "" when it cannot be read (ask the file system whether
// it is there).
std::string ReadBytes(const std::string &path);
// Writes `bytes` as the whole file, making the directories above it when
// missing; an existing file is rewritten in place (same inode, so mode and
// links stay). False when the file cannot be written.
bool WriteBytes(const std::string &path, const std::string &bytes);
// Replaces the file by a new one. Much faster than WriteBytes for a test
// that rewrites a file thousands of times: the file system flushes a file
// that was cut to nothing and written again when it is closed.
bool WriteNewFile(const std::string &path, const std::string &bytes);

}  // namespace kestrum_test

#endif
