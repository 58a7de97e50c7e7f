// TempDir: a fresh directory of its own for one test, removed with all it
// holds when the test ends.
//
//   kestrum_test::TempDir dir;
//   std::string path = dir.Touch("tile1/image");   // creates the file
//
// Tests that look at the disk never share a directory, so they can run in
// parallel and leave nothing behind.
#ifndef KESTRUM_TEST_TEMP_DIR_H
#define KESTRUM_TEST_TEMP_DIR_H

#include <string>

namespace kestrum_test {

class TempDir {
 public:
  TempDir();   // fails the current test when no directory can be made
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

}  // namespace kestrum_test

#endif
