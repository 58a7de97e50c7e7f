// Running the kestrum binary from tests: each test gets a fresh directory,
// and a run gives back the exit status and both output streams.
#ifndef KESTRUM_TESTS_TOOLS_TOOL_RUNNER_H
#define KESTRUM_TESTS_TOOLS_TOOL_RUNNER_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_dir.h"

using kestrum_test::ReadBytes;
using kestrum_test::WriteBytes;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  long peak_kb = 0;  // the run's peak resident memory (maxrss), in KiB
};

class ToolTest : public ::testing::Test {
 protected:
  // Runs the tool with `args`, in `cwd` (the test directory by default),
  // with `input` on standard input.
  Outcome run(const std::vector<std::string> &args, const std::string &input = {}, std::string cwd = {});
  // Runs another program the same way: `command` is the program (looked up
  // in PATH) and its arguments.
  Outcome run_program(std::vector<std::string> command, const std::string &input = {}, std::string cwd = {});
  // Builds the bundled example in <dir>/demo and returns its project file.
  std::string make_demo();
  std::string path(const std::string &name) const { return (dir_ / name).string(); }

  kestrum_test::TempDir scratch_;
  std::filesystem::path dir_{scratch_.path()};
};

#endif
