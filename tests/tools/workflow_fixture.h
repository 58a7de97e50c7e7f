// The fixture the workflow tests share: the demo made runnable, a stub
// program that stands in for every process, and plans written with it.
#ifndef KESTRUM_TESTS_TOOLS_WORKFLOW_FIXTURE_H
#define KESTRUM_TESTS_TOOLS_WORKFLOW_FIXTURE_H

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "tool_runner.h"

namespace workflow_test {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

inline std::string quoted(const std::string &word) {
  std::string text = "'";
  for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

inline std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A program that stands in for every process: it logs its name and
// arguments, fails when a path it is given to read is not there or when the
// file LOG.fail names its process, and writes the paths given after an
// argument whose name begins with "out".
constexpr const char *kStub = R"(#!/bin/sh
log=$1; process=$2; shift 2
if [ -e "$log.fail" ] && grep -qx "$process" "$log.fail"; then echo "$process: told to fail" >&2; exit 4; fi
printf '%s\n' "$process $*" >> "$log"
argument=
for word in "$@"; do
  case "$word" in
    /*) if [ "${argument#out}" != "$argument" ]; then printf '%s\n' "$process" > "$word"
        elif [ ! -e "$word" ]; then echo "$process: no $word" >&2; exit 3; fi ;;
    *) argument=$word ;;
  esac
done
)";

// A project with files and processes at the project level only: enough
// for a plan's jobs to read, make and edit files as a test needs.
struct FileSpec {
  std::string type;
  std::string path;             // "$PROJECT/..." or absolute
  const char *content = nullptr;  // written there when given
};
struct ArgumentShape {
  std::string name;
  std::string type;
  pm_ArgumentMode mode;
};
struct ProcessShape {
  std::string name;
  std::vector<ArgumentShape> arguments;
};

inline std::string project_of(const std::string &root, const std::vector<FileSpec> &files,
                              const std::vector<ProcessShape> &processes) {
  fs::create_directories(root);
  kcli::ProjectPtr project(pm_ProjectCreate());
  pm_Project *p = project.get();
  kcli::Processing processing;
  std::vector<std::string> types;
  for (const FileSpec &file : files) {
    if (file.content) WriteBytes(kcli::project_absolute(root, file.path), file.content);
    kcli::append_file(p, pm_FileCreate(file.type.c_str(), file.path.c_str(), 0.0, nullptr, nullptr));
    if (std::find(types.begin(), types.end(), file.type) == types.end()) types.push_back(file.type);
  }
  for (const std::string &type : types) processing.add_pfa(0, pm_PFAFileCreate(type.c_str(), PM_RASTER));
  for (const ProcessShape &shape : processes) {
    pm_Process *process = pm_ProcessCreate(shape.name.c_str(), "", root.c_str(), "x.par", "x.lab", 1);
    for (const ArgumentShape &arg : shape.arguments)
      kcli::append_argument(process, pm_ArgumentCreate(arg.name.c_str(), arg.type.c_str(), PM_RASTER, arg.mode, 0));
    processing.add_process(0, process);
  }
  processing.apply(p);
  const std::string file = root + "/project.kpf";
  kcli::save_project(p, file);
  return file;
}

class WorkflowCommand : public ToolTest {
 protected:
  // The demo under `root` with no counts on disk, so that every output
  // has to be made.
  std::string runnable_demo(const std::string &root) {
    EXPECT_EQ(run({"demo", root}).status, 0);
    fs::remove(root + "/tiles/T1/S1/counts.txt");
    return root + "/survey.kpf";
  }

  // Options that run every process of the demo as the stub.
  std::vector<std::string> stub_programs() {
    WriteBytes(path("stub"), kStub);
    chmod(path("stub").c_str(), 0755);
    std::vector<std::string> options;
    for (const char *process : {"mosaic", "publish", "finanal", "segment", "count"}) {
      options.push_back("--program");
      options.push_back(std::string(process) + "=" + quoted(path("stub")) + " " + quoted(path("log")) + " " + process);
    }
    return options;
  }

  Outcome plan(const std::string &project, const std::string &engine, const std::string &output,
               std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"workflow", project, "--engine", engine, "-o", output};
    const std::vector<std::string> programs = stub_programs();
    args.insert(args.end(), programs.begin(), programs.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return run(args);
  }

  // What the engine must have done: every planned output made, the project
  // process that reads the samples' and tiles' outputs run after all of
  // them, with every one of them on its command line.
  void expect_whole_plan_ran(const std::string &root) {
    for (const char *made : {"data/mosaic.img", "tiles/T1/segments.shp", "tiles/T2/segments.shp",
                             "tiles/T1/S1/counts.txt", "tiles/T1/S2/counts.txt", "tiles/T2/S1/counts.txt",
                             "tiles/T3/S1/counts.txt"})
      EXPECT_TRUE(fs::exists(root + "/" + made)) << made;
    EXPECT_FALSE(fs::exists(root + "/tiles/T3/segments.shp"));
    const std::vector<std::string> log = lines_of(ReadBytes(path("log")));
    ASSERT_EQ(log.size(), 8u) << ReadBytes(path("log"));
    // The mosaic reads nothing the others write, so an engine may run it
    // at any point; every count and segmentation must come before finanal.
    const auto starts = [](const std::string &line, const char *word) { return line.rfind(word, 0) == 0; };
    const auto finanal = std::find_if(log.begin(), log.end(), [&](const std::string &l) { return starts(l, "finanal counts "); });
    ASSERT_NE(finanal, log.end()) << ReadBytes(path("log"));
    EXPECT_EQ(std::count_if(log.begin(), finanal, [&](const std::string &l) { return starts(l, "count in"); }), 4);
    EXPECT_EQ(std::count_if(log.begin(), finanal, [&](const std::string &l) { return starts(l, "segment in"); }), 2);
    for (const char *read : {"T1/S1/counts.txt", "T3/S1/counts.txt", "T2/segments.shp"})
      EXPECT_THAT(*finanal, HasSubstr(root + "/tiles/" + read));
    EXPECT_THAT(*finanal, Not(HasSubstr("T3/S2/counts.txt")));
  }
};

}  // namespace workflow_test

#endif
