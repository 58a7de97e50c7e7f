// The tool's JSON export and import, run in this process as main() runs
// them (argument parsing included), with every allocation failing in turn.
// A run exits 0 having written exactly what a run without faults writes, or
// exits 2 saying "out of memory" (or giving the library's report) with the
// file it was at, having written nothing or, past the rename that puts it
// in place, the whole new file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "allocation_loop.h"
#include "cli.h"
#include "disk_helpers.h"
#include "project_compare.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

// An output stream over a fixed buffer, so that what the tool prints costs
// no allocation that could fail (and shift N) or be refused.
class FixedStream : public std::ostream {
 public:
  FixedStream() : std::ostream(&buffer_) {}
  std::string text() const { return buffer_.text(); }

 private:
  class Buffer : public std::streambuf {
   public:
    Buffer() { setp(space_, space_ + sizeof space_); }
    std::string text() const { return std::string(pbase(), pptr()); }

   private:
    char space_[1 << 16];
  };
  Buffer buffer_;
};

struct ToolRun {
  int status = 0;
  std::string out, err;
};

// Runs the tool on `words` (without the program name) with `fault` armed.
ToolRun RunTool(const std::vector<std::string> &words, AllocationFault *fault) {
  std::vector<std::string> storage = {"kestrum"};
  storage.insert(storage.end(), words.begin(), words.end());
  std::vector<char *> argv;
  for (std::string &word : storage) argv.push_back(word.data());
  argv.push_back(nullptr);
  FixedStream out, err;
  if (fault) fault->Arm();
  int status = kcli::run_tool(static_cast<int>(storage.size()), argv.data(), out, err);
  if (fault) fault->Disarm();
  return {status, out.text(), err.text()};
}

// What a failed run must say: that memory ran out, or the library's report
// chain beneath the tool's line, and one of the files it was working on.
std::string FailureProblem(const ToolRun &run, const std::vector<std::string> &files) {
  if (run.status != kcli::kExitError) return "exit status " + std::to_string(run.status);
  std::string lower = run.err;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  const std::size_t line_end = run.err.find('\n');
  const bool chain = line_end != std::string::npos && line_end + 1 < run.err.size();
  if (lower.find("out of memory") == std::string::npos && !chain) return "neither memory nor a report in: " + run.err;
  for (const std::string &file : files)
    if (run.err.find(file) != std::string::npos) return "";
  return "the message names no file of the command: " + run.err;
}

class ToolLoop : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!AllocationFaultsAvailable()) GTEST_SKIP() << "toolkit built without fault injection";
    persistent_ = GetParam();
    project_file_ = dir_.Path("demo.kpr");
    json_ = dir_.Path("demo.json");
    kcli::ProjectPtr demo = kcli::build_demo_project(dir_.path());
    kcli::save_project(demo.get(), project_file_);
    ToolRun exported = RunTool({"export", project_file_, "-o", json_}, nullptr);
    ASSERT_EQ(exported.status, 0) << exported.err;
    listing_ = ListDir(dir_.path());
  }

  // Whatever a run left beside the files of the test.
  std::string Leftovers(const std::string &allowed) const {
    std::string extra;
    for (const std::string &name : ListDir(dir_.path()))
      if (listing_.count(name) == 0 && name != allowed) extra += " " + name;
    return extra.empty() ? "" : "left in the directory:" + extra;
  }

  TempDir dir_;
  bool persistent_ = false;
  std::string project_file_, json_;
  std::set<std::string> listing_;
};

TEST_P(ToolLoop, ExportWritesTheWholeDocumentOrNothing) {
  const std::string output = dir_.Path("out.json");
  const std::string clean = ReadBytes(json_);
  RunAllocationLoop("kestrum export", persistent_, [&](AllocationFault &fault) {
    std::filesystem::remove(output);
    ToolRun run = RunTool({"export", project_file_, "-o", output}, &fault);
    std::string problem = Leftovers("out.json");
    if (run.status == 0) {
      if (problem.empty() && ReadBytes(output) != clean) problem = "the document differs from a clean export";
      return Verdict::Succeeded(problem);
    }
    if (problem.empty()) problem = FailureProblem(run, {"demo.kpr", "out.json"});
    // Past the rename the new document is in place, whole.
    if (problem.empty() && std::filesystem::exists(output) && ReadBytes(output) != clean)
      problem = "a failed export left a document that is not the clean one";
    return Verdict::Reported(problem);
  });
}

TEST_P(ToolLoop, ImportSavesTheWholeProjectOrNothing) {
  const std::string target = dir_.Path("imported.kpr");
  ToolRun clean = RunTool({"import", json_, target}, nullptr);
  ASSERT_EQ(clean.status, 0) << clean.err;
  kcli::ProjectPtr expected(pm_ProjectLoad(target.c_str(), 0, nullptr));
  ASSERT_TRUE(expected);
  listing_.insert("imported.kpr");
  RunAllocationLoop("kestrum import", persistent_, [&](AllocationFault &fault) {
    std::filesystem::remove(target);
    ToolRun run = RunTool({"import", json_, target}, &fault);
    std::string problem = Leftovers("");
    if (run.status == 0) {
      if (problem.empty()) problem = LoadDifference(target, expected.get());
      if (problem.empty() && run.out != clean.out) problem = "printed " + run.out;
      return Verdict::Succeeded(problem);
    }
    if (problem.empty()) problem = FailureProblem(run, {"demo.json", "imported.kpr"});
    // Past the rename the new project file is in place, whole.
    if (problem.empty() && std::filesystem::exists(target) && !LoadDifference(target, expected.get()).empty())
      problem = "a failed import left a file that is not the clean import: " + LoadDifference(target, expected.get());
    return Verdict::Reported(problem);
  });
}

INSTANTIATE_TEST_SUITE_P(Tool, ToolLoop, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) { return info.param ? "FromNOn" : "Once"; });

}  // namespace
}  // namespace kestrum_test
