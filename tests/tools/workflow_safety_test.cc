// Plans that never run what was not asked for and never lose a file: an
// engine keeps a file a job edits in place when the job fails or is
// interrupted, a name or program beginning with one of make's recipe
// prefixes runs as it is (and not under make -n), and one file spelled two
// ways has one writer at most.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "workflow_fixture.h"

extern char **environ;

namespace {

using namespace workflow_test;

// An editor that appends a line to the file it is given last, then does
// what its first argument says: "ok", "fail" (exit 1) or "hang" (sleep
// until killed).
constexpr const char *kEditor = R"(#!/bin/sh
mode=$1
for last in "$@"; do :; done
echo edited >> "$last"
case $mode in fail) exit 1 ;; hang) sleep 60 ;; esac
)";

class WorkflowSafety : public WorkflowCommand {
 protected:
  // A project whose one process edits table.txt in place (an editable
  // output) and makes fresh.txt from nothing; the editor runs in `mode`.
  std::string editing_project(const std::string &engine, const std::string &mode) {
    WriteBytes(path("editor"), kEditor);
    chmod(path("editor").c_str(), 0755);
    const std::string project =
        project_of(path("p"), {{"table", "$PROJECT/table.txt", "original\n"}, {"seed", "$PROJECT/seed.txt", "s\n"}},
                   {{"edit", {{"in", "seed", PM_STRICT_INPUT}, {"out", "table", PM_EDITABLE_OUTPUT}}}});
    const std::string plan = path(engine == "make" ? "Makefile" : "Snakefile");
    const Outcome planned =
        run({"workflow", project, "--engine", engine, "-o", plan, "--program", "edit=" + quoted(path("editor")) + " " + mode});
    EXPECT_EQ(planned.status, 0) << planned.err;
    // Make must see the seed as newer than the table to run the job.
    const auto now = fs::last_write_time(path("p/table.txt"));
    fs::last_write_time(path("p/seed.txt"), now + std::chrono::seconds(5));
    return plan;
  }

  std::vector<std::string> engine_command(const std::string &engine) {
    if (engine == "make") return {"make", "-f", path("Makefile")};
    return {"snakemake", "-s", path("Snakefile"), "-j1", "-d", path("sm")};
  }

  // Starts the engine in a process group of its own, waits until the job
  // has edited the file, interrupts the group as Ctrl-C would and waits for
  // the engine to end.
  void interrupt_mid_job(const std::vector<std::string> &command, const std::string &edited) {
    std::vector<char *> argv;
    for (const std::string &word : command) argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_USEVFORK);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = 0;
    ASSERT_EQ(posix_spawnp(&child, argv[0], nullptr, &attributes, argv.data(), environ), 0);
    posix_spawnattr_destroy(&attributes);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ReadBytes(edited).find("edited") == std::string::npos && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(-child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    kill(-child, SIGKILL);  // what the interrupt left behind, such as the editor's sleep
  }
};

TEST_F(WorkflowSafety, FileEditedInPlaceSurvivesAFailedJobUnderBothEngines) {
  for (const std::string engine : {"make", "snakemake"}) {
    SCOPED_TRACE(engine);
    fs::remove_all(path("p"));
    const std::string plan = editing_project(engine, "fail");
    const Outcome ran = run_program(engine_command(engine));
    EXPECT_NE(ran.status, 0) << ran.out << ran.err;
    ASSERT_TRUE(fs::exists(path("p/table.txt"))) << ReadBytes(plan) << ran.err;
    EXPECT_EQ(ReadBytes(path("p/table.txt")).rfind("original\n", 0), 0u);
  }
}

TEST_F(WorkflowSafety, FileEditedInPlaceSurvivesAnInterruptUnderBothEngines) {
  for (const std::string engine : {"make", "snakemake"}) {
    SCOPED_TRACE(engine);
    fs::remove_all(path("p"));
    const std::string plan = editing_project(engine, "hang");
    interrupt_mid_job(engine_command(engine), path("p/table.txt"));
    ASSERT_TRUE(fs::exists(path("p/table.txt"))) << ReadBytes(plan);
    EXPECT_EQ(ReadBytes(path("p/table.txt")).rfind("original\n", 0), 0u);
  }
}

// Programs named like make's recipe prefixes: each leaves a mark when it
// runs; "-stub" fails, which must fail the run rather than be ignored.
TEST_F(WorkflowSafety, NamesLikeRecipePrefixesRunAsWrittenAndNeverUnderADryRun) {
  fs::create_directories(path("bin"));
  for (const std::string name : {"+stub", "-stub", "@stub", "+given"}) {
    WriteBytes(path("bin/" + name), "#!/bin/sh\ntouch \"$0.ran\"\n" + std::string(name == "-stub" ? "exit 3\n" : ""));
    chmod(path("bin/" + name).c_str(), 0755);
  }
  const std::string project =
      project_of(path("p"), {}, {{"+stub", {}}, {"-stub", {}}, {"@stub", {}}, {"given", {}}});
  const std::string search = "PATH=" + path("bin") + ":" + std::string(getenv("PATH"));
  const auto marks = [&] {
    std::vector<std::string> made;
    for (const std::string name : {"+stub", "-stub", "@stub", "+given"})
      if (fs::exists(path("bin/" + name + ".ran"))) made.push_back(name);
    return made;
  };
  for (const std::string engine : {"make", "snakemake"}) {
    SCOPED_TRACE(engine);
    const std::string plan = path(engine == "make" ? "Makefile" : "Snakefile");
    const Outcome planned = run({"workflow", project, "--engine", engine, "-o", plan, "--force", "--program",
                                 "given=  +given"});
    ASSERT_EQ(planned.status, 0) << planned.err;
    fs::remove_all(path("sm"));
    const std::vector<std::string> run_plan =
        engine == "make" ? std::vector<std::string>{"env", search, "make", "-k", "-f", plan}
                         : std::vector<std::string>{"env", search, "snakemake", "-k", "-j1", "-s", plan, "-d", path("sm")};
    std::vector<std::string> dry = run_plan;
    dry.push_back("-n");
    const Outcome listed = run_program(dry);
    EXPECT_EQ(marks(), std::vector<std::string>{}) << ReadBytes(plan) << listed.out << listed.err;
    const Outcome ran = run_program(run_plan);
    EXPECT_NE(ran.status, 0) << "-stub failed, and the run must say so\n" << ReadBytes(plan) << ran.out << ran.err;
    EXPECT_EQ(marks(), (std::vector<std::string>{"+stub", "-stub", "@stub", "+given"})) << ran.out << ran.err;
    for (const std::string name : {"+stub", "-stub", "@stub", "+given"}) fs::remove(path("bin/" + name + ".ran"));
  }
}

// Five spellings of one file (".", "..", "//", a directory link, and
// "$PROJECT"), its directory there or not: the writers are all left out.
// A reader that spells the file another way waits for its one writer.
TEST_F(WorkflowSafety, OneFileHasOneWriterHoweverItsPathIsSpelled) {
  for (const bool directory_exists : {false, true}) {
    SCOPED_TRACE(directory_exists);
    const std::string root = path(directory_exists ? "with" : "without");
    fs::create_directories(root + "/in");
    if (directory_exists) fs::create_directories(root + "/out");
    fs::create_directories(root + "/elsewhere");
    fs::create_directory_symlink(directory_exists ? root + "/out" : root + "/elsewhere", root + "/link");
    std::vector<FileSpec> files{{"a", "$PROJECT/out/x.img"},     {"b", "$PROJECT/out/./x.img"},
                                {"c", "$PROJECT//out/x.img"},    {"d", "$PROJECT/in/../out/x.img"},
                                {"e", root + "/out/x.img"},      {"w", "$PROJECT/out/y.img"},
                                {"r", "$PROJECT/in/../out//y.img"}};
    if (directory_exists) files.push_back({"f", "$PROJECT/link/x.img"});
    std::vector<ProcessShape> processes;
    for (const FileSpec &file : files) {
      if (file.type == "r") continue;
      processes.push_back({"write_" + file.type, {{"out", file.type, PM_STRICT_OUTPUT}}});
    }
    processes.push_back({"read", {{"in", "r", PM_STRICT_INPUT}}});
    const std::string project = project_of(root, files, processes);
    const Outcome planned = run({"workflow", project, "--engine", "make", "-o", root + "/Makefile", "--verbose"});
    EXPECT_EQ(planned.status, 1);
    EXPECT_THAT(planned.out, HasSubstr("Planned 2 jobs"));
    for (const FileSpec &file : files) {
      if (file.type == "w" || file.type == "r") continue;
      EXPECT_THAT(planned.err, HasSubstr("not planned: write_" + file.type + " at /\n      - $PROJECT/out/x.img is written by"));
    }
    const std::string makefile = ReadBytes(root + "/Makefile");
    EXPECT_THAT(makefile, HasSubstr("# read at / (read)\n" + root + "/Makefile.stamps/read.done: " + root + "/out/y.img\n"));
  }
}

}  // namespace
