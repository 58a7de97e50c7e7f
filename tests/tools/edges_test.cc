// The tool at its edges: what it writes over, descriptors it cannot test,
// and names a project file cannot hold side by side.
#include <sys/stat.h>

#include <filesystem>

#include "cli.h"
#include "persist/name_clash.h"
#include "tool_runner.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using ToolWrites = ToolTest;
using UntestableDescriptor = ToolTest;
using ImportedNames = ToolTest;

bool IsFifo(const std::string &path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// Every command that writes a file, given a pipe where the file would go
// (and --force), refuses it and leaves the pipe; a device is refused the same
// way, since only a regular file is ever replaced.
TEST_F(ToolWrites, NoCommandReplacesWhatIsNotARegularFile) {
  const std::string file = make_demo();
  ASSERT_EQ(run({"export", file, "-o", path("demo.json")}).status, 0);
  const std::string fifo = path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_directories(path("again/data"));
  ASSERT_EQ(::mkfifo(path("again/data/overview.img").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(path("snake.jobs.json").c_str(), 0644), 0);
  const std::vector<std::pair<std::vector<std::string>, std::string>> writers = {
      {{"export", file, "-o", fifo, "--force"}, fifo},
      {{"workflow", file, "--engine", "make", "-o", fifo, "--force"}, fifo},
      {{"workflow", file, "--engine", "snakemake", "-o", fifo, "--force"}, fifo},
      {{"workflow", file, "--engine", "snakemake", "-o", path("snake"), "--force"}, path("snake.jobs.json")},
      {{"import", path("demo.json"), fifo, "--force"}, fifo},
      {{"demo", path("again"), "--force"}, path("again/data/overview.img")},
  };
  for (const auto &[args, target] : writers) {
    SCOPED_TRACE(args[0] + " " + args[args.size() - 2]);
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.status, 2) << outcome.out;
    EXPECT_THAT(outcome.err, HasSubstr("is not a regular file"));
    EXPECT_TRUE(IsFifo(target));
  }
}

// A descriptor the system cannot test (longer than a path may be) is one
// problem of the check, quoted short, not a failure of the whole command.
TEST_F(UntestableDescriptor, IsListedAsAProblemAndQuotedShort) {
  const std::string long_name = "/data/" + std::string(5000, 'x') + "/end.img";
  const std::string document = R"({"kestrum_project": 1, "files": [{"type": "huge", "descriptor": ")" + long_name +
                               R"("}, {"type": "gone", "descriptor": "/nowhere/gone.img"}], "tiles": [], "levels": []})";
  WriteBytes(path("long.json"), document);
  ASSERT_EQ(run({"import", path("long.json"), path("long.kpf")}).status, 0);

  const Outcome check = run({"check", path("long.kpf")});
  EXPECT_EQ(check.status, 1) << check.err;
  EXPECT_THAT(check.out, HasSubstr("2 of 2 descriptors name no file or cannot be tested:"));
  EXPECT_THAT(check.out, HasSubstr("/  huge: /data/xxx"));
  EXPECT_THAT(check.out, HasSubstr("xxx/end.img cannot be tested ("));
  EXPECT_THAT(check.out, HasSubstr("/  gone: /nowhere/gone.img does not exist"));
  EXPECT_LT(check.out.size(), 1500u) << "the long descriptor is quoted shortened";
  EXPECT_EQ(check.err, "");

  const Outcome json = run({"check", "--json", path("long.kpf")});
  EXPECT_EQ(json.status, 1);
  EXPECT_THAT(json.out, HasSubstr("\"problem\": \"untestable\""));
  EXPECT_THAT(json.out, HasSubstr(long_name)) << "the document carries the descriptor whole";

  const Outcome show = run({"show", path("long.kpf")});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_THAT(show.out, HasSubstr("cannot be tested: "));
  EXPECT_LT(show.out.size(), 6000u);
  EXPECT_THAT(run({"show", "--json", path("long.kpf")}).out, HasSubstr("\"state\": \"untestable\""));
}

// Import refuses, at its place in the document, every name the project file
// could not save beside another; the load refuses the same names.
TEST_F(ImportedNames, NamesTheFileCannotHoldSideBySideAreRefusedWithTheirPointer) {
  ASSERT_EQ(std::size(kcli::kFileRootNames), std::size(pm::kRootNodeNames));
  for (std::size_t i = 0; i < std::size(pm::kRootNodeNames); ++i)
    EXPECT_STREQ(kcli::kFileRootNames[i], pm::kRootNodeNames[i]);
  const auto document = [](const std::string &files, const std::string &tiles) {
    return R"({"kestrum_project": 1, "tiles": [)" + tiles + R"(], "files": [)" + files + R"(], "levels": []})";
  };
  const std::string tile_t1 = R"({"name": "T1", "files": [{"type": "photo"}], "samples": [{"name": "S1"}]})";
  const std::vector<std::pair<std::string, std::string>> clashes = {
      {document(R"({"type": "overview"})", tile_t1 + R"(, {"name": "overview"})"), "/tiles/1/name"},
      {document(R"({"type": "overview"})", R"({"name": "Project"})"), "/tiles/0/name"},
      {document(R"({"type": "Secondary Files"})", tile_t1), "/files/0/type"},
      {document("", R"({"name": "T1", "files": [{"type": "photo"}], "samples": [{"name": "photo"}]})"),
       "/tiles/0/samples/0/name"},
  };
  for (const auto &[json, pointer] : clashes) {
    SCOPED_TRACE(pointer);
    WriteBytes(path("clash.json"), json);
    const Outcome outcome = run({"import", path("clash.json"), path("clash.kpf")});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.err, HasSubstr("bad project JSON at " + pointer + ": "));
    EXPECT_THAT(outcome.err, ::testing::AnyOf(HasSubstr("cannot hold both"), HasSubstr("keeps this name")));
    EXPECT_FALSE(fs::exists(path("clash.kpf")));
  }
  WriteBytes(path("fine.json"), document(R"({"type": "overview"})", tile_t1));
  EXPECT_EQ(run({"import", path("fine.json"), path("fine.kpf")}).status, 0);
}
